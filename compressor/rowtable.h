// The row chooser's table (compressor/rowchoose.h), filled frame by frame:
// per row end e, the highest score of rows covering the frames before it
// and where the last of them begins. For each frame that joins, every row
// start within reach learns the best score of each voice's states in its
// row; the first of the highest candidates (best[s] plus the row's score)
// gives the entry. Used by the row chooser only.
#ifndef VGMCOMP_ROWTABLE_H
#define VGMCOMP_ROWTABLE_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "compressor/rowchoose.h"
#include "sound/frames.h"

// best[e] where no rows end at e.
constexpr int64_t ROWS_UNREACHED = std::numeric_limits<int64_t>::min();

// A voice's states numbered in the order they first occur; 0 is silence,
// whatever note the silent voice holds.
struct VoiceStates {
    int voice = 0;
    std::vector<uint16_t> id;       // per frame
    std::vector<VoiceState> state;  // per id
};

VoiceStates number_states(const std::vector<Frame> &frames, int v);

// best[e] and start[e] for e from 1 to upto - 1, every row n frames or
// more: best[e] is the highest score of rows covering frames 0..e-1, start[e]
// where the last of them begins (among equals the longest). Stops, and
// returns false, once the rows certainly change the tone voices more than
// limit times: when every row end within reach of a frame has more changes
// before it. It stops only in the first half of the song, where stopping
// spares more than the other choices it leads to cost (choose_rows).
bool fill_row_table(const std::vector<VoiceStates> &voices, const RowChoiceOptions &options, size_t upto,
                    std::vector<int64_t> &best, std::vector<uint32_t> &start, uint64_t limit = UINT64_MAX);

#endif
