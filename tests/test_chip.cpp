// The SN76489's register state as its command bytes set it.
#include <gtest/gtest.h>

#include "sound/chip.h"

namespace {

TEST(Chip, LatchAndDataBytes)
{
    ChipState c;
    chip_write(c, 0x8B);  // voice 0 tone, low nibble B
    chip_write(c, 0x1A);  // high six bits
    EXPECT_EQ(c.period[0], 0x1AB);
    EXPECT_EQ(c.latch, 0);
    chip_write(c, 0x7F);  // bit 6 is data too for a tone
    EXPECT_EQ(c.period[0], 0x3FB);
    chip_write(c, 0x84);  // a new low nibble keeps the high bits
    EXPECT_EQ(c.period[0], 0x3F4);
    chip_write(c, 0x00);
    EXPECT_EQ(c.period[0], 0x004);

    chip_write(c, 0xC5);  // voice 2 tone
    chip_write(c, 0x3F);
    EXPECT_EQ(c.period[2], 0x3F5);
    EXPECT_EQ(c.latch, 4);
    EXPECT_EQ(c.period[1], 0);

    chip_write(c, 0xB7);  // voice 1 attenuation 7
    EXPECT_EQ(c.atten[1], 7);
    EXPECT_EQ(c.latch, 3);
    chip_write(c, 0x33);  // data byte to the latched attenuation: bits 3-0
    EXPECT_EQ(c.atten[1], 3);
    EXPECT_EQ(c.period[1], 0);

    chip_write(c, 0xE5);  // noise control
    EXPECT_EQ(c.noise, 5);
    chip_write(c, 0x0E);  // data byte to it: bits 2-0
    EXPECT_EQ(c.noise, 6);
    chip_write(c, 0xFA);  // noise attenuation
    EXPECT_EQ(c.atten[3], 10);
    EXPECT_EQ(c.noise, 6);
    EXPECT_EQ(c.atten[0], 15);
    EXPECT_EQ(c.atten[2], 15);
}

}  // namespace
