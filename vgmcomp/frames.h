// The song as intended, frame by frame (60 frames a second), and its
// sampling from a VGM log.
#ifndef VGMCOMP_FRAMES_H
#define VGMCOMP_FRAMES_H

#include <cstdint>
#include <vector>

#include "vgmcomp/vgm.h"

constexpr uint32_t TI_CLOCK = 3579545;

// One voice in one frame: its attenuation (15 = silent) and its note, the
// 10-bit tone period for voices 0-2 or the 3-bit noise control for voice 3.
// The note matters only while the voice sounds.
struct VoiceState {
    uint8_t atten = 15;
    uint16_t note = 0;
};

// retune: bit v set means voice v, silent in this frame, is sent its note
// all the same. Such an inaudible change splits a state that would last
// longer than one row of the XB program may (see vgmcomp/holds.h).
struct Frame {
    VoiceState v[4];
    uint8_t retune = 0;
};

// The frames of log (see VgmLog::frames) as voice states. Periods are the
// file's own (not yet moved to the TI clock).
std::vector<Frame> sample_frames(const VgmLog &log);

#endif
