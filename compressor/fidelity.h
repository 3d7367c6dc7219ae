// How much of a song survives: the original's tone voices frame by frame
// against what a song file or an XB listing plays. One measure, used by
// vgmcomp.x --stats, xbtool compare and the row chooser's tests, so that
// every figure a user sees means the same thing.
#ifndef VGMCOMP_FIDELITY_H
#define VGMCOMP_FIDELITY_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/frames.h"

// Above this a tone is inaudible: songs park a voice there to keep it quiet.
constexpr double ULTRASONIC_HZ = 16000.0;

// True when a tone of this period (0 plays as 1024) at the given chip clock
// lies above ULTRASONIC_HZ.
bool is_ultrasonic(uint16_t period, uint32_t clock);

// The frequency of a tone voice in a frame, in Hz, at the given chip clock;
// 0 when the voice is silent (attenuation 15) or ultrasonic. Period 0 plays
// as 1024.
double sounding_hz(const VoiceState &s, uint32_t clock);

// Counts over tone voice-frames. A reference voice-frame "sounds" when its
// sounding_hz is not 0. Of those, the candidate plays:
//   pitch_class: a pitch within half a semitone (50 cents) in any octave;
//   octave:      a pitch within half a semitone, in the same octave;
//   volume:      the same attenuation;
//   note_volume: both the octave match and the volume match.
// phantom: voice-frames the candidate sounds where the reference does not.
struct FidelityCounts {
    uint64_t sounding = 0;
    uint64_t pitch_class = 0;
    uint64_t octave = 0;
    uint64_t volume = 0;
    uint64_t note_volume = 0;
    uint64_t phantom = 0;
    FidelityCounts &operator+=(const FidelityCounts &o);
};

struct Fidelity {
    FidelityCounts voice[3];
    FidelityCounts total;  // the three voices together
};

// Compares reference frames (periods at ref_clock) with candidate frames
// (periods at got_clock) over frames 0 .. frames-1. A frame past the end of
// either sequence counts as all voices silent there.
Fidelity measure_fidelity(const std::vector<Frame> &ref, uint32_t ref_clock, const std::vector<Frame> &got,
                          uint32_t got_clock, size_t frames);

// count as a percentage of sounding; when nothing sounds, if_none (100 for a
// match, so that a silent song is not reported as lost; 0 for phantom).
double fidelity_percent(uint64_t count, uint64_t sounding, double if_none = 100.0);

#endif
