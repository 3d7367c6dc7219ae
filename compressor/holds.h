// Long holds: no row of the XB program may last longer than CALL SOUND
// accepts (4,250 ms). A state that would last longer is split by an
// inaudible change: a silent tone voice is sent a new note, which the
// converter writes as a row of its own (that voice at volume 30).
#ifndef VGMCOMP_HOLDS_H
#define VGMCOMP_HOLDS_H

#include <cstdint>
#include <vector>

#include "sound/frames.h"
#include "xbsound/timing.h"  // CALL_SOUND_MAX_MS, LONGEST_ROW_FRAMES

struct HoldReport {
    uint64_t rows = 0;                 // rows the converter writes, splits included (noise: see noise_rows)
    uint32_t splits = 0;               // inaudible changes added
    uint32_t unsplittable = 0;         // holds too long, with all three tone voices sounding
    uint64_t first_unsplittable = 0;   // the frame at which the first of those begins; 0: none
};

// Splits every state that the converter (default options: tone voices 0-2,
// volumes and the periods sent) would write as a row of more than
// LONGEST_ROW_FRAMES frames, by retuning a silent tone voice every
// LONGEST_ROW_FRAMES frames (Frame::retune, with the new period in the
// voice's note). The first row counts from frame 0, so it ends by frame 212.
// A state after the last change writes no row and is left alone. A voice
// that sounds somewhere in the song is preferred, and the new period is one
// the song already uses where it can be. min_row: the fewest frames a row
// should have (the reductions' row minimum); the last split of a hold comes
// early enough to leave the hold's last row that many frames where
// LONGEST_ROW_FRAMES leaves room for it. noise_rows: the converter plays
// the noise voice, whose changes end rows as well.
HoldReport split_long_holds(std::vector<Frame> &frames, uint32_t min_row = 1, bool noise_rows = false);

#endif
