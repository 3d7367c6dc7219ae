// The timing facts of CALL SOUND in one place, and rows timed for XB
// without the compiler: every row plays the song time it stands for, in
// every form and timing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "compressor/estimate.h"
#include "compressor/fit.h"
#include "compressor/pitch.h"
#include "compressor/xbtime.h"
#include "convert/rows.h"
#include "convert/settings.h"
#include "output/listing.h"
#include "preview/ti_sound.h"
#include "tests/fit_support.h"
#include "tests/test_support.h"
#include "vgm/vgm.h"
#include "xbsound/timing.h"

namespace {

constexpr double FRAME_MS = 1000.0 / 60.0;

// kelvaro's listing of frames for target, read back.
Listing listing_of(const std::vector<Frame> &frames, const XbTarget &target)
{
    std::string text, error;
    estimate_xb(frames, std::numeric_limits<uint32_t>::max(), &text, target);
    Listing listing;
    EXPECT_TRUE(read_listing(text, "song.txt", listing, error)) << error;
    return listing;
}

// The five programs XB without the compiler plays in the README's table.
const XbTarget interpreted_targets[] = {
    {XbForm::program, false, true},      // -e
    {XbForm::program, false, false},     // -r
    {XbForm::statements, false, false},  // -x
    {XbForm::statements, true, false},   // -x -n
    {XbForm::program, true, true},       // -e -n
};

struct Drift {
    double song_ms = 0, played_ms = 0, worst_ms = 0;
};

// XB's played time of the listing's rows (the model) against the song time
// of the rows they stand for, row by row.
Drift drift_of(const std::vector<uint64_t> &song_frames, const Listing &listing, const XbTarget &target)
{
    Drift d;
    EXPECT_EQ(listing.rows.size(), song_frames.size());
    for (size_t i = 0; i < listing.rows.size() && i < song_frames.size(); i++) {
        d.song_ms += static_cast<double>(song_frames[i]) * FRAME_MS;
        d.played_ms += interpreted_row_ms(target, listing.rows[i].duration);
        d.worst_ms = std::max(d.worst_ms, std::fabs(d.played_ms - d.song_ms));
    }
    return d;
}

}  // namespace

// The converter's durations are the ones xbsound knows, for every frame
// count and timing.
TEST(XbTime, WrittenMillisecondsAreTheConverters)
{
    const struct {
        int32_t output, timing;
        double factor;
    } cases[] = {
        {OUTPUT_PROGRAM, TIMING_REAL, REAL_FACTOR},
        {OUTPUT_DATA, TIMING_EMULATED, EMULATED_FACTOR},
        {OUTPUT_CALLSOUND, TIMING_EMULATED, CALL_SOUND_FACTOR},
    };
    for (const auto &c : cases) {
        arg_output = c.output;
        arg_noise = NOISE_OFF;
        arg_timing = c.timing;
        rows_setup();
        EXPECT_EQ(duration_factor(c.output == OUTPUT_CALLSOUND, c.timing == TIMING_EMULATED), c.factor);
        for (uint32_t frames = 1; frames <= 1000; frames++)
            ASSERT_EQ(written_ms(frames, c.factor), row_duration(static_cast<float>(frames))) << frames;
    }
    settings_default();
    EXPECT_EQ(written_ms(LONGEST_ROW_FRAMES, REAL_FACTOR), 4240);
    EXPECT_GT(written_ms(LONGEST_ROW_FRAMES + 1, REAL_FACTOR), static_cast<int32_t>(CALL_SOUND_MAX_MS));
}

// The preview plays each row of a listing for the frames the converter
// wrote it from: a row of 200 frames is 4,000 ms at REAL timing, which
// a factor of 1.25 would play as 192 frames.
TEST(XbTime, PreviewPlaysTheConvertersRowsInTheirFrames)
{
    std::vector<Frame> frames;
    fittest::set(frames, 1, 9, 0, 0, 428);
    fittest::set(frames, 10, 209, 0, 2, 339);
    fittest::set(frames, 210, 216, 0, 0, 285);
    fittest::set(frames, 217, 220, 0, 15, 285);
    const struct {
        XbTarget target;
        WrittenFor timing;
        int32_t long_row_ms;
    } cases[] = {
        {{XbForm::program, false, false}, WrittenFor::real, 4000},
        {{XbForm::data, false, true}, WrittenFor::emulated, 3333},
        {{XbForm::statements, false, false}, WrittenFor::real, 2999},
    };
    const std::vector<uint64_t> song = row_song_frames(frames, XbTarget());
    ASSERT_EQ(song, (std::vector<uint64_t>{10, 200, 7}));
    for (const auto &c : cases) {
        const Listing listing = listing_of(frames, c.target);
        ASSERT_EQ(listing.rows.size(), 3u);
        EXPECT_EQ(listing.rows[1].duration, c.long_row_ms);
        const TiTimeline t = listing_timeline(listing, PlayTiming{PlayOn::compiled, c.timing});
        ASSERT_EQ(t.steps.size(), 3u);
        EXPECT_EQ(t.steps[1].sample, 10 * SAMPLES_PER_FRAME);
        EXPECT_EQ(t.steps[2].sample, 210 * SAMPLES_PER_FRAME);
        EXPECT_EQ(t.end_sample, 217 * SAMPLES_PER_FRAME);
    }
}

// Rows of every length from XB's minimum up to the longest: each one's
// frames give the played time nearest the song time still to play, so the
// running played time never strays a frame from the song's.
TEST(XbTime, RowFramesKeepTheRunningTimeWithinAFrame)
{
    for (const XbTarget &target : interpreted_targets) {
        SCOPED_TRACE(target_text(target));
        std::vector<uint64_t> song;
        for (uint64_t n = interpreted_row_frames(target), k = 0; k < 400; k++)
            song.push_back(n + (k * 37) % (LONGEST_ROW_FRAMES - n + 1));
        const std::vector<uint64_t> timed = xb_row_frames(song, target);
        ASSERT_EQ(timed.size(), song.size());
        double song_ms = 0, played = 0;
        for (size_t i = 0; i < song.size(); i++) {
            song_ms += static_cast<double>(song[i]) * FRAME_MS;
            const int32_t d = written_ms(static_cast<uint32_t>(timed[i]), target_factor(target));
            EXPECT_LE(d, static_cast<int32_t>(CALL_SOUND_MAX_MS));
            played += interpreted_row_ms(target, d);
            ASSERT_LE(std::fabs(played - song_ms), FRAME_MS) << "row " << i;
        }
    }
}

// The retimed frames hold the same rows, each for its new length, and the
// song's closing state after them.
TEST(XbTime, TimedFramesHoldTheSameRows)
{
    std::vector<Frame> frames;
    fittest::set(frames, 1, 40, 0, 0, 428);
    fittest::set(frames, 41, 140, 0, 4, 339);
    fittest::set(frames, 41, 140, 1, 2, 254);
    fittest::set(frames, 141, 160, 0, 15, 339);
    fittest::set(frames, 141, 160, 1, 15, 254);
    const XbTarget target{XbForm::statements, false, false};  // 15 ms a frame
    const std::vector<Frame> timed = time_rows_for_xb(frames, target);
    EXPECT_EQ(row_song_frames(frames, target), (std::vector<uint64_t>{41, 100}));
    EXPECT_EQ(row_song_frames(timed, target), (std::vector<uint64_t>{46, 111}));
    EXPECT_EQ(timed.size(), 45u + 111u + 20u);
    const Listing before = listing_of(frames, target), after = listing_of(timed, target);
    ASSERT_EQ(after.rows.size(), 2u);
    for (size_t i = 0; i < 2; i++) {
        EXPECT_EQ(after.rows[i].hz[0], before.rows[i].hz[0]);
        EXPECT_EQ(after.rows[i].volume[1], before.rows[i].volume[1]);
    }
    EXPECT_EQ(after.rows[0].duration, 689);   // 683.3 ms of song
    EXPECT_EQ(after.rows[1].duration, 1665);  // 1,666.7 ms
}

// Every real file fitted for XB without the compiler, in the five programs
// of the README's table (one test each): XB's played time of the rows is
// the song time kept, within 1%, and within a frame at every row.
class XbTimeRealSongs : public ::testing::TestWithParam<XbTarget> {};

TEST_P(XbTimeRealSongs, PlayInTimeInXb)
{
    const std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files";
    const XbTarget target = GetParam();
    Reductions user;  // --interpreted, as vgmcomp.x sets it for the target
    user.min_row_frames = interpreted_row_frames(target);
    user.count_noise = target.noise;
    if (!target.noise) user.voices = 0x07;
    for (const std::string &path : files) {
        SCOPED_TRACE(path + ", " + target_text(target));
        std::vector<uint8_t> bytes;
        std::string error;
        VgmLog log;
        ASSERT_TRUE(load_vgm_bytes(path, bytes, error)) << error;
        ASSERT_TRUE(parse_vgm(bytes, path, log, error)) << error;
        const std::vector<Frame> base = ti_frames(log, log.clock, false);
        const FitChoice choice = fit_search(base, user, 24000, target);
        ASSERT_TRUE(choice.found);
        const std::vector<Frame> song = prepare_frames(base, choice.chosen);
        const Listing listing = listing_of(written_frames(song, choice.chosen, target), target);
        const Drift d = drift_of(row_song_frames(song, target), listing, target);
        EXPECT_NEAR(d.played_ms, d.song_ms, d.song_ms / 100);
        EXPECT_LE(d.worst_ms, FRAME_MS);
        std::printf("[ timing   ] %s, %s: song %.1f s, played %.1f s, worst drift %.1f ms\n", path.c_str(),
                    target_text(target).c_str(), d.song_ms / 1000, d.played_ms / 1000, d.worst_ms);
    }
}

// The option of kelvaro's that each of interpreted_targets stands for.
static std::string option_name(const ::testing::TestParamInfo<XbTarget> &info)
{
    static const char *const names[] = {"e", "r", "x", "xn", "en"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Targets, XbTimeRealSongs, ::testing::ValuesIn(interpreted_targets), option_name);
