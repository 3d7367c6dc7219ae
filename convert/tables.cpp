#include "convert/tables.h"

const uint16_t note_period[NOTE_COUNT] = {
    855, 807, 762, 719, 679, 641, 605, 571, 539, 508, 480, 453,  // C3 - B3
    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,  // C4 - B4
    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113,  // C5 - B5
    107, 101, 95,  90,  85,  80,  76,  71,  67,  64,             // C6 - A6
};

const int16_t note_hz[NOTE_COUNT] = {
    131,  139,  147,  156,  165,  175,  185,  196,  208,  220,  233,  247,
    262,  277,  294,  311,  330,  349,  370,  392,  415,  440,  466,  494,
    523,  554,  587,  622,  659,  698,  740,  784,  831,  880,  932,  988,
    1047, 1109, 1175, 1245, 1319, 1397, 1480, 1568, 1661, 1760,
};

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
    for (int i = 0; i < 8; i++) noise[0xE0 + i] = static_cast<int16_t>(-(i + 1));
}

void vol_init()
{
    for (int v = 0; v < 4; v++)
        for (int a = 0; a < 16; a++) vol[v][0x90 + 32 * v + a] = static_cast<int16_t>(2 * a);
}
