// The chip state of each frame as the voices' volumes and notes.
#include "vgm/vgm.h"

std::vector<Frame> sample_frames(const VgmLog &log)
{
    std::vector<Frame> frames;
    frames.reserve(log.frames.size());
    for (const ChipState &chip : log.frames) {
        Frame f;
        for (int v = 0; v < 3; v++) f.v[v] = VoiceState{chip.atten[v], chip.period[v]};
        f.v[3] = VoiceState{chip.atten[3], chip.noise};
        frames.push_back(f);
    }
    return frames;
}
