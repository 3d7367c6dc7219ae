// Reading VGM files: the SN76489 writes of the first chip on a timeline of
// 44100 Hz samples.
#ifndef VGMCOMP_VGM_H
#define VGMCOMP_VGM_H

#include <cstdint>
#include <string>
#include <vector>

struct SnWrite {
    uint64_t sample;  // time of the write, in samples from the start
    uint8_t value;    // the byte written to the chip
};

struct VgmLog {
    uint32_t version = 0;               // BCD, 0x150 = 1.50
    uint32_t clock = 0;                 // SN76489 clock in Hz, flag bits removed
    bool dual = false;                  // two chips: only the first is read
    bool t6w28 = false;
    uint64_t end_sample = 0;            // where the timeline ends (the last wait counts)
    std::vector<SnWrite> writes;        // first chip's writes, in order
    std::vector<std::string> warnings;  // each names the file
};

// Reads a whole file, plain or gzip-compressed (told by its magic bytes).
// On failure returns false with a message naming the file in error.
bool load_vgm_bytes(const std::string &path, std::vector<uint8_t> &bytes, std::string &error);

// Parses the bytes of a VGM file named name (used in messages).
// Errors (false): not a VGM file, no SN76489, a header pointing outside the
// file. A command stream that stops at an unknown command or runs past the
// end is kept up to there, with a warning naming the offset.
bool parse_vgm(const std::vector<uint8_t> &bytes, const std::string &name, VgmLog &log, std::string &error);

#endif
