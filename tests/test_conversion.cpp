// The converter as code outside it uses it: a song file and the chip
// states of its frames convert alike, and every program-wide record is
// left as it was.
#include <gtest/gtest.h>

#include "convert/rows.h"
#include "convert/settings.h"
#include "output/conversion.h"
#include "output/output.h"
#include "player/player.h"
#include "tests/test_support.h"

namespace {

// The example song's frames: voice 0 silent for a frame, C4 (period 428)
// for three, E4 (period 339) for two.
std::vector<Frame> example_frames()
{
    std::vector<Frame> frames(6);
    for (size_t f = 1; f < 6; f++) frames[f].v[0] = VoiceState{0, static_cast<uint16_t>(f < 4 ? 428 : 339)};
    return frames;
}

}  // namespace

using Conversions = ConverterTest;

TEST_F(Conversions, SongFileAndFramesGiveTheSameProgramForEveryTarget)
{
    for (int form = 0; form < 3; form++)
        for (bool noise : {false, true})
            for (bool emulated : {false, true}) {
                const XbTarget target{static_cast<XbForm>(form), noise, emulated};
                SCOPED_TRACE(target_text(target));
                const Conversion song =
                    convert_song(example_song.data(), static_cast<uint32_t>(example_song.size()), target);
                const Conversion frames = convert_frames(example_frames(), target);
                ASSERT_TRUE(song.ok);
                EXPECT_EQ(song.rows, 3u);
                EXPECT_EQ(frames.rows, song.rows);
                EXPECT_EQ(frames.values, song.values);
                EXPECT_EQ(frames.text, song.text);
                EXPECT_EQ(song.values.size(), 1 + 3 * (noise ? 9u : 7u));
            }
    const Conversion over = convert_frames(example_frames(), XbTarget(), 2);
    EXPECT_TRUE(over.over);
    EXPECT_TRUE(over.text.empty());
}

TEST_F(Conversions, LeaveTheConvertersRecordsAsTheyWere)
{
    arg_output = OUTPUT_CALLSOUND;
    arg_noise = NOISE_ON;
    arg_timing = TIMING_EMULATED;
    out_data = "1,2,3,";
    out_data_int = {1, 2, 3};
    out_data_size = 3;
    tot_notes = 9;
    line_num = 1234;
    musicout.vol[1] = 0xB4;
    musicout.tone[2] = 0x1AC5;
    playmask = 0x0302;
    std::vector<uint8_t> log;
    sound_log = &log;

    EXPECT_TRUE(convert_song(example_song.data(), static_cast<uint32_t>(example_song.size()), XbTarget()).ok);
    EXPECT_EQ(convert_frames(example_frames(), XbTarget()).rows, 3u);

    EXPECT_EQ(arg_output, OUTPUT_CALLSOUND);
    EXPECT_EQ(arg_noise, NOISE_ON);
    EXPECT_EQ(arg_timing, TIMING_EMULATED);
    EXPECT_EQ(out_data, "1,2,3,");
    EXPECT_EQ(out_data_int, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(out_data_size, 3);
    EXPECT_EQ(tot_notes, 9);
    EXPECT_EQ(line_num, 1234);
    EXPECT_EQ(musicout.vol[1], 0xB4);
    EXPECT_EQ(musicout.tone[2], 0x1AC5u);
    EXPECT_EQ(playmask, 0x0302u);
    EXPECT_EQ(sound_log, &log);
    EXPECT_TRUE(log.empty());
    sound_log = nullptr;
}
