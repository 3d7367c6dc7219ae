// pack.h uses size_t without including <cstddef>.
#include <cstddef>

#include "vgmcomp/pack.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "player/player.h"

// How a stream is packed
//
// Commands: literal run (1-63 bytes, costs 1 + n), repeat run (2 bytes),
// short back-reference (2 bytes, source within the first 256 stored bytes of
// the stream) and long back-reference (3 bytes). The run counter holds 6 bits
// with 0 meaning 256, so repeat runs and back-references have lengths 1-63 or
// exactly 256.
//
// Back-references copy stored bytes, not unpacked output. Stored bytes equal
// to the data are the data of literal runs (in this stream or in earlier
// ones); a stretch the stream packed with a back-reference is stored only at
// that reference's source. So the first time a passage occurs it is worth
// storing as long literal runs when it comes back later: every later copy can
// then take up to 63 bytes in one command, where a passage packed tightly the
// first time leaves only short pieces to copy.
//
// The parse: a shortest path over the stream, node i meaning "the first i
// bytes are packed", one edge per command. The size of a path is the number of
// bytes it stores, so the path to node i also tells where every byte before i
// is stored: the command at node a starts at stream start + size[a]. A
// back-reference into the stream's own bytes is offered from node i only after
// checking, on the chosen path to i, which command produced the source bytes
// (covering(), through skew-binary jump pointers in O(log n)). Every reference
// is therefore sound, whatever the plan below asks for.
//
// The plan steers that parse towards good dictionaries: a shortest
// back-reference length into the stream's own bytes, literal runs pinned in
// place, and a credit for storing chosen bytes in literal runs. Several plans
// are tried, each stream keeps the smallest result:
//  - a minimum own-reference length T (short copies break up literal runs);
//  - the literal runs that the result of such a parse actually copies from,
//    pinned, then parsed again with short copies allowed;
//  - a planning parse that may copy from any earlier output (not possible in
//    the file, only a guide): the passages it copies from get a credit, so
//    the real parse stores them as literal runs unless they pack well;
//  - finally, pinned runs that earn least are dropped one at a time while that
//    makes the stream smaller.
// The work is bounded: each plan is one O(n log n) parse, and a stream gets a
// fixed budget of parsed bytes, so long streams try fewer plans.
//
// The decoder reads a back-reference byte by byte with a 16-bit offset and
// takes a next-read offset of exactly 0xFFFF for a repeat run. Sources are
// therefore kept below 0xFFFF, byte for byte: a copy never reads 0xFFFF nor
// anything past it, even when the file grows beyond 64 KiB.

namespace {

constexpr uint32_t INF = 0xFFFFFFFFu;
constexpr uint32_t SOURCE_LIMIT = 0xFFFF;  // every copied byte lies below this
constexpr uint32_t RELAXED_SOURCE = 0x80000000u;  // planning parse: source is data position
constexpr size_t MAX_RUN = 63;   // longest run apart from 256
constexpr size_t FULL_RUN = 256;  // the run counter's 0
constexpr size_t SHORT_REACH = 256;
constexpr int HASH_BITS = 16;
constexpr int SELF_DEPTH = 48;   // candidates tried in this stream's own bytes
constexpr int PRIOR_DEPTH = 48;  // candidates tried in the bytes stored before it
constexpr int SHORT_DEPTH = 16;  // candidates tried for short references
constexpr int SELF_CHECKS = 16;  // of those in the stream's own bytes, looked up on the path

// Parse weights are in sixteenths of a byte, so that credits can be fine.
constexpr uint32_t UNIT = 16;
constexpr uint8_t CREDIT = 12;  // credit per byte for passages copied later

constexpr size_t PARSE_BUDGET = size_t(54) << 14;  // bytes parsed per stream: all plans up to 16 KiB
constexpr size_t DROP_TRIES = 32;                   // pinned runs tried for dropping

enum Kind : uint8_t { LITERAL, REPEAT, SHORT_REF, LONG_REF };

inline uint32_t hash3(const uint8_t *p)
{
    uint32_t v = static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
    return (v * 2654435761u) >> (32 - HASH_BITS);
}

inline size_t common_length(const uint8_t *a, const uint8_t *b, size_t limit)
{
    size_t k = 0;
    for (; k + 8 <= limit; k += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + k, 8);
        std::memcpy(&y, b + k, 8);
        if (x != y) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            return k + static_cast<size_t>(__builtin_ctzll(x ^ y) / 8);
#else
            while (a[k] == b[k]) k++;
            return k;
#endif
        }
    }
    while (k < limit && a[k] == b[k]) k++;
    return k;
}

// Equal bytes at a and b up to limit, as far as one command can use them,
// 256 aside: lengths 63 and up come out as 63 (see full_length).
inline size_t usable_length(const uint8_t *a, const uint8_t *b, size_t limit)
{
    return common_length(a, b, std::min(limit, MAX_RUN));
}

// A match of 63 bytes that goes on to 256 makes a 256-byte copy. Checked for
// the chosen source only: such matches are rare and the check is long.
inline size_t full_length(size_t len, const uint8_t *a, const uint8_t *b, size_t limit)
{
    if (len == MAX_RUN && limit >= FULL_RUN && common_length(a + len, b + len, FULL_RUN - len) == FULL_RUN - len)
        return FULL_RUN;
    return len;
}

// The run lengths a command can hold, up to len.
template <typename F>
void for_each_length(size_t len, F f)
{
    for (size_t l = 1; l <= std::min(len, MAX_RUN); l++) f(l);
    if (len >= FULL_RUN) f(FULL_RUN);
}

// Hash chains over 3-byte prefixes: head[h] is the last position added + 1,
// prev[p] the position added before p with the same hash + 1 (0 ends).
struct Chains {
    std::vector<uint32_t> head, prev;
    explicit Chains(size_t n) : head(size_t(1) << HASH_BITS, 0), prev(n, 0) {}
    void add(const uint8_t *base, size_t p)
    {
        uint32_t h = hash3(base + p);
        prev[p] = head[h];
        head[h] = static_cast<uint32_t>(p + 1);
    }
};

// A back-reference candidate: the longest match found and where it is
// stored; for a source in the stream itself also the data position it holds
// and how far the stored copy of it reaches.
struct Match {
    size_t len = 0;
    uint32_t src = 0;
    size_t pos = 0, avail = 0;
    void keep_longer(size_t l, uint32_t s, size_t p = 0, size_t a = 0)
    {
        if (l > len) {
            len = l;
            src = s;
            pos = p;
            avail = a;
        }
    }
};

// A node's predecessor on its cheapest path and its jump pointer, kept side
// by side: covering() follows both.
struct Link {
    uint32_t from = 0, jump = 0;
};

// The parse graph's node records. cost: weight of the cheapest path found
// (INF: not reached); size: bytes that path stores.
struct Parse {
    std::vector<uint32_t> cost, size, src, depth;
    std::vector<Link> link;
    std::vector<uint8_t> kind;

    explicit Parse(size_t n)
        : cost(n + 1, INF), size(n + 1, 0), src(n + 1, 0), depth(n + 1, 0), link(n + 1), kind(n + 1, LITERAL)
    {
        cost[0] = 0;
    }
    uint32_t from(size_t i) const { return link[i].from; }
    size_t packed_size() const { return size.back(); }

    // Ties go to literal runs: their bytes can be copied later.
    void relax(size_t to, uint32_t c, uint32_t bytes, Kind k, size_t at, uint32_t source)
    {
        if (c < cost[to] || (c == cost[to] && k == LITERAL && kind[to] != LITERAL)) {
            cost[to] = c;
            size[to] = bytes;
            kind[to] = k;
            link[to].from = static_cast<uint32_t>(at);
            src[to] = source;
        }
    }

    // Node i's path is final: set its jump pointer (skew-binary ancestors).
    void settle(size_t i)
    {
        if (i == 0) return;
        uint32_t p = link[i].from;
        depth[i] = depth[p] + 1;
        uint32_t jp = link[p].jump;
        if (p != 0 && depth[p] - depth[jp] == depth[jp] - depth[link[jp].jump])
            link[i].jump = link[jp].jump;
        else
            link[i].jump = p;
    }

    // The node b on the path to i whose command covers data position j < i,
    // that is from[b] <= j < b.
    size_t covering(size_t i, size_t j) const
    {
        size_t cur = i;
        for (Link l = link[cur]; l.from > j; l = link[cur]) cur = l.jump > j ? l.jump : l.from;
        return cur;
    }

    // The nodes of the path to the end, in order (node 0 left out).
    std::vector<uint32_t> path() const
    {
        std::vector<uint32_t> nodes;
        for (size_t t = cost.size() - 1; t != 0; t = from(t)) nodes.push_back(static_cast<uint32_t>(t));
        std::reverse(nodes.begin(), nodes.end());
        return nodes;
    }
};

// Where data[j..] is stored on the path to node i (j < i) and how many bytes
// from there equal data[j..]; false when it is not stored as such.
bool stored_at(const Parse &parse, size_t i, size_t j, uint32_t start, uint32_t &src, size_t &avail)
{
    size_t b = parse.covering(i, j);
    size_t a = parse.from(b);
    uint64_t s;
    if (parse.kind[b] == LITERAL)
        s = uint64_t(start) + parse.size[a] + 1 + (j - a);
    else if (parse.kind[b] == SHORT_REF || parse.kind[b] == LONG_REF)
        s = uint64_t(parse.src[b]) + (j - a);
    else
        return false;
    if (s >= SOURCE_LIMIT) return false;
    src = static_cast<uint32_t>(s);
    avail = std::min<size_t>(b - j, SOURCE_LIMIT - src);
    return true;
}

// What steers a parse (see the top of this file).
struct Plan {
    size_t min_self = 3;         // shortest back-reference into the stream's own bytes
    bool relaxed = false;        // planning parse: copy from any earlier output
    std::vector<uint32_t> pin;   // pin[a] = b: data a..b-1 is one literal run; else 0
    std::vector<uint8_t> credit;  // per data byte, sixteenths off when stored in a literal run
};

// The stream's bytes in the file being built, and for each position the
// longest match among the bytes stored before the stream (the same for every
// plan, so found once).
struct Stream {
    const std::vector<uint8_t> &file;  // bytes stored before the stream
    uint32_t start;
    const std::vector<uint8_t> &data;
    std::vector<Match> prior;
};

std::vector<Match> prior_matches(const std::vector<uint8_t> &file, uint32_t start, const std::vector<uint8_t> &data)
{
    const size_t n = data.size();
    const uint8_t *d = data.data();
    const uint8_t *f = file.data();
    const size_t prior = std::min<size_t>(start, SOURCE_LIMIT);  // copyable bytes before the stream
    std::vector<Match> found(n);
    if (prior < 3) return found;
    Chains chains(prior);
    for (size_t p = 0; p + 3 <= prior; p++) chains.add(f, p);
    for (size_t i = 0; i + 3 <= n; i++) {
        const size_t want = std::min(n - i, FULL_RUN);
        Match &m = found[i];
        int tries = PRIOR_DEPTH;
        for (uint32_t e = chains.head[hash3(d + i)]; e != 0 && tries-- > 0 && m.len < MAX_RUN; e = chains.prev[e - 1]) {
            size_t s = e - 1;
            m.keep_longer(usable_length(d + i, f + s, std::min(prior - s, want)), static_cast<uint32_t>(s));
        }
        m.len = full_length(m.len, d + i, f + m.src, std::min(prior - m.src, want));
    }
    return found;
}

Parse parse_stream(const Stream &st, const Plan &plan)
{
    const std::vector<uint8_t> &data = st.data;
    const size_t n = data.size();
    const uint8_t *d = data.data();
    const uint32_t start = st.start;

    Chains self(n), early(n);  // early: positions that may lie within short reach

    std::vector<uint32_t> run(n + 1, 0);  // run[i]: bytes equal to data[i] from i on
    for (size_t i = n; i-- > 0;) run[i] = (i + 1 < n && d[i + 1] == d[i]) ? run[i + 1] + 1 : 1;
    std::vector<uint32_t> next_pin(n + 1, static_cast<uint32_t>(n));  // first pinned run at or after i
    if (!plan.pin.empty())
        for (size_t i = n; i-- > 0;) next_pin[i] = plan.pin[i] ? static_cast<uint32_t>(i) : next_pin[i + 1];
    std::vector<uint32_t> credit(n + 1, 0);  // running sum of the credits
    if (!plan.credit.empty())
        for (size_t i = 0; i < n; i++) credit[i + 1] = credit[i] + plan.credit[i];
    auto literal_cost = [&](size_t a, size_t b) {
        return UNIT * static_cast<uint32_t>(1 + b - a) - (credit[b] - credit[a]);
    };

    Parse parse(n);
    for (size_t i = 0; i < n; i++) {
        const uint32_t c = parse.cost[i];
        const uint32_t z = parse.size[i];
        const bool reached = c != INF;
        if (reached) parse.settle(i);

        if (reached && !plan.pin.empty() && plan.pin[i]) {
            size_t b = plan.pin[i];
            parse.relax(b, c + literal_cost(i, b), z + static_cast<uint32_t>(1 + b - i), LITERAL, i, 0);
        } else if (reached) {
            // Commands must not reach into a pinned run.
            const size_t left = std::min<size_t>(n, next_pin[i]) - i;
            for (size_t l = 1; l <= std::min(left, MAX_RUN); l++)
                parse.relax(i + l, c + literal_cost(i, i + l), z + static_cast<uint32_t>(1 + l), LITERAL, i, 0);
            for_each_length(std::min<size_t>(run[i], left),
                            [&](size_t l) { parse.relax(i + l, c + 2 * UNIT, z + 2, REPEAT, i, 0); });

            // Where a repeat run already gives every useful length, no
            // back-reference can do better.
            if (left >= 3 && run[i] < std::min(left, MAX_RUN)) {
                const size_t want = std::min(left, FULL_RUN);
                const size_t enough = std::min(left, MAX_RUN);
                const uint32_t h = hash3(d + i);
                Match shortm, longm;

                // This stream's earlier bytes, where the path to i stores them.
                int tries = SELF_DEPTH, checks = SELF_CHECKS;
                for (uint32_t e = self.head[h]; e != 0 && tries-- > 0 && checks > 0 && longm.len < enough;
                     e = self.prev[e - 1]) {
                    size_t j = e - 1;
                    // Only a longer match can help: its byte past the best so far must agree.
                    if (longm.len > 0 && longm.len < want && d[i + longm.len] != d[j + longm.len]) continue;
                    size_t len = usable_length(d + i, d + j, want);
                    if (plan.relaxed) {
                        longm.keep_longer(std::min(len, i - j), RELAXED_SOURCE | static_cast<uint32_t>(j), j, i - j);
                        continue;
                    }
                    uint32_t s;
                    size_t avail;
                    if (len <= longm.len || len < plan.min_self) continue;
                    checks--;
                    if (!stored_at(parse, i, j, start, s, avail)) continue;
                    len = std::min(len, avail);
                    if (len < plan.min_self) continue;
                    longm.keep_longer(len, s, j, avail);
                    if (s >= start && s - start < SHORT_REACH) shortm.keep_longer(len, s, j, avail);
                }
                if (longm.len > 0) longm.len = full_length(longm.len, d + i, d + longm.pos, std::min(want, longm.avail));
                // The bytes stored before this stream.
                if (st.prior[i].len > longm.len) {
                    longm = st.prior[i];
                    if (longm.len > want) longm.len = std::min(want, MAX_RUN);  // kept out of pinned runs
                }
                // Short references reach only the first 256 stored bytes of the stream.
                tries = plan.relaxed ? 0 : SHORT_DEPTH;
                for (uint32_t e = early.head[h]; e != 0 && tries-- > 0 && shortm.len < enough; e = early.prev[e - 1]) {
                    size_t j = e - 1;
                    if (shortm.len > 0 && shortm.len < want && d[i + shortm.len] != d[j + shortm.len]) continue;
                    size_t len = usable_length(d + i, d + j, want);
                    uint32_t s;
                    size_t avail;
                    if (len <= shortm.len || len < plan.min_self || !stored_at(parse, i, j, start, s, avail) ||
                        s < start || s - start >= SHORT_REACH)
                        continue;
                    len = std::min(len, avail);
                    if (len >= plan.min_self) shortm.keep_longer(len, s, j, avail);
                }
                if (shortm.len > 0) shortm.len = full_length(shortm.len, d + i, d + shortm.pos, std::min(want, shortm.avail));

                if (shortm.len >= 2)
                    for_each_length(shortm.len, [&](size_t l) {
                        parse.relax(i + l, c + 2 * UNIT, z + 2, SHORT_REF, i, shortm.src);
                    });
                if (longm.len > shortm.len)
                    for_each_length(longm.len, [&](size_t l) {
                        parse.relax(i + l, c + 3 * UNIT, z + 3, LONG_REF, i, longm.src);
                    });
            }
        }
        if (n - i >= 3) {
            self.add(d, i);
            if (reached && z < SHORT_REACH) early.add(d, i);
        }
    }
    return parse;
}

// The literal runs of this stream on the parse's path that its
// back-references copy from, as pins; with use, the bytes copied from each.
std::vector<uint32_t> copied_runs(const Parse &parse, uint32_t start, std::vector<std::pair<size_t, size_t>> *use)
{
    const std::vector<uint32_t> nodes = parse.path();
    const size_t n = parse.cost.size() - 1;
    struct Run {
        uint32_t at;  // stored offset of its first data byte
        uint32_t a, b;
        size_t copied;
    };
    std::vector<Run> runs;
    uint32_t a = 0;
    for (uint32_t b : nodes) {
        if (parse.kind[b] == LITERAL) runs.push_back({start + parse.size[a] + 1, a, b, 0});
        a = b;
    }
    std::vector<uint32_t> pin(n + 1, 0);
    a = 0;
    for (uint32_t b : nodes) {
        if ((parse.kind[b] == SHORT_REF || parse.kind[b] == LONG_REF) && parse.src[b] >= start) {
            uint32_t s = parse.src[b], e = s + (b - a);
            auto r = std::upper_bound(runs.begin(), runs.end(), s, [](uint32_t x, const Run &y) { return x < y.at; });
            if (r != runs.begin()) --r;
            for (; r != runs.end() && r->at < e; ++r) {
                const uint32_t lo = std::max(s, r->at), hi = std::min(e, r->at + (r->b - r->a));
                if (hi <= lo) continue;
                pin[r->a] = r->b;
                r->copied += hi - lo;
            }
        }
        a = b;
    }
    if (use) {
        use->clear();
        for (const Run &r : runs)
            if (pin[r.a]) use->push_back({r.copied, r.a});
    }
    return pin;
}

// Credits for the passages that the planning parse copies (lmin bytes or
// more at a time): the real parse then prefers to store them as literal runs.
std::vector<uint8_t> copied_passages(const Parse &relaxed, size_t lmin)
{
    const size_t n = relaxed.cost.size() - 1;
    std::vector<int32_t> diff(n + 1, 0);
    uint32_t a = 0;
    for (uint32_t b : relaxed.path()) {
        if (relaxed.kind[b] == LONG_REF && (relaxed.src[b] & RELAXED_SOURCE) && b - a >= lmin) {
            size_t j = relaxed.src[b] & ~RELAXED_SOURCE;
            diff[j]++;
            diff[j + (b - a)]--;
        }
        a = b;
    }
    std::vector<uint8_t> credit(n, 0);
    int32_t cover = 0;
    for (size_t i = 0; i < n; i++) {
        cover += diff[i];
        if (cover > 0) credit[i] = CREDIT;
    }
    return credit;
}

// Tries plans and keeps the one whose parse stores the fewest bytes.
struct Search {
    const Stream &st;
    size_t budget;
    Plan best;
    size_t best_size = SIZE_MAX;

    bool affordable() const { return budget >= st.data.size(); }

    Parse run(const Plan &plan)
    {
        budget -= std::min(budget, st.data.size());
        Parse p = parse_stream(st, plan);
        if (!plan.relaxed && p.packed_size() < best_size) {
            best_size = p.packed_size();
            best = plan;
        }
        return p;
    }

    // A plan, then its copied literal runs pinned.
    void try_with_pins(const Plan &plan)
    {
        if (!affordable()) return;
        Parse p = run(plan);
        if (!affordable()) return;
        Plan pinned;
        pinned.pin = copied_runs(p, st.start, nullptr);
        run(pinned);
    }

    void drop_pins()
    {
        if (best.pin.empty() || !affordable()) return;
        std::vector<std::pair<size_t, size_t>> use;
        copied_runs(run(best), st.start, &use);
        std::sort(use.begin(), use.end());
        size_t tries = 0;
        for (const auto &u : use) {
            if (tries++ == DROP_TRIES || !affordable()) break;
            Plan p = best;
            p.pin[u.second] = 0;
            run(p);  // kept when smaller
        }
    }
};

Plan choose_plan(const Stream &st)
{
    Search search{st, std::max(PARSE_BUDGET, 2 * st.data.size()), Plan(), SIZE_MAX};
    Parse relaxed(0);
    bool have_relaxed = false;
    auto credit_plan = [&](size_t lmin) {
        if (!have_relaxed) {
            if (!search.affordable()) return;
            Plan r;
            r.relaxed = true;
            relaxed = search.run(r);
            have_relaxed = true;
        }
        Plan p;
        p.credit = copied_passages(relaxed, lmin);
        search.try_with_pins(p);
    };
    auto min_self_plan = [&](size_t t) {
        Plan p;
        p.min_self = t;
        search.try_with_pins(p);
    };
    // Most useful first: long streams run out of budget early.
    min_self_plan(12);
    credit_plan(8);
    min_self_plan(24);
    credit_plan(16);
    min_self_plan(3);
    min_self_plan(8);
    credit_plan(4);
    min_self_plan(16);
    credit_plan(32);
    min_self_plan(32);
    search.drop_pins();
    return search.best;
}

void emit(std::vector<uint8_t> &file, const std::vector<uint8_t> &data, const Parse &parse, uint32_t start)
{
    size_t a = 0;
    for (uint32_t b : parse.path()) {
        uint8_t n = static_cast<uint8_t>((b - a) & 0x3F);
        switch (parse.kind[b]) {
        case LITERAL:
            file.push_back(n);
            file.insert(file.end(), data.begin() + static_cast<long>(a), data.begin() + static_cast<long>(b));
            break;
        case REPEAT:
            file.push_back(static_cast<uint8_t>(0x40 | n));
            file.push_back(data[a]);
            break;
        case SHORT_REF:
            file.push_back(static_cast<uint8_t>(0x80 | n));
            file.push_back(static_cast<uint8_t>(parse.src[b] - start));
            break;
        default:
            file.push_back(static_cast<uint8_t>(0xC0 | n));
            file.push_back(static_cast<uint8_t>(parse.src[b] >> 8));
            file.push_back(static_cast<uint8_t>(parse.src[b]));
            break;
        }
        a = b;
    }
}

void put_literals(std::vector<uint8_t> &file, const std::vector<uint8_t> &data)
{
    for (size_t i = 0; i < data.size(); i += MAX_RUN) {
        size_t n = std::min(MAX_RUN, data.size() - i);
        file.push_back(static_cast<uint8_t>(n));
        file.insert(file.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
    }
}

}  // namespace

uint32_t pack_stream(std::vector<uint8_t> &file, const std::vector<uint8_t> &data, bool end_marker)
{
    const uint32_t start = static_cast<uint32_t>(file.size());
    if (!data.empty()) {
        const Stream st{file, start, data, prior_matches(file, start, data)};
        Parse parse = parse_stream(st, choose_plan(st));
        emit(file, data, parse, start);
        // A parse that does not unpack to the data would be a fault of the
        // packer; the stream then falls back to literal runs rather than lose
        // the song.
        if (unpack_stream(file, start, data.size()) != data) {
            file.resize(start);
            put_literals(file, data);
        }
    }
    if (end_marker) file.push_back(0);
    return start;
}

size_t literal_only_size(const std::vector<uint8_t> &data, bool end_marker)
{
    return data.size() + (data.size() + MAX_RUN - 1) / MAX_RUN + (end_marker ? 1 : 0);
}

std::vector<uint8_t> unpack_stream(const std::vector<uint8_t> &file, uint32_t start, size_t count)
{
    SPF spf{};
    spf.songad = file.data();
    spf.songsize = static_cast<uint32_t>(std::min<size_t>(file.size(), 0xFFFFFFFFu));
    spf.streampos[0] = spf.streambase[0] = start;
    std::vector<uint8_t> out;
    out.reserve(count);
    for (size_t i = 0; i < count; i++) out.push_back(getbyte(&spf, 0));
    return out;
}
