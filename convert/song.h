// The whole conversion of a loaded song file: song 0 played frame by frame
// into the row builder.
#ifndef KELVARO_SONG_H
#define KELVARO_SONG_H

#include <cstdint>

// The most frames a song may take: the last frame count that single
// precision still counts exactly (over 77 hours of song).
constexpr uint32_t MAX_FRAMES = 16777216;

// Sets up the row builder and the tables, plays song 0 of the song file
// data (size bytes) to its end and leaves the rows in out_data/tot_notes.
// Returns false, with the rows so far, when the song would pass MAX_FRAMES.
// frames_out, when given, receives the number of frame steps made.
bool convert_rows(const uint8_t *data, uint32_t size, uint32_t *frames_out = nullptr);

#endif
