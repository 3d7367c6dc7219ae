#include "compressor/rowchoose.h"

#include <algorithm>
#include <limits>

#include "compressor/holds.h"
#include "compressor/reduce.h"

namespace {

constexpr uint8_t SILENT = 15;
constexpr int64_t UNREACHED = std::numeric_limits<int64_t>::min();

// A voice's states numbered in the order they first occur; 0 is silence,
// whatever note the silent voice holds.
struct VoiceStates {
    std::vector<uint16_t> id;       // per frame
    std::vector<VoiceState> state;  // per id
};

VoiceStates number_states(const std::vector<Frame> &frames, int v)
{
    VoiceStates s;
    s.state.push_back(VoiceState{SILENT, 0});
    std::vector<int32_t> index(16 * 1024, -1);  // attenuation * 1024 + note -> id
    s.id.reserve(frames.size());
    for (const Frame &f : frames) {
        const uint8_t a = static_cast<uint8_t>(f.v[v].atten & 0x0F);
        if (a == SILENT) {
            s.id.push_back(0);
            continue;
        }
        const uint16_t note = static_cast<uint16_t>(v == 3 ? f.v[v].note & 0x07 : f.v[v].note & 0x3FF);
        int32_t &k = index[a * 1024u + note];
        if (k < 0) {
            k = static_cast<int32_t>(s.state.size());
            s.state.push_back(VoiceState{a, note});
        }
        s.id.push_back(static_cast<uint16_t>(k));
    }
    return s;
}

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

}  // namespace

std::vector<size_t> choose_row_starts(const std::vector<Frame> &frames, const RowChoiceOptions &options)
{
    if (frames.empty()) return {};
    // The rows end where the song's final silence begins, which stays a row
    // of its own: the song's last change keeps its frame.
    const size_t total = sounding_length(frames, counted_voices(options));
    if (total == 0) return {0};
    const size_t n = std::max<size_t>(options.min_frames, 1);
    const size_t longest = std::max<size_t>(n, LONGEST_ROW_FRAMES);
    const size_t longest_first = std::max<size_t>(n, LONGEST_ROW_FRAMES - 1);

    // Only the voices that count and change take part: one that holds a
    // single state all along scores the same in every division.
    std::vector<VoiceStates> voices;
    std::vector<Tally> tallies;
    voices.reserve(4);
    for (int v = 0; v < counted_voices(options); v++) {
        VoiceStates s = number_states(frames, v);
        if (s.state.size() > 1 && std::any_of(s.id.begin(), s.id.end(), [&](uint16_t k) { return k != s.id[0]; }))
            voices.push_back(std::move(s));
    }
    for (const VoiceStates &s : voices)
        tallies.push_back(Tally{&s, options.silent_match, std::vector<int64_t>(s.state.size(), 0), 0});

    // best[e]: the highest score of rows covering frames 0..e-1, start[e]:
    // where the last of them begins. A last row shorter than n costs more
    // than every match of the song, so it is taken only when no division
    // into whole rows exists.
    const int64_t short_cost = (MATCH_SOUNDING * 4 + options.row_cost) * static_cast<int64_t>(total) + 1;
    std::vector<int64_t> best(total + 1, UNREACHED);
    std::vector<size_t> start(total + 1, 0);
    best[0] = 0;
    for (size_t e = 1; e <= total; e++) {
        const size_t reach = std::min(e, longest);
        const size_t shortest = e == total ? 1 : n;
        int64_t score = 0;  // of the row s..e-1, growing as s moves back
        for (size_t len = 1; len <= reach; len++) {
            const size_t s = e - len;
            for (Tally &t : tallies) score += t.add(s);
            if (len < shortest || best[s] == UNREACHED || (s == 0 && len > longest_first)) continue;
            const int64_t total_score = best[s] + score - options.row_cost - (len < n ? short_cost : 0);
            if (total_score >= best[e]) {  // among equals the longest row
                best[e] = total_score;
                start[e] = s;
            }
        }
        for (Tally &t : tallies) {
            for (size_t len = 1; len <= reach; len++) t.score[t.voice->id[e - len]] = 0;
            t.best = 0;
        }
    }

    std::vector<size_t> starts;
    for (size_t e = total; e > 0; e = start[e]) starts.push_back(start[e]);
    std::reverse(starts.begin(), starts.end());
    if (total < frames.size()) starts.push_back(total);
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

void choose_rows(std::vector<Frame> &frames, const RowChoiceOptions &options)
{
    if (options.min_frames <= 1 || frames.empty()) return;
    std::vector<Frame> held = frames;
    hold_min_frames(held, options.min_frames, true);
    const uint64_t budget = rows_written(held, options.min_frames, options.count_noise);

    std::vector<Frame> chosen = frames;
    play_rows(chosen, choose_row_starts(frames, options), options);
    frames = rows_written(chosen, options.min_frames, options.count_noise) <= budget ? std::move(chosen) : std::move(held);
}
