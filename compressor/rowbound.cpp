#include "compressor/rowbound.h"

#include <algorithm>
#include <limits>

#include "compressor/holds.h"

namespace {

constexpr uint8_t SILENT = 15;

// A voice's state in a frame as the chooser tells them apart: silence
// (whatever note) or the volume and note.
uint32_t state_of(const Frame &f, int v)
{
    const uint8_t a = static_cast<uint8_t>(f.v[v].atten & 0x0F);
    if (a == SILENT) return 0;
    const uint16_t note = static_cast<uint16_t>(v == 3 ? f.v[v].note & 0x07 : f.v[v].note & 0x3FF);
    return 1 + a * 1024u + note;
}

// The first frame after `from` (at most count) at which a voice that
// counts changes state. Equal fields mean an equal state, and most
// neighbouring frames have them, so those are compared first.
size_t next_change(const std::vector<Frame> &frames, size_t from, size_t count, int voices)
{
    for (size_t f = from + 1; f < count; f++) {
        const Frame &a = frames[f - 1], &b = frames[f];
        bool same = true;
        for (int v = 0; v < voices; v++) same = same && a.v[v].atten == b.v[v].atten && a.v[v].note == b.v[v].note;
        if (same) continue;
        for (int v = 0; v < voices; v++)
            if (state_of(a, v) != state_of(b, v)) return f;
    }
    return count;
}

// A run of frames in which a voice holds one state: its state's number
// (0 silence, else numbered as first met) and its weight in the scores.
struct Run {
    uint32_t id;
    uint32_t frames;
    int64_t weight;
};

std::vector<Run> runs_of(const VoiceIds &voice, int64_t silent_match)
{
    std::vector<Run> runs;
    for (const uint32_t id : voice.id) {
        const int64_t w = id == 0 ? silent_match : MATCH_SOUNDING;
        if (!runs.empty() && runs.back().id == id) {
            runs.back().frames++;
            runs.back().weight += w;
        } else {
            runs.push_back(Run{id, 1, w});
        }
    }
    return runs;
}

// The least of loss + price per part over the divisions of runs into
// parts (groups of whole runs; a voice divided inside a run loses no less
// than divided at one of its ends). Every part but the last spans at most
// LONGEST_ROW_FRAMES frames between its first and last run.
//
// least[j] is the least over the divisions of runs 1..j; the part ending at
// run j begins at some run i, tried from j down. Two facts end the scan:
// - least only grows with the runs it covers, so no part beginning before
//   run i does better than least[first - 1] + price plus this part's loss
//   (a part's loss only grows with its runs);
// - a part beginning at i' < i does no better than least[i - 1] plus the
//   loss of runs i..j: runs 1..i-1 may end in the part i'..i-1 (which spans
//   less than i'..j, so is allowed when j is not the last run), so
//   least[i - 1] <= least[i' - 1] + price + loss(i'..i-1), and a part's loss
//   is at least the sum of its pieces' losses (the state that scores most
//   over the whole scores no more in each piece than that piece's best), so
//   loss(i'..j) >= loss(i'..i-1) + loss(i..j).
// Both only pass over parts that cannot lower least[j]: the value is that of
// trying every part.
int64_t priced_loss(const std::vector<Run> &runs, uint32_t states, int64_t price)
{
    const size_t count = runs.size();
    std::vector<int64_t> least(count + 1, 0), score(states, 0);
    size_t first = 1;       // the earliest first run of a part ending at run j (1-based)
    uint64_t between = 0;   // frames of the runs first + 1 .. j - 1
    for (size_t j = 1; j <= count; j++) {
        if (j >= first + 2) between += runs[j - 2].frames;
        while (between > LONGEST_ROW_FRAMES) {
            first++;
            between -= runs[first - 1].frames;
        }
        const bool last = j == count;  // its part may be as long as it likes
        const size_t lowest = last ? 1 : first;
        const int64_t floor = last ? price : least[first - 1] + price;
        int64_t best = std::numeric_limits<int64_t>::max(), weight = 0, most = 0;
        size_t i = j;
        for (;; i--) {
            const Run &r = runs[i - 1];
            weight += r.weight;
            most = std::max(most, score[r.id] += r.weight);
            const int64_t loss = weight - most, before = least[i - 1];
            best = std::min(best, before + price + loss);
            if (i == lowest || (last ? floor : std::max(floor, before)) + loss >= best) break;
        }
        for (size_t k = i; k <= j; k++) score[runs[k - 1].id] = 0;
        least[j] = best;
    }
    return least[count];
}

}  // namespace

VoiceIds voice_ids(const std::vector<Frame> &frames, int v)
{
    VoiceIds ids;
    std::vector<int32_t> number(1 + 16 * 1024, -1);
    number[0] = 0;
    ids.id.reserve(frames.size());
    for (const Frame &f : frames) {
        const uint32_t key = state_of(f, v);
        if (number[key] < 0) number[key] = static_cast<int32_t>(ids.states++);
        ids.id.push_back(static_cast<uint32_t>(number[key]));
    }
    return ids;
}

int64_t least_voice_loss(const VoiceIds &voice, int64_t silent_match, uint64_t parts)
{
    const std::vector<Run> runs = runs_of(voice, silent_match);
    if (runs.size() <= 1) return 0;
    const uint32_t states = voice.states;
    // For every price p, a division into at most `parts` parts loses at
    // least priced_loss(p) - p * parts. Half a sounding voice-frame's worth
    // of rows (p = 8) comes within a few percent of the best price on the
    // real songs at the row counts XB holds, at the cost of one pass.
    constexpr int64_t PRICE = 8;
    const int64_t best = priced_loss(runs, states, PRICE) - PRICE * static_cast<int64_t>(parts);
    return std::max<int64_t>(best, 0);
}

std::vector<size_t> grid_division(size_t total, uint32_t min_frames)
{
    const size_t n = std::max<uint32_t>(min_frames, 1);
    if (total < 2 * n || 2 * n > LONGEST_ROW_FRAMES) return {};
    // total / n rows: the last has n to 2n - 1 frames, at most 211.
    std::vector<size_t> starts;
    for (size_t s = 0; s + n <= total; s += n) starts.push_back(s);
    return starts;
}

std::vector<size_t> held_division(const std::vector<Frame> &held, size_t total, uint32_t min_frames, bool noise)
{
    return held_division(change_frames(held, noise), total, min_frames);
}

std::vector<size_t> held_division(const std::vector<size_t> &changes, size_t total, uint32_t min_frames)
{
    const size_t n = std::max<uint32_t>(min_frames, 1);
    // Parts of a row cut in two or more are at least 105 frames long.
    if (total < 2 * n || n > LONGEST_ROW_FRAMES / 2 - 1) return {};
    std::vector<size_t> rows = {0};  // the rows' first frames, then total
    for (const size_t f : changes) {
        if (f >= total) break;
        if (f - rows.back() < n) return {};  // not a division the chooser may write
        rows.push_back(f);
    }
    if (total - rows.back() < n) rows.pop_back();  // the last row takes the short end
    rows.push_back(total);
    // Rows too long are cut into equal parts, each at least n frames.
    std::vector<size_t> starts;
    for (size_t r = 0; r + 1 < rows.size(); r++) {
        const size_t length = rows[r + 1] - rows[r], longest = r == 0 ? LONGEST_ROW_FRAMES - 1 : LONGEST_ROW_FRAMES;
        const size_t parts = (length + longest - 1) / longest;
        for (size_t k = 0; k < parts; k++) starts.push_back(rows[r] + length * k / parts);
    }
    return starts;
}

int64_t division_voice_loss(const VoiceIds &voice, int64_t silent_match, const std::vector<size_t> &starts,
                            size_t total)
{
    std::vector<int64_t> score(voice.states, 0);
    int64_t loss = 0;
    for (size_t r = 0; r < starts.size(); r++) {
        const size_t from = starts[r], to = r + 1 == starts.size() ? total : starts[r + 1];
        int64_t weight = 0, most = 0;
        for (size_t f = from; f < to; f++) {
            const uint32_t id = voice.id[f];
            const int64_t w = id == 0 ? silent_match : MATCH_SOUNDING;
            weight += w;
            most = std::max(most, score[id] += w);
        }
        for (size_t f = from; f < to; f++) score[voice.id[f]] = 0;
        loss += weight - most;
    }
    return loss;
}

std::vector<size_t> change_frames(const std::vector<Frame> &frames, bool noise)
{
    std::vector<size_t> changes;
    for (size_t f = next_change(frames, 0, frames.size(), noise ? 4 : 3); f < frames.size();
         f = next_change(frames, f, frames.size(), noise ? 4 : 3))
        changes.push_back(f);
    return changes;
}

uint64_t changes_written(const std::vector<Frame> &frames, bool noise)
{
    uint64_t changes = 0;
    for (size_t f = next_change(frames, 0, frames.size(), noise ? 4 : 3); f < frames.size();
         f = next_change(frames, f, frames.size(), noise ? 4 : 3))
        changes++;
    return changes;
}

uint64_t rows_allowed(uint64_t rows_limit, size_t total)
{
    // Of k chosen rows, those that follow one of the same state come in
    // chains whose neighbours together pass LONGEST_ROW_FRAMES - 1 frames,
    // at most total / (LONGEST_ROW_FRAMES / 2) of them; the final row may
    // lose its change to the one that sounds before the final silence.
    return rows_limit + total / (LONGEST_ROW_FRAMES / 2) + 2;
}
