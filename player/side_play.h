// Playing a song file beside whatever the player is doing: for code outside
// the converter (the song-file check, the compressor), which thus never
// touches the player's program-wide state itself.
#ifndef KELVARO_SIDE_PLAY_H
#define KELVARO_SIDE_PLAY_H

#include <cstdint>
#include <functional>
#include <vector>

#include "player/player.h"

// Called after each frame with the chip state the player keeps (musicout)
// and whether the song still runs; returns false to stop playing.
using AfterFrame = std::function<bool(const OUTPUT &chip, bool running)>;

// Starts song 0 of song_file with nothing muted and no log of the bytes
// sent, plays it frame by frame (stplay) for as long as after_frame asks,
// and leaves the player's state as it found it.
void play_song_file(const std::vector<uint8_t> &song_file, const AfterFrame &after_frame);

#endif
