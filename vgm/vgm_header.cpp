// The VGM header's fields.
#include "vgm/vgm_header.h"

namespace {

uint32_t field(const std::vector<uint8_t> &b, size_t off)
{
    return off + 4 <= b.size() ? vgm_le32(b, off) : 0;
}

}  // namespace

uint32_t vgm_le32(const std::vector<uint8_t> &b, size_t off)
{
    return static_cast<uint32_t>(b[off]) | static_cast<uint32_t>(b[off + 1]) << 8 |
           static_cast<uint32_t>(b[off + 2]) << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
}

VgmHeader read_vgm_header(const std::vector<uint8_t> &bytes)
{
    VgmHeader h;
    h.eof_offset = field(bytes, 0x04);
    h.version = field(bytes, 0x08);
    h.raw_clock = field(bytes, 0x0C);
    h.gd3_offset = field(bytes, 0x14);
    h.total_samples = field(bytes, 0x18);
    h.loop_offset = field(bytes, 0x1C);
    if (h.version >= 0x110 && bytes.size() > 0x2A) {
        h.noise_feedback = static_cast<uint16_t>(bytes[0x28] | bytes[0x29] << 8);
        h.shift_width = bytes[0x2A];
    }
    if (h.version >= 0x150) h.data_offset = field(bytes, 0x34);
    return h;
}

uint64_t vgm_data_start(const VgmHeader &header)
{
    return header.data_offset != 0 ? 0x34 + static_cast<uint64_t>(header.data_offset) : 0x40;
}

uint32_t vgm_clock(const VgmHeader &header)
{
    return header.raw_clock & 0x3FFFFFFFu;
}

bool vgm_dual(const VgmHeader &header)
{
    return (header.raw_clock & 0x40000000u) != 0;
}

bool vgm_t6w28(const VgmHeader &header)
{
    return vgm_dual(header) && (header.raw_clock & 0x80000000u) != 0;
}
