// What of a song's tone voices the converter plays: it knows the periods of
// its note table only and writes any other tone as silence. Songs snapped to
// the table lose nothing; with --exact this says how much a song loses.
#ifndef VGMCOMP_PLAYABLE_H
#define VGMCOMP_PLAYABLE_H

#include <cstdint>
#include <vector>

#include "sound/frames.h"

struct PlayableCount {
    uint64_t sounding = 0;  // tone voice-frames that sound (attenuation below 15)
    uint64_t unplayed = 0;  // of those, the ones whose period the converter does not play
};

// True when the converter plays the tone period (TI clock): one of its table's.
bool converter_plays(uint16_t period);

// Counts the sounding tone voice-frames of frames and the unplayed ones.
PlayableCount count_playable(const std::vector<Frame> &frames);

#endif
