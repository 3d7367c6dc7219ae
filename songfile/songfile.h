// The song file: header, song table (song 0), tone table, packed streams.
#ifndef VGMCOMP_SONGFILE_H
#define VGMCOMP_SONGFILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "base/file_write.h"
#include "songfile/streams.h"

constexpr size_t SONG_FILE_MAX = 65535;

// Builds the song file bytes. The result may exceed SONG_FILE_MAX; the caller
// checks (offsets past 65535 cannot be stored, so such a file is not valid).
// Packing stops as soon as the file is certain to pass SONG_FILE_MAX: the
// result then ends in zeros up to the fewest bytes the whole file could take,
// so that its size is over SONG_FILE_MAX and a lower bound of the whole.
std::vector<uint8_t> build_song_file(const SongStreams &streams);

#endif
