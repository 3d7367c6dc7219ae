// The options that trade detail for size (--seconds, --min-frames, --flat,
// --voices) and the splitting of long holds: what each keeps, what it drops,
// and that the song file still plays exactly what is kept.
#include <gtest/gtest.h>

#include <numeric>

#include "convert/rows.h"
#include "convert/settings.h"
#include "output/conversion.h"
#include "compressor/fit.h"
#include "compressor/holds.h"
#include "compressor/reduce.h"
#include "tests/fit_support.h"

using namespace fittest;

namespace {

constexpr uint16_t C4 = 428, E4 = 339, G4 = 285, C5 = 214;

// The tone voices' volumes and, while sounding, notes of frame f, as a
// comparable value.
std::vector<int> state(const Frame &f)
{
    std::vector<int> s;
    for (int v = 0; v < 4; v++) {
        s.push_back(f.v[v].atten);
        s.push_back(f.v[v].atten == 15 ? -1 : f.v[v].note);
    }
    return s;
}

// A five-second song: a melody of four notes on voice 0 with a volume
// envelope each, a held note on voice 1, a noise hit every half second.
std::vector<Frame> melody_song()
{
    std::vector<Frame> frames;
    const uint16_t notes[] = {C4, E4, G4, C5};
    for (size_t k = 0; k < 10; k++) {
        const size_t start = 1 + 30 * k;
        for (size_t i = 0; i < 24; i++)
            set(frames, start + i, start + i, 0, static_cast<uint8_t>(i / 4), notes[k % 4]);
        set(frames, start + 24, start + 29, 0, 15, 0);
        set(frames, start, start + 2, 3, 2, 5);
        set(frames, start + 3, start + 29, 3, 15, 5);
    }
    set(frames, 1, 300, 1, 4, G4);
    return frames;
}

int row_frames_ms(size_t frames)
{
    SavedConverterState saved;
    settings_default();
    rows_setup();
    return row_duration(static_cast<float>(frames));
}

}  // namespace

TEST(ReduceOptions, SecondsAndVoicesAreReadAndWrittenBack)
{
    uint64_t frames = 0;
    ASSERT_TRUE(parse_seconds("30", frames));
    EXPECT_EQ(frames, 1800u);
    ASSERT_TRUE(parse_seconds("12.5", frames));
    EXPECT_EQ(frames, 750u);
    ASSERT_TRUE(parse_seconds(".05", frames));
    EXPECT_EQ(frames, 3u);
    ASSERT_TRUE(parse_seconds("0.0167", frames));
    EXPECT_EQ(frames, 1u);
    for (const char *bad : {"", ".", "0", "0.01", "-1", "1e3", "1.2.3", "abc", "12s", "99999999", "1.0000001"})
        EXPECT_FALSE(parse_seconds(bad, frames)) << bad;
    for (uint64_t k = 1; k <= 3000; k++) {
        ASSERT_TRUE(parse_seconds(seconds_text(k), frames)) << k;
        EXPECT_EQ(frames, k) << seconds_text(k);
    }
    EXPECT_EQ(seconds_text(1290), "21.5");
    EXPECT_EQ(seconds_text(780), "13");

    uint8_t mask = 0;
    ASSERT_TRUE(parse_voices("012", mask));
    EXPECT_EQ(mask, 0x07);
    ASSERT_TRUE(parse_voices("30", mask));
    EXPECT_EQ(mask, 0x09);
    for (const char *bad : {"", "4", "00", "0a", "01234", "0,1", " 0"}) EXPECT_FALSE(parse_voices(bad, mask)) << bad;

    Reductions r;
    EXPECT_TRUE(no_reduction(r));
    EXPECT_EQ(reduction_options(r), "");
    r.voices = 0x0B;
    r.flat = true;
    r.min_frames = 3;
    r.keep_frames = 1290;
    EXPECT_FALSE(no_reduction(r));
    EXPECT_EQ(reduction_options(r), "--voices 013 --flat --min-frames 3 --seconds 21.5");
}

TEST(ReduceSeconds, KeepsTheStartExactlyAndEndsInSilence)
{
    const std::vector<Frame> song = melody_song();
    Reductions r;
    ASSERT_TRUE(parse_seconds("2", r.keep_frames));
    const std::vector<Frame> cut = apply_reductions(song, r);
    ASSERT_EQ(cut.size(), 120u);
    for (size_t i = 0; i < cut.size(); i++) EXPECT_EQ(state(cut[i]), state(song[i])) << i;

    // The cut song plays its two seconds exactly and then falls silent
    // (verify_song checks the silence after the last frame).
    const std::vector<Row> whole = rows_of(program_of(song_file_of(song)));
    const std::vector<Row> rows = rows_of(program_of(song_file_of(cut)));
    ASSERT_GE(rows.size(), 2u);
    // Every row but the last one is the whole song's; the last one ends at
    // the cut, so the durations add up to the two seconds.
    for (size_t i = 0; i + 1 < rows.size(); i++) EXPECT_EQ(rows[i], whole[i]) << i;
    int total = 0;
    for (const Row &row : rows) total += row[0];
    EXPECT_NEAR(total, row_frames_ms(121), static_cast<int>(rows.size()));

    // Longer than the song: everything is kept.
    r.keep_frames = 100000;
    EXPECT_EQ(apply_reductions(song, r).size(), song.size());
}

TEST(ReduceMinFrames, HoldsEveryStateAndAdoptsLastingChangesLate)
{
    // Voice 0 changes volume every frame; voice 1 changes note at frame 50
    // and keeps it; a one-frame blip on voice 2 at frame 20.
    std::vector<Frame> song;
    for (size_t f = 1; f <= 100; f++) set(song, f, f, 0, static_cast<uint8_t>(f % 4), C4);
    set(song, 1, 49, 1, 3, E4);
    set(song, 50, 100, 1, 3, G4);
    set(song, 20, 20, 2, 0, C5);

    for (uint32_t n : {2u, 3u, 5u}) {
        std::vector<Frame> held = song;
        hold_min_frames(held, n);
        ASSERT_EQ(held.size(), song.size());
        size_t adopted = 0;
        for (size_t i = 1; i < held.size(); i++) {
            if (state(held[i]) != state(held[i - 1])) {
                EXPECT_GE(i - adopted, n) << "change at frame " << i + 1 << " with --min-frames " << n;
                adopted = i;
                // An adopted state is the song's own state of that frame.
                EXPECT_EQ(state(held[i]), state(song[i]));
            } else {
                EXPECT_EQ(state(held[i]), state(held[adopted]));
            }
        }
        // The lasting note change comes at most n - 1 frames late.
        for (size_t f = 50 + n - 1; f <= 100; f++) EXPECT_EQ(held[f - 1].v[1].note, G4) << f;

        // Every row lasts n frames or more, but the last: the song's end
        // cuts the last state short.
        const std::vector<Row> rows = rows_of(program_of(song_file_of(held)));
        ASSERT_GT(rows.size(), 2u);
        for (size_t i = 0; i + 1 < rows.size(); i++) EXPECT_GE(rows[i][0], row_frames_ms(n));
    }

    // --min-frames 1 changes nothing; the blip survives only with it.
    std::vector<Frame> same = song;
    hold_min_frames(same, 1);
    for (size_t i = 0; i < song.size(); i++) EXPECT_EQ(state(same[i]), state(song[i]));
    std::vector<Frame> held = song;
    hold_min_frames(held, 2);
    EXPECT_EQ(held[19].v[2].atten, 15) << "a one-frame blip is dropped";
}

TEST(ReduceFlat, HoldsEachNoteAtItsFirstVolume)
{
    std::vector<Frame> song;
    // Note A with a decay, note B with a decay, silence, B again.
    const uint8_t decay_a[] = {0, 2, 4, 6}, decay_b[] = {1, 3, 5, 7}, again[] = {3, 4, 5, 6};
    for (size_t i = 0; i < 4; i++) {
        set(song, 1 + i, 1 + i, 0, decay_a[i], C4);
        set(song, 5 + i, 5 + i, 0, decay_b[i], E4);
        set(song, 11 + i, 11 + i, 0, again[i], E4);
    }
    set(song, 9, 10, 0, 15, E4);
    // Voice 1: the same note struck again louder without a silence between
    // is one note (it never changes, never falls silent).
    const uint8_t strikes[] = {0, 4, 8, 0, 4, 8, 0, 4, 8, 0, 4, 8, 0, 4};
    for (size_t i = 0; i < 14; i++) set(song, 1 + i, 1 + i, 1, strikes[i], G4);
    // Voice 3: a noise hit with its own decay.
    set(song, 3, 3, 3, 0, 4);
    set(song, 4, 4, 3, 6, 4);
    set(song, 5, 14, 3, 15, 4);

    std::vector<Frame> flat = song;
    flatten_volumes(flat);
    const uint8_t want0[] = {0, 0, 0, 0, 1, 1, 1, 1, 15, 15, 3, 3, 3, 3};
    for (size_t i = 0; i < 14; i++) {
        EXPECT_EQ(flat[i].v[0].atten, want0[i]) << "frame " << i + 1;
        EXPECT_EQ(flat[i].v[1].atten, 0) << "frame " << i + 1;
        // Notes and silences are the song's own.
        for (int v = 0; v < 4; v++) {
            EXPECT_EQ(flat[i].v[v].note, song[i].v[v].note);
            EXPECT_EQ(flat[i].v[v].atten == 15, song[i].v[v].atten == 15);
        }
    }
    EXPECT_EQ(flat[3].v[3].atten, 0);

    XbEstimate before, after;
    program_of(song_file_of(song), &before);
    const std::vector<Row> rows = rows_of(program_of(song_file_of(flat), &after));
    EXPECT_LT(after.rows, before.rows);
    // Rows remain at the note changes only: frames 5, 9 and 11.
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][0], row_frames_ms(5));
    EXPECT_EQ(rows[1][0], row_frames_ms(4));
    EXPECT_EQ(rows[2][0], row_frames_ms(2));
}

TEST(ReduceVoices, KeepsOnlyTheListedVoices)
{
    const std::vector<Frame> song = melody_song();
    Reductions r;
    ASSERT_TRUE(parse_voices("02", r.voices));
    const std::vector<Frame> kept = apply_reductions(song, r);
    ASSERT_EQ(kept.size(), song.size());
    for (size_t i = 0; i < song.size(); i++) {
        EXPECT_EQ(kept[i].v[0].atten, song[i].v[0].atten);
        EXPECT_EQ(kept[i].v[0].note, song[i].v[0].note);
        EXPECT_EQ(kept[i].v[2].atten, song[i].v[2].atten);
        EXPECT_EQ(kept[i].v[1].atten, 15);
        EXPECT_EQ(kept[i].v[3].atten, 15);
    }
    const SongStreams streams = build_streams(kept);
    EXPECT_TRUE(streams.used[0]);
    EXPECT_FALSE(streams.used[1]);
    EXPECT_FALSE(streams.used[2]);  // voice 2 never sounds in this song
    EXPECT_FALSE(streams.used[3]);
    song_file_of(kept);

    // Dropped voices show as silent in every row; voice 0 keeps its own.
    const std::vector<Row> whole = rows_of(program_of(song_file_of(song)));
    const std::vector<Row> rows = rows_of(program_of(song_file_of(kept)));
    ASSERT_FALSE(rows.empty());
    for (const Row &row : rows) EXPECT_EQ(row[4], 30);
    EXPECT_EQ(rows[0][1], whole[0][1]);
    EXPECT_EQ(rows[0][2], whole[0][2]);
}

TEST(ReduceAll, CombinedReductionsStillPlayExactly)
{
    const std::vector<Frame> song = melody_song();
    Reductions r;
    r.voices = 0x0B;
    r.flat = true;
    r.min_frames = 4;
    r.keep_frames = 200;
    const std::vector<Frame> reduced = apply_reductions(song, r);
    ASSERT_EQ(reduced.size(), 200u);
    song_file_of(reduced);  // checks the playback
    XbEstimate whole, less;
    program_of(song_file_of(song), &whole);
    program_of(song_file_of(reduced), &less);
    EXPECT_LT(less.xb_size, whole.xb_size);
}

TEST(LongHolds, TenSecondHoldWithASilentVoiceSplitsIntoPlayableRows)
{
    // Voice 0 plays C4 for frame 1-49, then holds E4 for 600 frames (10 s),
    // then G4 for 10 frames; voice 1 never sounds, voice 2 sounds only at
    // the start.
    std::vector<Frame> song;
    set(song, 1, 49, 0, 2, C4);
    set(song, 50, 649, 0, 2, E4);
    set(song, 650, 659, 0, 2, G4);
    set(song, 1, 49, 2, 5, G4);
    const HoldReport report = split_long_holds(song);
    EXPECT_EQ(report.splits, 2u);
    EXPECT_EQ(report.unsplittable, 0u);

    // The retuning goes to voice 2, which sounds elsewhere, rather than to
    // voice 1, which would become a used voice.
    EXPECT_TRUE((song[50 + 212 - 1].retune >> 2) & 1);
    EXPECT_TRUE((song[50 + 424 - 1].retune >> 2) & 1);
    const Bytes file = song_file_of(song);
    EXPECT_FALSE(build_streams(song).used[1]);

    const std::vector<Row> rows = rows_of(program_of(file));
    ASSERT_EQ(rows.size(), 5u);  // C4, E4 in three rows, G4
    EXPECT_EQ(rows[0][0], row_frames_ms(50));
    int hold = 0;
    for (size_t i = 1; i <= 3; i++) {
        EXPECT_LE(rows[i][0], static_cast<int>(CALL_SOUND_MAX_MS));
        EXPECT_EQ(rows[i][1], rows[1][1]) << "voice 0 goes on sounding E4";
        EXPECT_EQ(rows[i][2], rows[1][2]);
        EXPECT_EQ(rows[i][6], 30) << "the retuned voice stays silent";
        hold += rows[i][0];
    }
    EXPECT_EQ(rows[1][0], row_frames_ms(212));
    EXPECT_EQ(rows[3][0], row_frames_ms(176));
    // The three rows add up to the hold, to the millisecond lost by each
    // row's rounding down.
    EXPECT_NEAR(hold, row_frames_ms(600), 3);
    EXPECT_EQ(rows[4][0], row_frames_ms(10));
    for (const Row &row : rows) EXPECT_LE(row[0], static_cast<int>(CALL_SOUND_MAX_MS));
}

TEST(LongHolds, LeadingSilenceCountsFromFrameZeroAndANeverSoundingVoiceIsUsed)
{
    // Five seconds of silence, then voice 0 plays for a second.
    std::vector<Frame> song;
    set(song, 1, 300, 0, 15, 0);
    set(song, 301, 360, 0, 1, C4);
    HoldReport report = split_long_holds(song);
    EXPECT_EQ(report.splits, 1u);
    // The first row counts one frame more than its frames: the split comes
    // at frame 212, so that the first row is 212 frames long.
    EXPECT_NE(song[211].retune, 0);
    const SongStreams streams = build_streams(song);
    EXPECT_TRUE(streams.used[0]);

    const std::vector<Row> rows = rows_of(program_of(song_file_of(song)));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], row_frames_ms(212));
    EXPECT_EQ(rows[1][0], row_frames_ms(89));
    for (const Row &row : rows) EXPECT_LE(row[0], static_cast<int>(CALL_SOUND_MAX_MS));
    for (size_t i = 0; i < 2; i++) EXPECT_EQ(rows[i][2] + rows[i][4] + rows[i][6], 90) << "silence";

    // A song where only voice 0 sounds, always the same note: voice 1, which
    // never sounds, is retuned, and becomes a used voice.
    std::vector<Frame> drone;
    set(drone, 1, 500, 0, 0, C4);
    set(drone, 501, 520, 0, 15, C4);
    set(drone, 521, 530, 0, 0, C4);
    report = split_long_holds(drone);
    EXPECT_EQ(report.splits, 2u);
    EXPECT_TRUE(build_streams(drone).used[1]);
    for (const Row &row : rows_of(program_of(song_file_of(drone))))
        EXPECT_LE(row[0], static_cast<int>(CALL_SOUND_MAX_MS));
}

TEST(LongHolds, TrailingStateWritesNoRowAndNeedsNoSplit)
{
    // A short note, then ten seconds of silence to the end of the song: the
    // silence is never written as a row.
    std::vector<Frame> song;
    set(song, 1, 30, 0, 0, C4);
    set(song, 31, 630, 0, 15, C4);
    const HoldReport report = split_long_holds(song);
    EXPECT_EQ(report.splits, 0u);
    EXPECT_EQ(report.rows, 1u);
    EXPECT_EQ(rows_of(program_of(song_file_of(song))).size(), 1u);
}

TEST(LongHolds, AllThreeVoicesSoundingCannotBeSplitAndAreCounted)
{
    std::vector<Frame> song;
    set(song, 1, 20, 0, 0, C4);
    set(song, 21, 320, 0, 0, E4);
    set(song, 1, 320, 1, 0, G4);
    set(song, 1, 320, 2, 0, C5);
    set(song, 321, 330, 0, 15, C4);
    // A second one later, from frame 331 to 600, with the noise voice
    // silent: it is not in the default program, so it cannot help.
    set(song, 331, 600, 0, 3, C4);
    set(song, 331, 600, 1, 3, E4);
    set(song, 331, 600, 2, 3, G4);
    const HoldReport report = split_long_holds(song);
    EXPECT_EQ(report.splits, 0u);
    EXPECT_EQ(report.unsplittable, 2u);
    EXPECT_EQ(report.first_unsplittable, 21u);
    const std::vector<Row> rows = rows_of(program_of(song_file_of(song)));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_GT(rows[1][0], static_cast<int>(CALL_SOUND_MAX_MS));
    EXPECT_GT(rows[3][0], static_cast<int>(CALL_SOUND_MAX_MS));
}

TEST(RowMinimum, WholeRowsToTheSongsEndAndBesideSplitHolds)
{
    // Every row lasts the row minimum of --interpreted, the last one too, and
    // the rows add up to the song's own length (merged, none dropped).
    std::vector<Frame> busy, closing, hold;
    for (size_t f = 1; f <= 203; f++) set(busy, f, f, 0, static_cast<uint8_t>(f / 2 % 8), f % 6 < 3 ? C4 : E4);
    set(closing, 1, 40, 0, 2, C4);
    set(closing, 41, 57, 0, 2, E4);
    set(closing, 58, 60, 0, 2, G4);
    set(closing, 61, 90, 0, 15, 0);
    set(hold, 1, 20, 0, 2, C4);
    set(hold, 21, 233, 0, 2, E4);
    set(hold, 234, 260, 0, 2, G4);
    const struct {
        const char *name;
        const std::vector<Frame> &song;
        uint32_t min_row;
    } cases[] = {{"busy to the end", busy, 16},
                 {"busy to the end, CALL SOUND form", busy, 5},
                 {"short last note before closing silence", closing, 16},
                 {"a hold of 213 frames: split at 212 it would leave a row of 1", hold, 20}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Reductions r;
        r.min_row_frames = c.min_row;
        const std::vector<Row> before = rows_of(program_of(song_file_of(prepare_frames(c.song, Reductions()))));
        const std::vector<Row> rows = rows_of(program_of(song_file_of(prepare_frames(c.song, r))));
        ASSERT_GE(rows.size(), 2u);
        EXPECT_LE(rows.size(), before.size());
        int total = 0, total_before = 0;
        for (const Row &row : rows) {
            EXPECT_GE(row[0], row_frames_ms(c.min_row));
            EXPECT_LE(row[0], static_cast<int>(CALL_SOUND_MAX_MS));
            total += row[0];
        }
        for (const Row &row : before) total_before += row[0];
        EXPECT_EQ(total, total_before);  // 20 ms a frame: exact
    }

    // --min-frames alone chooses whole rows to the song's end too.
    Reductions user;
    user.min_frames = 16;
    const std::vector<Row> rows = rows_of(program_of(song_file_of(prepare_frames(busy, user))));
    EXPECT_GE(rows.back()[0], row_frames_ms(16));
    EXPECT_EQ(reduction_options(Reductions{0, 3, true, ALL_VOICES, 16}), "--flat --interpreted --min-frames 3");
}

TEST(LongHolds, NoiseHoldsAfterTheLastToneChangeAreSplitForTheNoiseOutput)
{
    // Only the noise voice sounds for long: with -n and without, every row
    // stays within CALL SOUND's limit.
    std::vector<Frame> alone, to_end, short_rows;
    set(alone, 1, 600, 3, 2, 5);
    set(alone, 601, 700, 3, 6, 5);
    set(alone, 701, 720, 3, 15, 5);
    set(to_end, 1, 50, 0, 0, C4);
    set(to_end, 51, 1000, 0, 15, C4);
    set(to_end, 1, 1000, 3, 4, 6);
    set(short_rows, 1, 50, 0, 0, C4);
    set(short_rows, 51, 650, 0, 15, C4);
    for (size_t f = 51; f <= 650; f += 100) set(short_rows, f, f + 49, 3, 3, 4);
    for (size_t f = 101; f <= 650; f += 100) set(short_rows, f, f + 49, 3, 15, 4);
    struct {
        const char *name;
        std::vector<Frame> &song;
        uint32_t splits;
        size_t noise_rows;  // rows of the -n output
    } cases[] = {{"noise alone: 600 frames loud, 100 quieter, then silent", alone, 2, 4},
                 {"a tone, then noise to the very end", to_end, 4, 6},  // 50, then 950 in 5
                 {"short noise rows after the last tone: nothing to split", short_rows, 0, 12}};
    for (auto &c : cases) {
        const HoldReport report = split_long_holds(c.song);
        EXPECT_EQ(report.splits, c.splits) << c.name;
        const Bytes file = song_file_of(c.song);
        const XbTarget noise{XbForm::program, true, false};
        const std::vector<int> with_noise = durations_of(program_of(file, nullptr, noise), noise);
        EXPECT_EQ(with_noise.size(), c.noise_rows) << c.name;
        for (int d : with_noise) EXPECT_LE(d, static_cast<int>(CALL_SOUND_MAX_MS)) << c.name;
        const std::vector<Row> without = rows_of(program_of(file));
        EXPECT_EQ(without.size(), report.rows) << c.name;
        for (const Row &row : without) EXPECT_LE(row[0], static_cast<int>(CALL_SOUND_MAX_MS)) << c.name;
    }
}
