// The row chooser behind --min-frames and --interpreted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <random>

#include "compressor/fidelity.h"
#include "compressor/fit.h"
#include "compressor/pitch.h"
#include "compressor/rowbound.h"
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

// Where the song's final silence begins (every voice that counts silent).
size_t sounding_frames(const std::vector<Frame> &frames, const RowChoiceOptions &o)
{
    size_t total = frames.size();
    auto silent = [&](const Frame &f) {
        for (int v = 0; v < (o.count_noise ? 4 : 3); v++)
            if (f.v[v].atten != 15) return false;
        return true;
    };
    while (total > 0 && silent(frames[total - 1])) total--;
    return total;
}

// The chooser's table by its definition, row by row and start by start
// (O(frames x longest row x states)): per row end e up to the final
// silence, the highest score of rows covering the frames before e (none:
// the lowest int64_t), and where the last of them begins (among equals the
// longest); the last row may be short.
struct ReferenceTable {
    std::vector<int64_t> best;
    std::vector<size_t> start;
};
ReferenceTable reference_table(const std::vector<Frame> &frames, const RowChoiceOptions &o)
{
    const int voices = o.count_noise ? 4 : 3;
    const size_t total = sounding_frames(frames, o);
    const size_t n = std::max<size_t>(o.min_frames, 1), longest = std::max<size_t>(n, LONGEST_ROW_FRAMES);
    const int64_t short_cost = (MATCH_SOUNDING * 4 + o.row_cost) * static_cast<int64_t>(total) + 1;
    const int64_t none = std::numeric_limits<int64_t>::min();
    ReferenceTable t{std::vector<int64_t>(total + 1, none), std::vector<size_t>(total + 1, 0)};
    t.best[0] = 0;
    for (size_t e = 1; e <= total; e++) {
        std::map<std::pair<int, int>, int64_t> count[4];  // per voice: (volume, note) -> score in the row
        int64_t row = 0, most[4] = {0, 0, 0, 0};
        for (size_t len = 1; len <= std::min(e, longest); len++) {
            const size_t s = e - len;
            for (int v = 0; v < voices; v++) {
                const VoiceState &x = frames[s].v[v];
                int64_t &c = count[v][x.atten == 15 ? std::make_pair(15, 0) : std::make_pair(int{x.atten}, int{x.note})];
                c += x.atten == 15 ? o.silent_match : MATCH_SOUNDING;
                row += std::max<int64_t>(c - most[v], 0);
                most[v] = std::max(most[v], c);
            }
            if ((len < n && e != total) || t.best[s] == none || (s == 0 && len > std::max(n, longest - 1))) continue;
            const int64_t score = t.best[s] + row - o.row_cost - (len < n ? short_cost : 0);
            if (score >= t.best[e]) t.best[e] = score, t.start[e] = s;
        }
    }
    return t;
}

std::vector<size_t> reference_starts(const std::vector<Frame> &frames, const RowChoiceOptions &o)
{
    const size_t total = sounding_frames(frames, o);
    if (total == 0) return {0};
    const ReferenceTable t = reference_table(frames, o);
    std::vector<size_t> starts;
    for (size_t e = total; e > 0; e = t.start[e]) starts.push_back(t.start[e]);
    std::reverse(starts.begin(), starts.end());
    if (total < frames.size()) starts.push_back(total);
    return starts;
}

// What makes most rows score alike, in sections of every voice: holds
// longer than a row, arpeggios of two or three states, a note with one-frame
// silences (or the reverse) and decays, each repeated for up to a few rows.
std::vector<Frame> patterned_song(std::mt19937 &rng, size_t length)
{
    const uint16_t notes[] = {C4, E4, G4, 214};
    std::vector<Frame> frames(length);
    for (int v = 0; v < 4; v++)
        for (size_t f = 0; f < length;) {
            const size_t kind = rng() % 4, end = std::min(length, f + 20 + rng() % 400);
            const VoiceState a{static_cast<uint8_t>(rng() % 3), notes[rng() % 4]};
            const VoiceState b = rng() % 3 == 0 ? VoiceState{15, 0} : VoiceState{a.atten, notes[rng() % 4]};
            const VoiceState c{static_cast<uint8_t>(1 + rng() % 3), notes[rng() % 4]};
            const size_t run = 1 + rng() % 3, period = kind == 2 ? 4 + rng() % 12 : 3 * run;
            for (size_t i = 0; f < end; f++, i++) {
                VoiceState &x = frames[f].v[v];
                if (kind == 0) x = a;
                if (kind == 1) x = i % period < run ? a : i % period < 2 * run ? b : c;
                if (kind == 2) x = i % period == 0 ? b : a;
                if (kind == 3) x = VoiceState{static_cast<uint8_t>(std::min<size_t>(14, i % period / 2)), a.note};
                if (v == 3 && x.atten != 15) x.note &= 7;
            }
        }
    return frames;
}

}  // namespace

TEST(RowChooser, ChoosesTheRowsItsDefinitionGivesAlsoForTheCutsOfASong)
{
    // Held notes, silences past the longest row and one-frame changes, at
    // the row minimums of --min-frames and --interpreted; each song's cuts
    // through the table of the whole song, as the --fit search makes them.
    std::mt19937 rng(11);
    const uint32_t minimums[] = {2, 3, 4, 5, 16, 20};
    for (int i = 0; i < 24; i++) {
        std::vector<Frame> song = random_song(rng, 200 + rng() % 500);
        if (i % 4 == 1)  // a silence longer than any row
            for (size_t f = 60; f < 60 + LONGEST_ROW_FRAMES + 40 && f < song.size(); f++) song[f] = Frame();
        if (i % 3 == 0)  // and one to end the song
            for (size_t f = song.size() - 30; f < song.size(); f++) song[f] = Frame();
        const RowChoiceOptions o{minimums[i % 6], i % 2 == 1, i % 5 == 4 ? 0 : MATCH_SILENT, i % 7 == 6 ? 4 : 1};
        SCOPED_TRACE("song " + std::to_string(i) + ", rows of " + std::to_string(o.min_frames));
        EXPECT_EQ(choose_row_starts(song, o), reference_starts(song, o));
        const RowTable table = row_table(song, o);
        for (size_t cut : {size_t{1}, o.min_frames + size_t{1}, song.size() / 3, song.size() / 2, song.size() - 1}) {
            const std::vector<Frame> part(song.begin(), song.begin() + static_cast<std::ptrdiff_t>(cut));
            EXPECT_EQ(choose_row_starts(part, o, &table), choose_row_starts(part, o)) << "cut at " << cut;
        }
    }
}

TEST(RowChooser, KeepsTheTableItsDefinitionGivesWhereRowsScoreAlike)
{
    // Every entry of the table, at row minimums up to and past the longest
    // row (the rows then reach further back), with silences scoring 0 too.
    std::mt19937 rng(17);
    const uint32_t minimums[] = {2, 4, 16, 60, 212, 250};
    for (int i = 0; i < 12; i++) {
        const std::vector<Frame> song = patterned_song(rng, 600 + rng() % 900);
        const RowChoiceOptions o{minimums[i % 6], i % 2 == 1, i % 4 == 2 ? 0 : MATCH_SILENT, i % 5 == 4 ? 4 : 1};
        SCOPED_TRACE("song " + std::to_string(i) + ", rows of " + std::to_string(o.min_frames));
        const ReferenceTable reference = reference_table(song, o);
        const RowTable table = row_table(song, o);
        ASSERT_EQ(table.best.size() + 1, reference.best.size());
        for (size_t e = 0; e < table.best.size(); e++) {
            ASSERT_EQ(table.best[e], reference.best[e]) << "frame " << e;
            if (table.best[e] != std::numeric_limits<int64_t>::min()) {
                ASSERT_EQ(table.start[e], reference.start[e]) << "frame " << e;
            }
        }
        EXPECT_EQ(choose_row_starts(song, o), reference_starts(song, o));
    }
}

TEST(RowBound, NoFewerRowsLoseLessThanTheChoiceOrLessThanAnyOtherDivision)
{
    // What the --fit search relies on to pass over a set of reductions:
    // each voice loses at least least_voice_loss(k + 1) in the chooser's k
    // rows, and those rows lose, with their costs, no more than a grid's
    // or holding's rows.
    std::mt19937 rng(5);
    for (int i = 0; i < 12; i++) {
        std::vector<Frame> song = random_song(rng, 400 + rng() % 1200);
        for (size_t f = song.size() - 20; f < song.size(); f++) song[f] = Frame();
        const RowChoiceOptions o{2 + static_cast<uint32_t>(i % 3) * (i % 2 ? 1 : 9), false, MATCH_SILENT,
                                 i % 2 ? ROW_COST : dearest_row_cost(RowChoiceOptions())};
        SCOPED_TRACE("song " + std::to_string(i) + ", rows of " + std::to_string(o.min_frames));
        std::vector<size_t> starts = choose_row_starts(song, o);
        const size_t total = starts.back();
        starts.pop_back();  // the final silence
        int64_t chosen = o.row_cost * static_cast<int64_t>(starts.size() - 1);
        for (int v = 0; v < 3; v++) {
            const int64_t loss = division_voice_loss(voice_ids(song, v), MATCH_SILENT, starts, total);
            EXPECT_LE(least_voice_loss(voice_ids(song, v), MATCH_SILENT, starts.size() + 1), loss) << "voice " << v;
            chosen += loss;
        }
        std::vector<Frame> held = song;
        hold_min_frames(held, o.min_frames, true);
        for (const std::vector<size_t> &other :
             {grid_division(total, o.min_frames), grid_division(total, 4 * o.min_frames),
              held_division(held, total, o.min_frames, false)}) {
            if (other.empty()) continue;
            for (size_t r = 0; r < other.size(); r++) {  // rows the chooser may write
                const size_t length = (r + 1 < other.size() ? other[r + 1] : total) - other[r];
                EXPECT_GE(length, o.min_frames) << "row " << r;
                EXPECT_LE(length, r == 0 ? LONGEST_ROW_FRAMES - 1 : LONGEST_ROW_FRAMES) << "row " << r;
            }
            int64_t loss = o.row_cost * static_cast<int64_t>(other.size() - 1);
            for (int v = 0; v < 3; v++) loss += division_voice_loss(voice_ids(song, v), MATCH_SILENT, other, total);
            EXPECT_LE(chosen, loss);
        }
        // The converter writes a row at every change but between rows too
        // long to join.
        std::vector<Frame> played = song;
        play_rows(played, choose_row_starts(song, o), o);
        EXPECT_GE(rows_allowed(estimate_xb(played).rows, total), starts.size());
        EXPECT_GE(estimate_xb(held).rows, changes_written(held, false));
    }
}

TEST(RowChooser, ALimitStopsOnlyAChoiceThatChangesMoreOften)
{
    // The --fit search tells the chooser how many rows fit: it then gives
    // the very frames it gives without a limit, or stops (false, frames as
    // they were) where those frames change the tone voices more often.
    auto same = [](const std::vector<Frame> &a, const std::vector<Frame> &b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const Frame &x, const Frame &y) {
                   for (int v = 0; v < 4; v++)
                       if (x.v[v].atten != y.v[v].atten || x.v[v].note != y.v[v].note) return false;
                   return x.retune == y.retune;
               });
    };
    std::mt19937 rng(13);
    int stopped = 0, finished = 0;
    for (int i = 0; i < 16; i++) {
        const std::vector<Frame> song = random_song(rng, 800 + rng() % 1600);
        const RowChoiceOptions o{2 + static_cast<uint32_t>(i % 4) * (i % 3 == 0 ? 5 : 1), i % 2 == 1};
        SCOPED_TRACE("song " + std::to_string(i) + ", rows of " + std::to_string(o.min_frames));
        std::vector<Frame> whole = song;
        ASSERT_TRUE(choose_rows(whole, o));
        const uint64_t changes = changes_written(whole, false);
        for (const uint64_t limit : {uint64_t{0}, changes / 8, changes / 2, changes - 1, changes, 2 * changes}) {
            std::vector<Frame> limited = song;
            if (choose_rows(limited, o, nullptr, limit)) {
                EXPECT_TRUE(same(limited, whole)) << "limit " << limit;
                finished++;
            } else {
                EXPECT_GT(changes, limit);
                EXPECT_TRUE(same(limited, song)) << "limit " << limit;
                stopped++;
            }
        }
    }
    EXPECT_GT(stopped, 0);
    EXPECT_GT(finished, 16);
}

TEST(RowBound, LeastVoiceLossIsThatOfTryingEveryPart)
{
    // The bound's scan over parts stops early; it must find what trying
    // every division into parts of whole runs finds, at the price of 8 per
    // part it charges: runs of one frame, runs past the longest row, songs
    // of one run.
    std::mt19937 rng(11);
    for (int song = 0; song < 40; song++) {
        const size_t length = 1 + rng() % 900;
        VoiceIds voice;
        voice.states = 1 + rng() % 9;
        const uint32_t longest = song % 4 == 0 ? 1 : song % 4 == 1 ? 8 : song % 4 == 2 ? 40 : 400;
        while (voice.id.size() < length) {
            const uint32_t id = static_cast<uint32_t>(rng() % voice.states);
            for (uint32_t k = 1 + rng() % longest; k > 0 && voice.id.size() < length; k--) voice.id.push_back(id);
        }
        std::vector<size_t> run_start = {0};  // frames where a run begins, then the length
        for (size_t f = 1; f < length; f++)
            if (voice.id[f] != voice.id[f - 1]) run_start.push_back(f);
        run_start.push_back(length);
        const size_t runs = run_start.size() - 1;
        auto loss = [&](size_t i, size_t j) {  // runs i..j, 1-based
            std::map<uint32_t, int64_t> score;
            int64_t weight = 0, most = 0;
            for (size_t f = run_start[i - 1]; f < run_start[j]; f++) {
                const int64_t w = voice.id[f] == 0 ? MATCH_SILENT : MATCH_SOUNDING;
                weight += w;
                most = std::max(most, score[voice.id[f]] += w);
            }
            return weight - most;
        };
        std::vector<int64_t> least(runs + 1, 0);
        for (size_t j = 1; j <= runs; j++) {
            least[j] = std::numeric_limits<int64_t>::max();
            for (size_t i = j; i >= 1; i--) {
                const size_t between = i + 1 < j ? run_start[j - 1] - run_start[i] : 0;
                if (j < runs && between > LONGEST_ROW_FRAMES) break;
                least[j] = std::min(least[j], least[i - 1] + 8 + loss(i, j));
            }
        }
        for (const uint64_t parts : {uint64_t{1}, uint64_t{3}, uint64_t{runs / 4}, uint64_t{runs}}) {
            const int64_t priced = runs <= 1 ? 0 : least[runs] - 8 * static_cast<int64_t>(parts);
            const int64_t expected = std::max<int64_t>(priced, 0);
            EXPECT_EQ(least_voice_loss(voice, MATCH_SILENT, parts), expected)
                << "song " << song << ", " << runs << " runs, " << parts << " parts";
        }
    }
}

TEST(RowBound, ChangesAreThoseOfTheStatesTheChooserTellsApart)
{
    // A silent voice changing its note, or the noise voice its unused
    // note bits, changes nothing; the noise voice counts only with noise.
    struct Case {
        int voice;
        VoiceState from, to;
        bool changes, changes_with_noise;
    };
    const Case cases[] = {
        {0, {15, C4}, {15, E4}, false, false},  // silent, another note
        {1, {15, C4}, {31, E4}, false, false},  // silent, whatever the high bits
        {2, {3, C4}, {3, E4}, true, true},      // a new note
        {0, {3, C4}, {4, C4}, true, true},      // a new volume
        {0, {15, C4}, {3, C4}, true, true},     // a note begins
        {3, {3, 2}, {3, 2 | 8}, false, false},  // noise: three note bits only
        {3, {3, 2}, {5, 2}, false, true},       // noise: counted with noise
    };
    for (const Case &c : cases) {
        std::vector<Frame> frames(6);
        for (size_t f = 0; f < frames.size(); f++) frames[f].v[c.voice] = f < 3 ? c.from : c.to;
        SCOPED_TRACE("voice " + std::to_string(c.voice));
        for (const bool noise : {false, true}) {
            const bool expected = noise ? c.changes_with_noise : c.changes;
            EXPECT_EQ(change_frames(frames, noise), expected ? std::vector<size_t>{3} : std::vector<size_t>{});
            EXPECT_EQ(changes_written(frames, noise), expected ? 1u : 0u);
        }
    }
}

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
