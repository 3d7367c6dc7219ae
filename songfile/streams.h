// The per-voice time, note and volume streams of a song, unpacked.
#ifndef VGMCOMP_STREAMS_H
#define VGMCOMP_STREAMS_H

#include <cstdint>
#include <vector>

#include "sound/frames.h"

struct SongStreams {
    std::vector<uint16_t> tones;  // tone table: periods indexed by the note bytes of voices 0-2
    std::vector<uint8_t> note[4], vol[4], time[4];
    bool used[4] = {false, false, false, false};  // an unused voice has no streams at all
};

// Builds the streams that make the player reproduce frames exactly: per
// voice the volume every frame and the note while it sounds (and in the
// frames that retune it while silent), then a final change to silence for
// every voice still sounding after the last frame. A voice that never sounds
// and is never retuned is unused.
SongStreams build_streams(const std::vector<Frame> &frames);

#endif
