// Tone periods moved to the TI-99/4A clock and snapped to the notes that the
// converter's note table knows.
#ifndef VGMCOMP_PITCH_H
#define VGMCOMP_PITCH_H

#include <cstdint>
#include <string>
#include <vector>

#include "vgmcomp/frames.h"

// N' = round(N * 3579545 / clock), limited to 1..1023; period 0 counts as 1024.
uint16_t move_period(uint16_t period, uint32_t clock);

// The note-table period nearest in pitch to period (TI clock), moved by
// whole octaves into C3..A6 first when it lies outside.
uint16_t snap_period(uint16_t period);

// Moves every tone period of frames from clock to the TI clock and, unless
// exact, snaps it to the note table. Noise controls pass through.
void apply_pitch(std::vector<Frame> &frames, uint32_t clock, bool exact);

// The frames of log as the TI plays them: sampled, moved from clock to the
// TI clock, snapped unless exact; with exact, periods past 256 are merged and
// merged (when given) receives how many.
std::vector<Frame> ti_frames(const VgmLog &log, uint32_t clock, bool exact, int *merged = nullptr);

// With exact periods a song may use more than 256 distinct periods while
// sounding: the rarest are merged into their nearest (in pitch) neighbours
// until 256 remain. Returns the number of periods merged away.
int merge_periods(std::vector<Frame> &frames, size_t limit = 256);

#endif
