// The song as intended, frame by frame (60 frames a second): each voice's
// attenuation and note.
#ifndef KELVARO_SOUND_FRAMES_H
#define KELVARO_SOUND_FRAMES_H

#include <cstdint>
#include <vector>

// The TI-99/4A's sound chip clock in hertz.
constexpr uint32_t TI_CLOCK = 3579545;

// A frame is 1/60 s: 735 samples at the VGM's 44,100 Hz.
constexpr uint32_t SAMPLES_PER_FRAME = 735;

// One voice in one frame: its attenuation (15 = silent) and its note, the
// 10-bit tone period for voices 0-2 or the 3-bit noise control for voice 3.
// The note matters only while the voice sounds.
struct VoiceState {
    uint8_t atten = 15;
    uint16_t note = 0;
};

// retune: bit v set means voice v, silent in this frame, is sent its note
// all the same. Such an inaudible change splits a state that would last
// longer than one row of the XB program may (see compressor/holds.h).
struct Frame {
    VoiceState v[4];
    uint8_t retune = 0;
};

#endif
