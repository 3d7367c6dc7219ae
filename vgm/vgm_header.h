// The header of a VGM file: the fields the reader and the preview use, each
// where the format puts it. A field that the file ends before reads as 0.
#ifndef KELVARO_VGM_HEADER_H
#define KELVARO_VGM_HEADER_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct VgmHeader {
    uint32_t eof_offset = 0;      // 0x04: the file's size less 4
    uint32_t version = 0;         // 0x08: BCD, 0x150 = 1.50
    uint32_t raw_clock = 0;       // 0x0C: SN76489 clock in Hz, bit 30 two chips, bit 31 with it a T6W28
    uint32_t gd3_offset = 0;      // 0x14: GD3 tag, from 0x14
    uint32_t total_samples = 0;   // 0x18: samples one pass lasts, loops not repeated
    uint32_t loop_offset = 0;     // 0x1C: loop point, from 0x1C
    uint16_t noise_feedback = 0;  // 0x28 (from 1.10, when the file holds 0x2A): the noise taps
    uint8_t shift_width = 0;      // 0x2A (from 1.10): the noise shift register's width
    uint32_t data_offset = 0;     // 0x34 (from 1.50): the sound data, from 0x34
};

// Reads the fields of bytes, which start with a VGM header (or its part).
VgmHeader read_vgm_header(const std::vector<uint8_t> &bytes);

// Where the commands start: from 0x34 by the data offset, or (before 1.50,
// or with that field 0) right after the 64-byte header.
uint64_t vgm_data_start(const VgmHeader &header);

// The clock without its flag bits; whether there are two chips, and a T6W28.
uint32_t vgm_clock(const VgmHeader &header);
bool vgm_dual(const VgmHeader &header);
bool vgm_t6w28(const VgmHeader &header);

// The 32-bit little-endian word of b at off (off + 4 <= b.size()).
uint32_t vgm_le32(const std::vector<uint8_t> &b, size_t off);

#endif
