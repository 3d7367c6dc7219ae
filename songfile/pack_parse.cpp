// The parse of one stream: a shortest path over its nodes (see
// songfile/pack.cpp), the edges pulled into each node, and the commands of
// the path chosen.
#include "songfile/pack_parts.h"

#include <utility>

namespace packer {

namespace {

constexpr size_t CARRY_LEN = 16;  // copies longer than this are followed to their end without search

struct Edges {
    const std::vector<uint32_t> &credit;    // running sum of the literal credits
    const std::vector<uint32_t> &next_pin;  // first pinned run at or after a node
    const std::vector<uint8_t> &dropped;    // nodes left out of every path (see Commit::force)
    const size_t &point;                    // the commit point: no edge starts before it
    OfferQueue (&offers)[3];                 // repeat runs, short and long references
    // Literal predecessors with their keys, best first, lit_head to lit_tail
    // in a ring. A settled node's cost stays, so its key does too. They are
    // in node order and the first is dropped once 63 nodes back, so at most
    // 64 are kept when a node is added.
    struct Lit {
        int64_t key;
        uint32_t at;
    };
    static constexpr size_t LIT_RING = 128;
    Lit lit[LIT_RING];
    size_t lit_head = 0, lit_tail = 0;

    int64_t lit_key(const Parse &parse, size_t a) const
    {
        return int64_t(parse.cost[a]) + credit[a] - int64_t(UNIT) * int64_t(a);
    }

    bool gone(size_t a) const { return a < point || dropped[a]; }

    // Node a may start literal runs (up to 63 bytes, not into a pinned run).
    void open_literal(const Parse &parse, size_t a)
    {
        const int64_t key = lit_key(parse, a);
        while (lit_tail > lit_head && lit[(lit_tail - 1) % LIT_RING].key > key) lit_tail--;
        lit[lit_tail++ % LIT_RING] = {key, static_cast<uint32_t>(a)};
    }

    void offer(Kind k, const Offer &o)
    {
        OfferQueue &h = offers[k - REPEAT];
        // Offers that no longer count never count again (none reaches the
        // next node, or its node is gone): the first that counts is the
        // same without them.
        h.push(o, [&](const OfferQueue::Item &x) { return x.end > o.at && !gone(x.at()); });
    }

    // Settles the cheapest edge into node i. An edge pushed ahead (a pinned
    // run, a 256-byte command) from a node since dropped no longer counts.
    void pull(Parse &parse, size_t i)
    {
        if (parse.cost[i] != INF && gone(parse.from(i))) parse.cost[i] = INF;
        while (lit_head < lit_tail) {
            const size_t a = lit[lit_head % LIT_RING].at;
            if (!(i - a > MAX_RUN || next_pin[a] < i || gone(a))) break;
            lit_head++;
        }
        if (lit_head < lit_tail) {
            const Lit &l = lit[lit_head % LIT_RING];
            const size_t a = l.at;
            const auto c = static_cast<uint32_t>(l.key + int64_t(UNIT) * int64_t(1 + i) - credit[i]);
            parse.relax(i, c, parse.size[a] + static_cast<uint32_t>(1 + i - a), LITERAL, a, 0);
        }
        for (int k = 0; k < 3; k++) {
            OfferQueue &h = offers[k];
            while (!h.empty() && (h.first().end < i || gone(h.first().at()))) h.pop();
            if (h.empty()) continue;
            const OfferQueue::Item &o = h.first();
            parse.relax(i, o.cost(), parse.size[o.at()] + (k == 2 ? 3 : 2), static_cast<Kind>(REPEAT + k), o.at(), o.src);
        }
    }
};

// The per-node tables a parse reads that depend on the plan: next_pin[i],
// the first pinned run at or after i; credit, the running sum of the plan's
// credits.
void fill_tables(const Stream &st, const Plan &plan, Workspace &ws)
{
    const size_t n = st.data.size();
    std::vector<uint32_t> &next_pin = ws.next_pin;
    next_pin.assign(n + 1, static_cast<uint32_t>(n));
    if (!plan.pin.empty())
        for (size_t i = n; i-- > 0;) next_pin[i] = plan.pin[i] ? static_cast<uint32_t>(i) : next_pin[i + 1];
    std::vector<uint32_t> &credit = ws.credit;
    credit.assign(n + 1, 0);
    if (!plan.credit.empty())
        for (size_t i = 0; i < n; i++) credit[i + 1] = credit[i] + plan.credit[i];
}

// The copies found at a node: within short reach, and anywhere.
struct Copies {
    Match shortm, longm;
};

// Offers the back-references from reached node i, of at most want bytes,
// into found; carry: the final copies found at the node before. True when
// one of them is a 256-byte command.
bool offer_copies(const Finder &finder, Edges &edges, Parse &parse, size_t i, size_t want, const Copies &carry,
                  Copies &found)
{
    const uint32_t c = parse.cost[i];
    const uint32_t z = parse.size[i];
    const auto at = static_cast<uint32_t>(i);
    Match &shortm = found.shortm;
    Match &longm = found.longm;
    bool full = false;
    // Inside a long copy from final bytes, the rest of it is the
    // copy to take.
    if (carry.longm.len > CARRY_LEN) {
        finder.try_final(i, want, carry.longm.src + 1, longm);
        if (carry.shortm.len > 0 && carry.shortm.src + 1 - finder.st.start < SHORT_REACH)
            finder.try_final(i, want, carry.shortm.src + 1, shortm);
    }
    if (longm.len <= CARRY_LEN) finder.find(i, want, shortm, longm);
    if (shortm.len >= 2) {
        edges.offer(SHORT_REF, {c + 2 * UNIT, at, static_cast<uint32_t>(i + std::min(shortm.len, MAX_RUN)),
                                shortm.src});
        if (shortm.len >= FULL_RUN) {
            parse.relax(i + FULL_RUN, c + 2 * UNIT, z + 2, SHORT_REF, i, shortm.src);
            full = true;
        }
    }
    if (longm.len > shortm.len) {
        edges.offer(LONG_REF, {c + 3 * UNIT, at, static_cast<uint32_t>(i + std::min(longm.len, MAX_RUN)),
                               longm.src});
        if (longm.len >= FULL_RUN) {
            parse.relax(i + FULL_RUN, c + 3 * UNIT, z + 3, LONG_REF, i, longm.src);
            full = true;
        }
    }
    return full;
}

}  // namespace

void share_tables(const Stream &st, Workspace &ws)
{
    const size_t n = st.data.size();
    const uint8_t *d = st.data.data();
    std::vector<uint32_t> &run = ws.run;
    run.assign(n + 1, 0);
    for (size_t i = n; i-- > 0;) run[i] = (i + 1 < n && d[i + 1] == d[i]) ? run[i + 1] + 1 : 1;
    ws.self.reset(n);
    while (ws.self.prev.size() + LONG_PREFIX <= n) ws.self.add(d);
}

Parse parse_stream(const Stream &st, const Plan &plan, Workspace &ws)
{
    const std::vector<uint8_t> &data = st.data;
    const size_t n = data.size();
    fill_tables(st, plan, ws);
    const std::vector<uint32_t> &run = ws.run;
    const std::vector<uint32_t> &next_pin = ws.next_pin;
    const std::vector<uint32_t> &credit = ws.credit;

    Parse parse = std::move(ws.spare);
    parse.reset(n);
    Commit commit(data, st.start, n, ws);
    for (OfferQueue &h : ws.offers) h.clear();
    Edges edges{credit, next_pin, commit.dropped, commit.point, ws.offers, {}, 0, 0};
    const Chains &self = ws.self;
    const Finder finder{st, plan, parse, self, commit};
    Copies carry;  // the copies found at the node before, when final

    for (size_t i = 0; i <= n; i++) {
        if (i > 0) edges.pull(parse, i);
        const uint32_t c = parse.cost[i];
        const uint32_t z = parse.size[i];
        const bool reached = c != INF;
        if (reached) parse.settle(i);
        commit.settled(parse, i, reached);
        if (i == n) break;
        if (reached && !plan.pin.empty() && plan.pin[i]) commit.last_pin = i;
        commit.advance(parse, i);

        Copies found;
        if (reached && !plan.pin.empty() && plan.pin[i]) {
            const size_t b = plan.pin[i];
            parse.relax(b, c + UNIT * static_cast<uint32_t>(1 + b - i) - (credit[b] - credit[i]),
                        z + static_cast<uint32_t>(1 + b - i), LITERAL, i, 0);
        } else if (reached) {
            // Commands must not reach into a pinned run.
            const size_t left = std::min<size_t>(n, next_pin[i]) - i;
            const auto at = static_cast<uint32_t>(i);
            edges.open_literal(parse, i);
            // A repeat run of 1 never beats a literal byte.
            const size_t rl = std::min<size_t>(run[i], left);
            if (rl >= 2) edges.offer(REPEAT, {c + 2 * UNIT, at, static_cast<uint32_t>(i + std::min(rl, MAX_RUN)), 0});
            bool full = false;  // a 256-byte command from i
            if (rl >= FULL_RUN) {
                parse.relax(i + FULL_RUN, c + 2 * UNIT, z + 2, REPEAT, i, 0);
                full = true;
            }
            // Where a repeat run already gives every useful length, no
            // back-reference can do better.
            if (left >= 3 && run[i] < std::min(left, MAX_RUN))
                full = offer_copies(finder, edges, parse, i, std::min(left, FULL_RUN), carry, found) || full;
            if (full) {
                commit.last[i] = static_cast<uint32_t>(i + FULL_RUN);
                commit.far_until = i + FULL_RUN;
            }
        }
        carry.longm = found.longm.fixed ? found.longm : Match();
        carry.shortm = found.shortm.fixed ? found.shortm : Match();
    }
    return parse;
}

void put_command(std::vector<uint8_t> &out, const std::vector<uint8_t> &data, const Parse &parse, size_t a,
                 size_t b, uint32_t start)
{
    const auto n = static_cast<uint8_t>((b - a) & 0x3F);
    switch (parse.kind[b]) {
    case LITERAL:
        out.push_back(n);
        out.insert(out.end(), data.begin() + static_cast<long>(a), data.begin() + static_cast<long>(b));
        break;
    case REPEAT:
        out.push_back(static_cast<uint8_t>(0x40 | n));
        out.push_back(data[a]);
        break;
    case SHORT_REF:
        out.push_back(static_cast<uint8_t>(0x80 | n));
        out.push_back(static_cast<uint8_t>(parse.src[b] - start));
        break;
    default:
        out.push_back(static_cast<uint8_t>(0xC0 | n));
        out.push_back(static_cast<uint8_t>(parse.src[b] >> 8));
        out.push_back(static_cast<uint8_t>(parse.src[b]));
        break;
    }
}

void emit(std::vector<uint8_t> &file, const std::vector<uint8_t> &data, const Parse &parse, uint32_t start)
{
    size_t a = 0;
    for (uint32_t b : parse.path()) {
        put_command(file, data, parse, a, b, start);
        a = b;
    }
}

}  // namespace packer
