// Fitting a song into the XB program space: the frames as written for a set
// of reductions, and the search for the least lossy set that fits.
#ifndef VGMCOMP_FIT_H
#define VGMCOMP_FIT_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "compressor/estimate.h"
#include "sound/frames.h"
#include "compressor/holds.h"
#include "compressor/reduce.h"

// The highest --min-frames the search tries: 4 frames (67 ms) is about the
// coarsest timing that still keeps fast passages in time.
constexpr uint32_t FIT_MAX_MIN_FRAMES = 4;

// The frames written for base (frames after pitch) with reductions r: r
// applied, then long holds split (with a row minimum, into rows that long
// where that can be). holds, when given, receives what the splitting did.
std::vector<Frame> prepare_frames(const std::vector<Frame> &base, const Reductions &r, HoldReport *holds = nullptr);

// The frames the song file holds for target: with the row minimum of
// --interpreted, rows timed for XB without the compiler
// (compressor/xbtime.h); otherwise frames as they are.
std::vector<Frame> written_frames(const std::vector<Frame> &frames, const Reductions &r, const XbTarget &target);

struct FitChoice {
    bool found = false;
    Reductions chosen;     // the user's reductions with what the search added
    XbEstimate estimate;   // of the chosen reductions
    uint32_t tried = 0;    // sets of reductions estimated
};

// The least lossy reductions, at least those of user, whose XB program for
// target is within budget bytes. The order, from least to most lossy (each tried on
// top of the user's own reductions, the first that fits is chosen):
//   1. nothing more;
//   2. --flat;
//   3. --min-frames 2, 3, 4;
//   4. --flat with --min-frames 2, 3, 4;
//   5. steps 1-4 again without the tone voice that sounds in the fewest
//      frames, then again with only the tone voice that sounds in the most;
//   6. last resort, when none of these fits: the song is cut, keeping every
//      detail of what it keeps, at the most whole tenths of a second that
//      fit (--seconds), or failing that the most frames.
// The noise voice is never dropped: the default program does not play it.
// found is false only when not even one frame fits.
FitChoice fit_search(const std::vector<Frame> &base, const Reductions &user, size_t budget,
                     const XbTarget &target = XbTarget());

#endif
