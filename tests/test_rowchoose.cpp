// The row chooser behind --min-frames and --interpreted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <random>

#include "compressor/fidelity.h"
#include "compressor/fit.h"
#include "compressor/pitch.h"
#include "compressor/rowchoose.h"
#include "vgm/vgm.h"
#include "tests/fit_support.h"
#include "tests/test_support.h"

using namespace fittest;

namespace {

constexpr uint16_t C4 = 428, E4 = 339, G4 = 285;

// Percent of the song's sounding tone voice-frames frames play unchanged.
double share(const std::vector<Frame> &song, const std::vector<Frame> &frames)
{
    const FidelityCounts c = measure_fidelity(song, TI_CLOCK, frames, TI_CLOCK, song.size()).total;
    return fidelity_percent(c.note_volume, c.sounding);
}

std::vector<Frame> held(std::vector<Frame> frames, uint32_t n, bool whole_rows = false)
{
    hold_min_frames(frames, n, whole_rows);
    split_long_holds(frames);
    return frames;
}

std::vector<Frame> chosen(std::vector<Frame> frames, uint32_t n)
{
    choose_rows(frames, RowChoiceOptions{n, false});
    return frames;
}

// Runs of notes, silences and envelopes on every voice, some one frame long.
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

// The chooser's score: per row and voice, the best state's matches, less the row cost.
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
                    if (x.atten == 15 ? y.atten == 15 : (y.atten == x.atten && y.note == x.note))
                        s += x.atten == 15 ? o.silent_match : MATCH_SOUNDING;
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
    // A one-frame grace note before each note gives way to the note, and a
    // decay plays at its most frequent volume, at --min-frames 16.
    std::vector<Frame> grace, decay;
    const uint8_t volumes[] = {0, 1, 2, 3, 3, 3, 3, 3, 3, 3, 4, 4, 5, 6, 7, 8};
    for (size_t k = 0; k < 4; k++) {
        set(grace, 1 + 16 * k, 1 + 16 * k, 0, 0, k % 2 ? 214 : E4);
        set(grace, 2 + 16 * k, 16 + 16 * k, 0, 2, k % 2 ? G4 : C4);
        for (size_t f = 1; f <= 16; f++) set(decay, 16 * k + f, 16 * k + f, 0, volumes[f - 1], E4);
    }
    const std::vector<Frame> g = chosen(grace, 16), d = chosen(decay, 16);
    for (size_t f = 0; f < 64; f++) {
        EXPECT_EQ(d[f].v[0].atten, 3) << "frame " << f + 1;
        EXPECT_EQ(d[f].v[0].note, E4) << "frame " << f + 1;
        if (f % 16 == 0) continue;
        EXPECT_EQ(g[f].v[0].atten, 2) << "frame " << f + 1;
        EXPECT_EQ(g[f].v[0].note, (f / 16) % 2 ? G4 : C4) << "frame " << f + 1;
    }
    EXPECT_GE(share(grace, g), share(grace, held(grace, 16)));
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
        SCOPED_TRACE("song " + std::to_string(i) + ", --min-frames " + std::to_string(n));
        const RowChoiceOptions o{n, i % 2 == 1};
        auto sounding_length = [&](const std::vector<Frame> &frames) {
            size_t end = frames.size();
            auto sounds = [&](const Frame &f) {
                for (int v = 0; v < (o.count_noise ? 4 : 3); v++)
                    if (f.v[v].atten != 15) return true;
                return false;
            };
            while (end > 0 && !sounds(frames[end - 1])) end--;
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
                EXPECT_LT(sounding, n);
            }
        }

        std::vector<Frame> rows = song;
        choose_rows(rows, o);
        EXPECT_EQ(sounding_length(rows), sounding) << "the song keeps its length";
        HoldReport holds;
        song_file_of(prepare_frames(song, Reductions{0, n, false, ALL_VOICES, 1, o.count_noise}, &holds));
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
        const RowChoiceOptions o{2 + static_cast<uint32_t>(i % 3), i % 2 == 0, i % 4 < 2 ? MATCH_SILENT : 0, i % 5};
        SCOPED_TRACE("song " + std::to_string(i));
        const int64_t got = score_of(song, choose_row_starts(song, o), o);

        // Brute force: rows of min_frames or more (a short last one only if no other way).
        int64_t best = std::numeric_limits<int64_t>::min(), best_short = best;
        std::vector<size_t> starts;
        std::function<void(size_t)> divide = [&](size_t at) {
            if (at == song.size()) {
                int64_t &b = song.size() - starts.back() < o.min_frames ? best_short : best;
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

TEST(RowChooserRealFiles, KeepsMoreNotesInNoMoreRows)
{
    const std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files";
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        VgmLog log;
        ASSERT_TRUE(read_real_vgm(path, log));
        const std::vector<Frame> song = ti_frames(log, log.clock, false);
        for (uint32_t n : {4u, 16u}) {
            const std::vector<Frame> frames = prepare_frames(song, Reductions{0, n});
            const std::vector<Frame> holding = held(song, n);
            const uint32_t rows = estimate_xb(frames).rows, rows_held = estimate_xb(holding).rows;
            const double got = share(song, frames), before = share(song, holding);
            // The ceiling: the most any rows of n frames keep (silence and rows score 0).
            RowChoiceOptions most{n, false, 0, 0};
            std::vector<Frame> bound = song;
            play_rows(bound, choose_row_starts(song, most), most);
            const double ceiling = share(song, bound);
            std::printf("--min-frames %-2u %-24s rows %5u -> %5u  notes kept %5.1f%% -> %5.1f%% (at most %.1f%%)\n", n,
                        path.substr(path.rfind('/') + 1).c_str(), rows_held, rows, before, got, ceiling);
            EXPECT_LE(rows, rows_held) << "--min-frames " << n;
            EXPECT_GE(got, std::min(1.25 * before, ceiling - 1.0)) << "--min-frames " << n;
            if (n == 16) {
                EXPECT_GE(got, 1.25 * before);
            }
            song_file_of(frames);
        }
    }
}
