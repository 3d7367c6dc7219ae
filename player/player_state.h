// The player keeps its state program-wide (player/player.h). The
// converter's own code that plays a song on the side saves that state here
// and puts it back when done; code outside the converter plays song files
// through player/side_play.h, which does so itself.
#ifndef KELVARO_PLAYER_STATE_H
#define KELVARO_PLAYER_STATE_H

#include <cstdint>
#include <vector>

#include "player/player.h"

struct PlayerStateGuard {
    SPF saved_music = music;
    OUTPUT saved_out = musicout;
    uint32_t saved_mask = playmask;
    uint8_t saved_lock = lock;
    std::vector<uint8_t> *saved_log = sound_log;
    PlayerStateGuard() = default;
    PlayerStateGuard(const PlayerStateGuard &) = delete;
    PlayerStateGuard &operator=(const PlayerStateGuard &) = delete;
    ~PlayerStateGuard()
    {
        music = saved_music;
        musicout = saved_out;
        playmask = saved_mask;
        lock = saved_lock;
        sound_log = saved_log;
    }
};

#endif
