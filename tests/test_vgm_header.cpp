// The VGM header's fields as the writer puts them, and a file that ends
// inside its header.
#include <gtest/gtest.h>

#include "vgm/vgm_header.h"
#include "vgm/vgm_writer.h"

TEST(VgmHeader, ReadsTheFieldsTheWriterPuts)
{
    struct Case {
        uint32_t version;
        uint32_t clock;
        bool dual, t6w28;
        uint16_t feedback;
        uint64_t data_start;
    } cases[] = {
        {0x151, 3579545, false, false, 0x0003, 0x40},
        {0x110, 3579545 | 0x40000000u, true, false, 0x0009, 0x40},
        {0x101, 4000000 | 0xC0000000u, true, true, 0, 0x40},
    };
    for (const Case &c : cases) {
        VgmWriter w;
        w.version = c.version;
        w.clock = c.clock;
        w.noise_feedback = 0x0003;
        w.shift_width = 15;
        vgm_wait_frames(w, 3);
        const std::vector<uint8_t> file = vgm_finish(w);
        const VgmHeader h = read_vgm_header(file);
        EXPECT_EQ(h.version, c.version);
        EXPECT_EQ(vgm_clock(h), c.clock & 0x3FFFFFFFu);
        EXPECT_EQ(vgm_dual(h), c.dual);
        EXPECT_EQ(vgm_t6w28(h), c.t6w28);
        EXPECT_EQ(h.total_samples, 3 * 735u);
        EXPECT_EQ(h.eof_offset + 4u, file.size());
        EXPECT_EQ(h.noise_feedback, c.version >= 0x110 ? 0x0003 : 0);
        EXPECT_EQ(h.shift_width, c.version >= 0x110 ? 15 : 0);
        EXPECT_EQ(vgm_data_start(h), c.data_start);
    }
}

TEST(VgmHeader, FieldsPastTheEndOfTheFileReadAsZero)
{
    VgmWriter w;
    vgm_wait_frames(w, 2);
    std::vector<uint8_t> file = vgm_finish(w);
    file.resize(0x1B);  // ends inside the sample count
    const VgmHeader h = read_vgm_header(file);
    EXPECT_EQ(h.version, 0x151u);
    EXPECT_EQ(vgm_clock(h), 3579545u);
    EXPECT_EQ(h.total_samples, 0u);
    EXPECT_EQ(h.noise_feedback, 0);
    EXPECT_EQ(h.data_offset, 0u);
    EXPECT_EQ(vgm_data_start(h), 0x40u);
    EXPECT_EQ(read_vgm_header({}).version, 0u);
}
