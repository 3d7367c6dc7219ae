// The SN76489's command bytes, built and taken apart in one place.
//
// A latch byte (bit 7 set) names a register in bits 6-4, voice * 2 plus 1
// for its attenuation, and carries 4 bits of data: 0x80 + 32 * voice with
// the low 4 bits of a tone period, 0x90 + 32 * voice with an attenuation,
// 0xE0 with the 3-bit noise control (voice 3's "tone"). A data byte (bit 7
// clear) carries the high 6 bits of the latched tone period.
//
// The converter's player keeps a voice's last tone write as a tone word:
// the latch byte in bits 0-7 and the data byte in bits 8-15.
#ifndef KELVARO_SOUND_CODEC_H
#define KELVARO_SOUND_CODEC_H

#include <cstdint>

constexpr uint8_t CHIP_LATCH = 0x80;          // bit 7 of a latch byte
constexpr uint8_t CHIP_NOISE_COMMAND = 0xE0;  // latch of the noise control
constexpr uint8_t CHIP_SILENT = 15;           // the attenuation that silences a voice

// The latch byte of voice v's tone period (0x80 + 32 v) and of its
// attenuation (0x90 + 32 v), without their data bits.
constexpr uint8_t chip_tone_command(int v)
{
    return static_cast<uint8_t>(0x80 + 32 * v);
}
constexpr uint8_t chip_atten_command(int v)
{
    return static_cast<uint8_t>(0x90 + 32 * v);
}

// Whole command bytes: the two bytes that set voice v's (0-2) tone period,
// the byte that sets its attenuation, the byte that sets the noise control.
constexpr uint8_t chip_tone_latch(int v, uint16_t period)
{
    return static_cast<uint8_t>(chip_tone_command(v & 3) | (period & 0x0F));
}
constexpr uint8_t chip_tone_data(uint16_t period)
{
    return static_cast<uint8_t>((period >> 4) & 0x3F);
}
constexpr uint8_t chip_atten_byte(int v, uint8_t atten)
{
    return static_cast<uint8_t>(chip_atten_command(v & 3) | (atten & 0x0F));
}
constexpr uint8_t chip_noise_byte(uint8_t control)
{
    return static_cast<uint8_t>(CHIP_NOISE_COMMAND | (control & 0x07));
}

// Taking a byte apart: whether it latches a register, which one (voice * 2
// plus 1 for an attenuation), and its data bits.
constexpr bool chip_is_latch(uint8_t b)
{
    return (b & CHIP_LATCH) != 0;
}
constexpr uint8_t chip_latched_register(uint8_t b)
{
    return static_cast<uint8_t>((b >> 4) & 0x07);
}
constexpr bool chip_is_tone_latch_of(uint8_t b, int v)
{
    return (b & 0xF0) == chip_tone_command(v);
}
constexpr bool chip_is_noise_byte(uint8_t b)
{
    return (b & 0xF8) == CHIP_NOISE_COMMAND;
}

// The tone word of period on voice v (0-2), and the period a tone word sets.
constexpr uint32_t chip_tone_word(int v, uint16_t period)
{
    return static_cast<uint32_t>(chip_tone_data(period)) << 8 | chip_tone_latch(v, period);
}
constexpr uint16_t chip_tone_word_period(uint32_t word)
{
    return static_cast<uint16_t>((word & 0x0F) | ((word >> 8) & 0x3F) << 4);
}

#endif
