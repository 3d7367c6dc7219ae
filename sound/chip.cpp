// The SN76489's registers as its latch and data bytes set them.
#include "sound/chip.h"

#include "sound/codec.h"

void chip_write(ChipState &chip, uint8_t value)
{
    if (chip_is_latch(value)) chip.latch = chip_latched_register(value);
    const int voice = chip.latch >> 1;
    const bool atten = (chip.latch & 1) != 0;
    if (atten) {
        chip.atten[voice] = static_cast<uint8_t>(value & 0x0F);
    } else if (voice == 3) {
        chip.noise = static_cast<uint8_t>(value & 0x07);
    } else if (chip_is_latch(value)) {
        chip.period[voice] = static_cast<uint16_t>((chip.period[voice] & 0x3F0) | (value & 0x0F));
    } else {
        chip.period[voice] = static_cast<uint16_t>((chip.period[voice] & 0x00F) | (value & 0x3F) << 4);
    }
}
