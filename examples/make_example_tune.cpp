// Writes the example tune, "Frere Jacques" (traditional, public domain), as a
// VGM file: a three-voice round, each voice entering two bars after the one
// before, quarter note = 30 frames at the TI-99/4A's chip clock.
#include <cmath>
#include <cstdio>
#include <vector>

#include "vgm/vgm_writer.h"

namespace {

struct Note {
    int semitone;  // from C4
    int eighths;   // length in eighth notes
};

// One pass of the tune, eight bars of 4/4.
const std::vector<Note> melody = {
    {0, 2}, {2, 2}, {4, 2}, {0, 2},          // Frere Jacques,
    {0, 2}, {2, 2}, {4, 2}, {0, 2},          // Frere Jacques,
    {4, 2}, {5, 2}, {7, 4},                  // Dormez-vous?
    {4, 2}, {5, 2}, {7, 4},                  // Dormez-vous?
    {7, 1}, {9, 1}, {7, 1}, {5, 1}, {4, 2}, {0, 2},  // Sonnez les matines,
    {7, 1}, {9, 1}, {7, 1}, {5, 1}, {4, 2}, {0, 2},  // Sonnez les matines,
    {0, 2}, {-5, 2}, {0, 4},                 // Din, dan, don.
    {0, 2}, {-5, 2}, {0, 4},                 // Din, dan, don.
};

const int frames_per_eighth = 15;
const int bar_frames = 8 * frames_per_eighth;

uint16_t period_of(int semitone_from_c4)
{
    double hz = 440.0 * std::pow(2.0, (semitone_from_c4 - 9) / 12.0);
    return static_cast<uint16_t>(std::lround(3579545.0 / (32.0 * hz)));
}

struct VoicePlan {
    int start_frame;
    int octave_shift;  // semitones
    uint8_t atten;
};

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_example_tune OUTPUT.vgm\n");
        return 2;
    }
    const VoicePlan plans[3] = {{0, 12, 2}, {2 * bar_frames, 0, 4}, {4 * bar_frames, 0, 6}};

    // Per voice and frame: period and attenuation.
    int melody_frames = 0;
    for (const Note &n : melody) melody_frames += n.eighths * frames_per_eighth;
    const int total = plans[2].start_frame + melody_frames + 30;
    std::vector<uint16_t> period(3 * total, 0);
    std::vector<uint8_t> atten(3 * total, 15);
    for (int v = 0; v < 3; v++) {
        int f = plans[v].start_frame;
        for (const Note &n : melody) {
            int len = n.eighths * frames_per_eighth;
            for (int i = 0; i < len; i++, f++) {
                period[3 * f + v] = period_of(n.semitone + plans[v].octave_shift);
                // Short release at the end of every note so repeats are heard;
                // the volume drops by two steps after the attack.
                uint8_t a = plans[v].atten;
                if (i >= 6) a = static_cast<uint8_t>(a + 2);
                atten[3 * f + v] = i >= len - 3 ? 15 : a;
            }
        }
    }

    VgmWriter w;
    uint16_t last_period[3] = {0, 0, 0};
    uint8_t last_atten[3] = {15, 15, 15};
    for (int v = 0; v < 3; v++) vgm_atten(w, v, 15);
    vgm_atten(w, 3, 15);
    for (int f = 0; f < total; f++) {
        for (int v = 0; v < 3; v++) {
            if (period[3 * f + v] != 0 && period[3 * f + v] != last_period[v]) {
                last_period[v] = period[3 * f + v];
                vgm_tone(w, v, last_period[v]);
            }
            if (atten[3 * f + v] != last_atten[v]) {
                last_atten[v] = atten[3 * f + v];
                vgm_atten(w, v, last_atten[v]);
            }
        }
        vgm_wait_frames(w, 1);
    }
    std::vector<uint8_t> bytes = vgm_finish(w, true);
    FILE *out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    ok = std::fclose(out) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "%s: write failed\n", argv[1]);
        return 1;
    }
    return 0;
}
