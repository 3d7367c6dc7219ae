#include "compressor/fit.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>

#include "compressor/rowbound.h"
#include "compressor/rowchoose.h"

#include "compressor/xbtime.h"

namespace {

bool prepare_within(const std::vector<Frame> &base, const Reductions &r, HoldReport *holds, const RowTable *table,
                    uint64_t row_limit, std::vector<Frame> &frames, std::vector<Frame> *plain_frames = nullptr);

constexpr uint64_t FRAMES_PER_TENTH = FRAMES_PER_SECOND / 10;
constexpr uint64_t START_FRAMES = 4096;  // the song's start, tried first (68 s)

// The search's working state: the song, the budget, and the sets tried.
struct Search {
    const std::vector<Frame> &base;
    size_t budget;
    const XbTarget &target;
    uint32_t max_rows;
    const Reductions &user;
    std::vector<Reductions> tried;
    FitChoice choice;
    // Per voice, with and without --flat: at least what it loses in rows
    // few enough to fit (compressor/rowbound.h); -1 until computed.
    int64_t least_loss[2][4] = {{-1, -1, -1, -1}, {-1, -1, -1, -1}};

    // The chooser's table over the user's song, which serves that song
    // (step 1 with a row minimum) and every cut of it (step 6); made when
    // first needed.
    std::unique_ptr<RowTable> cuts;

    // The song the bound reads: r's without its row minimum. (Kept from one
    // step to the next, it saved little and made the heap grow.)
    struct BoundSong {
        std::vector<Frame> frames;
        size_t total = 0;  // frames before the final silence of the voices that count
        VoiceIds voice[4];  // made when first needed

        const VoiceIds &ids(int v)
        {
            if (voice[v].id.empty() && !frames.empty()) voice[v] = voice_ids(frames, v);
            return voice[v];
        }
    };
    // What a voice loses over a grid, by --flat, voice, frames covered and
    // row length: a voice's frames, and so its losses, are the same
    // whichever other voices are dropped or whatever the row minimum. A
    // fixed table, the oldest replaced when full: small blocks that stay
    // allocated through the search would keep the heap from shrinking.
    struct GridLoss {
        bool flat;
        int voice;
        size_t total;
        uint32_t n;
        int64_t loss;
    };
    std::array<GridLoss, 64> grid_losses;
    size_t grid_losses_made = 0;

    BoundSong bound_song(const Reductions &r) const
    {
        BoundSong song;
        Reductions plain = r;
        plain.min_frames = 1;
        plain.min_row_frames = 1;
        song.frames = apply_reductions(base, plain);
        const int voices = r.count_noise ? 4 : 3;
        auto silent = [&](const Frame &f) {
            for (int v = 0; v < voices; v++)
                if ((f.v[v].atten & 0x0F) != 15) return false;
            return true;
        };
        song.total = song.frames.size();
        while (song.total > 0 && silent(song.frames[song.total - 1])) song.total--;
        return song;
    }

    // What r's voices lose over the division starts (the song's total
    // frames), with its row costs.
    int64_t loss_over(BoundSong &s, const Reductions &r, const std::vector<size_t> &starts, int64_t cost)
    {
        int64_t loss = cost * static_cast<int64_t>(starts.size() - 1);
        for (int v = 0; v < (r.count_noise ? 4 : 3); v++)
            if ((r.voices >> v) & 1) loss += division_voice_loss(s.ids(v), MATCH_SILENT, starts, s.total);
        return loss;
    }

    // The same over the grid of rows of n frames (none when there is no
    // such grid), each voice's loss computed once.
    int64_t grid_loss(BoundSong &s, const Reductions &r, uint32_t n, int64_t cost)
    {
        std::vector<size_t> starts;
        int64_t loss = 0;
        for (int v = 0; v < (r.count_noise ? 4 : 3); v++) {
            if (!((r.voices >> v) & 1)) continue;
            const GridLoss *known = nullptr;
            for (size_t k = 0; k < std::min(grid_losses_made, grid_losses.size()); k++) {
                const GridLoss &g = grid_losses[k];
                if (g.flat == r.flat && g.voice == v && g.total == s.total && g.n == n) known = &g;
            }
            if (!known) {
                if (starts.empty()) starts = grid_division(s.total, n);
                if (starts.empty()) return NONE;
                GridLoss &g = grid_losses[grid_losses_made++ % grid_losses.size()];
                g = GridLoss{r.flat, v, s.total, n, division_voice_loss(s.ids(v), MATCH_SILENT, starts, s.total)};
                known = &g;
            }
            loss += known->loss;
        }
        if (starts.empty()) starts = grid_division(s.total, n);
        return starts.empty() ? NONE : loss + cost * static_cast<int64_t>(starts.size() - 1);
    }
    static constexpr int64_t NONE = std::numeric_limits<int64_t>::max();

    // True when the rows chosen for r (a row minimum) certainly outnumber
    // max_rows at either row cost the chooser tries, and so do those of
    // holding, which it falls back to. Otherwise plain_frames may receive
    // r's frames without the row minimum, which choosing the rows needs.
    bool too_many_rows(const Reductions &r, std::vector<Frame> &plain_frames)
    {
        // Only the steps over the user's own length share the tables; the
        // rows counted are those of the voices the converter writes.
        if (row_minimum(r) <= 1 || r.count_noise != target.noise || r.keep_frames != user.keep_frames) return false;
        BoundSong song = bound_song(r);
        if (bound_tells(r, song)) return true;
        plain_frames = std::move(song.frames);
        return false;
    }

    bool bound_tells(const Reductions &r, BoundSong &s);

    // Estimates r (once) and keeps it when it fits.
    bool fits(const Reductions &r)
    {
        if (std::find(tried.begin(), tried.end(), r) != tried.end()) return false;
        tried.push_back(r);
        choice.tried++;
        // Most sets tried have far too many rows, which the song's start
        // already shows. Without a row minimum every reduction makes frame i
        // of the song from its frames 1..i, so the start cut at frame P has
        // the song's changes up to P, and its rows are the song's rows up to
        // P, less the splits of a hold still going on at P, plus one final
        // row at most: more than max_rows + 1 there means more than max_rows
        // in the song. The rows chosen for a row minimum (--min-frames,
        // --interpreted) depend on the frames after them too, so such a song
        // is measured whole.
        const uint64_t length = r.keep_frames != 0 ? std::min<uint64_t>(r.keep_frames, base.size()) : base.size();
        // The splitting of long holds counts the rows as it goes.
        HoldReport holds;
        if (length > START_FRAMES && row_minimum(r) <= 1) {
            Reductions start = r;
            start.keep_frames = START_FRAMES;
            prepare_frames(base, start, &holds);
            if (holds.rows > uint64_t{max_rows} + 1) return false;
        }
        std::vector<Frame> plain_frames;
        if (too_many_rows(r, plain_frames)) return false;
        const RowTable *table = nullptr;
        if (row_minimum(r) > 1 && (r.keep_frames != user.keep_frames || r == user)) {
            if (!cuts) {
                // The user's song without its row minimum: for step 1 the
                // frames the bound made.
                Reductions whole = user;
                whole.min_frames = whole.min_row_frames = 1;
                cuts = std::make_unique<RowTable>(r == user && !plain_frames.empty()
                                                      ? row_table(plain_frames, row_options(user))
                                                      : row_table(apply_reductions(base, whole), row_options(user)));
            }
            table = cuts.get();
        }
        std::vector<Frame> song;
        if (!prepare_within(base, r, &holds, table, max_rows, song, &plain_frames) || holds.rows > max_rows)
            return false;
        const XbEstimate e = estimate_xb(written_frames(song, r, target), max_rows, nullptr, target);
        if (e.over || e.xb_size > budget) return false;
        choice.found = true;
        choice.chosen = r;
        choice.estimate = e;
        return true;
    }
};

bool Search::bound_tells(const Reductions &r, BoundSong &s)
{
    const uint32_t n = row_minimum(r);
    std::vector<Frame> held = s.frames;
    hold_min_frames(held, n, true);
    const std::vector<size_t> changes = change_frames(held, target.noise);
    if (changes.size() <= max_rows) return false;
    // Let go of the held frames before the losses are measured: the heap
    // grows less.
    held.clear();
    held.shrink_to_fit();
    // At either row cost the chooser tries (the dearer one bounds both),
    // its rows lose no more than those of a grid of n frames, or those
    // that holding for n frames writes: most, the less of the two. (Grids
    // and holds of 2n or 4n frames never lost less on the real songs.)
    const int64_t cost = dearest_row_cost(row_options(r));
    const int64_t grid = grid_loss(s, r, n, cost);
    // The parts allowed for the whole length serve every set: more parts
    // lose less. A grid of that many rows (and the final silence) loses at
    // least as much as the fewest: when even that loses no more than the
    // rows above, the bound cannot tell.
    const uint64_t parts = rows_allowed(max_rows, s.frames.size()) + 1;
    const int64_t few = grid_loss(s, r, static_cast<uint32_t>((s.total + parts - 2) / (parts - 1)), 0);
    const int voices = r.count_noise ? 4 : 3;
    int64_t(&least_of)[4] = least_loss[r.flat ? 1 : 0];
    // The bound tells when the few rows lose more than most and the least
    // losses add up to more than most. When every voice's least loss is
    // known and both sums pass the grid's loss, they pass most, which is no
    // more than the grid's: holding's rows need not be measured. (Computed
    // first only when known, as a least loss costs far more than them.)
    int64_t known = 0;
    bool all_known = true;
    for (int v = 0; v < voices; v++)
        if ((r.voices >> v) & 1) {
            all_known = all_known && least_of[v] >= 0;
            known += std::max<int64_t>(least_of[v], 0);
        }
    if (all_known && grid != NONE && few != NONE && few > grid && known > grid) return true;
    int64_t most = grid;
    const std::vector<size_t> starts = held_division(changes, s.total, n);
    if (!starts.empty()) most = std::min(most, loss_over(s, r, starts, cost));
    if (few != NONE && few <= most) return false;
    // The voices' least losses, those known first; the others are computed
    // only while the sum does not yet tell.
    int64_t least = 0;
    for (const bool first : {true, false})
        for (int v = 0; v < voices && least <= most; v++) {
            int64_t &l = least_of[v];
            if (!((r.voices >> v) & 1) || (l >= 0) != first) continue;
            if (l < 0) l = least_voice_loss(s.ids(v), MATCH_SILENT, parts);
            least += l;
        }
    return least > most;
}

// The tone voices of r's song in the order the search drops them: those
// that sound, the one that sounds in the fewest frames first (the higher
// voice first among equals).
std::vector<int> drop_order(const std::vector<Frame> &base, const Reductions &r)
{
    const size_t count = r.keep_frames != 0 ? static_cast<size_t>(std::min<uint64_t>(r.keep_frames, base.size()))
                                            : base.size();
    uint64_t sounding[3] = {0, 0, 0};
    for (size_t i = 0; i < count; i++)
        for (int v = 0; v < 3; v++)
            if ((base[i].v[v].atten & 0x0F) != 15) sounding[v]++;
    std::vector<int> voices;
    for (int v = 0; v < 3; v++)
        if (((r.voices >> v) & 1) && sounding[v] > 0) voices.push_back(v);
    std::stable_sort(voices.begin(), voices.end(), [&](int a, int b) {
        return sounding[a] != sounding[b] ? sounding[a] < sounding[b] : a > b;
    });
    return voices;
}

}  // namespace

RowChoiceOptions row_options(const Reductions &r)
{
    RowChoiceOptions o;
    o.min_frames = row_minimum(r);
    o.count_noise = r.count_noise;
    return o;
}

namespace {

// prepare_frames, which gives up (false) once the chosen rows certainly
// number more than row_limit (choose_rows). plain_frames: r's frames
// without its row minimum, when already made (taken).
bool prepare_within(const std::vector<Frame> &base, const Reductions &r, HoldReport *holds, const RowTable *table,
                    uint64_t row_limit, std::vector<Frame> &frames, std::vector<Frame> *plain_frames)
{
    // apply_reductions, with the chooser's table and limit for the rows.
    if (plain_frames && !plain_frames->empty()) {
        frames = std::move(*plain_frames);
    } else {
        Reductions plain = r;
        plain.min_frames = plain.min_row_frames = 1;
        frames = apply_reductions(base, plain);
    }
    if (!choose_rows(frames, row_options(r), table, row_limit)) return false;
    // A row minimum (--interpreted) keeps the noise voice only when the
    // converter plays it: its changes then end rows too.
    const bool whole_rows = r.min_row_frames > 1;
    const HoldReport report =
        split_long_holds(frames, whole_rows ? row_minimum(r) : 1, whole_rows && ((r.voices >> 3) & 1));
    if (holds) *holds = report;
    return true;
}

}  // namespace

std::vector<Frame> prepare_frames(const std::vector<Frame> &base, const Reductions &r, HoldReport *holds,
                                  const RowTable *table)
{
    std::vector<Frame> frames;
    prepare_within(base, r, holds, table, UINT64_MAX, frames);
    return frames;
}

std::vector<Frame> written_frames(const std::vector<Frame> &frames, const Reductions &r, const XbTarget &target)
{
    return r.min_row_frames > 1 ? time_rows_for_xb(frames, target) : frames;
}

FitChoice fit_search(const std::vector<Frame> &base, const Reductions &user, size_t budget, const XbTarget &target)
{
    Search s{base, budget, target, max_rows_within(budget, target), user, {}, {},
             {{-1, -1, -1, -1}, {-1, -1, -1, -1}}, nullptr, {}, 0};

    // Steps 1 to 5: detail first, then voices.
    struct Detail {
        bool flat;
        uint32_t min_frames;
    };
    std::vector<Detail> details = {{false, 1}, {true, 1}};
    for (uint32_t n = 2; n <= FIT_MAX_MIN_FRAMES; n++) details.push_back({false, n});
    for (uint32_t n = 2; n <= FIT_MAX_MIN_FRAMES; n++) details.push_back({true, n});

    const std::vector<int> order = drop_order(base, user);
    uint8_t dropped = 0;
    for (size_t drops = 0; drops < 3; drops++) {
        if (drops > 0) {
            if (order.size() <= drops) break;  // keep one sounding voice at least
            dropped = static_cast<uint8_t>(dropped | (1u << order[drops - 1]));
        }
        for (const Detail &d : details) {
            Reductions r = user;
            r.flat = user.flat || d.flat;
            r.min_frames = std::max(user.min_frames, d.min_frames);
            if (d.min_frames > 1 && row_minimum(r) == row_minimum(user)) continue;  // the same rows
            r.voices = static_cast<uint8_t>(user.voices & ~dropped);
            if (s.fits(r)) return s.choice;
        }
    }

    // Step 6: the user's reductions on the song's first tenths of a second,
    // as many as fit; failing that, its first frames.
    const uint64_t length =
        user.keep_frames != 0 ? std::min<uint64_t>(user.keep_frames, base.size()) : base.size();
    auto cut = [&](uint64_t frames) {
        Reductions r = user;
        r.keep_frames = frames;
        return s.fits(r);
    };
    // The most units of unit frames, below the whole length, that fit.
    auto search = [&](uint64_t unit) {
        uint64_t lo = 0, hi = (length + unit - 1) / unit;  // lo fits (or is none), hi does not
        while (hi - lo > 1) {
            const uint64_t mid = lo + (hi - lo) / 2;
            if (cut(mid * unit)) lo = mid;
            else hi = mid;
        }
        return lo;
    };
    uint64_t keep = search(FRAMES_PER_TENTH) * FRAMES_PER_TENTH;
    if (keep == 0) keep = search(1);
    if (keep == 0) return FitChoice{false, user, {}, s.choice.tried};
    // The last set that fitted is the longest cut: the choice holds it.
    return s.choice;
}
