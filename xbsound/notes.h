// The notes XB's CALL SOUND plays exactly.
#ifndef KELVARO_XBSOUND_NOTES_H
#define KELVARO_XBSOUND_NOTES_H

#include <cstdint>

// The 46 tone periods that XB plays exactly, C3 (855) to A6 (64), one per
// equal-tempered note, with their frequencies in hertz.
constexpr int NOTE_COUNT = 46;
extern const uint16_t note_period[NOTE_COUNT];
extern const int16_t note_hz[NOTE_COUNT];

#endif
