// Reading VGM files: the SN76489 writes of the first chip, folded while
// they are read into the chip's state once a frame (every 735 samples of
// 44100 Hz), so that the memory taken grows with the song's length and not
// with the number of its writes.
#ifndef VGMCOMP_VGM_H
#define VGMCOMP_VGM_H

#include <cstdint>
#include <string>
#include <vector>

#include "sound/chip.h"
#include "sound/frames.h"

struct VgmLog {
    uint32_t version = 0;               // BCD, 0x150 = 1.50
    uint32_t clock = 0;                 // SN76489 clock in Hz, flag bits removed
    bool dual = false;                  // two chips (clock bit 30): only the first is read
    bool t6w28 = false;                 // the two chips are a T6W28 (bits 31 and 30)
    uint64_t end_sample = 0;            // where the timeline ends (the last wait counts)
    uint64_t write_count = 0;           // writes read to the first chip
    // Frame i (i = 1, 2, ..., stored at index i - 1): the chip state after
    // every write timed before i * SAMPLES_PER_FRAME samples. There are as
    // many frames as the timeline reaches, and one more when a write comes
    // at its very end, so that no write is lost.
    std::vector<ChipState> frames;
    std::vector<std::string> warnings;  // each names the file
};

// Reads a whole file, plain or gzip-compressed (told by its magic bytes).
// On failure returns false with a message naming the file in error.
bool load_vgm_bytes(const std::string &path, std::vector<uint8_t> &bytes, std::string &error);

// Parses the bytes of a VGM file named name (used in messages).
// Errors (false): not a VGM file, a file that ends inside its header, no
// SN76489. A header offset (data, GD3 tag, loop) past the end of the file is
// warned about and the commands are read up to the end of the file; a
// command stream that stops at an unknown command or runs past the end is
// kept up to there, with a warning naming the offset.
bool parse_vgm(const std::vector<uint8_t> &bytes, const std::string &name, VgmLog &log, std::string &error);

// The frames of log (see VgmLog::frames) as voice states. Periods are the
// file's own (not yet moved to the TI clock).
std::vector<Frame> sample_frames(const VgmLog &log);

#endif
