// Packing byte streams with the song file's four stream commands: literal
// run, repeat run, and short and long back-references to stored bytes.
#ifndef VGMCOMP_PACK_H
#define VGMCOMP_PACK_H

#include <cstddef>
#include <cstdint>
#include <vector>

// Appends the packed form of data to file and returns its start offset.
// Back-references may point at the bytes of file from offset lowest on (the
// bytes before it may still change, like a song record written at the end),
// and at the stored bytes of this stream itself. With end_marker, an
// end-of-stream command follows. Offsets must stay 16-bit: the caller checks
// the size.
uint32_t pack_stream(std::vector<uint8_t> &file, const std::vector<uint8_t> &data, bool end_marker,
                     uint32_t lowest = 0);

// Size of data packed with literal runs only (for comparison).
size_t literal_only_size(const std::vector<uint8_t> &data, bool end_marker);

// Unpacks count bytes of the stream at start with the player's decoder.
std::vector<uint8_t> unpack_stream(const std::vector<uint8_t> &file, uint32_t start, size_t count);

#endif
