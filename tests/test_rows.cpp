// The lookup tables and the row builder: which chip values become which XB
// numbers, the row durations under the three timing rules, when rows are
// written and what they hold, and the frame limit of a conversion.
#include <gtest/gtest.h>

#include <cstring>

#include "convert/rows.h"
#include "convert/settings.h"
#include "convert/song.h"
#include "convert/tables.h"
#include "player/player.h"
#include "tests/song_builder.h"
#include "tests/test_support.h"

using namespace songtest;

namespace {

struct Note {
    unsigned period;
    unsigned key;
    int hz;
};

// The 46 notes C3 to A6 that XB plays exactly.
const Note notes[46] = {
    {855, 0x735, 131},  {807, 0x732, 139},  {762, 0xA2F, 147},  {719, 0xF2C, 156},  {679, 0x72A, 165},
    {641, 0x128, 175},  {605, 0xD25, 185},  {571, 0xB23, 196},  {539, 0xB21, 208},  {508, 0xC1F, 220},
    {480, 0x01E, 233},  {453, 0x51C, 247},  {428, 0xC1A, 262},  {404, 0x419, 277},  {381, 0xD17, 294},
    {360, 0x816, 311},  {339, 0x315, 330},  {320, 0x014, 349},  {302, 0xE12, 370},  {285, 0xD11, 392},
    {269, 0xD10, 415},  {254, 0xE0F, 440},  {240, 0x00F, 466},  {226, 0x20E, 494},  {214, 0x60D, 523},
    {202, 0xA0C, 554},  {190, 0xE0B, 587},  {180, 0x40B, 622},  {170, 0xA0A, 659},  {160, 0x00A, 698},
    {151, 0x709, 740},  {143, 0xF08, 784},  {135, 0x708, 831},  {127, 0xF07, 880},  {120, 0x807, 932},
    {113, 0x107, 988},  {107, 0xB06, 1047}, {101, 0x506, 1109}, {95, 0xF05, 1175},  {90, 0xA05, 1245},
    {85, 0x505, 1319},  {80, 0x005, 1397},  {76, 0xC04, 1480},  {71, 0x704, 1568},  {67, 0x304, 1661},
    {64, 0x004, 1760},
};

// The tone word the player leaves in musicout for period n on voice v.
uint32_t tone_word(int v, unsigned n)
{
    return ((n >> 4) << 8) | (0x80u + 32u * static_cast<unsigned>(v)) | (n & 0x0F);
}

uint8_t vol_byte(int v, unsigned attenuation)
{
    return static_cast<uint8_t>(0x90 + 32 * v + attenuation);
}

// Drives the row builder directly through musicout, frame by frame.
class Rows : public ConverterTest {
protected:
    void SetUp() override
    {
        settings_default();
        freq_init();
        vol_init();
        silence();
    }

    static void silence()
    {
        for (int v = 0; v < 4; v++) {
            musicout.vol[v] = vol_byte(v, 15);
            musicout.tone[v] = 0;
        }
    }

    // Settings, then the baseline from the current musicout.
    static void begin(int32_t output = OUTPUT_PROGRAM, int32_t noise_setting = NOISE_OFF,
                      int32_t timing = TIMING_REAL)
    {
        arg_output = output;
        arg_noise = noise_setting;
        arg_timing = timing;
        rows_setup();
        rows_begin();
    }

    // n frames with musicout as it is.
    static void frames(int n)
    {
        for (int i = 0; i < n; i++) rows_frame();
    }
};

}  // namespace

TEST_F(Rows, DurationTable)
{
    struct Setting {
        int32_t output, timing;
        int ms[5];
    };
    const int counts[5] = {1, 2, 3, 6, 7};
    const Setting settings[] = {
        {OUTPUT_PROGRAM, TIMING_REAL, {20, 40, 60, 120, 140}},
        {OUTPUT_DATA, TIMING_REAL, {20, 40, 60, 120, 140}},
        {OUTPUT_PROGRAM, TIMING_EMULATED, {16, 33, 50, 100, 116}},
        {OUTPUT_DATA, TIMING_EMULATED, {16, 33, 50, 100, 116}},
        {OUTPUT_CALLSOUND, TIMING_REAL, {15, 30, 45, 90, 104}},
        {OUTPUT_CALLSOUND, TIMING_EMULATED, {15, 30, 45, 90, 104}},
    };
    for (const Setting &s : settings) {
        for (int i = 0; i < 5; i++) {
            SCOPED_TRACE(testing::Message() << "output " << s.output << " timing " << s.timing << " frames "
                                            << counts[i]);
            // Through the builder: a change, counts[i] frames, another change.
            silence();
            begin(s.output, NOISE_OFF, s.timing);
            EXPECT_EQ(row_duration(static_cast<float>(counts[i])), s.ms[i]);
            musicout.vol[0] = vol_byte(0, 0);
            rows_frame();
            frames(counts[i] - 1);
            musicout.vol[0] = vol_byte(0, 1);
            rows_frame();
            ASSERT_EQ(tot_notes, 2);
            // The first row holds the 2 frames of silence before the change.
            EXPECT_EQ(out_data, std::to_string(s.ms[1]) + ",110,30,110,30,110,30," + std::to_string(s.ms[i]) +
                                    ",110,0,110,30,110,30,");
        }
    }
}

TEST_F(Rows, FirstRowDurationOfTheFirstState)
{
    // The first change seen in frame N gives a first row of N frames.
    const int32_t outputs[3] = {OUTPUT_PROGRAM, OUTPUT_PROGRAM, OUTPUT_CALLSOUND};
    const int32_t timings[3] = {TIMING_REAL, TIMING_EMULATED, TIMING_REAL};
    const int ms[3][3] = {{40, 60, 140}, {33, 50, 116}, {30, 45, 104}};
    const int frame_of_change[3] = {2, 3, 7};
    for (int s = 0; s < 3; s++) {
        for (int k = 0; k < 3; k++) {
            silence();
            musicout.tone[0] = tone_word(0, 428);
            musicout.vol[0] = vol_byte(0, 2);
            begin(outputs[s], NOISE_OFF, timings[s]);
            frames(frame_of_change[k] - 2);
            musicout.vol[0] = vol_byte(0, 3);
            rows_frame();
            EXPECT_EQ(out_data, std::to_string(ms[s][k]) + ",262,4,110,30,110,30,")
                << "setting " << s << ", change in frame " << frame_of_change[k];
        }
    }
}

TEST_F(Rows, NoChangeNoRows)
{
    musicout.tone[1] = tone_word(1, 254);
    musicout.vol[1] = vol_byte(1, 0);
    begin();
    frames(50);
    EXPECT_EQ(tot_notes, 0);
    EXPECT_EQ(out_data, "");
}

TEST_F(Rows, ExactlyOneChangeGivesTheBaselineOnly)
{
    musicout.tone[2] = tone_word(2, 381);
    musicout.vol[2] = vol_byte(2, 5);
    begin();
    frames(1);
    musicout.tone[2] = tone_word(2, 339);  // frame 3
    frames(10);
    EXPECT_EQ(tot_notes, 1);
    EXPECT_EQ(out_data, "60,110,30,110,30,294,10,");
}

TEST_F(Rows, VolumeOnlyChangeRepeatsTheOldState)
{
    musicout.tone[0] = tone_word(0, 855);
    musicout.vol[0] = vol_byte(0, 0);
    musicout.tone[1] = tone_word(1, 64);
    musicout.vol[1] = vol_byte(1, 4);
    begin();
    frames(1);
    musicout.vol[1] = vol_byte(1, 9);  // frame 3: voice 1 only gets quieter
    rows_frame();
    musicout.vol[1] = vol_byte(1, 15);
    rows_frame();
    EXPECT_EQ(tot_notes, 2);
    EXPECT_EQ(out_data, "60,131,0,1760,8,110,30,"
                        "20,131,0,1760,18,110,30,");
}

TEST_F(Rows, PeriodOutsideTheTableIsThePlaceholder)
{
    musicout.tone[0] = tone_word(0, 854);  // one off C3, at full volume
    musicout.vol[0] = vol_byte(0, 0);
    musicout.tone[1] = tone_word(1, 1023);
    musicout.vol[1] = vol_byte(1, 3);
    musicout.tone[2] = tone_word(2, 856);
    musicout.vol[2] = vol_byte(2, 0);
    begin();
    musicout.tone[0] = tone_word(0, 855);
    rows_frame();
    musicout.vol[0] = vol_byte(0, 1);
    rows_frame();
    EXPECT_EQ(out_data, "40,110,30,110,30,110,30,"
                        "20,131,0,110,30,110,30,");
}

TEST_F(Rows, ToneNeverWrittenKeepsItsVolume)
{
    // Key 0 is 110 Hz, not the placeholder: the volume shows as it is.
    musicout.vol[0] = vol_byte(0, 0);
    musicout.vol[2] = vol_byte(2, 7);
    begin();
    musicout.vol[0] = vol_byte(0, 15);
    rows_frame();
    EXPECT_EQ(out_data, "40,110,0,110,30,110,14,");
}

TEST_F(Rows, NoiseVoiceOnlyWithTheNoiseChannel)
{
    // Without it: noise changes write nothing, rows hold 7 numbers.
    begin(OUTPUT_PROGRAM, NOISE_OFF);
    musicout.tone[3] = 0xE4;
    musicout.vol[3] = vol_byte(3, 0);
    frames(4);
    musicout.vol[0] = vol_byte(0, 0);  // frame 6
    rows_frame();
    EXPECT_EQ(tot_notes, 1);
    EXPECT_EQ(out_data, "120,110,30,110,30,110,30,");

    // With it: they count, and rows hold 9 numbers.
    silence();
    begin(OUTPUT_PROGRAM, NOISE_ON);
    musicout.tone[3] = 0xE4;
    musicout.vol[3] = vol_byte(3, 0);
    rows_frame();
    musicout.vol[3] = vol_byte(3, 6);
    rows_frame();
    musicout.tone[3] = 0xE5;
    rows_frame();
    EXPECT_EQ(tot_notes, 3);
    EXPECT_EQ(out_data, "40,110,30,110,30,110,30,-1,30,"
                        "20,110,30,110,30,110,30,-5,0,"
                        "20,110,30,110,30,110,30,-5,12,");
}

TEST_F(Rows, EveryNoiseByte)
{
    const int types[8] = {-1, -2, -3, -4, -5, -6, -7, -8};
    for (int b = 0xE0; b <= 0xFF; b++) {
        silence();
        musicout.tone[3] = static_cast<uint32_t>(b);
        musicout.vol[3] = vol_byte(3, 2);
        begin(OUTPUT_DATA, NOISE_ON);
        musicout.vol[3] = vol_byte(3, 3);
        rows_frame();
        std::string want = b < 0xE8 ? std::to_string(types[b - 0xE0]) + ",4," : "-1,30,";
        EXPECT_EQ(out_data, "40,110,30,110,30,110,30," + want) << "noise byte " << b;
    }
}

TEST_F(Rows, ChangeAtTheSecondFrame)
{
    const int32_t outputs[3] = {OUTPUT_PROGRAM, OUTPUT_DATA, OUTPUT_CALLSOUND};
    const int32_t timings[3] = {TIMING_REAL, TIMING_EMULATED, TIMING_EMULATED};
    const char *first[3] = {"40,", "33,", "30,"};
    for (int s = 0; s < 3; s++) {
        silence();
        musicout.tone[1] = tone_word(1, 226);
        musicout.vol[1] = vol_byte(1, 1);
        begin(outputs[s], NOISE_OFF, timings[s]);
        musicout.tone[1] = tone_word(1, 214);
        rows_frame();
        EXPECT_EQ(out_data, std::string(first[s]) + "110,30,494,2,110,30,");
    }
}

TEST_F(Rows, RowsDescribeTheStateThatEnded)
{
    // Three changes: each row holds the state before its change, for as
    // many frames as that state lasted.
    begin();
    frames(1);
    musicout.tone[0] = tone_word(0, 428);
    musicout.vol[0] = vol_byte(0, 0);
    rows_frame();  // frame 3
    frames(5);
    musicout.tone[0] = tone_word(0, 339);
    rows_frame();  // frame 9
    frames(1);
    musicout.vol[0] = vol_byte(0, 15);
    rows_frame();  // frame 11
    frames(20);
    EXPECT_EQ(tot_notes, 3);
    EXPECT_EQ(out_data, "60,110,30,110,30,110,30,"
                        "120,262,0,110,30,110,30,"
                        "40,330,0,110,30,110,30,");
}

// Through the player: whole songs into rows.
class SongRows : public ConverterTest {
protected:
    void SetUp() override
    {
        playmask = 0;
        settings_default();
    }

    static uint32_t convert(const std::vector<uint8_t> &song)
    {
        uint32_t frames = 0;
        EXPECT_TRUE(convert_rows(song.data(), static_cast<uint32_t>(song.size()), &frames));
        return frames;
    }
};

TEST_F(SongRows, ExampleSongInEverySetting)
{
    struct Case {
        int32_t output, noise, timing;
        const char *rows;
    };
    const Case cases[] = {
        {OUTPUT_PROGRAM, NOISE_OFF, TIMING_REAL, "40,110,30,110,30,110,30,60,262,0,110,30,110,30,40,330,0,110,30,110,30,"},
        {OUTPUT_DATA, NOISE_OFF, TIMING_EMULATED, "33,110,30,110,30,110,30,50,262,0,110,30,110,30,33,330,0,110,30,110,30,"},
        {OUTPUT_CALLSOUND, NOISE_OFF, TIMING_REAL, "30,110,30,110,30,110,30,45,262,0,110,30,110,30,30,330,0,110,30,110,30,"},
        {OUTPUT_CALLSOUND, NOISE_OFF, TIMING_EMULATED, "30,110,30,110,30,110,30,45,262,0,110,30,110,30,30,330,0,110,30,110,30,"},
        {OUTPUT_PROGRAM, NOISE_ON, TIMING_REAL,
         "40,110,30,110,30,110,30,-1,30,60,262,0,110,30,110,30,-1,30,40,330,0,110,30,110,30,-1,30,"},
    };
    for (const Case &c : cases) {
        arg_output = c.output;
        arg_noise = c.noise;
        arg_timing = c.timing;
        EXPECT_EQ(convert(example_song), 9u);
        EXPECT_EQ(tot_notes, 3);
        EXPECT_EQ(out_data, c.rows);
    }
}

TEST_F(SongRows, NoteStillSoundingAtTheEndIsNeverWritten)
{
    // Silence for one frame, then C4 until the time stream ends.
    Song s;
    s.set(time_stream(0), {0x02, 0x01, 0xC5, 0x00});
    s.set(note_stream(0), {0x01, 0x00});
    s.set(volume_stream(0), {0x01, 0x00});
    EXPECT_EQ(convert(build(s, {428})), 8u);
    EXPECT_EQ(tot_notes, 1);
    EXPECT_EQ(out_data, "40,110,30,110,30,110,30,");
}

TEST_F(SongRows, SongsWithoutRows)
{
    // No voice at all; a voice that only waits; a note set in the first
    // frame and held (it is the baseline, and no change follows).
    Song waits;
    waits.set(time_stream(2), {0x02, 0x3F, 0x3F, 0x00});
    Song held;
    held.set(time_stream(0), {0x01, 0xC1, 0x00});
    held.set(note_stream(0), {0x01, 0x00});
    held.set(volume_stream(0), {0x01, 0x00});
    const std::vector<uint8_t> songs[3] = {build(Song{}, {}), build(waits, {}), build(held, {428})};
    const uint32_t steps[3] = {1, 128, 3};
    for (int i = 0; i < 3; i++) {
        arg_noise = NOISE_ON;
        EXPECT_EQ(convert(songs[i]), steps[i]) << i;
        EXPECT_EQ(tot_notes, 0) << i;
        EXPECT_EQ(out_data, "") << i;
    }
}

TEST_F(SongRows, LongSongKeepsEveryRow)
{
    const size_t n = 20000;
    EXPECT_EQ(convert(alternating_song(n)), n + 3);
    ASSERT_EQ(tot_notes, static_cast<int32_t>(n));
    std::string want = "40,262,0,110,30,110,30,";
    for (size_t i = 2; i <= n; i++) want += i % 2 ? "20,262,0,110,30,110,30," : "20,330,0,110,30,110,30,";
    EXPECT_GT(want.size(), 400000u);
    EXPECT_TRUE(out_data == want) << "row text differs (" << out_data.size() << " vs " << want.size() << " chars)";
}

TEST_F(SongRows, FrameCountsAddUpToTheLastChange)
{
    // Volume changes of voice 1 at frames 2, 4, 5 and 299 (the repeat code
    // 0x7D gives those of frames 4 and 5): rows of 2, 2, 1 and 294 frames,
    // adding up to 299; EMULATED timing.
    Song s;
    s.set(time_stream(1), cat({{0x03, 0x41, 0x42, 0x7D}, repeat(0x3F, 4), {0x02, 0x29, 0x41, 0x00}}));
    s.set(volume_stream(1), {0x05, 0x01, 0x02, 0x03, 0x04, 0x05});
    arg_timing = TIMING_EMULATED;
    arg_output = OUTPUT_DATA;
    convert(build(s, {}));
    EXPECT_EQ(out_data, "33,110,30,110,2,110,30,"
                        "33,110,30,110,4,110,30,"
                        "16,110,30,110,6,110,30,"
                        "4900,110,30,110,8,110,30,");
    EXPECT_EQ(tot_notes, 4);
}

TEST_F(SongRows, FrameLimit)
{
    // A voice waiting 63 frames per time code: the loop needs 2 + the sum of
    // the waits frame steps. Exactly MAX_FRAMES steps pass; one more fails.
    const size_t codes = (MAX_FRAMES - 2) / 63;  // 266304, leaving 62
    ASSERT_EQ(codes * 63 + 62, MAX_FRAMES - 2);
    for (uint8_t last : {0x3E, 0x3F}) {
        Song s;
        s.set(time_stream(0), cat({repeat(0x3F, codes), {0x01, last, 0x00}}));
        std::vector<uint8_t> song = build(s, {});
        uint32_t frames = 0;
        bool ok = convert_rows(song.data(), static_cast<uint32_t>(song.size()), &frames);
        if (last == 0x3E) {
            EXPECT_TRUE(ok);
            EXPECT_EQ(frames, MAX_FRAMES);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(frames, MAX_FRAMES);
        }
        EXPECT_EQ(tot_notes, 0);
    }
}

TEST(Tables, FreqKnowsTheFortySixNotesAndKeyZero)
{
    freq_init();
    for (const Note &n : notes) {
        EXPECT_EQ(period_key(n.period), n.key) << n.period;
        EXPECT_EQ(freq[n.key], n.hz) << n.period;
        EXPECT_EQ(freq[period_key(n.period - 1)], 0) << "period " << n.period - 1;
        EXPECT_EQ(freq[period_key(n.period + 1)], 0) << "period " << n.period + 1;
    }
    EXPECT_EQ(freq[0], 110);
    int set = 0;
    for (int16_t f : freq) set += f != 0;
    EXPECT_EQ(set, 47);
}

TEST(Tables, VolumeRowsPerVoice)
{
    vol_init();
    for (int v = 0; v < 4; v++)
        for (unsigned a = 0; a < 16; a++) EXPECT_EQ(vol[v][vol_byte(v, a)], static_cast<int>(2 * a));
    EXPECT_EQ(vol[2][0xD7], 14);
    EXPECT_EQ(vol[2][0x97], 0);  // another voice's byte
    int set = 0;
    for (auto &row : vol)
        for (int16_t x : row) set += x != 0;
    EXPECT_EQ(set, 4 * 15);
}

TEST(Tables, NoiseTypes)
{
    freq_init();
    // Periodic noise following the third tone (0xE3) is -4 and white noise
    // following it (0xE7) is -8, as CALL SOUND plays them.
    const int types[8] = {-1, -2, -3, -4, -5, -6, -7, -8};
    for (int i = 0; i < 8; i++) EXPECT_EQ(noise[0xE0 + i], types[i]);
    for (int i = 0xE8; i <= 0xFF; i++) EXPECT_EQ(noise[i], 0) << i;
    EXPECT_EQ(noise[0], 0);
    int set = 0;
    for (int16_t x : noise) set += x != 0;
    EXPECT_EQ(set, 8);
}
