#include "compressor/rowtable.h"

#include <algorithm>
#include <tuple>

#include "xbsound/timing.h"  // LONGEST_ROW_FRAMES

namespace {

constexpr uint8_t SILENT = 15;

}  // namespace

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

namespace {

// Row starts go in blocks of BLOCK, at the indices s & mask of a ring of
// mask + 1 (a multiple of BLOCK, at least BLOCK more than the longest row):
// a block's indices are begun anew, from its first, only when the starts
// that held them are out of reach, and the frames of the block the longest
// row begins in are still held.
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
// lead), so that they all rise at once when its frame joins: a voice that
// holds a note, or whose rows are ruled by one note of an arpeggio, raises
// most rows by the same weight at each frame.
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

    // The frame joining the rows (f): its state k, its weight w, the count
    // of k in the longest row (most), the first row start within reach
    // (lo); and as the walk goes back, the next occurrence of k (p) and the
    // count of k in the rows starting after p (count).
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
        // Going back from f, block by block where t is the block's last row
        // start within reach (or f), else row by row.
        for (int64_t t = at; t >= walk.lo;) {
            const size_t i = static_cast<size_t>(t) & mask, first = i - i % BLOCK;
            Block &b = block[i / BLOCK];
            if (i % BLOCK != BLOCK - 1 && t != at) {
                if (!rise_in_block(walk, t, candidate)) break;
            } else if (b.lead == k) {
                // Every row scores the count of k, which grows by w.
                b.added += w;
                candidate.raise_block(i / BLOCK, w);
                pass_block(walk, t);
            } else if (score[i] + b.added >= count_before(walk, t)) {
                // No row rises: none scores less than t's (a longer row
                // scores no less), none counts more frames of k than the
                // block's first.
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

    // The walk goes on before t's block, past k's frames in it.
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
    // in it rose (k then scores best in each), else unknown where some did
    // (where none did, the lead still scores best in each).
    bool rise_in_block(Walk &walk, int64_t &t, Candidates &candidate)
    {
        Block &b = block[(static_cast<size_t>(t) & mask) / BLOCK];
        const int64_t first = block_first(t), added = b.added;
        const int64_t bottom = std::max(first, walk.lo);
        const int64_t rows = std::min(first + static_cast<int64_t>(BLOCK) - 1, walk.f) + 1 - bottom;
        int64_t rose = 0, count = walk.count, p = walk.p;  // (kept apart from the scores they write)
        bool more = true;
        while (t >= bottom) {
            const size_t i = static_cast<size_t>(t) & mask;
            const bool occurs = t == p;
            if (occurs) {
                count += walk.w;
                p = occurrence[i].previous;
            }
            const int64_t now = score[i] + added;
            if (now < count) {
                candidate.raise(i, count - now);
                score[i] = count - added;
                rose++;
                t--;
            } else if (!occurs) {
                t = p;  // and so do all rows from p + 1 on: they score no less
            } else if (now >= walk.most) {
                more = false;  // no row before scores less than k could add
                break;
            } else {
                t--;
            }
        }
        walk.count = count;
        walk.p = p;
        if (rose > 0) b.lead = rose == rows ? walk.k : -1;
        return more;
    }

    // Frame f, of state k, enters: its row start scores 0, as every state
    // does in an empty row (so the block's lead holds for it too).
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

}  // namespace

bool fill_row_table(const std::vector<VoiceStates> &voices, const RowChoiceOptions &options, size_t upto,
                    std::vector<int64_t> &best, std::vector<uint32_t> &start, uint64_t limit)
{
    const size_t n = std::max<size_t>(options.min_frames, 1);
    const size_t longest = std::max<size_t>(n, LONGEST_ROW_FRAMES);
    const size_t longest_first = std::max<size_t>(n, LONGEST_ROW_FRAMES - 1);
    best.assign(upto, ROWS_UNREACHED);
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
        candidate.set(f & mask, best[f] == ROWS_UNREACHED ? FAR_BELOW : best[f]);
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
            if (best[r] != ROWS_UNREACHED) fewest = std::min<uint64_t>(fewest, tone.changes[r]);
        if (fewest > limit) return false;
    }
    return true;
}

