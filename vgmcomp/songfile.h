// The song file: header, song table (song 0), tone table, packed streams.
#ifndef VGMCOMP_SONGFILE_H
#define VGMCOMP_SONGFILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "output/file_write.h"
#include "vgmcomp/streams.h"

constexpr size_t SONG_FILE_MAX = 65535;

// Builds the song file bytes. The result may exceed SONG_FILE_MAX; the caller
// checks (offsets past 65535 cannot be stored, so such a file is not valid).
std::vector<uint8_t> build_song_file(const SongStreams &streams);

#endif
