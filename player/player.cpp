#include "player/player.h"

#include "sound/codec.h"

SPF music;
OUTPUT musicout;
uint32_t playmask;
uint8_t lock;
uint8_t SOUND;
std::vector<uint8_t> *sound_log;

namespace {

inline void send(uint8_t b)
{
    SOUND = b;
    if (sound_log) sound_log->push_back(b);
}

// Repeated time codes 0x7A to 0x7F: the code each acts as and the repeats
// still pending after the first occurrence.
const uint8_t repeat_code[6] = {0x43, 0x42, 0x42, 0x41, 0x41, 0x41};
const uint8_t repeat_pending[6] = {1, 1, 2, 1, 2, 3};

void silence_output()
{
    for (int v = 0; v < 4; v++) {
        musicout.vol[v] = chip_atten_byte(v, CHIP_SILENT);
        musicout.tone[v] = 0;
    }
}

}  // namespace

uint8_t songbyte(const SPF *pMus, uint32_t off)
{
    return off < pMus->songsize ? pMus->songad[off] : 0;
}

uint8_t getbyte(SPF *pMus, int idx)
{
    uint8_t b;
    if (pMus->streamcnt[idx] != 0) {
        if (pMus->streamref[idx] == 0) {
            b = songbyte(pMus, pMus->streampos[idx]++);
            pMus->streamcnt[idx]--;
        } else if (pMus->streamref[idx] == 0xFFFF) {
            b = songbyte(pMus, pMus->streampos[idx]);
            if (--pMus->streamcnt[idx] == 0) pMus->streampos[idx]++;
        } else {
            b = songbyte(pMus, pMus->streamref[idx]++);
            if (--pMus->streamcnt[idx] == 0) pMus->streamref[idx] = 0;
        }
        return b;
    }

    uint8_t c = songbyte(pMus, pMus->streampos[idx]++);
    if (c == 0) return 0;
    pMus->streamcnt[idx] = static_cast<uint8_t>((c & 0x3F) - 1);
    switch (c & 0xC0) {
    case 0x00:
        pMus->streamref[idx] = 0;
        return songbyte(pMus, pMus->streampos[idx]++);
    case 0x40:
        pMus->streamref[idx] = 0xFFFF;
        b = songbyte(pMus, pMus->streampos[idx]);
        if ((c & 0x3F) == 1) pMus->streampos[idx]++;
        return b;
    case 0x80:
        pMus->streamref[idx] = pMus->streambase[idx] + songbyte(pMus, pMus->streampos[idx]++);
        return songbyte(pMus, pMus->streamref[idx]++);
    default: {
        uint32_t hi = songbyte(pMus, pMus->streampos[idx]++);
        uint32_t lo = songbyte(pMus, pMus->streampos[idx]++);
        pMus->streamref[idx] = hi * 256 + lo;
        return songbyte(pMus, pMus->streamref[idx]++);
    }
    }
}

void stinit(const uint8_t *pMod, uint8_t num, uint32_t size)
{
    lock = 1;
    music.songad = pMod;
    music.songsize = size;
    uint32_t at = (static_cast<uint32_t>(songbyte(&music, 0)) << 8 | songbyte(&music, 1)) + 24u * num;
    for (int i = 0; i < 12; i++) {
        uint32_t off = static_cast<uint32_t>(songbyte(&music, at)) << 8 | songbyte(&music, at + 1);
        at += 2;
        music.streampos[i] = off;
        music.streambase[i] = off;
        music.streamref[i] = 0;
        music.streamcnt[i] = 0;
    }
    for (int v = 0; v < 4; v++) music.tmcnt[v] = music.tmocnt[v] = music.tmovr[v] = 0;
    playmask |= 0xFF00;
    silence_output();
    lock = 0;
}

void stplay()
{
    if (lock == 1) return;
    playmask &= 0xFF;
    playone(&music);
}

void playone(SPF *pMus)
{
    for (int v = 0; v < 4; v++) {
        if (pMus->streampos[8 + v] == 0) continue;
        playmask |= 0x100u << v;
        uint8_t before = pMus->tmcnt[v]--;
        if (before > 1) continue;

        uint8_t w;
        if (pMus->tmocnt[v] != 0) {
            pMus->tmocnt[v]--;
            w = pMus->tmovr[v];
        } else {
            w = getbyte(pMus, 8 + v);
            if (w == 0) {
                pMus->streampos[8 + v] = 0;
                continue;
            }
            if (w >= 0x7A && w <= 0x7F) {
                pMus->tmovr[v] = repeat_code[w - 0x7A];
                pMus->tmocnt[v] = repeat_pending[w - 0x7A];
                w = pMus->tmovr[v];
            }
        }

        bool muted = (playmask >> v) & 1;
        if (w & 0x80) {
            uint8_t x = getbyte(pMus, v);
            if (v == 3) {
                uint8_t b = static_cast<uint8_t>(x | CHIP_NOISE_COMMAND);
                if (!muted) send(b);
                musicout.tone[3] = b;
            } else {
                uint32_t table = static_cast<uint32_t>(songbyte(pMus, 2)) << 8 | songbyte(pMus, 3);
                uint8_t t0 = songbyte(pMus, table + 2u * x);
                uint8_t t1 = songbyte(pMus, table + 2u * x + 1);
                uint8_t lo = static_cast<uint8_t>(t0 | chip_tone_command(v));
                if (!muted) {
                    send(lo);
                    send(t1);
                }
                musicout.tone[v] = static_cast<uint32_t>(t1) << 8 | lo;
            }
        }
        if (w & 0x40) {
            uint8_t x = getbyte(pMus, 4 + v);
            uint8_t b = static_cast<uint8_t>(x | chip_atten_command(v));
            if (!muted) send(b);
            musicout.vol[v] = b;
        }
        pMus->tmcnt[v] = w & 0x3F;
    }
}

void ststop()
{
    lock = 1;
    for (int i = 0; i < 12; i++) {
        music.streampos[i] = music.streamref[i] = music.streambase[i] = 0;
        music.streamcnt[i] = 0;
    }
    for (int v = 0; v < 4; v++) music.tmcnt[v] = music.tmocnt[v] = music.tmovr[v] = 0;
    silence_output();
    playmask &= 0xFF;
    lock = 0;
}

void allstop()
{
    ststop();
}
