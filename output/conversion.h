// The converter as code outside it uses it: a song file, or a song's chip
// states frame by frame, converted for a target (output form, noise voice,
// timing) into the rows and the text kelvaro writes. The converter keeps
// its settings, its rows and its player's state program-wide; these
// functions set what they need and leave every one of those records as
// they found it.
#ifndef KELVARO_CONVERSION_H
#define KELVARO_CONVERSION_H

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "sound/frames.h"
#include "xbsound/target.h"

struct Conversion {
    bool ok = false;              // false: the song would play past MAX_FRAMES (convert/song.h)
    bool over = false;            // stopped early: more rows than asked for (no values nor text)
    uint32_t rows = 0;            // rows of the program
    std::vector<int32_t> values;  // the integer list: the row count, then each row's numbers
    std::string text;             // the output file's text
};

// The converter's program-wide records as they are now: its settings, its
// player's state, the rows and the integer list, put back when the object
// goes away. The functions below use it; a test that sets those records
// holds one (tests/test_support.h).
class SavedConverterState {
public:
    SavedConverterState();
    ~SavedConverterState();
    SavedConverterState(const SavedConverterState &) = delete;
    SavedConverterState &operator=(const SavedConverterState &) = delete;

private:
    struct Records;
    std::unique_ptr<Records> records_;
};

// Song 0 of the song file data (size bytes) as kelvaro converts it.
Conversion convert_song(const uint8_t *data, uint32_t size, const XbTarget &target);

// The conversion of the song file built of frames (sound/frames.h), without
// building or playing it: the player reproduces frames exactly, so the chip
// state the row builder sees after each frame is set straight from them.
// Stops early, with over set, once there are more than max_rows rows.
Conversion convert_frames(const std::vector<Frame> &frames, const XbTarget &target,
                          uint32_t max_rows = std::numeric_limits<uint32_t>::max());

// The frames (1-based; frames.size() + 1 is the silence after the song) at
// which the converter, writing for target, sees a change and ends a row:
// row i lasts from changes[i - 1] (0 for the first row) to changes[i].
std::vector<uint64_t> row_changes(const std::vector<Frame> &frames, const XbTarget &target = XbTarget());

#endif
