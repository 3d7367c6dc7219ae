// Checking a song file against the song it was built from, by playing it
// with the converter's own player.
#ifndef VGMCOMP_VERIFY_H
#define VGMCOMP_VERIFY_H

#include <cstdint>
#include <string>
#include <vector>

#include "sound/frames.h"
#include "songfile/streams.h"

// Plays song 0 of song_file frame by frame and checks that after every frame
// f = 1..F (F = frames.size()) each voice has the attenuation of frames[f-1]
// and, while it sounds or in a frame that retunes it, its period (voices
// 0-2) or noise control (voice 3);
// that the song runs through frame F+1 when any voice sounds; that frame F+1
// and the few after it have every voice silent; and that the song then ends
// within a few frames. On a difference returns false and, when why is given,
// names the first differing frame and voice.
// Uses the player's program-wide state and leaves it as it found it.
bool verify_song(const std::vector<uint8_t> &song_file, const std::vector<Frame> &frames, std::string *why);

// Plays song 0 of song_file for the given number of frames and returns
// what the player holds after each frame f = 1..frames (at index f-1): every
// voice's attenuation and its period or noise control (0 before the first
// one is sent). Leaves the player's state as it found it.
std::vector<Frame> play_song(const std::vector<uint8_t> &song_file, size_t frames);

// Builds the song file of frames (streams, tone table, packing) and checks
// it: too large for its 16-bit offsets, or not playing back as frames (why
// then says where). streams and file are set in every case.
enum class SongCheck { ok, too_large, wrong_playback };
SongCheck make_checked_song(const std::vector<Frame> &frames, SongStreams &streams, std::vector<uint8_t> &file,
                            std::string *why);

#endif
