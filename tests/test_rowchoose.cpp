// The row chooser behind --min-frames: which state each row plays, the
// bounds of the rows, that no division scores more, that it never writes
// more rows than holding, and what it keeps of the real songs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <random>

#include "vgmcomp/cli.h"
#include "vgmcomp/fidelity.h"
#include "vgmcomp/fit.h"
#include "vgmcomp/pitch.h"
#include "vgmcomp/rowchoose.h"
#include "vgmcomp/vgm.h"
#include "tests/fit_support.h"
#include "tests/test_support.h"

using namespace fittest;

namespace {

constexpr uint16_t C4 = 428, E4 = 339, G4 = 285;

// The share of the song's sounding tone voice-frames that frames play at
// their own note and volume, in percent.
double share(const std::vector<Frame> &song, const std::vector<Frame> &frames)
{
    const FidelityCounts c = measure_fidelity(song, TI_CLOCK, frames, TI_CLOCK, song.size()).total;
    return fidelity_percent(c.note_volume, c.sounding);
}

// The frames of --min-frames n as holding makes them (whole_rows: to the
// song's end), long holds split.
std::vector<Frame> held(std::vector<Frame> frames, uint32_t n, bool whole_rows = false)
{
    hold_min_frames(frames, n, whole_rows);
    split_long_holds(frames);
    return frames;
}

std::vector<Frame> chosen(std::vector<Frame> frames, uint32_t n, bool noise = false)
{
    choose_rows(frames, RowChoiceOptions{n, noise});
    return frames;
}

// A random song of up to length frames: runs of notes, silences and
// envelopes on every voice, some one frame long.
std::vector<Frame> random_song(std::mt19937 &rng, size_t length)
{
    const uint16_t notes[] = {C4, E4, G4, 214, 855};
    std::vector<Frame> frames(length);
    for (int v = 0; v < 4; v++)
        for (size_t f = 0; f < length;) {
            const size_t run = rng() % 4 == 0 ? 1 : 1 + rng() % 30;
            const bool silent = rng() % 3 == 0;
            const uint16_t note = v == 3 ? static_cast<uint16_t>(rng() % 8) : notes[rng() % 5];
            uint8_t atten = static_cast<uint8_t>(rng() % 4);
            for (size_t i = 0; i < run && f < length; i++, f++) {
                frames[f].v[v] = VoiceState{silent ? uint8_t{15} : atten, note};
                if (rng() % 4 == 0 && atten < 14) atten++;
            }
        }
    return frames;
}

// The score of rows starting at starts, as the chooser counts it: per row
// and voice that counts, the best state's matches, less the rows' cost.
int64_t score_of(const std::vector<Frame> &frames, const std::vector<size_t> &starts, const RowChoiceOptions &o)
{
    int64_t score = 0;
    for (size_t r = 0; r < starts.size(); r++) {
        const size_t end = r + 1 < starts.size() ? starts[r + 1] : frames.size();
        for (int v = 0; v < (o.count_noise ? 4 : 3); v++) {
            int64_t best = 0;
            for (size_t a = starts[r]; a < end; a++) {
                const VoiceState &x = frames[a].v[v];
                int64_t s = 0;
                for (size_t b = starts[r]; b < end; b++) {
                    const VoiceState &y = frames[b].v[v];
                    const bool silent = x.atten == 15;
                    if (silent ? y.atten == 15 : (y.atten == x.atten && y.note == x.note))
                        s += silent ? o.silent_match : MATCH_SOUNDING;
                }
                best = std::max(best, s);
            }
            score += best;
        }
        score -= o.row_cost;
    }
    return score;
}

}  // namespace

TEST(RowChooser, EachRowPlaysTheStateThatFillsIt)
{
    // Voice 0 with rows of 16 frames at the least; want: voice 0's state in
    // frame f (0-based) after the choice, attenuation 255 where more than
    // one choice scores best.
    constexpr uint8_t EITHER = 255;
    struct Case {
        const char *what;
        std::function<void(std::vector<Frame> &)> song;
        std::function<VoiceState(size_t)> want;
    } cases[] = {
        {"a one-frame grace note before each note gives way to the note",  // no more rows than holding
         [](std::vector<Frame> &s) {
             for (size_t k = 0; k < 4; k++) {
                 set(s, 1 + 16 * k, 1 + 16 * k, 0, 0, k % 2 ? 214 : E4);
                 set(s, 2 + 16 * k, 16 + 16 * k, 0, 2, k % 2 ? G4 : C4);
             }
         },
         [](size_t f) { return f % 16 == 0 ? VoiceState{EITHER, 0} : VoiceState{2, (f / 16) % 2 ? G4 : C4}; }},
        {"a note heard a quarter of the row and more is kept through the rest",
         [](std::vector<Frame> &s) {
             set(s, 1, 5, 0, 1, C4);
             set(s, 6, 40, 0, 15, C4);
             set(s, 17, 40, 1, 0, G4);  // a row of voice 1 after it
         },
         [](size_t f) { return f < 16 ? VoiceState{1, C4} : VoiceState{15, 0}; }},
        {"a note heard less than a fifth of the row gives way to the rest",
         [](std::vector<Frame> &s) {
             set(s, 1, 3, 0, 1, C4);
             set(s, 4, 40, 0, 15, C4);
             set(s, 17, 40, 1, 0, G4);
         },
         [](size_t) { return VoiceState{15, 0}; }},
        {"the last row sounds, so that the song keeps its length",
         [](std::vector<Frame> &s) {
             set(s, 1, 20, 0, 1, E4);
             set(s, 21, 33, 0, 15, E4);
             set(s, 34, 36, 0, 1, C4);
             set(s, 37, 60, 0, 15, C4);
         },
         [](size_t f) { return f < 20 ? VoiceState{1, E4} : f < 36 ? VoiceState{1, C4} : VoiceState{15, 0}; }},
        {"a decay plays at its most frequent volume",
         [](std::vector<Frame> &s) {
             const uint8_t decay[] = {0, 1, 2, 3, 3, 3, 3, 3, 3, 3, 4, 4, 5, 6, 7, 8};
             for (size_t f = 0; f < 64; f++) set(s, f + 1, f + 1, 0, decay[f % 16], E4);
         },
         [](size_t) { return VoiceState{3, E4}; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Frame> song;
        c.song(song);
        const std::vector<Frame> rows = chosen(song, 16);
        ASSERT_EQ(rows.size(), song.size());
        for (size_t f = 0; f < rows.size(); f++) {
            const VoiceState want = c.want(f);
            if (want.atten == EITHER) continue;
            EXPECT_EQ(rows[f].v[0].atten, want.atten) << "frame " << f + 1;
            if (want.atten != 15) {
                EXPECT_EQ(rows[f].v[0].note, want.note) << "frame " << f + 1;
            }
        }
        // Holding keeps less of these songs (but the one where the rest wins
        // over a short note), and the song file plays the chosen rows exactly.
        if (c.want(0).atten != 15) {
            EXPECT_GE(share(song, rows), share(song, held(song, 16)));
        }
        song_file_of(prepare_frames(song, Reductions{0, 16, false, ALL_VOICES}));
    }
}

TEST(RowChooser, RowsKeepTheirBoundsAndTheSongItsLength)
{
    std::mt19937 rng(7);
    const uint32_t minimums[] = {2, 3, 4, 7, 16, 20, 107, 150, 212};
    for (int i = 0; i < 40; i++) {
        const size_t length = i < 4 ? 1 + rng() % 20 : 1 + rng() % 1500;
        std::vector<Frame> song = random_song(rng, length);
        if (i % 3 == 0)  // the song ends in silence
            for (size_t f = length - std::min<size_t>(length, 1 + rng() % 40); f < length; f++) song[f] = Frame();
        const uint32_t n = minimums[i % 9];
        SCOPED_TRACE("song " + std::to_string(i) + ", " + std::to_string(length) + " frames, --min-frames " +
                     std::to_string(n));
        const RowChoiceOptions o{n, i % 2 == 1};
        // Where the silence that ends the song begins: its last change.
        auto sounding_length = [&](const std::vector<Frame> &frames) {
            size_t end = frames.size();
            auto silent = [&](const Frame &f) {
                for (int v = 0; v < (o.count_noise ? 4 : 3); v++)
                    if (f.v[v].atten != 15) return false;
                return true;
            };
            while (end > 0 && silent(frames[end - 1])) end--;
            return end;
        };
        const size_t sounding = sounding_length(song);

        std::vector<size_t> starts = choose_row_starts(song, o);
        ASSERT_FALSE(starts.empty());
        EXPECT_EQ(starts[0], 0u);
        if (sounding < song.size()) {
            EXPECT_EQ(starts.back(), sounding) << "the final silence begins where it did";
            if (sounding > 0) starts.pop_back();
        }
        for (size_t r = 0; r < starts.size() && sounding > 0; r++) {
            const size_t end = r + 1 < starts.size() ? starts[r + 1] : sounding;
            const size_t longest = std::max<size_t>(n, r == 0 ? LONGEST_ROW_FRAMES - 1 : LONGEST_ROW_FRAMES);
            EXPECT_LE(end - starts[r], longest) << "row " << r;
            if (r + 1 < starts.size()) {
                EXPECT_GE(end - starts[r], n) << "row " << r;
            } else if (end - starts[r] < n && n <= LONGEST_ROW_FRAMES / 2) {
                // A short last row only where whole rows cannot cover the song.
                EXPECT_LT(sounding, n);
            }
        }

        // The song keeps its length; the states change n frames apart at the
        // least; the song file plays them exactly; holding writes as many
        // rows or more.
        std::vector<Frame> rows = song;
        choose_rows(rows, o);
        EXPECT_EQ(sounding_length(rows), sounding) << "the song keeps its length";
        size_t change = 0;
        for (size_t f = 1; f < rows.size(); f++) {
            bool same = true;
            for (int v = 0; v < 4; v++) {
                const VoiceState &a = rows[f].v[v], &b = rows[f - 1].v[v];
                same = same && a.atten == b.atten && (a.atten == 15 || a.note == b.note);
            }
            if (same) continue;
            EXPECT_GE(f - change, n) << "a change at frame " << f + 1;
            change = f;
        }
        Reductions r;
        r.min_frames = n;
        r.count_noise = o.count_noise;
        HoldReport holds;
        const std::vector<Frame> frames = prepare_frames(song, r, &holds);
        ASSERT_EQ(frames.size(), song.size());
        song_file_of(frames);
        EXPECT_LE(holds.rows, estimate_xb(held(song, n, true)).rows);
    }
}

TEST(RowChooser, NoDivisionOfTheSongScoresMore)
{
    std::mt19937 rng(3);
    for (int i = 0; i < 60; i++) {
        const size_t length = 1 + rng() % 13;
        std::vector<Frame> song = random_song(rng, length);
        song.back().v[0].atten = 0;  // no final silence: every frame is the rows' to divide
        RowChoiceOptions o;
        o.min_frames = 2 + static_cast<uint32_t>(i % 3);
        o.count_noise = i % 2 == 0;
        o.silent_match = i % 4 < 2 ? MATCH_SILENT : 0;
        o.row_cost = i % 5;
        SCOPED_TRACE("song " + std::to_string(i));
        const int64_t got = score_of(song, choose_row_starts(song, o), o);

        // Every division into rows of min_frames or more (the last shorter
        // only when no such division exists), by brute force.
        int64_t best = std::numeric_limits<int64_t>::min(), best_short = best;
        std::vector<size_t> starts;
        std::function<void(size_t)> divide = [&](size_t at) {
            if (at == song.size()) {
                const size_t last = song.size() - starts.back();
                int64_t &b = last < o.min_frames ? best_short : best;
                b = std::max(b, score_of(song, starts, o));
                return;
            }
            starts.push_back(at);
            for (size_t end = at + 1; end <= song.size(); end++)
                if (end - at >= o.min_frames || end == song.size()) divide(end);
            starts.pop_back();
        };
        divide(0);
        EXPECT_EQ(got, best != std::numeric_limits<int64_t>::min() ? best : best_short);
    }
}

TEST(RowChooser, TheNoiseVoiceCountsOnlyWhenKelvaroWritesIt)
{
    // The tone voices hold one note; the noise voice beats, four frames of
    // hit and four of rest.
    std::vector<Frame> song;
    set(song, 1, 96, 0, 2, C4);
    for (size_t k = 0; k < 12; k++) {
        set(song, 1 + 8 * k, 4 + 8 * k, 3, 0, 5);
        set(song, 5 + 8 * k, 8 + 8 * k, 3, 15, 5);
    }
    auto noise_kept = [&](const std::vector<Frame> &frames) {
        size_t same = 0;
        for (size_t f = 0; f < song.size(); f++) same += frames[f].v[3].atten == song[f].v[3].atten;
        return same;
    };
    // Without the noise voice no row plays more of the song than one: the
    // noise voice then holds its hit through the whole song.
    EXPECT_EQ(choose_row_starts(song, RowChoiceOptions{4, false}), std::vector<size_t>{0});
    EXPECT_EQ(noise_kept(chosen(song, 4, false)), 48u);
    // With it every hit and every rest is a row.
    EXPECT_EQ(choose_row_starts(song, RowChoiceOptions{4, true}).size(), 24u);
    EXPECT_EQ(noise_kept(chosen(song, 4, true)), 96u);
}

TEST(RowChooserRealFiles, KeepsMoreNotesInNoMoreRows)
{
    const std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files";
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        std::vector<uint8_t> bytes;
        std::string error;
        VgmLog log;
        ASSERT_TRUE(load_vgm_bytes(path, bytes, error)) << error;
        ASSERT_TRUE(parse_vgm(bytes, path, log, error)) << error;
        const std::vector<Frame> song = ti_frames(log, log.clock, false);
        for (uint32_t n : {4u, 16u}) {
            Reductions r;
            r.min_frames = n;
            const std::vector<Frame> frames = prepare_frames(song, r);
            const std::vector<Frame> holding = held(song, n);
            const uint32_t rows = estimate_xb(frames).rows, rows_held = estimate_xb(holding).rows;
            const double got = share(song, frames), before = share(song, holding);
            // The most any rows of n frames can keep: every voice-frame that
            // sounds scores, silence nothing, rows cost nothing.
            RowChoiceOptions most{n, false, 0, 0};
            std::vector<Frame> bound = song;
            play_rows(bound, choose_row_starts(song, most), most);
            const double ceiling = share(song, bound);
            std::printf("--min-frames %-2u %-24s rows %5u -> %5u  notes kept %5.1f%% -> %5.1f%% (%.2fx; at most "
                        "%.1f%%)\n",
                        n, path.substr(path.rfind('/') + 1).c_str(), rows_held, rows, before, got, got / before,
                        ceiling);
            EXPECT_LE(rows, rows_held) << "--min-frames " << n;
            // A quarter more of the song's notes, or as near as rows of n
            // frames allow at all.
            EXPECT_GE(got, std::min(1.25 * before, ceiling - 1.0)) << "--min-frames " << n;
            if (n == 16) {
                EXPECT_GE(got, 1.25 * before);
            }
            SongStreams streams;
            std::vector<uint8_t> file;
            std::string why;
            EXPECT_EQ(make_checked_song(frames, streams, file, &why), SongCheck::ok) << why;
        }
    }
}

TEST(RowChooser, InterpretedAndMinFramesChooseWithTheNoiseVoiceKelvaroPlays)
{
    std::mt19937 rng(5);
    const std::vector<Frame> song = random_song(rng, 900);
    struct Case {
        std::vector<std::string> args;
        uint32_t row_minimum;
        bool noise;
    } cases[] = {
        {{"--min-frames", "4"}, 4, false},
        {{"--min-frames", "4", "--noise"}, 4, true},
        {{"--interpreted"}, 16, false},
        {{"--interpreted", "--noise"}, 20, true},
        {{"--interpreted", "--form", "statements", "--min-frames", "8"}, 8, false},
    };
    for (Case &c : cases) {
        c.args.push_back("a.vgm");
        VgmcompOptions opt;
        std::string error;
        ASSERT_TRUE(parse_options({}, c.args, opt, error)) << error;
        EXPECT_EQ(opt.reduce.count_noise, c.noise);
        EXPECT_EQ(row_minimum(opt.reduce), c.row_minimum);
        // The reductions' rows are the chooser's, on the voices kept.
        std::vector<Frame> want = song;
        keep_voices(want, opt.reduce.voices);
        choose_rows(want, RowChoiceOptions{c.row_minimum, c.noise});
        const std::vector<Frame> got = apply_reductions(song, opt.reduce);
        ASSERT_EQ(got.size(), want.size());
        for (size_t f = 0; f < got.size(); f++)
            for (int v = 0; v < 4; v++) {
                ASSERT_EQ(got[f].v[v].atten, want[f].v[v].atten) << "frame " << f + 1 << ", voice " << v;
                if (got[f].v[v].atten != 15) {
                    ASSERT_EQ(got[f].v[v].note, want[f].v[v].note);
                }
            }
    }
}
