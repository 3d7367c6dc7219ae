// Tone periods moved to the TI-99/4A clock and snapped to the notes that the
// converter's note table knows, relative to the song's own tuning; tones too
// high to hear are silenced.
#ifndef VGMCOMP_PITCH_H
#define VGMCOMP_PITCH_H

#include <cstdint>
#include <string>
#include <vector>

#include "vgm/vgm.h"

// N' = round(N * 3579545 / clock), limited to 1..1023; period 0 counts as 1024.
uint16_t move_period(uint16_t period, uint32_t clock);

// The note-table period nearest in pitch to period (TI clock), moved by
// whole octaves into C3..A6 first when it lies outside. When that note is
// more than half a semitone off (the table's high notes sit up to 12 cents
// off equal temperament), the same note in the nearest octave that comes
// within half a semitone is taken instead.
uint16_t snap_period(uint16_t period);

// A song whose tuning lies within this many cents of standard pitch is
// snapped to standard pitch.
constexpr double TUNING_TOLERANCE_CENTS = 15.0;

// The tuning of a song's tones (periods at clock): the median, weighted by
// frames, of each sounding tone's distance in cents to the nearest
// equal-tempered semitone (A4 = 440 Hz). Distances wrap around at half a
// semitone (+50 cents is -50), so the median is taken on that circle: the
// offset that is nearest to all of them. From -50 to +50; 0 when no tone sounds.
double tuning_offset(const std::vector<Frame> &frames, uint32_t clock);

// What the pitch step found and did.
struct PitchReport {
    double tuning_cents = 0.0;  // the song's tuning_offset
    bool relative = false;      // notes were snapped relative to it (off by more than the tolerance)
    uint64_t ultrasonic = 0;    // tone voice-frames silenced for sounding above ULTRASONIC_HZ
};

// Silences every tone voice above ULTRASONIC_HZ at clock, moves every tone
// period of frames from clock to the TI clock and, unless exact, snaps it to
// the note table relative to the song's tuning. Noise controls pass through.
PitchReport apply_pitch(std::vector<Frame> &frames, uint32_t clock, bool exact);

// The frames of log as the TI plays them: sampled, then apply_pitch; with
// exact, periods past 256 are merged and merged (when given) receives how
// many. report (when given) receives what apply_pitch found.
std::vector<Frame> ti_frames(const VgmLog &log, uint32_t clock, bool exact, int *merged = nullptr,
                             PitchReport *report = nullptr);

// With exact periods a song may use more than 256 distinct periods while
// sounding: the rarest are merged into their nearest (in pitch) neighbours
// until 256 remain. Returns the number of periods merged away.
int merge_periods(std::vector<Frame> &frames, size_t limit = 256);

#endif
