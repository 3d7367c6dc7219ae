// Playing a song file on the side: the player's state saved and put back.
#include "player/side_play.h"

#include "player/player_state.h"

void play_song_file(const std::vector<uint8_t> &song_file, const AfterFrame &after_frame)
{
    PlayerStateGuard guard;
    sound_log = nullptr;
    playmask = 0;
    lock = 0;
    stinit(song_file.data(), 0, static_cast<uint32_t>(song_file.size()));
    bool more = true;
    while (more) {
        stplay();
        more = after_frame(musicout, (playmask & 0xFF00) != 0);
    }
}
