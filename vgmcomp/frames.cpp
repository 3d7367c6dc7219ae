// Sampling the chip state once a frame, every 735 samples.
#include "vgmcomp/frames.h"

#include "vgmcomp/chip.h"

std::vector<Frame> sample_frames(const VgmLog &log)
{
    // The timeline reaches the last wait, and also a write made at its very
    // end (a file that writes a note and then stops), so that no write is lost.
    uint64_t end = log.end_sample;
    if (!log.writes.empty() && log.writes.back().sample >= end) end = log.writes.back().sample + 1;
    const uint64_t count = (end + SAMPLES_PER_FRAME - 1) / SAMPLES_PER_FRAME;
    std::vector<Frame> frames;
    frames.reserve(static_cast<size_t>(count));
    ChipState chip;
    size_t next = 0;
    for (uint64_t i = 1; i <= count; i++) {
        const uint64_t boundary = i * SAMPLES_PER_FRAME;
        while (next < log.writes.size() && log.writes[next].sample < boundary) chip_write(chip, log.writes[next++].value);
        Frame f;
        for (int v = 0; v < 3; v++) f.v[v] = VoiceState{chip.atten[v], chip.period[v]};
        f.v[3] = VoiceState{chip.atten[3], chip.noise};
        frames.push_back(f);
    }
    return frames;
}
