// How long CALL SOUND plays: the factors by which kelvaro scales a row's
// frames of 1/60 s into milliseconds for each timing, the longest duration
// CALL SOUND accepts, and the line numbers XB accepts. Every part of the
// project that writes, reads, times or previews rows takes these facts
// from here.
#ifndef KELVARO_XBSOUND_TIMING_H
#define KELVARO_XBSOUND_TIMING_H

#include <cstdint>

// Milliseconds written per millisecond of song time: 20 ms a frame of
// 1/60 s for a compiled program on real hardware (REAL, kelvaro's -r), the
// song's own 16.7 ms for Classic99 in CPU Overdrive (EMULATED, -e), 15 ms
// in the CALL SOUND form (-x, whatever the timing). The converter computes
// in single precision, with the float nearest to each.
constexpr double REAL_FACTOR = 1.2;
constexpr double EMULATED_FACTOR = 1.0;
constexpr double CALL_SOUND_FACTOR = 0.9;

// The longest duration CALL SOUND accepts, in milliseconds.
constexpr uint32_t CALL_SOUND_MAX_MS = 4250;

// The most frames one row may hold in any timing: at 20 ms a frame (REAL,
// the largest factor) 212 frames are 4,240 ms and 213 would be 4,260.
constexpr uint32_t LONGEST_ROW_FRAMES = 212;

// The highest line number XB accepts.
constexpr int32_t XB_LINE_MAX = 32767;

// The factor for an output form and timing.
constexpr double duration_factor(bool call_sound_form, bool emulated)
{
    return call_sound_form ? CALL_SOUND_FACTOR : emulated ? EMULATED_FACTOR : REAL_FACTOR;
}

// The milliseconds kelvaro writes for a row of frames frames at factor:
// ((frames / 60) × 1000) × factor in single precision, truncated.
int32_t written_ms(uint32_t frames, double factor);

#endif
