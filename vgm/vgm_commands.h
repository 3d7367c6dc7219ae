// The reader's second half: the command stream of a VGM file walked on its
// sample timeline, the first SN76489's writes folded into frames.
#ifndef KELVARO_VGM_COMMANDS_H
#define KELVARO_VGM_COMMANDS_H

#include <cstdint>
#include <string>
#include <vector>

#include "vgm/vgm.h"

// Reads the commands of bytes from start up to end (or the end-of-data
// command) into log's frames, end_sample and write_count; where the stream
// stops early, a warning naming name and the offset.
void read_vgm_commands(const std::vector<uint8_t> &bytes, uint64_t start, uint64_t end, const std::string &name,
                       VgmLog &log);

// "0x" and v in upper-case hexadecimal, as messages give offsets.
std::string vgm_hex(uint64_t v);

#endif
