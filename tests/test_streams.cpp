// The song streams: time codes as the player reads them, the tone table, and
// the invariant that the written song file plays back exactly the intended
// frames, on crafted songs and on real VGM files.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "convert/rows.h"
#include "convert/settings.h"
#include "convert/song.h"
#include "sound/frames.h"
#include "songfile/pack.h"
#include "compressor/pitch.h"
#include "songfile/songfile.h"
#include "songfile/streams.h"
#include "songfile/verify.h"
#include "vgm/vgm.h"
#include "vgm/vgm_writer.h"
#include "tests/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Sets voice v to atten and note for frames first..last (1-based, inclusive).
void set(std::vector<Frame> &frames, size_t first, size_t last, int v, uint8_t atten, uint16_t note)
{
    if (frames.size() < last) frames.resize(last);
    for (size_t f = first; f <= last; f++) frames[f - 1].v[v] = VoiceState{atten, note};
}

uint16_t get16(const Bytes &file, size_t at)
{
    return static_cast<uint16_t>(file.at(at) << 8 | file.at(at + 1));
}

// Start offset of stream idx of song 0 (note 0-3, volume 4-7, time 8-11).
uint16_t stream_start(const Bytes &file, int idx)
{
    return get16(file, get16(file, 0) + 2u * static_cast<unsigned>(idx));
}

struct Built {
    SongStreams streams;
    Bytes file;
};

// Builds the streams and the song file and checks that the file plays the
// frames back exactly.
Built build_checked(const std::vector<Frame> &frames)
{
    Built b{build_streams(frames), {}};
    b.file = build_song_file(b.streams);
    std::string why;
    EXPECT_TRUE(verify_song(b.file, frames, &why)) << why;
    return b;
}

bool has_repeat_code(const Bytes &time)
{
    return std::any_of(time.begin(), time.end(), [](uint8_t c) { return c >= 0x7A && c <= 0x7F; });
}

// The rows that the converter writes for a song file (default settings).
std::string converted_rows(const Bytes &file, int32_t *rows)
{
    SavedConverterState saved;
    settings_default();
    EXPECT_TRUE(convert_rows(file.data(), static_cast<uint32_t>(file.size())));
    *rows = tot_notes;
    return out_data;
}

}  // namespace

TEST(Streams, SingleNoteGivesExactStreams)
{
    // C4 at full volume for frames 1 to 3: note and volume at frame 1 with a
    // wait of 3, the final silence at frame 4, the end at frame 5.
    std::vector<Frame> frames;
    set(frames, 1, 3, 0, 0, 428);
    Built b = build_checked(frames);
    EXPECT_EQ(b.streams.tones, std::vector<uint16_t>({428}));
    EXPECT_EQ(b.streams.time[0], Bytes({0xC3, 0x41}));
    EXPECT_EQ(b.streams.note[0], Bytes({0}));
    EXPECT_EQ(b.streams.vol[0], Bytes({0, 15}));
    EXPECT_TRUE(b.streams.used[0]);
    EXPECT_FALSE(b.streams.used[1] || b.streams.used[2] || b.streams.used[3]);
    // Tone table entry: low 4 bits, then high 6 bits of 428 = 0x1AC.
    const uint16_t tones = get16(b.file, 2);
    EXPECT_EQ(b.file[tones], 0x0C);
    EXPECT_EQ(b.file[tones + 1], 0x1A);
    EXPECT_EQ(unpack_stream(b.file, stream_start(b.file, 8), 3), Bytes({0xC3, 0x41, 0x00}));
}

TEST(Streams, ExampleSongTimeline)
{
    // Silence, C4 for three frames, E4 for two, silence: the timeline of the
    // example song (01 C3 .2 41), with the unchanged volume not sent again at
    // the second note.
    std::vector<Frame> frames(7);
    set(frames, 2, 4, 0, 0, 428);
    set(frames, 5, 6, 0, 0, 339);
    Built b = build_checked(frames);
    EXPECT_EQ(b.streams.time[0], Bytes({0x01, 0xC3, 0x82, 0x41}));
    EXPECT_EQ(b.streams.vol[0], Bytes({0, 15}));
    ASSERT_EQ(b.streams.note[0].size(), 2u);
    EXPECT_EQ(b.streams.tones.at(b.streams.note[0][0]), 428);
    EXPECT_EQ(b.streams.tones.at(b.streams.note[0][1]), 339);
}

TEST(Streams, LongGapsAreBridgedByWaitOnlyCodes)
{
    // Sound at frame 1, silence from 2, sound again at frame 200: a gap of
    // 198 frames after a volume-only change; then a note change after a
    // 130-frame note, and a first sound only at frame 150 on voice 1.
    std::vector<Frame> frames(400);
    set(frames, 1, 1, 0, 3, 500);
    set(frames, 200, 329, 0, 3, 500);
    set(frames, 330, 400, 0, 3, 600);
    set(frames, 150, 160, 1, 9, 250);
    Built b = build_checked(frames);
    EXPECT_EQ(b.streams.time[0], Bytes({0xC1, 0x40 | 57, 63, 63, 15, 0x40 | 57, 63, 10, 0x80 | 63, 8, 0x41}));
    EXPECT_EQ(b.streams.time[1], Bytes({63, 63, 23, 0xC0 | 11, 0x41}));
    EXPECT_FALSE(has_repeat_code(b.streams.time[0]));
}

TEST(Streams, VolumeOnlyWaitsOf58To63NeverReadAsRepeatCodes)
{
    // Volume-only changes 58, 59, ... 63 frames apart, and 57 and 64.
    std::vector<Frame> frames;
    set(frames, 1, 1, 2, 5, 321);
    size_t f = 2;
    uint8_t atten = 0;
    for (size_t gap : {58, 59, 60, 61, 62, 63, 57, 64}) {
        set(frames, f, f + gap - 1, 2, atten, 321);
        f += gap;
        atten = static_cast<uint8_t>(atten == 0 ? 1 : 0);
    }
    set(frames, f, f + 9, 2, atten, 321);
    Built b = build_checked(frames);
    EXPECT_FALSE(has_repeat_code(b.streams.time[2]));
    for (uint8_t c : b.streams.time[2]) {
        if ((c & 0xC0) == 0x40) {
            EXPECT_LE(c & 0x3F, 57) << "volume-only code " << int(c);
        }
    }
}

TEST(Streams, RepeatCodesStandForRunsOfVolumeChanges)
{
    // Five volume changes one frame apart after the first note, and the
    // final silence one frame after them: 0xC1, then six volume-only codes
    // with wait 1 as 0x7F (four) and 0x7D (two).
    std::vector<Frame> frames;
    const uint8_t attens[] = {0, 1, 0, 1, 0, 1};
    for (size_t i = 0; i < 6; i++) set(frames, i + 1, i + 1, 0, attens[i], 428);
    Built b = build_checked(frames);
    EXPECT_EQ(b.streams.time[0], Bytes({0xC1, 0x7F, 0x7D}));
    EXPECT_EQ(b.streams.vol[0], Bytes({0, 1, 0, 1, 0, 1, 15}));
    EXPECT_EQ(unpack_stream(b.file, stream_start(b.file, 8), 4), Bytes({0xC1, 0x7F, 0x7D, 0x00}));

    // Every repeated code: runs of two to four volume changes 1, 2 or 3
    // frames apart, each run between two note changes.
    struct Run {
        size_t apart, count;
        uint8_t code;
    };
    const Run runs[] = {{3, 2, 0x7A}, {2, 2, 0x7B}, {2, 3, 0x7C}, {1, 2, 0x7D}, {1, 3, 0x7E}, {1, 4, 0x7F}};
    std::vector<Frame> song;
    size_t f = 1;
    uint16_t note = 300;
    for (const Run &r : runs) {
        // The note change, then count volume changes, each r.apart frames on.
        set(song, f, f + r.apart - 1, 1, 4, note);
        f += r.apart;
        for (size_t k = 0; k < r.count; k++) {
            set(song, f, f + r.apart - 1, 1, k % 2 == 0 ? 6 : 4, note);
            f += r.apart;
        }
        note = static_cast<uint16_t>(note + 10);
    }
    set(song, f, f, 1, 4, note);
    Built s = build_checked(song);
    for (const Run &r : runs)
        EXPECT_NE(std::find(s.streams.time[1].begin(), s.streams.time[1].end(), r.code), s.streams.time[1].end())
            << "no code " << std::hex << int(r.code);
    // Each occurrence of a repeated code reads one volume byte.
    size_t volume_changes = 1 + 1;  // the first sound and the final silence
    for (const Run &r : runs) volume_changes += r.count + (r.count % 2);
    EXPECT_EQ(s.streams.vol[1].size(), volume_changes);
}

TEST(Streams, UnusedVoicesHaveNoStreams)
{
    std::vector<Frame> frames(50);
    set(frames, 10, 20, 2, 5, 200);
    // Voice 0 is retuned but never sounds: still unused.
    set(frames, 1, 50, 0, 15, 700);
    Built b = build_checked(frames);
    for (int v : {0, 1, 3}) {
        EXPECT_FALSE(b.streams.used[v]);
        for (int kind = 0; kind < 3; kind++) EXPECT_EQ(stream_start(b.file, 4 * kind + v), 0) << v;
    }
    EXPECT_TRUE(b.streams.used[2]);
    EXPECT_NE(stream_start(b.file, 8 + 2), 0);

    // A song in which nothing sounds: every offset 0, no tone table.
    Built silent = build_checked(std::vector<Frame>(100));
    for (int idx = 0; idx < 12; idx++) EXPECT_EQ(stream_start(silent.file, idx), 0);
    EXPECT_TRUE(silent.streams.tones.empty());
    Built empty = build_checked({});
    for (int idx = 0; idx < 12; idx++) EXPECT_EQ(stream_start(empty.file, idx), 0);
}

TEST(Streams, FinalSilenceMakesTheLastNoteARow)
{
    // C4 sounding to the very last frame (4): the final silence at frame 5
    // closes it, so it is written as the last row (4 frames, 80 ms).
    std::vector<Frame> frames(4);
    set(frames, 2, 4, 0, 0, 428);
    Built b = build_checked(frames);
    int32_t rows = 0;
    EXPECT_EQ(converted_rows(b.file, &rows), "40,110,30,110,30,110,30,60,262,0,110,30,110,30,");
    EXPECT_EQ(rows, 2);

    // Two voices still sounding at the end: both end in the same last row.
    std::vector<Frame> chord(3);
    set(chord, 1, 3, 0, 0, 428);
    set(chord, 1, 3, 1, 2, 339);
    Built c = build_checked(chord);
    EXPECT_EQ(converted_rows(c.file, &rows), "80,262,0,330,4,110,30,");
    EXPECT_EQ(rows, 1);
}

TEST(Streams, SongKeepsItsTrailingSilence)
{
    // Sound for 10 frames, then 500 frames of silence: the song still runs
    // to frame 511 (the final frame), so the silence keeps its length.
    std::vector<Frame> frames(510);
    set(frames, 1, 10, 1, 0, 428);
    Built b = build_checked(frames);
    SavedConverterState saved;
    settings_default();
    uint32_t steps = 0;
    ASSERT_TRUE(convert_rows(b.file.data(), static_cast<uint32_t>(b.file.size()), &steps));
    EXPECT_GE(steps, 511u);
    EXPECT_LE(steps, 514u);
}

TEST(Streams, NoiseVoiceSendsItsControls)
{
    std::vector<Frame> frames(40);
    set(frames, 1, 10, 3, 2, 4);
    set(frames, 11, 20, 3, 2, 5);
    set(frames, 21, 30, 3, 6, 7);
    set(frames, 31, 35, 3, 15, 6);  // retuned while silent: not sent
    set(frames, 36, 40, 3, 6, 7);
    set(frames, 1, 40, 0, 1, 428);
    Built b = build_checked(frames);
    EXPECT_EQ(b.streams.note[3], Bytes({4, 5, 7}));
    EXPECT_EQ(b.streams.tones, std::vector<uint16_t>({428}));  // noise controls are not tones
    EXPECT_EQ(unpack_stream(b.file, stream_start(b.file, 3), 3), Bytes({4, 5, 7}));
}

TEST(Streams, SilentRetuningSendsNothing)
{
    // Retuned every frame while silent, then sounding again on the note it
    // had: only the volume changes are sent, and the table holds one period.
    std::vector<Frame> frames;
    set(frames, 1, 2, 0, 0, 428);
    for (size_t f = 3; f <= 8; f++) set(frames, f, f, 0, 15, static_cast<uint16_t>(500 + f));
    set(frames, 9, 12, 0, 0, 428);
    Built b = build_checked(frames);
    EXPECT_EQ(b.streams.note[0], Bytes({0}));
    EXPECT_EQ(b.streams.tones, std::vector<uint16_t>({428}));
    EXPECT_EQ(b.streams.time[0], Bytes({0xC2, 0x40 | 6, 0x40 | 4, 0x41}));

    // Sounding again on the period it was retuned to sends that period.
    set(frames, 13, 14, 0, 15, 300);
    set(frames, 15, 16, 0, 0, 300);
    Built c = build_checked(frames);
    EXPECT_EQ(c.streams.tones, std::vector<uint16_t>({300, 428}));
    EXPECT_EQ(c.streams.note[0], Bytes({1, 0}));
}

TEST(Streams, TooManyPeriodsFallBackToNearest)
{
    // 300 distinct periods (the caller should have merged them): the table
    // keeps 256 and every note byte indexes it; nothing crashes.
    std::vector<Frame> frames;
    for (size_t i = 0; i < 300; i++) set(frames, i + 1, i + 1, static_cast<int>(i % 3), 0, static_cast<uint16_t>(100 + i));
    SongStreams s = build_streams(frames);
    EXPECT_EQ(s.tones.size(), 256u);
    for (int v = 0; v < 3; v++)
        for (uint8_t n : s.note[v]) EXPECT_LT(n, s.tones.size());
    std::string why;
    EXPECT_FALSE(verify_song(build_song_file(s), frames, &why));
}

TEST(Streams, RandomSongsPlayBackExactly)
{
    // Songs of every density, from a note a second to a change every frame,
    // with silences, retunings and all volumes.
    std::mt19937 rng(20240607);
    for (int round = 0; round < 60; round++) {
        const size_t length = 1 + rng() % 3000;
        const unsigned density = 1 + rng() % 80;  // mean frames between changes
        std::vector<Frame> frames(length);
        for (int v = 0; v < 4; v++) {
            if (rng() % 6 == 0) continue;  // leave some voices unused
            VoiceState s;
            for (size_t f = 0; f < length; f++) {
                if (rng() % density == 0) s.atten = static_cast<uint8_t>(rng() % 3 == 0 ? 15 : rng() % 16);
                if (rng() % density == 0) s.note = static_cast<uint16_t>(v == 3 ? rng() % 8 : 1 + rng() % 40 * 20);
                frames[f].v[v] = s;
            }
        }
        Built b = build_checked(frames);
        EXPECT_LE(b.file.size(), SONG_FILE_MAX);
        if (HasFailure()) {
            ADD_FAILURE() << "round " << round;
            break;
        }
    }
}

TEST(Streams, BuiltFromAVgmFile)
{
    // A tune written as a VGM at a 4 MHz clock, read back as the compressor
    // reads it: every rule on real sampling, pitch moved and snapped.
    VgmWriter w;
    w.clock = 4000000;
    vgm_atten(w, 0, 0);
    vgm_tone(w, 0, 478);
    vgm_noise(w, 5);
    vgm_atten(w, 3, 4);
    vgm_wait_frames(w, 30);
    for (int k = 0; k < 8; k++) {
        vgm_atten(w, 0, static_cast<uint8_t>(k % 2 * 3));
        vgm_wait_frames(w, 1);
    }
    vgm_atten(w, 3, 15);
    vgm_tone(w, 1, 380);
    vgm_atten(w, 1, 2);
    vgm_wait_frames(w, 200);
    vgm_atten(w, 0, 15);
    vgm_tone(w, 0, 100);
    vgm_wait_frames(w, 70);
    Bytes vgm = vgm_finish(w);
    VgmLog log;
    std::string error;
    ASSERT_TRUE(parse_vgm(vgm, "tune.vgm", log, error)) << error;
    std::vector<Frame> frames = sample_frames(log);
    EXPECT_EQ(frames.size(), 308u);
    apply_pitch(frames, log.clock, false);
    Built b = build_checked(frames);
    EXPECT_TRUE(has_repeat_code(b.streams.time[0]));
    EXPECT_EQ(b.streams.note[3], Bytes({5}));
}

TEST(Streams, RealFilesPlayBackExactly)
{
    std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files";
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        VgmLog log;
        ASSERT_TRUE(read_real_vgm(path, log));
        const std::vector<Frame> sampled = sample_frames(log);
        for (bool exact : {false, true}) {
            std::vector<Frame> frames = sampled;
            apply_pitch(frames, log.clock, exact);
            if (exact) merge_periods(frames);
            SongStreams s = build_streams(frames);
            EXPECT_LE(s.tones.size(), 256u);
            Bytes file = build_song_file(s);
            EXPECT_LE(file.size(), SONG_FILE_MAX);
            std::string why;
            EXPECT_TRUE(verify_song(file, frames, &why)) << (exact ? "exact: " : "") << why;
            if (!exact) {
                int32_t rows = 0;
                converted_rows(file, &rows);
                EXPECT_GT(rows, 0);
            }
        }
    }
}
