// Writing a VGM of the TI's sound chip.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vgm/vgm_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t get32(const Bytes &b, size_t off)
{
    return static_cast<uint32_t>(b[off]) | static_cast<uint32_t>(b[off + 1]) << 8 |
           static_cast<uint32_t>(b[off + 2]) << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
}

TEST(VgmWriter, WaitsWritesAndHeaderBytes)
{
    VgmWriter w;
    vgm_wait(w, 735);
    vgm_wait(w, 882);
    vgm_wait(w, 1);
    vgm_wait(w, 16);
    vgm_wait(w, 17);
    vgm_wait(w, 65535 + 735);
    vgm_wait(w, 70000);
    EXPECT_EQ(w.data, (Bytes{0x62, 0x63, 0x70, 0x7F, 0x61, 0x11, 0x00, 0x61, 0xFF, 0xFF, 0x62, 0x61, 0xFF, 0xFF, 0x61,
                             0x71, 0x11}));
    EXPECT_EQ(w.samples, 735u + 882 + 1 + 16 + 17 + 65535 + 735 + 70000);

    VgmWriter f;
    vgm_wait_frames(f, 1);
    vgm_wait_frames(f, 100);  // 89 frames fill one 16-bit wait
    EXPECT_EQ(f.data, (Bytes{0x62, 0x61, 0x87, 0xFF, 0x61, 0x95, 0x1F}));
    EXPECT_EQ(f.samples, 101u * 735);

    VgmWriter c;
    c.clock = 4000000;
    vgm_tone(c, 1, 0x1AB);
    vgm_noise(c, 5);
    vgm_atten(c, 2, 7);
    vgm_atten(c, 3, 15);
    vgm_write(c, 0x3F);
    vgm_wait(c, 3);
    EXPECT_EQ(c.data, (Bytes{0x50, 0xAB, 0x50, 0x1A, 0x50, 0xE5, 0x50, 0xD7, 0x50, 0xFF, 0x50, 0x3F, 0x72}));

    Bytes file = vgm_finish(c);
    ASSERT_EQ(file.size(), 0x40u + c.data.size() + 1);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{'V', 'g', 'm', ' '}));
    EXPECT_EQ(get32(file, 0x04), file.size() - 4);
    EXPECT_EQ(get32(file, 0x08), 0x151u);
    EXPECT_EQ(get32(file, 0x0C), 4000000u);
    EXPECT_EQ(get32(file, 0x14), 0u);
    EXPECT_EQ(get32(file, 0x18), 3u);
    EXPECT_EQ(get32(file, 0x24), 60u);
    EXPECT_EQ(get32(file, 0x34), 0x0Cu);
    EXPECT_EQ(Bytes(file.begin() + 0x40, file.end() - 1), c.data);
    EXPECT_EQ(file.back(), 0x66);

    Bytes open_end = vgm_finish(c, false);
    EXPECT_EQ(open_end.size(), file.size() - 1);
    EXPECT_EQ(get32(open_end, 0x04), open_end.size() - 4);
    EXPECT_EQ(open_end.back(), 0x72);
}

}  // namespace
