#include "compressor/playable.h"

#include "xbsound/notes.h"

bool converter_plays(uint16_t period)
{
    for (int i = 0; i < NOTE_COUNT; i++)
        if (note_period[i] == period) return true;
    return false;
}

PlayableCount count_playable(const std::vector<Frame> &frames)
{
    bool plays[1024];
    for (uint16_t p = 0; p < 1024; p++) plays[p] = converter_plays(p);
    PlayableCount count;
    for (const Frame &f : frames)
        for (int v = 0; v < 3; v++) {
            if ((f.v[v].atten & 0x0F) == 15) continue;
            count.sounding++;
            if (!plays[f.v[v].note & 0x3FF]) count.unplayed++;
        }
    return count;
}
