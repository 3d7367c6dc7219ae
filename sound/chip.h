// The SN76489 register state as the VGM writes it: latch and data bytes.
#ifndef VGMCOMP_CHIP_H
#define VGMCOMP_CHIP_H

#include <cstdint>

struct ChipState {
    uint16_t period[3] = {0, 0, 0};       // 10-bit tone periods of voices 0-2
    uint8_t noise = 0;                    // 3-bit noise control
    uint8_t atten[4] = {15, 15, 15, 15};  // attenuations, 15 = off
    uint8_t latch = 0;                    // latched register: voice * 2 + (1 for attenuation)
};

void chip_write(ChipState &chip, uint8_t value);

#endif
