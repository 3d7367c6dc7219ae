// The packer's parts, shared by its files and by nothing else (the public
// interface is songfile/pack.h; how a stream is packed: songfile/pack.cpp).
//   pack_match.cpp   finding copies: hash chains, the bytes stored before the
//                    stream, the guide pass, the candidates at a node
//   pack_parse.cpp   the shortest-path parse of one stream, and its commands
//   pack_commit.cpp  the commit point that the parse moves on
//   pack_plan.cpp    the plans tried per stream, and the parse kept
#ifndef VGMCOMP_PACK_PARTS_H
#define VGMCOMP_PACK_PARTS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace packer {

constexpr uint32_t INF = 0xFFFFFFFFu;
constexpr uint32_t SOURCE_LIMIT = 0xFFFF;  // every copied byte lies below this
constexpr size_t MAX_RUN = 63;             // longest run apart from 256
constexpr size_t FULL_RUN = 256;           // the run counter's 0
constexpr size_t SHORT_REACH = 256;

// Parse weights are in sixteenths of a byte, so that credits can be fine.
constexpr uint32_t UNIT = 16;

enum Kind : uint8_t { LITERAL, REPEAT, SHORT_REF, LONG_REF };

#if defined(__SSE2__) && defined(__GNUC__)
// Bit k set where a[k] != b[k], for k < 16.
inline unsigned mismatch16(const uint8_t *a, const uint8_t *b)
{
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) ^ 0xFFFFu;
}
#endif

// The number of equal bytes at a and b, at most limit.
inline size_t common_length(const uint8_t *a, const uint8_t *b, size_t limit)
{
    size_t k = 0;
#if defined(__SSE2__) && defined(__GNUC__)
    // 16 bytes at a time; the last ones as 16 ending at limit (those before
    // k in them are known equal, so their first difference is the first from
    // k on).
    if (limit >= 16) {
        for (; k + 16 <= limit; k += 16) {
            const auto m = mismatch16(a + k, b + k);
            if (m) return k + static_cast<size_t>(__builtin_ctz(m));
        }
        if (k == limit) return k;
        const auto m = mismatch16(a + limit - 16, b + limit - 16);
        return m ? limit - 16 + static_cast<size_t>(__builtin_ctz(m)) : limit;
    }
#endif
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
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // The last bytes as one word ending at limit: those before k in it are
    // known equal, so its first difference is the first from k on.
    if (k < limit && limit >= 8) {
        uint64_t x, y;
        std::memcpy(&x, a + limit - 8, 8);
        std::memcpy(&y, b + limit - 8, 8);
        return x == y ? limit : limit - 8 + static_cast<size_t>(__builtin_ctzll(x ^ y) / 8);
    }
#endif
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

constexpr size_t LONG_PREFIX = 4, SHORT_PREFIX = 3;

// Hash chains over the prefixes of width bytes (3 or 4), positions added in
// order from 0: head[h] is the last position added + 1, prev[p] the position
// added before p with the same hash + 1 (0 ends). The table is sized to the
// positions expected. Long back-references use 4-byte prefixes (a 3-byte
// copy costs as much as its bytes), short ones 3-byte prefixes.
template <size_t W>
struct HashChains {
    static constexpr size_t width = W;
    int shift;
    std::vector<uint32_t> head, prev;
    explicit HashChains(size_t expected) { reset(expected); }
    // Empties the chains for a new run, keeping their memory.
    void reset(size_t expected)
    {
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
        if (W == 4) v = v * 251 + p[3];
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

using Chains = HashChains<LONG_PREFIX>;
using ShortChains = HashChains<SHORT_PREFIX>;


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

// What steers a parse (see songfile/pack.cpp).
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

// The cheapest edges into the next node, pulled rather than pushed: a literal
// run costs 1 + its length, so the best literal predecessor is a window
// minimum over the last 63 nodes (a queue of rising keys); a repeat run or a
// back-reference costs the same for every length up to the longest found, so
// each is one offer that stays open while it reaches (a queue per kind, in
// cost order).
struct Offer {
    uint32_t cost, at, end, src;
};

// The open offers of one kind sorted on one key: cost, then node (a node
// makes one offer of a kind, so keys differ and the first is the cheapest of
// all). New offers mostly cost the most so far and go in at the back. Those
// that no longer count stay until they come first (Edges::pull) or until 128
// are open (Edges::offer): only those of the last 63 nodes can count.
class OfferQueue {
public:
    struct Item {
        uint64_t key;  // cost << 32 | node
        uint32_t end, src;
        uint32_t at() const { return static_cast<uint32_t>(key); }
        uint32_t cost() const { return static_cast<uint32_t>(key >> 32); }
    };
    void clear()
    {
        items_.clear();
        head_ = count_ = 0;
    }
    bool empty() const { return head_ == count_; }
    const Item &first() const { return items_[head_]; }
    // Adds o; when many are open, first drops those for which keep() fails.
    template <class Keep>
    void push(const Offer &o, Keep keep)
    {
        const Item x{uint64_t(o.cost) << 32 | o.at, o.end, o.src};
        if (count_ - head_ >= PURGE_SIZE) {
            keep_if(keep);
        } else if (head_ >= 64 && 2 * head_ >= count_) {
            items_.erase(items_.begin(), items_.begin() + static_cast<long>(head_));
            count_ -= head_;
            head_ = 0;
        }
        size_t k = count_++;
        items_.push_back(x);
        Item *v = items_.data();
        for (; k > head_ && v[k - 1].key > x.key; k--) v[k] = v[k - 1];
        v[k] = x;
    }
    void pop() { head_++; }

private:
    static constexpr size_t PURGE_SIZE = 128;  // open offers (after a purge 63 at most)
    std::vector<Item> items_;
    size_t head_ = 0, count_ = 0;  // the first open offer; items_.size()

    // Keeps only the offers for which keep() holds, in order.
    template <class Keep>
    void keep_if(Keep keep)
    {
        size_t w = 0;
        for (size_t r = head_; r < count_; r++)
            if (keep(items_[r])) items_[w++] = items_[r];
        items_.resize(w);
        head_ = 0;
        count_ = w;
    }
};

// The memory that the parses of one stream share: each parse takes it over
// as it is, so large streams do not have the system map and clear new pages
// for every parse.
//
// run and self depend on the data alone: share_tables() fills them once per
// stream. self holds every position; its link from position i, self.prev[i],
// is the last earlier position with the same hash, so a walk from there sees
// the positions before i just as chains holding only those would.
struct Workspace {
    std::vector<uint32_t> run, next_pin, credit;
    OfferQueue offers[3];
    std::vector<uint32_t> children, child_xor, last, mark;
    std::vector<uint8_t> closed, dropped, out;
    Chains self{0}, chains{0};
    ShortChains early{0};
    Parse spare{0};  // a parse no longer needed, for its memory
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
    static constexpr size_t LAG_MAX = 128;  // see force()
    const std::vector<uint8_t> &data;
    uint32_t start;
    size_t point = 0;
    std::vector<uint32_t> &children, &child_xor;
    std::vector<uint32_t> &last;  // the last node an edge from the node can reach
    std::vector<uint8_t> &closed, &dropped;
    std::vector<uint32_t> &mark;  // force(): nodes on the kept path
    std::vector<uint8_t> &out;    // the stream's bytes up to the commit point
    Chains &chains;               // over out
    ShortChains &early;           // over its first 256 bytes (short reach)
    size_t retry = 0;             // force() tries again from this node on
    size_t far_until = 0;         // a 256-byte command may end here
    size_t last_pin = 0;          // the last reached pinned node

    Commit(const std::vector<uint8_t> &d, uint32_t s, size_t n, Workspace &ws);
    // Node i is settled (reached: a path leads to it).
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
    // Node p can close once node i is settled.
    bool closable(size_t p, size_t i) const
    {
        return !closed[p] && p != point && children[p] == 0 && last[p] <= i;
    }
    // Closes p and its ancestors once no edge from them reaches past i.
    void close(const Parse &parse, size_t p, size_t i)
    {
        while (closable(p, i)) {
            closed[p] = 1;
            const uint32_t q = parse.from(p);
            children[q]--;
            child_xor[q] ^= static_cast<uint32_t>(p);
            p = q;
        }
    }
    // Node i is settled: close the nodes from which no edge reaches past i
    // any more, and move the commit point on. (The tests that most nodes
    // fail are made here, inline.)
    void advance(const Parse &parse, size_t i)
    {
        if (i >= MAX_RUN && last[i - MAX_RUN] == i && closable(i - MAX_RUN, i)) close(parse, i - MAX_RUN, i);
        if (i >= FULL_RUN && last[i - FULL_RUN] == i && closable(i - FULL_RUN, i)) close(parse, i - FULL_RUN, i);
        if (i - point > LAG_MAX && i >= retry && i >= far_until) force(parse, i);
        if (last[point] <= i && children[point] == 1) move_point(parse, i);
    }
    // Moves the commit point on while it has one open child and no edge
    // from it reaches past i; writes out and indexes the bytes passed.
    void move_point(const Parse &parse, size_t i);
    // Paths that stay apart hold the commit point back. Once it lags more
    // than LAG_MAX behind node i, one path is kept up to about LAG_KEEP before
    // i and every open node off it is dropped: the path to the node of the
    // last 63 that has saved the most against one unit per data byte (the
    // later one of equals). A literal run from that node reaches past i, so
    // the parse goes on. Every path past a reached pinned node runs through
    // it, so the node kept is never before the last one. Not while a
    // 256-byte command is pending: the path it ends may well be the best, and
    // it is not known yet. Called by advance() only when the point lags
    // that far and the retry node is reached.
    void force(const Parse &parse, size_t i);
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
    // The longest copies at node i, of at most want bytes.
    void find(size_t i, size_t want, Match &shortm, Match &longm) const;
};

// Matching (pack_match.cpp).

// For each position of data, the longest copy from the bytes stored before
// the stream (file[lowest, start)).
std::vector<Match> prior_matches(const std::vector<uint8_t> &file, uint32_t lowest, uint32_t start,
                                 const std::vector<uint8_t> &data);
// The guide pass: greedy longest copies (lmin bytes or more) from any earlier
// data, as if all output could be copied, where the bytes stored before the
// stream do not serve as well. Marks the passages copied from.
// self: the hash chains over the whole data (Workspace::self).
std::vector<uint8_t> copied_passages(const Stream &st, size_t lmin, const Chains &self);

// Parsing (pack_parse.cpp).

// The tables of the workspace that depend on the stream's data alone: run[i],
// the bytes equal to data[i] from i on, and the hash chains over the data.
void share_tables(const Stream &st, Workspace &ws);
// One parse of the stream as the plan steers it (after share_tables()).
Parse parse_stream(const Stream &st, const Plan &plan, Workspace &ws);
// Writes the command of the edge a -> b of parse.
void put_command(std::vector<uint8_t> &out, const std::vector<uint8_t> &data, const Parse &parse, size_t a,
                 size_t b, uint32_t start);
// Appends the commands of the parse's path to file (the stream starts at start).
void emit(std::vector<uint8_t> &file, const std::vector<uint8_t> &data, const Parse &parse, uint32_t start);

// Planning (pack_plan.cpp).

// The parse that stores the fewest bytes of the plans tried for the stream.
Parse choose_parse(const Stream &st);

}  // namespace packer

#endif
