// The fidelity measure: what counts as the same pitch, octave and volume and
// what as a phantom; and the figures of the real files' song files.
#include <gtest/gtest.h>

#include "tests/test_support.h"
#include "compressor/fidelity.h"
#include "compressor/fit.h"
#include "compressor/pitch.h"
#include "songfile/verify.h"
#include "vgm/vgm.h"

namespace {

Frame voice0(uint8_t atten, uint16_t period)
{
    Frame f;
    f.v[0] = VoiceState{atten, period};
    return f;
}

TEST(Fidelity, CountsPitchOctaveVolumeAndPhantomsPerFrame)
{
    // Reference at 4 MHz, candidate at the TI clock: period 254 at the TI
    // clock is 440.4 Hz; at 4 MHz period 284 is 440.1 Hz.
    struct Case {
        Frame ref, got;
        uint64_t sounding, pitch_class, octave, volume, note_volume, phantom;
    } cases[] = {
        {voice0(2, 284), voice0(2, 254), 1, 1, 1, 1, 1, 0},   // same note, same volume
        {voice0(2, 284), voice0(5, 254), 1, 1, 1, 0, 0, 0},   // volume differs
        {voice0(2, 284), voice0(2, 127), 1, 1, 0, 1, 0, 0},   // an octave up
        {voice0(2, 284), voice0(2, 240), 1, 0, 0, 1, 0, 0},   // a semitone up
        {voice0(2, 284), voice0(15, 254), 1, 0, 0, 0, 0, 0},  // silent
        {voice0(15, 284), voice0(0, 254), 0, 0, 0, 0, 0, 1},  // phantom
        {voice0(0, 7), voice0(0, 254), 0, 0, 0, 0, 0, 1},     // ultrasonic reference: phantom
        {voice0(0, 7), voice0(15, 254), 0, 0, 0, 0, 0, 0},    // ultrasonic kept silent
    };
    for (const Case &c : cases) {
        const FidelityCounts t = measure_fidelity({c.ref}, 4000000, {c.got}, 3579545, 1).total;
        const uint64_t got[] = {t.sounding, t.pitch_class, t.octave, t.volume, t.note_volume, t.phantom};
        const uint64_t want[] = {c.sounding, c.pitch_class, c.octave, c.volume, c.note_volume, c.phantom};
        for (int i = 0; i < 6; i++) EXPECT_EQ(got[i], want[i]) << "figure " << i << " of case " << &c - cases;
    }
    // Frames past the end of the candidate count as silence.
    const Fidelity f = measure_fidelity({voice0(0, 254), voice0(0, 254)}, 3579545, {voice0(0, 254)}, 3579545, 2);
    EXPECT_EQ(f.voice[0].sounding, 2u);
    EXPECT_EQ(f.voice[0].octave, 1u);
}

// Each real file's song file (default options) as the player plays it,
// against the VGM's own frames.
TEST(RealVgmFiles, SongFilesKeepPitchVolumeAndSilence)
{
    const std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files here";
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        std::vector<uint8_t> bytes, file;
        std::string error;
        VgmLog log;
        ASSERT_TRUE(load_vgm_bytes(path, bytes, error) && parse_vgm(bytes, path, log, error)) << error;
        const std::vector<Frame> frames = prepare_frames(ti_frames(log, log.clock, false), Reductions());
        SongStreams streams;
        ASSERT_EQ(make_checked_song(frames, streams, file, &error), SongCheck::ok) << error;
        const FidelityCounts c =
            measure_fidelity(sample_frames(log), log.clock, play_song(file, frames.size()), TI_CLOCK, frames.size()).total;
        EXPECT_GT(c.sounding, 0u);
        EXPECT_EQ(c.phantom, 0u);
        EXPECT_GE(c.pitch_class * 1000, c.sounding * 995);  // 99.5%
        EXPECT_EQ(c.volume, c.sounding);
        EXPECT_LE(c.note_volume, c.octave);
        EXPECT_LE(c.octave, c.pitch_class);
    }
}

}  // namespace
