// The TI-99/4A's sound chip as CALL SOUND drives it: one small model with a
// narrow interface (tone periods, attenuations, the noise register, time),
// shared by the VGM writer, compare and the piano roll, so that a listing
// means the same sound everywhere.
//
// A listing plays as a timeline: each row sets the chip to its state and
// holds it for the row's time. How long that is depends on where the
// program runs:
//   compiled (default): the row's written duration d over the factor of the
//     timing it was written for (xbsound/timing.h: REAL, EMULATED, the CALL
//     SOUND form), to the nearest frame of 1/60 s, the unit in which the TI
//     counts sound durations: the song's own speed.
//   XB without the compiler: a row plays max(d, XB's time per row), whatever
//     the factor (xbsound/target.h: 260 ms a row in the PROGRAM and DATA
//     forms, 330 ms with the noise voice; 83 ms a statement in the CALL SOUND
//     form, 87 ms with noise), after a start delay (1 s for the PROGRAM form;
//     17 ms a line for the CALL SOUND form, which XB scans whole first).
#ifndef PREVIEW_TI_SOUND_H
#define PREVIEW_TI_SOUND_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "output/listing.h"
#include "sound/frames.h"

constexpr uint32_t PREVIEW_RATE = 44100;  // samples a second, as VGM counts time

// The longest a preview renders or compares: two hours, as for VGM files.
// Longer would take gigabytes of frames or sound.
constexpr uint64_t PREVIEW_MAX_SAMPLES = 2ull * 60 * 60 * PREVIEW_RATE;

// The chip's registers: tone periods of voices 0-2 (TI clock), attenuations
// of voices 0-3 (15 = off) and the 3-bit noise register.
struct TiSound {
    uint16_t period[3] = {0, 0, 0};
    uint8_t atten[4] = {15, 15, 15, 15};
    uint8_t noise = 0;
};

// The period CALL SOUND sets for a frequency: the whole number nearest to
// 3,579,545 / (32 × hz), within the chip's 10 bits.
uint16_t ti_period(int32_t hz);
// The attenuation of an XB volume 0 to 30: volume / 2.
uint8_t ti_atten(int32_t volume);
// The noise register of an XB noise type 1 to 8 (for -1 to -8): type - 1.
uint8_t ti_noise_register(int32_t type);

// The chip state one row sets. A row without the noise voice leaves the
// noise register as before and silences it.
TiSound ti_sound_of_row(const ListingRow &row, uint8_t noise_before);

// Where the program runs (see above) and the timing it was written for.
enum class PlayOn { compiled, xb };
enum class WrittenFor { real, emulated };
struct PlayTiming {
    PlayOn on = PlayOn::compiled;
    WrittenFor timing = WrittenFor::real;
};

// The factor of the row durations for a listing's form and timing.
double timing_factor(ListingForm form, WrittenFor timing);

// The listing's rows whose durations are what kelvaro writes for the
// timing: a whole number of frames scaled by its factor (xbsound/timing.h).
// What tells a listing's timing when the sound alone does not.
size_t rows_written_for(const Listing &listing, WrittenFor timing);

// A row's chip state from sample onwards.
struct TiStep {
    uint64_t sample = 0;
    TiSound sound;
};

// What the TI plays: steps in time order, silence before the first and
// from end_sample on.
struct TiTimeline {
    std::vector<TiStep> steps;
    uint64_t end_sample = 0;
};

TiTimeline listing_timeline(const Listing &listing, const PlayTiming &timing);

// Milliseconds XB without the compiler takes to play the listing's rows,
// its start delay not counted.
double xb_rows_ms(const Listing &listing);

// The timeline sampled as the compressor samples a VGM: index k - 1 holds
// the state at time k / 60 s (k = 1, 2, ...), up to the end; silence past it.
std::vector<Frame> timeline_frames(const TiTimeline &timeline);

#endif
