// Chip-to-XB lookup tables: tone period key to hertz, volume command byte to
// XB volume (0 loudest, 30 quietest), noise command byte to XB noise type.
#ifndef KELVARO_TABLES_H
#define KELVARO_TABLES_H

#include <cstdint>

#include "xbsound/notes.h"

extern int16_t freq[4096];
extern int16_t vol[4][500];
extern int16_t noise[300];

// The table key of a 10-bit tone period N: low nibble times 256 plus N >> 4.
inline uint32_t period_key(uint32_t n)
{
    return ((n & 0x0F) << 8) + (n >> 4);
}

void freq_init();
void vol_init();

#endif
