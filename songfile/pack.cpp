// pack.h uses size_t without including <cstddef>.
#include <cstddef>

#include "songfile/pack.h"

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
// first time leaves only short pieces to copy. Bytes of the file below the
// caller's lowest offset are never copied: they may still change (the song
// record is written after the streams).
//
// The parse: a shortest path over the stream, node i meaning "the first i
// bytes are packed", one edge per command. The size of a path is the number of
// bytes it stores, so the path to node i also tells where every byte before i
// is stored: the command at node a starts at stream start + size[a]. Nodes are
// settled in order, each taking its cheapest incoming edge: the best literal
// run is a window minimum over the 63 nodes before, and a repeat run or a
// back-reference costs the same for every length up to the longest found, so
// each is one offer kept in a heap while it reaches (O(log n) per node, not
// one edge per length).
//
// Back-reference sources: the bytes stored before the stream (longest match
// per position found once, shared by every parse), and the stream's own
// stored bytes. For the latter the parse keeps a commit point: the last node
// that the paths to all nodes still open share. The stream's bytes up to it
// are final on every path; they are written out as the point moves and
// indexed, so copies from them need no check. Data past the commit point is
// looked up on the chosen path to i (covering(), through skew-binary jump
// pointers in O(log n)) before a copy from it is offered. Every reference is
// therefore sound, whatever the plan below asks for. When paths stay apart
// for long (as in periodic data, one per phase), the commit point is moved on
// by keeping one path and dropping the nodes off it, so the part looked up on
// the path stays short.
//
// The plan steers that parse towards good dictionaries:
//  - a guide pass (greedy longest matches from any earlier data, as if all
//    output could be copied) marks the passages copied 16 bytes or more at a
//    time; the parse gets a credit for storing them in literal runs;
//  - the literal runs that the result actually copies from are pinned in
//    place and the stream is parsed again with short copies allowed (this
//    parse nearly always stores the fewest bytes); where every copy from
//    them runs to a run's end (periodic data), also with the runs made as
//    long as a run goes;
//  - short streams (up to 3 KiB) try more plans, each with its pins: other
//    credits, a shorter guide length, and a shortest own-reference length
//    instead of credits.
// Each stream keeps the parse that stores the fewest bytes. The work is
// bounded: each parse is O(n log n) with bounded search depths, and a stream
// gets at most max(12 KiB, 2n) bytes parsed.
//
// The decoder reads a back-reference byte by byte with a 16-bit offset and
// takes a next-read offset of exactly 0xFFFF for a repeat run. Sources are
// therefore kept below 0xFFFF, byte for byte: a copy never reads 0xFFFF nor
// anything past it, even when the file grows beyond 64 KiB.

namespace {

constexpr uint32_t INF = 0xFFFFFFFFu;
constexpr uint32_t SOURCE_LIMIT = 0xFFFF;  // every copied byte lies below this
constexpr size_t MAX_RUN = 63;             // longest run apart from 256
constexpr size_t FULL_RUN = 256;           // the run counter's 0
constexpr size_t SHORT_REACH = 256;

constexpr int PRIOR_DEPTH = 32;   // candidates tried in the bytes stored before the stream
constexpr int STORED_DEPTH = 24;  // candidates tried in the stream's committed bytes
constexpr int SHORT_DEPTH = 8;    // candidates tried for short references
constexpr int NEAR_DEPTH = 32;    // candidates tried in the data past the commit point
constexpr int NEAR_CHECKS = 16;   // of those, looked up on the path
constexpr int GUIDE_DEPTH = 16;   // candidates tried by the guide pass
constexpr size_t CARRY_LEN = 16;  // copies longer than this are followed to their end without search
constexpr size_t LAG_MAX = 128;   // the commit point is moved on when it lags this far behind
constexpr size_t LAG_KEEP = 64;   // ... to about this far behind
constexpr size_t LAG_RETRY = 32;  // nodes between two such moves

// Parse weights are in sixteenths of a byte, so that credits can be fine.
constexpr uint32_t UNIT = 16;

constexpr size_t PLAN_BUDGET = 12288;  // bytes parsed per stream (at least 2n)

enum Kind : uint8_t { LITERAL, REPEAT, SHORT_REF, LONG_REF };

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

// The length one command can copy from b to make a, at most limit bytes:
// 1-63, or 256 when that many are equal.
inline size_t copy_length(const uint8_t *a, const uint8_t *b, size_t limit)
{
    const size_t len = common_length(a, b, std::min(limit, MAX_RUN));
    if (len == MAX_RUN && limit >= FULL_RUN &&
        common_length(a + MAX_RUN, b + MAX_RUN, FULL_RUN - MAX_RUN) == FULL_RUN - MAX_RUN)
        return FULL_RUN;
    return len;
}

// Hash chains over the prefixes of width bytes (3 or 4), positions added in
// order from 0: head[h] is the last position added + 1, prev[p] the position
// added before p with the same hash + 1 (0 ends). The table is sized to the
// positions expected. Long back-references use 4-byte prefixes (a 3-byte
// copy costs as much as its bytes), short ones 3-byte prefixes.
struct Chains {
    size_t width;
    int shift;
    std::vector<uint32_t> head, prev;
    Chains(size_t expected, size_t w) { reset(expected, w); }
    // Empties the chains for a new run, keeping their memory.
    void reset(size_t expected, size_t w)
    {
        width = w;
        int bits = 10;
        while (bits < 16 && (size_t(1) << bits) < expected) bits++;
        shift = 32 - bits;
        head.assign(size_t(1) << bits, 0);
        prev.clear();
        prev.reserve(expected);
    }
    uint32_t hash(const uint8_t *p) const
    {
        uint32_t v = static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
        if (width == 4) v = v * 251 + p[3];
        return (v * 2654435761u) >> shift;
    }
    // Adds position prev.size() of base.
    void add(const uint8_t *base)
    {
        const size_t p = prev.size();
        const uint32_t h = hash(base + p);
        prev.push_back(head[h]);
        head[h] = static_cast<uint32_t>(p + 1);
    }
    uint32_t first(const uint8_t *p) const { return head[hash(p)]; }
};

constexpr size_t LONG_PREFIX = 4, SHORT_PREFIX = 3;

// A back-reference candidate: the longest copy found and where it is stored.
struct Match {
    size_t len = 0;
    uint32_t src = 0;
    bool fixed = false;  // the source bytes are final on every path
    void keep_longer(size_t l, uint32_t s, bool f)
    {
        if (l > len) {
            len = l;
            src = s;
            fixed = f;
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

    explicit Parse(size_t n) { reset(n); }
    // Node records for a new parse of n bytes, keeping the memory.
    void reset(size_t n)
    {
        cost.assign(n + 1, INF);
        size.assign(n + 1, 0);
        src.assign(n + 1, 0);
        depth.assign(n + 1, 0);
        link.assign(n + 1, Link());
        kind.assign(n + 1, LITERAL);
        cost[0] = 0;
    }
    uint32_t from(size_t i) const { return link[i].from; }
    size_t packed_size() const { return size.back(); }

    // An edge into node to. The cheaper edge wins; of equal ones a literal
    // run (its bytes can be copied later), else the earlier start.
    void relax(size_t to, uint32_t c, uint32_t bytes, Kind k, size_t at, uint32_t source)
    {
        if (c < cost[to] || (c == cost[to] && kind[to] != LITERAL && (k == LITERAL || at < link[to].from))) {
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
        const uint32_t p = link[i].from;
        depth[i] = depth[p] + 1;
        const uint32_t jp = link[p].jump;
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

    // The ancestor of settled node x at depth dep (at most x's own).
    size_t ancestor(size_t x, uint32_t dep) const
    {
        while (depth[x] > dep) {
            const Link l = link[x];
            x = depth[l.jump] >= dep ? l.jump : l.from;
        }
        return x;
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
    const size_t b = parse.covering(i, j);
    const size_t a = parse.from(b);
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

// Writes the command of the edge a -> b of parse.
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

// What steers a parse (see the top of this file).
struct Plan {
    size_t min_self = 3;          // shortest back-reference into the stream's own bytes
    std::vector<uint32_t> pin;    // pin[a] = b: data a..b-1 is one literal run; else 0
    std::vector<uint8_t> credit;  // per data byte, sixteenths off when stored in a literal run
};

// The stream, the bytes stored before it that it may copy (file[lowest,
// start)), and for each position the longest copy from those (the same for
// every plan, so found once).
struct Stream {
    const std::vector<uint8_t> &file;
    uint32_t lowest;
    uint32_t start;
    const std::vector<uint8_t> &data;
    std::vector<Match> prior;
};

std::vector<Match> prior_matches(const std::vector<uint8_t> &file, uint32_t lowest, uint32_t start,
                                 const std::vector<uint8_t> &data)
{
    const size_t n = data.size();
    const uint8_t *d = data.data();
    const size_t end = std::min<size_t>(start, SOURCE_LIMIT);  // copyable bytes before the stream
    std::vector<Match> found(n);
    if (end < size_t(lowest) + LONG_PREFIX) return found;
    const uint8_t *f = file.data() + lowest;
    const size_t prior = end - lowest;
    Chains chains(prior, LONG_PREFIX);
    while (chains.prev.size() + LONG_PREFIX <= prior) chains.add(f);
    for (size_t i = 0; i + LONG_PREFIX <= n; i++) {
        const size_t want = std::min(n - i, FULL_RUN);
        Match &m = found[i];
        int tries = PRIOR_DEPTH;
        for (uint32_t e = chains.first(d + i); e != 0 && tries-- > 0 && m.len < MAX_RUN; e = chains.prev[e - 1]) {
            const size_t s = e - 1;
            const size_t lim = std::min(prior - s, want);
            if (m.len > 0 && m.len < lim && d[i + m.len] != f[s + m.len]) continue;
            m.keep_longer(copy_length(d + i, f + s, lim), static_cast<uint32_t>(lowest + s), true);
        }
    }
    return found;
}

// The cheapest edges into the next node, pulled rather than pushed: a literal
// run costs 1 + its length, so the best literal predecessor is a window
// minimum over the last 63 nodes (a queue of rising keys); a repeat run or a
// back-reference costs the same for every length up to the longest found, so
// each is one offer that stays open while it reaches (a heap per kind).
struct Offer {
    uint32_t cost, at, end, src;
};

struct OfferOrder {
    bool operator()(const Offer &x, const Offer &y) const { return x.cost != y.cost ? x.cost > y.cost : x.at > y.at; }
};

// The memory that the parses of one stream share: each parse takes it over
// as it is, so large streams do not have the system map and clear new pages
// for every parse.
struct Workspace {
    std::vector<uint32_t> run, next_pin, credit, lit;
    std::vector<Offer> offers[3];
    std::vector<uint32_t> children, child_xor, last, mark;
    std::vector<uint8_t> closed, dropped, out;
    Chains self{0, LONG_PREFIX}, chains{0, LONG_PREFIX}, early{0, SHORT_PREFIX};
    Parse spare{0};  // a parse no longer needed, for its memory
};

struct Edges {
    const std::vector<uint32_t> &credit;    // running sum of the literal credits
    const std::vector<uint32_t> &next_pin;  // first pinned run at or after a node
    const std::vector<uint8_t> &dropped;    // nodes left out of every path (see Commit::force)
    const size_t &point;                    // the commit point: no edge starts before it
    std::vector<uint32_t> &lit;             // literal predecessors, best first from lit_head
    size_t lit_head;
    std::vector<Offer> (&offers)[3];        // heaps: repeat runs, short and long references

    int64_t lit_key(const Parse &parse, size_t a) const
    {
        return int64_t(parse.cost[a]) + credit[a] - int64_t(UNIT) * int64_t(a);
    }

    bool gone(size_t a) const { return a < point || dropped[a]; }

    // Node a may start literal runs (up to 63 bytes, not into a pinned run).
    void open_literal(const Parse &parse, size_t a)
    {
        const int64_t key = lit_key(parse, a);
        while (lit.size() > lit_head && lit_key(parse, lit.back()) > key) lit.pop_back();
        lit.push_back(static_cast<uint32_t>(a));
    }

    void offer(Kind k, const Offer &o)
    {
        std::vector<Offer> &h = offers[k - REPEAT];
        h.push_back(o);
        std::push_heap(h.begin(), h.end(), OfferOrder());
    }

    // Settles the cheapest edge into node i. An edge pushed ahead (a pinned
    // run, a 256-byte command) from a node since dropped no longer counts.
    void pull(Parse &parse, size_t i)
    {
        if (parse.cost[i] != INF && gone(parse.from(i))) parse.cost[i] = INF;
        while (lit_head < lit.size() &&
               (i - lit[lit_head] > MAX_RUN || next_pin[lit[lit_head]] < i || gone(lit[lit_head])))
            lit_head++;
        if (lit_head < lit.size()) {
            const size_t a = lit[lit_head];
            const auto c = static_cast<uint32_t>(lit_key(parse, a) + int64_t(UNIT) * int64_t(1 + i) - credit[i]);
            parse.relax(i, c, parse.size[a] + static_cast<uint32_t>(1 + i - a), LITERAL, a, 0);
        }
        for (int k = 0; k < 3; k++) {
            std::vector<Offer> &h = offers[k];
            while (!h.empty() && (h.front().end < i || gone(h.front().at))) {
                std::pop_heap(h.begin(), h.end(), OfferOrder());
                h.pop_back();
            }
            if (h.empty()) continue;
            const Offer &o = h.front();
            parse.relax(i, o.cost, parse.size[o.at] + (k == 2 ? 3 : 2), static_cast<Kind>(REPEAT + k), o.at, o.src);
        }
    }
};

// The commit point: the last node that the paths to all open nodes share.
// The stream's bytes up to it are the same on every path from here on, so
// they are written out (out) and indexed as the point moves.
//
// A node stays open while an edge from it can still reach an unsettled node
// (63 positions on, 256 for a 256-byte command) or while an open node's path
// runs through it. Each node counts its open children and keeps their
// indices XORed, so the single open child of the commit point is at hand.
struct Commit {
    const std::vector<uint8_t> &data;
    uint32_t start;
    size_t point = 0;
    std::vector<uint32_t> &children, &child_xor;
    std::vector<uint32_t> &last;  // the last node an edge from the node can reach
    std::vector<uint8_t> &closed, &dropped;
    std::vector<uint32_t> &mark;  // force(): nodes on the kept path
    std::vector<uint8_t> &out;    // the stream's bytes up to the commit point
    Chains &chains, &early;       // over out; early: its first 256 bytes (short reach)
    size_t retry = 0;             // force() tries again from this node on
    size_t far_until = 0;         // a 256-byte command may end here
    size_t last_pin = 0;          // the last reached pinned node

    Commit(const std::vector<uint8_t> &d, uint32_t s, size_t n, Workspace &ws)
        : data(d), start(s), children(ws.children), child_xor(ws.child_xor), last(ws.last), closed(ws.closed),
          dropped(ws.dropped), mark(ws.mark), out(ws.out), chains(ws.chains), early(ws.early)
    {
        children.assign(n + 1, 0);
        child_xor.assign(n + 1, 0);
        last.assign(n + 1, 0);
        closed.assign(n + 1, 0);
        dropped.assign(n + 1, 0);
        mark.assign(n + 1, 0);
        out.clear();
        out.reserve(n + n / 8 + 16);
        chains.reset(n, LONG_PREFIX);
        early.reset(SHORT_REACH, SHORT_PREFIX);
    }

    void settled(const Parse &parse, size_t i, bool reached)
    {
        last[i] = static_cast<uint32_t>(i + MAX_RUN);
        if (!reached) {
            closed[i] = 1;
            return;
        }
        if (i == 0) return;
        const uint32_t p = parse.from(i);
        children[p]++;
        child_xor[p] ^= static_cast<uint32_t>(i);
    }

    void close(const Parse &parse, size_t p, size_t i)
    {
        while (!closed[p] && p != point && children[p] == 0 && last[p] <= i) {
            closed[p] = 1;
            const uint32_t q = parse.from(p);
            children[q]--;
            child_xor[q] ^= static_cast<uint32_t>(p);
            p = q;
        }
    }

    // Node i is settled: close the nodes from which no edge reaches past i
    // any more, and move the commit point on.
    void advance(const Parse &parse, size_t i)
    {
        if (i >= MAX_RUN && last[i - MAX_RUN] == i) close(parse, i - MAX_RUN, i);
        if (i >= FULL_RUN && last[i - FULL_RUN] == i) close(parse, i - FULL_RUN, i);
        force(parse, i);
        while (last[point] <= i && children[point] == 1) {
            const size_t next = child_xor[point];
            put_command(out, data, parse, point, next, start);
            point = next;
        }
        while (early.prev.size() < SHORT_REACH && early.prev.size() + SHORT_PREFIX <= out.size()) early.add(out.data());
        while (chains.prev.size() + LONG_PREFIX <= out.size()) chains.add(out.data());
    }

    // Paths that stay apart hold the commit point back. Once it lags more
    // than LAG_MAX behind node i, one path is kept up to about LAG_KEEP before
    // i and every open node off it is dropped: the path to the node of the
    // last 63 that has saved the most against one unit per data byte (the
    // later one of equals). A literal run from that node reaches past i, so
    // the parse goes on. Every path past a reached pinned node runs through
    // it, so the node kept is never before the last one. Not while a
    // 256-byte command is pending: the path it ends may well be the best, and
    // it is not known yet.
    void force(const Parse &parse, size_t i)
    {
        if (i - point <= LAG_MAX || i < retry || i < far_until) return;
        retry = i + LAG_RETRY;
        size_t t = 0;
        int64_t best = 0;
        for (size_t y = std::max(i - (MAX_RUN - 1), last_pin); y <= i; y++) {
            if (parse.cost[y] == INF || closed[y]) continue;
            const int64_t score = int64_t(parse.cost[y]) - int64_t(UNIT) * int64_t(y);
            if (t == 0 || score <= best) {
                best = score;
                t = y;
            }
        }
        size_t f = t;
        while (f > point && f + LAG_KEEP > i) f = parse.from(f);
        if (f <= point) return;
        const auto stamp = static_cast<uint32_t>(i + 1);
        for (size_t x = f; x != point; x = parse.from(x)) mark[x] = stamp;
        const uint32_t dep = parse.depth[f];
        // Children come after their parents: each is dropped first.
        for (size_t x = i; x > point; x--) {
            if (closed[x] || mark[x] == stamp) continue;
            if (x > f && parse.ancestor(x, dep) == f) continue;
            closed[x] = 1;
            dropped[x] = 1;
            const uint32_t q = parse.from(x);
            children[q]--;
            child_xor[q] ^= static_cast<uint32_t>(x);
        }
    }
};

// Back-reference candidates at node i of a parse: the longest copy from the
// bytes stored before the stream, from the stream's committed bytes, and from
// its data past the commit point where the path to i stores it; and the
// longest within short reach.
struct Finder {
    const Stream &st;
    const Plan &plan;
    const Parse &parse;
    const Chains &self;  // over the data
    const Commit &commit;

    // The final bytes at file offset s and how many there are.
    const uint8_t *final_bytes(size_t s, size_t &room) const
    {
        room = 0;
        if (s >= SOURCE_LIMIT || s < st.lowest) return nullptr;
        if (s < st.start) {
            room = std::min<size_t>(st.start, SOURCE_LIMIT) - s;
            return st.file.data() + s;
        }
        const size_t p = s - st.start;
        if (p >= commit.out.size()) return nullptr;
        room = std::min<size_t>(commit.out.size() - p, SOURCE_LIMIT - s);
        return commit.out.data() + p;
    }

    // A copy from the final bytes at s, as long as it goes.
    void try_final(size_t i, size_t want, size_t s, Match &m) const
    {
        size_t room;
        const uint8_t *b = final_bytes(s, room);
        const size_t lim = std::min(want, room);
        if (!b || lim <= m.len) return;
        const uint8_t *a = st.data.data() + i;
        if (m.len > 0 && a[m.len] != b[m.len]) return;
        const size_t len = copy_length(a, b, lim);
        if (len >= plan.min_self) m.keep_longer(len, static_cast<uint32_t>(s), true);
    }

    void find(size_t i, size_t want, Match &shortm, Match &longm) const
    {
        const uint8_t *d = st.data.data();
        const uint8_t *a = d + i;
        const size_t enough = std::min(want, MAX_RUN);
        const uint32_t start = st.start;
        const std::vector<uint8_t> &out = commit.out;

        // The stream's committed bytes, at start + p for p below stored.
        const bool hashed = st.data.size() - i >= LONG_PREFIX;
        const size_t stored = start < SOURCE_LIMIT ? std::min<size_t>(out.size(), SOURCE_LIMIT - start) : 0;
        int tries = STORED_DEPTH;
        for (uint32_t e = hashed ? commit.chains.first(a) : 0; e != 0 && tries-- > 0 && longm.len < enough;
             e = commit.chains.prev[e - 1]) {
            const size_t p = e - 1;
            if (p >= stored) continue;
            const size_t lim = std::min(want, stored - p);
            if (lim <= longm.len) continue;
            const uint8_t *b = out.data() + p;
            if (longm.len > 0 && a[longm.len] != b[longm.len]) continue;
            const size_t len = copy_length(a, b, lim);
            if (len < plan.min_self || len <= longm.len) continue;
            longm.keep_longer(len, static_cast<uint32_t>(start + p), true);
            if (p < SHORT_REACH) shortm.keep_longer(len, longm.src, true);
        }
        tries = SHORT_DEPTH;
        for (uint32_t e = commit.early.first(a); e != 0 && tries-- > 0 && shortm.len < enough;
             e = commit.early.prev[e - 1])
            try_final(i, want, start + e - 1, shortm);

        // The data past the commit point, where the path to i stores it.
        tries = NEAR_DEPTH;
        int checks = NEAR_CHECKS;
        for (uint32_t e = hashed ? self.first(a) : 0; e > commit.point && tries-- > 0 && checks > 0 && longm.len < enough;
             e = self.prev[e - 1]) {
            const size_t j = e - 1;
            if (longm.len > 0 && longm.len < want && a[longm.len] != d[j + longm.len]) continue;
            size_t len = common_length(a, d + j, enough);
            if (len <= longm.len || len < plan.min_self) continue;
            checks--;
            uint32_t s;
            size_t avail;
            if (!stored_at(parse, i, j, start, s, avail)) continue;
            len = std::min(len, avail);
            if (len == MAX_RUN) len = copy_length(a, d + j, std::min(want, avail));
            if (len < plan.min_self) continue;
            const bool fixed = s < start + out.size();
            longm.keep_longer(len, s, fixed);
            if (s >= start && s - start < SHORT_REACH) shortm.keep_longer(len, s, fixed);
        }

        // The bytes stored before this stream.
        const Match &prior = st.prior[i];
        if (prior.len > longm.len) {
            longm = prior;
            if (longm.len > want) longm.len = enough;  // kept out of pinned runs
        }
    }
};

Parse parse_stream(const Stream &st, const Plan &plan, Workspace &ws)
{
    const std::vector<uint8_t> &data = st.data;
    const size_t n = data.size();
    const uint8_t *d = data.data();

    std::vector<uint32_t> &run = ws.run;  // run[i]: bytes equal to data[i] from i on
    run.assign(n + 1, 0);
    for (size_t i = n; i-- > 0;) run[i] = (i + 1 < n && d[i + 1] == d[i]) ? run[i + 1] + 1 : 1;
    std::vector<uint32_t> &next_pin = ws.next_pin;  // first pinned run at or after i
    next_pin.assign(n + 1, static_cast<uint32_t>(n));
    if (!plan.pin.empty())
        for (size_t i = n; i-- > 0;) next_pin[i] = plan.pin[i] ? static_cast<uint32_t>(i) : next_pin[i + 1];
    std::vector<uint32_t> &credit = ws.credit;  // running sum of the credits
    credit.assign(n + 1, 0);
    if (!plan.credit.empty())
        for (size_t i = 0; i < n; i++) credit[i + 1] = credit[i] + plan.credit[i];

    Parse parse = std::move(ws.spare);
    parse.reset(n);
    Commit commit(data, st.start, n, ws);
    ws.lit.clear();
    for (std::vector<Offer> &h : ws.offers) h.clear();
    Edges edges{credit, next_pin, commit.dropped, commit.point, ws.lit, 0, ws.offers};
    Chains &self = ws.self;
    self.reset(n, LONG_PREFIX);
    const Finder finder{st, plan, parse, self, commit};
    Match carry_short, carry_long;  // the copies found at the node before, when final

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

        Match shortm, longm;
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
            if (left >= 3 && run[i] < std::min(left, MAX_RUN)) {
                const size_t want = std::min(left, FULL_RUN);
                // Inside a long copy from final bytes, the rest of it is the
                // copy to take.
                if (carry_long.len > CARRY_LEN) {
                    finder.try_final(i, want, carry_long.src + 1, longm);
                    if (carry_short.len > 0 && carry_short.src + 1 - st.start < SHORT_REACH)
                        finder.try_final(i, want, carry_short.src + 1, shortm);
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
            }
            if (full) {
                commit.last[i] = static_cast<uint32_t>(i + FULL_RUN);
                commit.far_until = i + FULL_RUN;
            }
        }
        if (n - i >= LONG_PREFIX) self.add(d);
        carry_long = longm.fixed ? longm : Match();
        carry_short = shortm.fixed ? shortm : Match();
    }
    return parse;
}

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

// The guide pass: greedy longest copies (lmin bytes or more) from any earlier
// data, as if all output could be copied, where the bytes stored before the
// stream do not serve as well. Marks the passages copied from.
std::vector<uint8_t> copied_passages(const Stream &st, size_t lmin)
{
    const size_t n = st.data.size();
    const uint8_t *d = st.data.data();
    std::vector<uint8_t> copied(n, 0);
    Chains self(n, LONG_PREFIX);
    for (size_t i = 0; i + LONG_PREFIX <= n;) {
        while (self.prev.size() < i) self.add(d);
        size_t best = 0, from = 0;
        const size_t want = std::min(n - i, MAX_RUN);
        int tries = GUIDE_DEPTH;
        for (uint32_t e = self.first(d + i); e != 0 && tries-- > 0 && best < want; e = self.prev[e - 1]) {
            const size_t j = e - 1;
            const size_t lim = std::min(want, i - j);
            if (best > 0 && best < lim && d[i + best] != d[j + best]) continue;
            const size_t len = common_length(d + i, d + j, lim);
            if (len > best) {
                best = len;
                from = j;
            }
        }
        if (best >= lmin && best > st.prior[i].len) {
            std::fill(copied.begin() + static_cast<long>(from), copied.begin() + static_cast<long>(from + best), 1);
            i += best;
        } else {
            i++;
        }
    }
    return copied;
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

Parse choose_parse(const Stream &st)
{
    const size_t n = st.data.size();
    Workspace ws;
    Best best{ws};
    const std::vector<uint8_t> copied = copied_passages(st, 16);
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
        case 3: p = credit_plan(copied_passages(st, 8), 12); break;
        default: p.min_self = 12; break;
        }
        try_with_pins(st, p, best, false);
    }
    return std::move(best.parse);
}

void emit(std::vector<uint8_t> &file, const std::vector<uint8_t> &data, const Parse &parse, uint32_t start)
{
    size_t a = 0;
    for (uint32_t b : parse.path()) {
        put_command(file, data, parse, a, b, start);
        a = b;
    }
}

void put_literals(std::vector<uint8_t> &file, const std::vector<uint8_t> &data)
{
    for (size_t i = 0; i < data.size(); i += MAX_RUN) {
        const size_t n = std::min(MAX_RUN, data.size() - i);
        file.push_back(static_cast<uint8_t>(n));
        file.insert(file.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
    }
}

}  // namespace

uint32_t pack_stream(std::vector<uint8_t> &file, const std::vector<uint8_t> &data, bool end_marker, uint32_t lowest)
{
    const auto start = static_cast<uint32_t>(file.size());
    if (!data.empty()) {
        lowest = std::min(lowest, start);
        const Stream st{file, lowest, start, data, prior_matches(file, lowest, start, data)};
        const Parse parse = choose_parse(st);
        if (parse.cost.back() != INF) emit(file, data, parse, start);
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
