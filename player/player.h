// Song player: the song file decoder and the per-frame sound driver.
//
// A song file holds, per song, twelve packed byte streams (note, volume and
// time stream of each of the four voices). getbyte() unpacks one byte of one
// stream per call; stplay() advances the song by one frame (1/60 s), sending
// chip bytes to the SOUND port and keeping the chip state in musicout.
#ifndef KELVARO_PLAYER_H
#define KELVARO_PLAYER_H

#include <cstdint>
#include <vector>

// Player state record: the decoder state of the twelve streams, the per-voice
// time counters and the song being played.
struct SPF {
    uint32_t streampos[12];   // next command or literal byte; streampos[8+v] == 0: voice v ended
    uint32_t streamref[12];   // 0 literal run, 0xFFFF repeat run, else next copy offset
    uint32_t streambase[12];  // stream start, base of short back-references
    uint8_t streamcnt[12];    // bytes of the current run still to come
    uint8_t tmcnt[4];         // frames left before the next time code
    uint8_t tmocnt[4];        // pending repeats of a repeated time code
    uint8_t tmovr[4];         // the time code being repeated
    const uint8_t *songad;    // the loaded song file (not owned)
    uint32_t songsize;        // its size: every read stays below it
};

// Chip state: last volume command byte and last tone word (noise command byte
// for voice 3) of each voice.
struct OUTPUT {
    uint8_t vol[4];
    uint32_t tone[4];
};

extern SPF music;
extern OUTPUT musicout;
extern uint32_t playmask;  // bits 0-3 mute bits, bits 8-15 running voices
extern uint8_t lock;       // 1 while stinit/ststop rewrite the state
extern uint8_t SOUND;      // the sound-chip port: the last byte sent

// When set, every byte sent to SOUND is also appended here, in order.
extern std::vector<uint8_t> *sound_log;

// Reads one byte of the song at offset off; 0 outside the loaded data.
uint8_t songbyte(const SPF *pMus, uint32_t off);

uint8_t getbyte(SPF *pMus, int idx);
// Starts song num of the song file pMod of size bytes.
void stinit(const uint8_t *pMod, uint8_t num, uint32_t size);
void stplay();
void playone(SPF *pMus);
void ststop();
void allstop();

#endif
