#include "convert/tables.h"

#include "sound/codec.h"

int16_t freq[4096];
int16_t vol[4][500];
int16_t noise[300];

void freq_init()
{
    for (int i = 0; i < NOTE_COUNT; i++) freq[period_key(note_period[i])] = note_hz[i];
    freq[0] = 110;  // no tone written yet

    // Noise command bytes 0xE0 to 0xE7 are XB's noise types -1 to -8 in
    // order, as CALL SOUND defines them: -1 to -3 periodic at the fixed
    // rates, -4 periodic at the third tone's rate (0xE3), -5 to -7 white at
    // the fixed rates, -8 white at the third tone's rate (0xE7).
    for (int i = 0; i < 8; i++) noise[chip_noise_byte(static_cast<uint8_t>(i))] = static_cast<int16_t>(-(i + 1));
}

void vol_init()
{
    for (int v = 0; v < 4; v++)
        for (int a = 0; a < 16; a++) vol[v][chip_atten_byte(v, static_cast<uint8_t>(a))] = static_cast<int16_t>(2 * a);
}
