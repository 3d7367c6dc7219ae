// The chip's command bytes: what the codec builds, the chip state that
// chip_write makes of it, and the tone words of the converter's player.
#include <gtest/gtest.h>

#include "sound/chip.h"
#include "sound/codec.h"

TEST(Codec, BytesBuiltSetTheRegistersTheyName)
{
    struct Case {
        int voice;
        uint16_t period;
        uint8_t atten;
        uint8_t latch, data, atten_byte;
    } cases[] = {
        {0, 0x000, 0, 0x80, 0x00, 0x90},
        {0, 0x1AB, 15, 0x8B, 0x1A, 0x9F},
        {1, 0x3FF, 7, 0xAF, 0x3F, 0xB7},
        {2, 0x155, 3, 0xC5, 0x15, 0xD3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.voice);
        EXPECT_EQ(chip_tone_latch(c.voice, c.period), c.latch);
        EXPECT_EQ(chip_tone_data(c.period), c.data);
        EXPECT_EQ(chip_atten_byte(c.voice, c.atten), c.atten_byte);
        ChipState chip;
        chip_write(chip, c.latch);
        chip_write(chip, c.data);
        chip_write(chip, c.atten_byte);
        EXPECT_EQ(chip.period[c.voice], c.period);
        EXPECT_EQ(chip.atten[c.voice], c.atten);
        EXPECT_TRUE(chip_is_tone_latch_of(c.latch, c.voice));
        EXPECT_FALSE(chip_is_tone_latch_of(c.atten_byte, c.voice));
        const uint32_t word = chip_tone_word(c.voice, c.period);
        EXPECT_EQ(word, static_cast<uint32_t>(c.data) << 8 | c.latch);
        EXPECT_EQ(chip_tone_word_period(word), c.period);
    }
    for (uint8_t control = 0; control < 8; control++) {
        const uint8_t b = chip_noise_byte(control);
        EXPECT_EQ(b, 0xE0 + control);
        EXPECT_TRUE(chip_is_noise_byte(b));
        ChipState chip;
        chip_write(chip, b);
        EXPECT_EQ(chip.noise, control);
        EXPECT_EQ(chip_latched_register(b), 6);
    }
    EXPECT_EQ(chip_atten_byte(3, CHIP_SILENT), 0xFF);
    EXPECT_FALSE(chip_is_noise_byte(0xE8));
    EXPECT_FALSE(chip_is_latch(0x3F));
}
