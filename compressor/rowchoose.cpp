#include "compressor/rowchoose.h"

#include <algorithm>
#include <limits>
#include <tuple>

#include "compressor/holds.h"
#include "compressor/reduce.h"
#include "compressor/rowbound.h"

namespace {

constexpr uint8_t SILENT = 15;
constexpr int64_t UNREACHED = std::numeric_limits<int64_t>::min();

// A voice's states numbered in the order they first occur; 0 is silence,
// whatever note the silent voice holds.
struct VoiceStates {
    int voice = 0;
    std::vector<uint16_t> id;       // per frame
    std::vector<VoiceState> state;  // per id
};

VoiceStates number_states(const std::vector<Frame> &frames, int v)
{
    VoiceStates s;
    s.voice = v;
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

// Row starts go in blocks of BLOCK, at the indices s & mask of a ring of
// mask + 1 (a multiple of BLOCK, more than BLOCK beyond the longest row): a
// block's indices are begun anew, from its first, only when the starts that
// held them are out of reach.
constexpr size_t BLOCK = 16;
static_assert((BLOCK & (BLOCK - 1)) == 0, "a block's first start is found by a mask");

// The first start of t's block (t >= 0).
constexpr int64_t block_first(int64_t t)
{
    return t & ~static_cast<int64_t>(BLOCK - 1);
}

// The candidates of the row that ends at the frame being added: per row
// start s within reach, at index s & mask, best[s] plus the score of the
// row s..e-1. Kept with the highest of each block, so that the highest over
// a stretch of starts costs a look per block, and with an addition per
// block, so that a whole block rises at the cost of one.
struct Candidates {
    size_t mask;
    std::vector<int64_t> value;  // less the block's addition
    std::vector<int64_t> block;  // per block: its highest value since begun, less its addition
    std::vector<int64_t> added;  // per block: what its every value has risen by

    explicit Candidates(size_t mask)
        : mask(mask), value(mask + 1, 0), block((mask + 1) / BLOCK, 0), added((mask + 1) / BLOCK, 0)
    {
    }

    int64_t at(size_t i) const { return value[i] + added[i / BLOCK]; }

    void raise(size_t i, int64_t by)
    {
        const int64_t v = value[i] += by;
        int64_t &b = block[i / BLOCK];
        if (v > b) b = v;
    }

    void raise_block(size_t b, int64_t by) { added[b] += by; }

    // The start at index i enters with candidate v.
    void set(size_t i, int64_t v)
    {
        const size_t b = i / BLOCK;
        if (i % BLOCK == 0) {
            added[b] = 0;
            block[b] = v;
        }
        value[i] = v - added[b];
        block[b] = std::max(block[b], value[i]);
    }

    // The first start from..to (absolute frames, wrapped by mask) whose
    // candidate is the highest of them, and that candidate. The starts of a
    // block only partly within are looked at one by one unless its highest
    // could not win.
    std::pair<size_t, int64_t> highest(size_t from, size_t to) const
    {
        const size_t whole = (from + BLOCK - 1) / BLOCK * BLOCK, end = (to + 1) / BLOCK * BLOCK;
        if (whole >= end) return first_highest(from, to + 1);
        size_t at_top = whole;
        int64_t top = std::numeric_limits<int64_t>::min();
        for (size_t t = whole; t < end; t += BLOCK) {
            const size_t b = (t & mask) / BLOCK;
            if (block[b] + added[b] > top) {
                top = block[b] + added[b];
                at_top = t;
            }
        }
        while (at(at_top & mask) != top) at_top++;
        if (end <= to && block_highest(end) > top) {
            const std::pair<size_t, int64_t> last = first_highest(end, to + 1);
            if (last.second > top) std::tie(at_top, top) = last;
        }
        if (from < whole && block_highest(from) >= top) {
            const std::pair<size_t, int64_t> first = first_highest(from, whole);
            if (first.second >= top) std::tie(at_top, top) = first;
        }
        return {at_top, top};
    }

    // The highest candidate of t's block (its starts out of reach too).
    int64_t block_highest(size_t t) const
    {
        const size_t b = (t & mask) / BLOCK;
        return block[b] + added[b];
    }

    // The first start from..to - 1 whose candidate is the highest of them, one by one.
    std::pair<size_t, int64_t> first_highest(size_t from, size_t to) const
    {
        size_t at_top = from;
        int64_t top = std::numeric_limits<int64_t>::min();
        for (size_t t = from; t < to; t++)
            if (at(t & mask) > top) {
                top = at(t & mask);
                at_top = t;
            }
        return {at_top, top};
    }
};

// One voice's part in the table: per row start s within reach, the best
// score of its states over s..e-1 (score), and per frame where its state
// occurred before, all kept at index s & mask (frames as signed numbers, -1
// for none). Per block, a state that scores best in each of its rows (its
// lead), so that they all rise at once when its frame joins.
struct VoiceWindow {
    struct Occurrence {
        int64_t previous;      // where the frame's state occurred before
        int64_t before_block;  // and before the frame's block
        int64_t in_block;      // how often it occurs from the block's first frame to the frame
    };
    struct Block {
        int64_t added = 0;  // what its every score has risen by
        int32_t lead = -1;  // or -1 when unknown
    };
    const VoiceStates *voice;
    int64_t silent_match;
    size_t mask;
    std::vector<int64_t> score;  // less the block's addition
    std::vector<Occurrence> occurrence;
    std::vector<Block> block;
    std::vector<int64_t> last;       // per state: where it last occurred
    std::vector<uint32_t> in_reach;  // per state: its frames within reach

    VoiceWindow(const VoiceStates &s, int64_t silent_match, size_t mask)
        : voice(&s), silent_match(silent_match), mask(mask), score(mask + 1, 0),
          occurrence(mask + 1, Occurrence{-1, -1, 0}), block((mask + 1) / BLOCK), last(s.state.size(), -1),
          in_reach(s.state.size(), 0)
    {
    }

    // The frame joining the rows: its state k, its weight w, the count of k
    // in the longest row (most), the next occurrence of k going back (p),
    // the first row start within reach (lo), and the count of k in the rows
    // starting after p (count).
    struct Walk {
        uint16_t k;
        int64_t w, most, f, lo, p;
        int64_t count = 0;
    };

    // Frame f joins every row s..f with s >= lo: each row's best score
    // becomes at least the count of f's state in it. Adds the growth to
    // candidate.
    void add(size_t f, size_t lo, size_t longest, Candidates &candidate)
    {
        if (f >= longest) in_reach[voice->id[f - longest]]--;
        const uint16_t k = voice->id[f];
        const int64_t w = k == 0 ? silent_match : MATCH_SOUNDING;
        enter(f, k);
        const int64_t at = static_cast<int64_t>(f);
        Walk walk{k, w, w * ++in_reach[k], at, static_cast<int64_t>(lo), at};
        for (int64_t t = at; t >= walk.lo;) {
            const size_t i = static_cast<size_t>(t) & mask, first = i - i % BLOCK;
            Block &b = block[i / BLOCK];
            if (i % BLOCK != BLOCK - 1 && t != at) {  // not the whole block from t back
                if (!rise_in_block(walk, t, candidate)) break;
            } else if (b.lead == k) {
                // Every row rises by w.
                b.added += w;
                candidate.raise_block(i / BLOCK, w);
                pass_block(walk, t);
            } else if (score[i] + b.added >= count_before(walk, t)) {
                // No row rises: none scores less than t's, none counts more
                // frames of k than the block's first.
                if (score[first] + b.added >= walk.most) break;  // nor any before
                pass_block(walk, t);
            } else if (!rise_in_block(walk, t, candidate)) {
                break;
            }
        }
    }

    // The count of k in the row starting at the first of t's block.
    int64_t count_before(const Walk &walk, int64_t t) const
    {
        if (walk.p < block_first(t)) return walk.count;
        return walk.count + walk.w * occurrence[static_cast<size_t>(walk.p) & mask].in_block;
    }

    // The walk goes on before t's block.
    void pass_block(Walk &walk, int64_t &t) const
    {
        t = block_first(t);
        if (walk.p >= t) {
            const Occurrence &o = occurrence[static_cast<size_t>(walk.p) & mask];
            walk.count += walk.w * o.in_block;
            walk.p = o.before_block;
        }
        t--;
    }

    // The rows starting at t and before in t's block rise to walk's count of
    // k where they score less; t goes back past them. Returns false when no
    // row before them can rise. The block's lead becomes k where every row
    // in it rose (k then scores best in each), else unknown where some did.
    bool rise_in_block(Walk &walk, int64_t &t, Candidates &candidate)
    {
        Block &b = block[(static_cast<size_t>(t) & mask) / BLOCK];
        const int64_t first = block_first(t);
        const int64_t bottom = std::max(first, walk.lo);
        const int64_t rows = std::min(first + static_cast<int64_t>(BLOCK) - 1, walk.f) + 1 - bottom;
        int64_t rose = 0;
        bool more = true;
        while (t >= bottom) {
            const size_t i = static_cast<size_t>(t) & mask;
            const bool occurs = t == walk.p;
            if (occurs) {
                walk.count += walk.w;
                walk.p = occurrence[i].previous;
            }
            const int64_t now = score[i] + b.added;
            if (now < walk.count) {
                candidate.raise(i, walk.count - now);
                score[i] = walk.count - b.added;
                rose++;
                t--;
            } else if (!occurs) {
                t = walk.p;  // and so do all rows from p + 1 on: they score no less
            } else if (now >= walk.most) {
                more = false;  // no row before scores less than k could add
                break;
            } else {
                t--;
            }
        }
        if (rose > 0) b.lead = rose == rows ? walk.k : -1;
        return more;
    }

    // Frame f, of state k, enters: its row start scores 0.
    void enter(size_t f, uint16_t k)
    {
        const size_t i = f & mask;
        const int64_t first = static_cast<int64_t>(f - f % BLOCK), q = last[k];
        Occurrence &o = occurrence[i];
        o.previous = q;
        const bool in_block = q >= first;
        o.before_block = in_block ? occurrence[static_cast<size_t>(q) & mask].before_block : q;
        o.in_block = in_block ? occurrence[static_cast<size_t>(q) & mask].in_block + 1 : 1;
        last[k] = static_cast<int64_t>(f);
        Block &b = block[i / BLOCK];
        if (i % BLOCK == 0) b = Block();
        score[i] = -b.added;
    }
};

// The changes of the tone voices (which the converter always plays) that
// the rows ending at each frame make when played as play_rows plays them:
// per row end e, the state each tone voice holds in the row ending there,
// and the changes of the rows up to e. Every choice of rows that ends a row
// at e begins with these rows, so it makes at least these changes.
struct ToneChanges {
    std::vector<const VoiceStates *> tones;
    std::vector<uint16_t> state;     // per row end, per tone voice
    std::vector<uint32_t> changes;   // per row end
    std::vector<std::vector<int64_t>> score;
    int64_t silent_match;

    // Counts nothing unless on.
    ToneChanges(const std::vector<VoiceStates> &voices, size_t upto, int64_t silent, bool on)
        : changes(on ? upto : 0, 0), silent_match(silent)
    {
        if (!on) return;
        for (const VoiceStates &v : voices)
            if (v.voice < 3) {
                tones.push_back(&v);
                score.emplace_back(v.state.size(), 0);
            }
        state.assign(upto * tones.size(), 0);
    }

    // The row s..e-1, which follows the rows ending at s.
    void row(size_t s, size_t e)
    {
        bool changed = false;
        for (size_t t = 0; t < tones.size(); t++) {
            const std::vector<uint16_t> &id = tones[t]->id;
            std::vector<int64_t> &sc = score[t];
            // The state scoring most, among equals the first to occur:
            // going back, the last to reach the highest score.
            int64_t most = 0;
            uint16_t best = id[s];
            for (size_t f = e; f-- > s;) {
                const int64_t c = sc[id[f]] += id[f] == 0 ? silent_match : MATCH_SOUNDING;
                if (c > 0 && c >= most) {
                    most = c;
                    best = id[f];
                }
            }
            const uint16_t previous = s == 0 ? id[0] : state[s * tones.size() + t];
            if (most > 0 && sc[previous] == most) best = previous;
            for (size_t f = s; f < e; f++) sc[id[f]] = 0;
            state[e * tones.size() + t] = best;
            changed = changed || (s > 0 && best != previous);
        }
        changes[e] = (s > 0 ? changes[s] : 0) + (changed ? 1 : 0);
    }
};

// best[e] and start[e] for e from 1 to upto - 1, every row n frames or
// more: best[e] is the highest score of rows covering frames 0..e-1, start[e]
// where the last of them begins (among equals the longest). Stops, and
// returns false, once the rows certainly change the tone voices more than
// limit times: when every row end within reach of a frame has more changes
// before it. It stops only in the first half of the song, where stopping
// spares more than the other choices it leads to cost (choose_rows).
bool fill_table(const std::vector<VoiceStates> &voices, const RowChoiceOptions &options, size_t upto,
                std::vector<int64_t> &best, std::vector<uint32_t> &start, uint64_t limit = UINT64_MAX)
{
    const size_t n = std::max<size_t>(options.min_frames, 1);
    const size_t longest = std::max<size_t>(n, LONGEST_ROW_FRAMES);
    const size_t longest_first = std::max<size_t>(n, LONGEST_ROW_FRAMES - 1);
    best.assign(upto, UNREACHED);
    start.assign(upto, 0);
    if (upto == 0) return true;
    best[0] = 0;
    const bool counting = limit != UINT64_MAX;
    ToneChanges tone(voices, upto, options.silent_match, counting);
    constexpr size_t CHECK_EVERY = 64;
    size_t mask = 255;
    while (mask + 1 < longest + BLOCK) mask = mask * 2 + 1;
    std::vector<VoiceWindow> windows;
    for (const VoiceStates &s : voices) windows.emplace_back(s, options.silent_match, mask);
    // A row from an unreached start stays far below any reached one.
    constexpr int64_t FAR_BELOW = std::numeric_limits<int64_t>::min() / 4;
    Candidates candidate(mask);
    for (size_t e = 1; e < upto; e++) {
        const size_t f = e - 1;  // the frame that joins the rows
        candidate.set(f & mask, best[f] == UNREACHED ? FAR_BELOW : best[f]);
        const size_t lo = e > longest ? e - longest : 0;
        for (VoiceWindow &w : windows) w.add(f, lo, longest, candidate);
        if (e < n) continue;
        const size_t first = lo == 0 && e > longest_first ? 1 : lo;
        if (first + n > e) continue;
        // The first of the highest candidates: the longest row among equals.
        const std::pair<size_t, int64_t> top = candidate.highest(first, e - n);
        if (top.second < FAR_BELOW / 2) continue;
        best[e] = top.second - options.row_cost;
        start[e] = static_cast<uint32_t>(top.first);
        // Only the first half is checked (the rows of its ends are counted).
        if (!counting || e > upto / 2) continue;
        tone.row(top.first, e);
        if (e % CHECK_EVERY != 0 || e < longest) continue;
        uint64_t fewest = UINT64_MAX;
        for (size_t r = e + 1 - longest; r <= e; r++)
            if (best[r] != UNREACHED) fewest = std::min<uint64_t>(fewest, tone.changes[r]);
        if (fewest > limit) return false;
    }
    return true;
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
    int64_t top = UNREACHED, score = 0;
    size_t at = 0;
    for (size_t len = 1; len <= std::min(total, longest); len++) {
        const size_t s = total - len;
        for (Tally &t : tallies) score += t.add(s);
        if (best[s] == UNREACHED || (s == 0 && len > longest_first)) continue;
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
    fill_table(voices, options, sounding_length(frames, counted_voices(options)), table.best, table.start);
    return table;
}

namespace {

// choose_row_starts, which stops and returns false once the rows certainly
// change the tone voices more than limit times (fill_table).
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
    if (!fill_table(*voices, options, total, best, start, limit)) return false;
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
    uint64_t budget;
    {
        std::vector<Frame> h = held();
        // Holding, which the choice may fall back to, within the limit: the
        // rows are needed whole.
        if (row_limit != UINT64_MAX && changes_written(h, false) <= row_limit) row_limit = UINT64_MAX;
        budget = rows_written(std::move(h), options.min_frames, options.count_noise);
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
