#include "compressor/rowchoose.h"

#include <algorithm>

#include "compressor/holds.h"
#include "compressor/reduce.h"
#include "compressor/rowbound.h"
#include "compressor/rowtable.h"

namespace {

constexpr uint8_t SILENT = 15;

// The scores of a voice's states over a run of frames, with the best of
// them kept up to date as frames join the run.
struct Tally {
    const VoiceStates *voice;
    int64_t silent_match;
    std::vector<int64_t> score;
    int64_t best = 0;
    // Adds frame f; returns how much the best score grew.
    int64_t add(size_t f)
    {
        const uint16_t k = voice->id[f];
        score[k] += k == 0 ? silent_match : MATCH_SOUNDING;
        const int64_t grew = std::max<int64_t>(score[k] - best, 0);
        best += grew;
        return grew;
    }
};

// The voices whose states count: the tone voices, and the noise voice
// when kelvaro writes it.
int counted_voices(const RowChoiceOptions &options)
{
    return options.count_noise ? 4 : 3;
}

// Where the silence that ends the song begins (every voice that counts
// silent to the last frame), or the song's length when it sounds to its
// last frame: the song's last change, which sets its length.
size_t sounding_length(const std::vector<Frame> &frames, int voices)
{
    size_t end = frames.size();
    auto silent = [voices](const Frame &f) {
        for (int v = 0; v < voices; v++)
            if ((f.v[v].atten & 0x0F) != SILENT) return false;
        return true;
    };
    while (end > 0 && silent(frames[end - 1])) end--;
    return end;
}

// The rows the converter writes from frames once long holds are split
// (noise: it plays the noise voice, whose changes end rows too).
uint64_t rows_written(std::vector<Frame> frames, uint32_t min_row, bool noise)
{
    return split_long_holds(frames, min_row, noise).rows;
}

// The voices that take part in the choice: those that count and change
// (one that holds a single state all along scores the same in every
// division), with their states.
std::vector<VoiceStates> taking_part(const std::vector<Frame> &frames, const RowChoiceOptions &options,
                                     const std::vector<int> *only = nullptr)
{
    std::vector<VoiceStates> voices;
    for (int v = 0; v < counted_voices(options); v++) {
        if (only && std::find(only->begin(), only->end(), v) == only->end()) continue;
        VoiceStates s = number_states(frames, v);
        if (only || (s.state.size() > 1 &&
                     std::any_of(s.id.begin(), s.id.end(), [&](uint16_t k) { return k != s.id[0]; })))
            voices.push_back(std::move(s));
    }
    return voices;
}

// The last row, ending at total (the song's sounding length): it may be
// shorter than n when no division into whole rows exists, at a cost above
// every match of the song. Returns where it begins.
size_t last_row_start(const std::vector<VoiceStates> &voices, const RowChoiceOptions &options,
                      const std::vector<int64_t> &best, size_t total)
{
    const size_t n = std::max<size_t>(options.min_frames, 1);
    const size_t longest = std::max<size_t>(n, LONGEST_ROW_FRAMES);
    const size_t longest_first = std::max<size_t>(n, LONGEST_ROW_FRAMES - 1);
    const int64_t short_cost = (MATCH_SOUNDING * 4 + options.row_cost) * static_cast<int64_t>(total) + 1;
    std::vector<Tally> tallies;
    for (const VoiceStates &s : voices)
        tallies.push_back(Tally{&s, options.silent_match, std::vector<int64_t>(s.state.size(), 0), 0});
    int64_t top = ROWS_UNREACHED, score = 0;
    size_t at = 0;
    for (size_t len = 1; len <= std::min(total, longest); len++) {
        const size_t s = total - len;
        for (Tally &t : tallies) score += t.add(s);
        if (best[s] == ROWS_UNREACHED || (s == 0 && len > longest_first)) continue;
        const int64_t total_score = best[s] + score - options.row_cost - (len < n ? short_cost : 0);
        if (total_score >= top) {  // among equals the longest row
            top = total_score;
            at = s;
        }
    }
    return at;
}

std::vector<size_t> row_starts(const std::vector<Frame> &frames, const RowChoiceOptions &options,
                               const std::vector<VoiceStates> &voices, const std::vector<int64_t> &best,
                               const std::vector<uint32_t> &start, size_t total)
{
    std::vector<size_t> starts;
    for (size_t e = total, s = last_row_start(voices, options, best, total);; s = start[e]) {
        starts.push_back(s);
        e = s;
        if (e == 0) break;
    }
    std::reverse(starts.begin(), starts.end());
    if (total < frames.size()) starts.push_back(total);
    return starts;
}

bool same_choice(const RowChoiceOptions &a, const RowChoiceOptions &b)
{
    return a.min_frames == b.min_frames && a.count_noise == b.count_noise && a.silent_match == b.silent_match &&
           a.row_cost == b.row_cost;
}

}  // namespace

int64_t dearest_row_cost(const RowChoiceOptions &options)
{
    return std::max<int64_t>(options.row_cost, 1) * 4;
}

RowTable row_table(const std::vector<Frame> &frames, const RowChoiceOptions &options)
{
    RowTable table;
    table.options = options;
    table.frames = frames.size();
    const std::vector<VoiceStates> voices = taking_part(frames, options);
    for (const VoiceStates &s : voices) table.voices.push_back(s.voice);
    fill_row_table(voices, options, sounding_length(frames, counted_voices(options)), table.best, table.start);
    return table;
}

namespace {

// choose_row_starts, which stops and returns false once the rows certainly
// change the tone voices more than limit times (fill_row_table).
// voices: those taking_part gives, when already numbered.
bool starts_within(const std::vector<Frame> &frames, const RowChoiceOptions &options, const RowTable *table,
                   uint64_t limit, std::vector<size_t> &starts, const std::vector<VoiceStates> *voices = nullptr)
{
    starts.clear();
    if (frames.empty()) return true;
    // The rows end where the song's final silence begins, which stays a row
    // of its own: the song's last change keeps its frame.
    const size_t total = sounding_length(frames, counted_voices(options));
    if (total == 0) {
        starts.push_back(0);
        return true;
    }
    if (table && same_choice(table->options, options) && total <= table->best.size()) {
        // The table's voices: one that changes only after these frames
        // adds to every division alike what it adds to the table's.
        const std::vector<VoiceStates> voices = taking_part(frames, options, &table->voices);
        starts = row_starts(frames, options, voices, table->best, table->start, total);
        return true;
    }
    std::vector<VoiceStates> numbered;
    if (!voices) {
        numbered = taking_part(frames, options);
        voices = &numbered;
    }
    std::vector<int64_t> best;
    std::vector<uint32_t> start;
    if (!fill_row_table(*voices, options, total, best, start, limit)) return false;
    starts = row_starts(frames, options, *voices, best, start, total);
    return true;
}

}  // namespace

std::vector<size_t> choose_row_starts(const std::vector<Frame> &frames, const RowChoiceOptions &options,
                                      const RowTable *table)
{
    std::vector<size_t> starts;
    starts_within(frames, options, table, UINT64_MAX, starts);
    return starts;
}

void play_rows(std::vector<Frame> &frames, const std::vector<size_t> &starts, const RowChoiceOptions &options)
{
    if (frames.empty() || starts.empty()) return;
    auto end_of = [&](size_t r) { return r + 1 < starts.size() ? starts[r + 1] : frames.size(); };
    VoiceStates voices[4];
    std::vector<uint16_t> chosen[4];  // per voice, per row
    std::vector<int64_t> score;
    auto score_row = [&](const VoiceStates &s, size_t r) {
        for (size_t f = starts[r]; f < end_of(r); f++)
            score[s.id[f]] += s.id[f] == 0 ? options.silent_match : MATCH_SOUNDING;
    };
    auto clear_row = [&](const VoiceStates &s, size_t r) {
        for (size_t f = starts[r]; f < end_of(r); f++) score[s.id[f]] = 0;
    };
    for (int v = 0; v < 4; v++) {
        const VoiceStates &s = voices[v] = number_states(frames, v);
        score.assign(s.state.size(), 0);
        uint16_t previous = s.id[starts[0]];
        for (size_t r = 0; r < starts.size(); r++) {
            score_row(s, r);
            int64_t most = 0;
            uint16_t best = s.id[starts[r]];
            for (size_t f = starts[r]; f < end_of(r); f++)
                if (score[s.id[f]] > most) {
                    most = score[s.id[f]];
                    best = s.id[f];
                }
            if (most > 0 && score[previous] == most) best = previous;
            clear_row(s, r);
            chosen[v].push_back(best);
            previous = best;
        }
    }

    // The last row before the song's final silence sounds, so that the
    // song's last change, and its length, stay as they were: where it would
    // be silent in every voice that counts, the voice whose sounding state
    // fills most of it plays that.
    const int counted = counted_voices(options);
    const size_t length = sounding_length(frames, counted);
    for (size_t r = 0; r < starts.size() && length > 0; r++) {
        if (end_of(r) != length) continue;
        bool sounds = false;
        for (int v = 0; v < counted; v++) sounds = sounds || chosen[v][r] != 0;
        int64_t most = 0;
        for (int v = 0; v < counted && !sounds; v++) {
            const VoiceStates &s = voices[v];
            score.assign(s.state.size(), 0);
            score_row(s, r);
            for (uint16_t k = 1; k < s.state.size(); k++)
                if (score[k] > most) {
                    most = score[k];
                    chosen[v][r] = k;
                    for (int w = 0; w < v; w++) chosen[w][r] = 0;
                }
        }
    }

    for (int v = 0; v < 4; v++)
        for (size_t r = 0; r < starts.size(); r++)
            for (size_t f = starts[r]; f < end_of(r); f++) frames[f].v[v] = voices[v].state[chosen[v][r]];
    for (Frame &f : frames) f.retune = 0;
}

bool choose_rows(std::vector<Frame> &frames, const RowChoiceOptions &options, const RowTable *table,
                 uint64_t row_limit)
{
    if (options.min_frames <= 1 || frames.empty()) return true;
    // Holding's rows are the budget; the held frames themselves are made
    // again only when they are used (few copies of the song at a time).
    auto held = [&] {
        std::vector<Frame> h = frames;
        hold_min_frames(h, options.min_frames, true);
        return h;
    };
    uint64_t budget = UINT64_MAX;  // until measured
    auto rows_held = [&](std::vector<Frame> h) {
        return rows_written(std::move(h), options.min_frames, options.count_noise);
    };
    {
        std::vector<Frame> h = held();
        // Holding, which the choice may fall back to, within the limit: the
        // rows are needed whole. Over it, the budget is measured only when
        // a choice is finished (most stop early).
        if (row_limit == UINT64_MAX || changes_written(h, false) <= row_limit) {
            row_limit = UINT64_MAX;
            budget = rows_held(std::move(h));
        }
    }
    // Each row cost in turn; a choice that certainly changes more than
    // row_limit times is not finished (over).
    bool over[2] = {false, false};
    const int64_t costs[2] = {options.row_cost, dearest_row_cost(options)};
    std::vector<VoiceStates> voices;  // numbered once for both costs, unless the table serves
    for (int c = 0; c < 2; c++) {
        RowChoiceOptions o = options;
        o.row_cost = costs[c];
        const RowTable *t = c == 0 ? table : nullptr;
        if (!t && voices.empty()) voices = taking_part(frames, options);
        std::vector<size_t> starts;
        if (!starts_within(frames, o, t, row_limit, starts, t ? nullptr : &voices)) {
            over[c] = true;
            continue;
        }
        std::vector<Frame> chosen = frames;
        play_rows(chosen, starts, o);
        if (budget == UINT64_MAX) budget = rows_held(held());
        if (rows_written(chosen, options.min_frames, options.count_noise) > budget) continue;
        // The dearer choice is taken only where the first writes too many
        // rows: where it was not finished, it is finished now.
        if (c == 1 && over[0]) {
            std::vector<Frame> first = frames;
            play_rows(first, choose_row_starts(frames, options, table), options);
            if (rows_written(first, options.min_frames, options.count_noise) <= budget) chosen = std::move(first);
        }
        frames = std::move(chosen);
        return true;
    }
    // Both choices write too many rows, or go over the limit, and so does
    // holding where the limit holds.
    if (over[0] || over[1]) return false;
    frames = held();
    return true;
}
