// The plans tried for a stream (see songfile/pack.cpp), and the parse that
// stores the fewest bytes of them.
#include "songfile/pack_parts.h"

#include <utility>

namespace packer {

namespace {

constexpr size_t PLAN_BUDGET = 12288;  // bytes parsed per stream (at least 2n)

// The literal runs of this stream on the parse's path that its
// back-references copy from, as pins. When every such run has a copy that
// ends with it (shorter than 63 bytes), the runs are likely too short to be
// copied whole, as in periodic data: longer then gives them as long as a run
// goes (63 bytes, up to the next pinned run); else it is left empty.
std::vector<uint32_t> copied_runs(const Parse &parse, uint32_t start, std::vector<uint32_t> *longer = nullptr)
{
    const std::vector<uint32_t> nodes = parse.path();
    const size_t n = parse.cost.size() - 1;
    struct Run {
        uint32_t at;  // stored offset of its first data byte
        uint32_t a, b;
        bool cut;     // a copy ends with it
    };
    std::vector<Run> runs;
    uint32_t a = 0;
    for (uint32_t b : nodes) {
        if (parse.kind[b] == LITERAL) runs.push_back({start + parse.size[a] + 1, a, b, false});
        a = b;
    }
    std::vector<uint32_t> pin(n + 1, 0);
    a = 0;
    for (uint32_t b : nodes) {
        if ((parse.kind[b] == SHORT_REF || parse.kind[b] == LONG_REF) && parse.src[b] >= start) {
            const uint32_t s = parse.src[b], e = s + (b - a);
            auto r = std::upper_bound(runs.begin(), runs.end(), s, [](uint32_t x, const Run &y) { return x < y.at; });
            if (r != runs.begin()) --r;
            for (; r != runs.end() && r->at < e; ++r) {
                const uint32_t end = r->at + (r->b - r->a);
                if (std::min(e, end) <= std::max(s, r->at)) continue;
                pin[r->a] = r->b;
                if (e == end && b - a < MAX_RUN) r->cut = true;
            }
        }
        a = b;
    }
    if (longer) {
        longer->clear();
        bool all_cut = true, any = false;
        for (const Run &r : runs)
            if (pin[r.a]) {
                any = true;
                all_cut = all_cut && r.cut;
            }
        if (any && all_cut) {
            *longer = pin;
            size_t next = n;
            for (size_t x = n; x-- > 0;) {
                if (!pin[x]) continue;
                (*longer)[x] = static_cast<uint32_t>(std::min({x + MAX_RUN, next, n}));
                next = x;
            }
        }
    }
    return pin;
}

// The credit plan for the marked passages: credit sixteenths off per byte.
Plan credit_plan(const std::vector<uint8_t> &copied, uint8_t credit)
{
    Plan p;
    p.credit.resize(copied.size());
    for (size_t k = 0; k < copied.size(); k++) p.credit[k] = copied[k] ? credit : 0;
    return p;
}

// The parse that stores the fewest bytes of those tried (one that found no
// path to the end, which a sound parse never does, is not kept).
struct Best {
    Workspace &ws;
    Parse parse{0};
    bool found = false;
    // The parse not kept goes back to the workspace.
    void keep(Parse &&p)
    {
        if (p.cost.back() != INF && (!found || p.packed_size() < parse.packed_size())) {
            std::swap(parse, p);
            found = true;
        }
        ws.spare = std::move(p);
    }
};

// A plan, then the literal runs its result copies from pinned; with longer,
// also those runs made longer where they are all too short.
void try_with_pins(const Stream &st, const Plan &plan, Best &best, bool longer)
{
    Parse p = parse_stream(st, plan, best.ws);
    if (p.cost.back() == INF) {
        best.keep(std::move(p));
        return;
    }
    Plan pinned, extended;
    pinned.pin = copied_runs(p, st.start, longer ? &extended.pin : nullptr);
    best.keep(std::move(p));
    best.keep(parse_stream(st, pinned, best.ws));
    if (!extended.pin.empty()) best.keep(parse_stream(st, extended, best.ws));
}

}  // namespace

Parse choose_parse(const Stream &st)
{
    const size_t n = st.data.size();
    Workspace ws;
    share_tables(st, ws);
    Best best{ws};
    const std::vector<uint8_t> copied = copied_passages(st, 16, ws.self);
    try_with_pins(st, credit_plan(copied, 13), best, true);

    // Short streams try more, most useful first, each with its pins, while
    // the budget lasts.
    size_t budget = std::max(PLAN_BUDGET, 2 * n) - 2 * n;
    for (int k = 0; k < 5 && budget >= 2 * n; k++, budget -= 2 * n) {
        Plan p;
        switch (k) {
        case 0: p = credit_plan(copied, 11); break;
        case 1: p = credit_plan(copied, 14); break;
        case 2: p.min_self = 24; break;
        case 3: p = credit_plan(copied_passages(st, 8, ws.self), 12); break;
        default: p.min_self = 12; break;
        }
        try_with_pins(st, p, best, false);
    }
    return std::move(best.parse);
}

}  // namespace packer
