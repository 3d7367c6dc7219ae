// Tone periods: moving them to the TI clock, snapping them to the note
// table, and merging rare periods when a song uses too many.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "convert/tables.h"
#include "tests/test_support.h"
#include "sound/frames.h"
#include "compressor/pitch.h"
#include "vgm/vgm.h"
#include "vgm/vgm_writer.h"

namespace {

constexpr uint32_t BBC_CLOCK = 4000000;
constexpr uint32_t PAL_CLOCK = 3546893;

// One frame per entry: voice 0 at the given period, loud.
std::vector<Frame> frames_of(const std::vector<uint16_t> &periods)
{
    std::vector<Frame> frames;
    for (uint16_t p : periods) {
        Frame f;
        f.v[0] = VoiceState{0, p};
        frames.push_back(f);
    }
    return frames;
}

// Voice 0 plays period on a chip at clock, voice 2 plays period 0 (never
// written), voice 3 plays noise control 3 for a frame.
std::vector<Frame> frames_from_file(uint32_t clock, uint16_t period)
{
    VgmWriter w;
    w.clock = clock;
    vgm_tone(w, 0, period);
    vgm_atten(w, 0, 0);
    vgm_atten(w, 2, 4);
    vgm_noise(w, 3);
    vgm_atten(w, 3, 6);
    vgm_wait_frames(w, 1);
    VgmLog log;
    std::string error;
    EXPECT_TRUE(parse_vgm(vgm_finish(w), "tune.vgm", log, error)) << error;
    EXPECT_EQ(log.clock, clock);
    return sample_frames(log);
}

bool on_table(uint16_t period)
{
    return std::find(note_period, note_period + NOTE_COUNT, period) != note_period + NOTE_COUNT;
}

}  // namespace

TEST(Pitch, MovePeriodToTheTiClock)
{
    EXPECT_EQ(move_period(284, BBC_CLOCK), 254);  // A4 on a BBC Micro
    EXPECT_EQ(move_period(300, BBC_CLOCK), 268);
    EXPECT_EQ(move_period(252, PAL_CLOCK), 254);  // A4 on a PAL machine
    EXPECT_EQ(move_period(300, PAL_CLOCK), 303);
    for (uint16_t n = 1; n < 1024; n++) ASSERT_EQ(move_period(n, TI_CLOCK), n);

    // Period 0 plays as 1024.
    EXPECT_EQ(move_period(0, BBC_CLOCK), 916);
    EXPECT_EQ(move_period(0, TI_CLOCK), 1023);

    // Halves round up; results stay within 1..1023.
    EXPECT_EQ(move_period(3, 2 * TI_CLOCK), 2);
    EXPECT_EQ(move_period(5, 2 * TI_CLOCK), 3);
    EXPECT_EQ(move_period(1, 2 * TI_CLOCK), 1);
    EXPECT_EQ(move_period(1000, 1000000), 1023);
    EXPECT_EQ(move_period(1, 100000000), 1);
}

TEST(Pitch, SnapToTheNearestNote)
{
    for (int i = 0; i < NOTE_COUNT; i++) EXPECT_EQ(snap_period(note_period[i]), note_period[i]);

    // Nearest in pitch (by ratio): between C#3 (807) and C3 (855) the split
    // lies at 830.7.
    EXPECT_EQ(snap_period(831), 855);
    EXPECT_EQ(snap_period(830), 807);
    EXPECT_EQ(snap_period(256), 254);
    EXPECT_EQ(snap_period(247), 254);
    EXPECT_EQ(snap_period(246), 240);
    EXPECT_EQ(snap_period(268), 269);
    EXPECT_EQ(snap_period(65), 64);
    EXPECT_EQ(snap_period(66), 67);
}

TEST(Pitch, OctaveFoldingAtBothEnds)
{
    // Below C3: up by octaves once more than half a semitone below it.
    EXPECT_EQ(snap_period(880), 855);
    EXPECT_EQ(snap_period(881), 453);   // B2 becomes B3
    EXPECT_EQ(snap_period(1000), 508);  // 500 is nearest A3
    EXPECT_EQ(snap_period(1023), 508);
    EXPECT_EQ(snap_period(0), 508);     // plays as 1024, folded to 512: A3
    for (int i = 0; i < 12; i++) {
        uint16_t p = note_period[i];
        EXPECT_EQ(snap_period(static_cast<uint16_t>(2 * p)), p) << p;
        EXPECT_EQ(snap_period(static_cast<uint16_t>(4 * p)), p) << p;
    }

    // Above A6: down by octaves likewise.
    EXPECT_EQ(snap_period(63), 64);
    EXPECT_EQ(snap_period(62), 127);  // over half a semitone above A6: 124, A5
    EXPECT_EQ(snap_period(20), 80);   // F8 becomes F6
    EXPECT_EQ(snap_period(1), 64);
    for (uint16_t p : {120, 90, 80, 76, 64}) EXPECT_EQ(snap_period(static_cast<uint16_t>(p / 2)), p) << p;
}

TEST(Pitch, ApplyToFramesFromBbcAndPalFiles)
{
    // 4 MHz: period 300 moves to 268.47, which G#4 (269) is nearest.
    std::vector<Frame> frames = frames_from_file(BBC_CLOCK, 300);
    ASSERT_EQ(frames.size(), 1u);
    std::vector<Frame> exact = frames;
    apply_pitch(frames, BBC_CLOCK, false);
    apply_pitch(exact, BBC_CLOCK, true);
    EXPECT_EQ(frames[0].v[0].note, 269);
    EXPECT_EQ(exact[0].v[0].note, 268);
    EXPECT_EQ(frames[0].v[2].note, 453);  // period 0: 1024 moved to 916, B2 folded to B3
    EXPECT_EQ(exact[0].v[2].note, 916);
    for (const auto &f : {frames[0], exact[0]}) {
        EXPECT_EQ(f.v[3].note, 3);  // the noise control passes through
        EXPECT_EQ(f.v[3].atten, 6);
        EXPECT_EQ(f.v[0].atten, 0);
        EXPECT_EQ(f.v[2].atten, 4);
    }

    // PAL: 300 moves to 302.76; exact keeps 303, snapping gives F#4 (302).
    frames = frames_from_file(PAL_CLOCK, 300);
    exact = frames;
    apply_pitch(frames, PAL_CLOCK, false);
    apply_pitch(exact, PAL_CLOCK, true);
    EXPECT_EQ(frames[0].v[0].note, 302);
    EXPECT_EQ(exact[0].v[0].note, 303);
    EXPECT_EQ(frames[0].v[3].note, 3);

    // A4 written for each clock lands on the TI's A4.
    for (auto [clock, period] : {std::pair<uint32_t, uint16_t>{BBC_CLOCK, 284}, {PAL_CLOCK, 252}, {TI_CLOCK, 254}}) {
        frames = frames_from_file(clock, period);
        apply_pitch(frames, clock, true);
        EXPECT_EQ(frames[0].v[0].note, 254) << clock;
    }
}

TEST(Pitch, MergeTheRarestPeriods)
{
    // 100 x10, 101 x1, 200 x5, 400 x3, 410 x2; a silent voice with many
    // frames of 999 does not count.
    std::vector<uint16_t> periods;
    for (int i = 0; i < 10; i++) periods.push_back(100);
    periods.push_back(101);
    for (int i = 0; i < 5; i++) periods.push_back(200);
    for (int i = 0; i < 3; i++) periods.push_back(400);
    for (int i = 0; i < 2; i++) periods.push_back(410);
    std::vector<Frame> frames = frames_of(periods);
    for (Frame &f : frames) f.v[1] = VoiceState{15, 999};

    std::vector<Frame> unchanged = frames;
    EXPECT_EQ(merge_periods(unchanged, 5), 0);
    for (size_t i = 0; i < frames.size(); i++) EXPECT_EQ(unchanged[i].v[0].note, periods[i]);

    EXPECT_EQ(merge_periods(frames, 3), 2);
    std::set<uint16_t> used;
    for (size_t i = 0; i < frames.size(); i++) {
        uint16_t want = periods[i] == 101 ? 100 : periods[i] == 410 ? 400 : periods[i];
        EXPECT_EQ(frames[i].v[0].note, want) << i;
        used.insert(frames[i].v[0].note);
        EXPECT_EQ(frames[i].v[1].note, 999);
    }
    EXPECT_EQ(used, (std::set<uint16_t>{100, 200, 400}));

    // A period merged into one that is merged later follows it: 100 goes to
    // 102, then 102 (now three frames) goes to 200.
    frames = frames_of({100, 102, 102, 200, 200, 200, 200, 300, 300, 300, 300});
    EXPECT_EQ(merge_periods(frames, 2), 2);
    EXPECT_EQ(frames[0].v[0].note, 200);
    EXPECT_EQ(frames[1].v[0].note, 200);
    EXPECT_EQ(frames[10].v[0].note, 300);

    // Nearest is by pitch, not by difference: 140 is 40 from 100 and 50
    // from 190, but the ratios are 1.40 and 1.36.
    frames = frames_of({100, 100, 140, 190, 190});
    EXPECT_EQ(merge_periods(frames, 2), 1);
    EXPECT_EQ(frames[2].v[0].note, 190);
}

TEST(RealVgmFiles, PitchSnapsEverySoundingToneAndMergeKeeps256)
{
    std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files here";
    for (const std::string &path : files) {
        VgmLog log;
        ASSERT_TRUE(read_real_vgm(path, log));
        std::vector<Frame> snapped = sample_frames(log);
        std::vector<Frame> exact = snapped;
        apply_pitch(snapped, log.clock, false);
        apply_pitch(exact, log.clock, true);
        std::set<uint16_t> distinct;
        for (size_t i = 0; i < snapped.size(); i++)
            for (int v = 0; v < 3; v++) {
                if (snapped[i].v[v].atten == 15) continue;
                EXPECT_TRUE(on_table(snapped[i].v[v].note)) << path << " frame " << i;
                distinct.insert(exact[i].v[v].note);
            }
        int merged = merge_periods(exact, 256);
        EXPECT_EQ(merged, distinct.size() > 256 ? static_cast<int>(distinct.size() - 256) : 0) << path;
        std::set<uint16_t> left;
        for (const Frame &f : exact)
            for (int v = 0; v < 3; v++)
                if (f.v[v].atten != 15) left.insert(f.v[v].note);
        EXPECT_LE(left.size(), 256u) << path;
    }
}

namespace {

// The period at clock of the note `semitones` from A4, `cents` off equal temperament.
uint16_t tuned_period(uint32_t clock, int semitones, double cents)
{
    const double hz = 440.0 * std::pow(2.0, (semitones * 100.0 + cents) / 1200.0);
    return static_cast<uint16_t>(std::lround(clock / (32.0 * hz)));
}

int table_index(uint16_t period)
{
    return static_cast<int>(std::find(note_period, note_period + NOTE_COUNT, period) - note_period);
}

}  // namespace

TEST(Pitch, UltrasonicTonesFallSilent)
{
    // Above 16 kHz: at 4 MHz period 7 is 17.9 kHz, 8 15.6 kHz; at the TI clock 6 is 18.6 kHz, 7 16.0 kHz.
    struct { uint32_t clock; uint16_t period; uint8_t atten; bool silenced; } cases[] = {
        {BBC_CLOCK, 7, 3, true}, {BBC_CLOCK, 8, 0, false}, {TI_CLOCK, 6, 0, true}, {TI_CLOCK, 7, 0, false},
        {BBC_CLOCK, 6, 15, false}, {BBC_CLOCK, 0, 0, false},  // already silent; 0 plays as 1024
    };
    for (const auto &c : cases)
        for (bool exact : {false, true}) {
            SCOPED_TRACE(std::to_string(c.clock) + " period " + std::to_string(c.period) + (exact ? " exact" : ""));
            std::vector<Frame> frames(2);
            frames[0].v[0] = VoiceState{c.atten, c.period};
            frames[1].v[0] = VoiceState{c.atten, 300};
            frames[1].v[1] = VoiceState{c.atten, c.period};
            const PitchReport r = apply_pitch(frames, c.clock, exact);
            EXPECT_EQ(frames[0].v[0].atten, c.silenced ? 15 : c.atten);
            EXPECT_EQ(frames[1].v[1].atten, frames[0].v[0].atten);
            EXPECT_EQ(frames[1].v[0].atten, c.atten);  // a voice in hearing range is left alone
            EXPECT_EQ(r.ultrasonic, c.silenced ? 2u : 0u);
        }
}

TEST(Pitch, SnapFromTheUnroundedPitchAndAcrossWideGaps)
{
    // At 4 MHz, 77 (68.94 at the TI clock) is 49 cents from 67 and 51 from 71; 82 lies 57 and 61 cents from
    // the table's notes, 35 from G5 (143) an octave down.
    struct { uint16_t period, note; const char *why; } cases[] = {
        {77, 67, "the unrounded pitch picks the note"}, {82, 143, "the same note an octave down"}};
    for (const auto &c : cases) {  // voices 1 and 2 play A4 in tune
        std::vector<Frame> frames = frames_of({c.period});
        frames[0].v[1] = frames[0].v[2] = VoiceState{0, 284};
        apply_pitch(frames, BBC_CLOCK, false);
        EXPECT_EQ(frames[0].v[0].note, c.note) << c.why;
    }
}

TEST(Pitch, SnapsRelativeToTheSongsTuning)
{
    // A C major scale at 4 MHz tuned `cents` off, each note held `hold` frames, then two notes in tune held
    // `in_tune` frames each. A voice parked out of hearing and a silent voice sway nothing.
    const int scale[] = {-9, -7, -5, -4, -2, 0, 2, 3};
    constexpr int A4_INDEX = 21;  // C3 is note 0
    struct { double cents; int hold, in_tune; double low, high; bool relative; } cases[] = {
        {10, 4, 2, 7, 13, false}, {-14, 4, 2, -17, -11, false}, {30, 4, 2, 27, 33, true},
        {-30, 4, 2, -33, -27, true}, {30, 1, 8, -3, 3, false},  // weighted by frames: the notes in tune win
        {49, 4, 2, -50, 50, true}, {-49, 4, 2, -50, 50, true},  // at the quarter-tone edge, either side
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("tuned " + std::to_string(c.cents) + " cents, held " + std::to_string(c.hold));
        std::vector<Frame> frames;
        for (int s : scale)
            for (int i = 0; i < c.hold; i++) {
                Frame f;
                f.v[0] = VoiceState{2, tuned_period(BBC_CLOCK, s, c.cents)};
                f.v[1] = VoiceState{0, 6};
                f.v[2] = VoiceState{15, tuned_period(BBC_CLOCK, s, 40)};
                frames.push_back(f);
            }
        for (int s : {1, 5})
            for (int i = 0; i < c.in_tune; i++) frames.push_back(frames_of({tuned_period(BBC_CLOCK, s, 0)})[0]);
        const double offset = tuning_offset(frames, BBC_CLOCK);
        EXPECT_GE(offset, c.low);
        EXPECT_LE(offset, c.high);
        if (std::fabs(c.cents) > 45) {
            EXPECT_GE(std::fabs(offset), 44.0);
        }
        const PitchReport r = apply_pitch(frames, BBC_CLOCK, false);
        EXPECT_DOUBLE_EQ(r.tuning_cents, offset);
        EXPECT_EQ(r.relative, c.relative);
        EXPECT_EQ(r.ultrasonic, frames.size() - 2 * static_cast<size_t>(c.in_tune));
        // Every interval is kept; within a quarter tone each note lands on the note meant.
        const int first = table_index(frames[0].v[0].note);
        if (std::fabs(c.cents) < 45) {
            EXPECT_EQ(first, A4_INDEX + scale[0]);
        }
        for (size_t i = 0; i < 8; i++)
            EXPECT_EQ(table_index(frames[i * static_cast<size_t>(c.hold)].v[0].note) - first, scale[i] - scale[0])
                << i;
    }
    EXPECT_EQ(tuning_offset(std::vector<Frame>(3), BBC_CLOCK), 0.0);  // nothing sounding
}
