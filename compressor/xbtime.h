// Rows timed for Extended BASIC without the compiler (--interpreted). XB
// plays a row written d ms long for max(d, its time per row), whatever the
// factor kelvaro wrote the row with (xbsound/target.h). So that every row
// plays as long as the song time it stands for, the song file's rows are
// given the number of frames from which kelvaro writes that many
// milliseconds for the target: about 0.83 times as many frames for REAL
// timing (20 ms a frame), 1.11 times for the CALL SOUND form (15 ms a
// frame). Each row's rounding error is carried into the next, so that the
// running played time stays within a frame of the song time.
#ifndef VGMCOMP_XBTIME_H
#define VGMCOMP_XBTIME_H

#include <cstdint>
#include <vector>

#include "sound/frames.h"
#include "xbsound/target.h"

// The frames of the rows the converter writes from frames for target, each
// row's song time in frames (the first counts the frame before the song, as
// the converter does).
std::vector<uint64_t> row_song_frames(const std::vector<Frame> &frames, const XbTarget &target);

// The frames each row is written with so that XB plays the rows of
// song_frames (in frames of 1/60 s) in their song time: the count whose
// played time max(written_ms, xb_row_ms) brings the running played time
// nearest the running song time. The first row has at least 2 frames (the
// converter counts one before the song).
std::vector<uint64_t> xb_row_frames(const std::vector<uint64_t> &song_frames, const XbTarget &target);

// frames with every row the converter writes for target held for its
// xb_row_frames instead of its song frames. The state after the last row
// (the song's closing silence) follows as it was.
std::vector<Frame> time_rows_for_xb(const std::vector<Frame> &frames, const XbTarget &target);

#endif
