// The converter's player keeps its state program-wide: code that plays a
// song file on the side saves that state and puts it back when done.
#ifndef VGMCOMP_PLAYER_STATE_H
#define VGMCOMP_PLAYER_STATE_H

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
