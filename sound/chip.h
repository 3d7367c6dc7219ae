// The SN76489's registers: the state a VGM's writes leave the chip in, and
// the state a row of a listing sets (preview/ti_sound.h).
#ifndef KELVARO_SOUND_CHIP_H
#define KELVARO_SOUND_CHIP_H

#include <cstdint>

struct ChipState {
    uint16_t period[3] = {0, 0, 0};       // 10-bit tone periods of voices 0-2
    uint8_t noise = 0;                    // 3-bit noise control
    uint8_t atten[4] = {15, 15, 15, 15};  // attenuations, 15 = off
    uint8_t latch = 0;                    // latched register: voice * 2 + (1 for attenuation)
};

// The register state after the chip receives the command byte value
// (sound/codec.h): a latch byte, or a data byte to the latched register.
void chip_write(ChipState &chip, uint8_t value);

#endif
