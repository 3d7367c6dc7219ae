// The song file: header, song table (song 0), tone table, packed streams.
#ifndef VGMCOMP_SONGFILE_H
#define VGMCOMP_SONGFILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "vgmcomp/streams.h"

constexpr size_t SONG_FILE_MAX = 65535;

// Builds the song file bytes. The result may exceed SONG_FILE_MAX; the caller
// checks (offsets past 65535 cannot be stored, so such a file is not valid).
std::vector<uint8_t> build_song_file(const SongStreams &streams);

// Writes bytes to path through a temporary file in the same folder and a
// rename; on any failure path is left as it was and error names it.
bool write_file_atomic(const std::string &path, const std::vector<uint8_t> &bytes, std::string &error);

#endif
