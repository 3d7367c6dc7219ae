// The fidelity measure: what counts as the same pitch, octave and volume,
// and what counts as a phantom; and the figures of the real files' song
// files.
#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"
#include "vgmcomp/fidelity.h"
#include "vgmcomp/fit.h"
#include "vgmcomp/pitch.h"
#include "vgmcomp/verify.h"
#include "vgmcomp/vgm.h"

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
        const Fidelity f = measure_fidelity({c.ref}, 4000000, {c.got}, 3579545, 1);
        const FidelityCounts &t = f.total;
        EXPECT_EQ(t.sounding, c.sounding);
        EXPECT_EQ(t.pitch_class, c.pitch_class);
        EXPECT_EQ(t.octave, c.octave);
        EXPECT_EQ(t.volume, c.volume);
        EXPECT_EQ(t.note_volume, c.note_volume);
        EXPECT_EQ(t.phantom, c.phantom);
    }
    // Frames past the end of the candidate count as silence.
    const Fidelity f = measure_fidelity({voice0(0, 254), voice0(0, 254)}, 3579545, {voice0(0, 254)}, 3579545, 2);
    EXPECT_EQ(f.voice[0].sounding, 2u);
    EXPECT_EQ(f.voice[0].octave, 1u);
    EXPECT_DOUBLE_EQ(fidelity_percent(f.total.octave, f.total.sounding), 50.0);
    EXPECT_DOUBLE_EQ(fidelity_percent(0, 0), 100.0);
    EXPECT_DOUBLE_EQ(fidelity_percent(0, 0, 0.0), 0.0);
}

}  // namespace

namespace {

// The figures of a real file's song file (default options) as the player
// plays it, against the VGM's own frames.
FidelityCounts real_file_fidelity(const std::string &path)
{
    std::vector<uint8_t> bytes;
    std::string error;
    VgmLog log;
    EXPECT_TRUE(load_vgm_bytes(path, bytes, error)) << error;
    EXPECT_TRUE(parse_vgm(bytes, path, log, error)) << error;
    const std::vector<Frame> frames = prepare_frames(ti_frames(log, log.clock, false), Reductions());
    SongStreams streams;
    std::vector<uint8_t> file;
    EXPECT_EQ(make_checked_song(frames, streams, file, &error), SongCheck::ok) << error;
    return measure_fidelity(sample_frames(log), log.clock, play_song(file, frames.size()), TI_CLOCK, frames.size())
        .total;
}

}  // namespace

TEST(RealVgmFiles, SongFilesKeepPitchVolumeAndSilence)
{
    const std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files here";
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        const FidelityCounts c = real_file_fidelity(path);
        EXPECT_GT(c.sounding, 0u);
        EXPECT_EQ(c.phantom, 0u);
        EXPECT_GE(c.pitch_class * 1000, c.sounding * 995);  // 99.5%
        EXPECT_EQ(c.volume, c.sounding);
        EXPECT_LE(c.note_volume, c.octave);
        EXPECT_LE(c.octave, c.pitch_class);
    }
}
