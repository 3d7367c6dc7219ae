// pack.h uses size_t without including <cstddef>.
#include <cstddef>

#include "vgmcomp/pack.h"

#include <algorithm>

#include "player/player.h"

// The packer finds the cheapest sequence of commands by a shortest-path
// parse over the stream: node i is "the first i bytes are packed", an edge is
// one command, its weight the bytes it stores. Since the weight of a path is
// the number of bytes stored, the path to node i also tells where every byte
// before i is stored: the command at node a starts at stream start + cost[a].
//
// Back-references read stored bytes, so besides the bytes already in the file
// the stream may refer to its own earlier stored bytes. Those depend on the
// path taken, so a reference to them is only offered from node i after
// checking, on the cheapest path to i, which command produced the source
// bytes: the data of a literal run is stored as it is, and a back-reference's
// bytes are stored at its own source. That keeps every reference sound while
// the parse stays a single forward pass.
//
// Run lengths: the counter holds 6 bits, 0 meaning 256, so repeat runs and
// back-references have lengths 1 to 63 or exactly 256; literal runs 1 to 63.
//
// The decoder reads a back-reference byte by byte with a 16-bit offset and
// takes a next-read offset of exactly 0xFFFF for a repeat run. Sources are
// therefore kept below 0xFFFF, byte for byte, so a copy never reads 0xFFFF
// nor anything past it.

namespace {

constexpr uint32_t INF = 0xFFFFFFFFu;
constexpr uint32_t SOURCE_LIMIT = 0xFFFF;  // every copied byte lies below this
constexpr size_t MAX_RUN = 63;             // longest run apart from 256
constexpr size_t FULL_RUN = 256;           // the run counter's 0
constexpr int HASH_BITS = 16;
constexpr int SELF_DEPTH = 48;   // candidates tried in this stream's own bytes
constexpr int PRIOR_DEPTH = 48;  // candidates tried in the bytes stored before it
constexpr int SHORT_DEPTH = 16;  // candidates tried for short references

enum Kind : uint8_t { LITERAL, REPEAT, SHORT_REF, LONG_REF };

inline uint32_t hash3(const uint8_t *p)
{
    uint32_t v = static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
    return (v * 2654435761u) >> (32 - HASH_BITS);
}

inline size_t common_length(const uint8_t *a, const uint8_t *b, size_t limit)
{
    size_t k = 0;
    while (k < limit && a[k] == b[k]) k++;
    return k;
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

// A back-reference candidate: the longest match found and where it is stored.
struct Match {
    size_t len = 0;
    uint32_t src = 0;
};

// A node's predecessor on its cheapest path and its jump pointer, kept side
// by side: covering() follows both.
struct Link {
    uint32_t from = 0, jump = 0;
};

// The parse graph's node records; cost[i] == INF: not reached yet.
struct Parse {
    std::vector<uint32_t> cost, src, depth;
    std::vector<Link> link;
    std::vector<uint8_t> kind;
    explicit Parse(size_t n) : cost(n + 1, INF), src(n + 1, 0), depth(n + 1, 0), link(n + 1), kind(n + 1, LITERAL)
    {
        cost[0] = 0;
    }
    uint32_t from(size_t i) const { return link[i].from; }

    // Ties go to literal runs: their bytes can be referred to later.
    void relax(size_t to, uint32_t c, Kind k, size_t at, uint32_t source)
    {
        if (c < cost[to] || (c == cost[to] && k == LITERAL && kind[to] != LITERAL)) {
            cost[to] = c;
            kind[to] = k;
            link[to].from = static_cast<uint32_t>(at);
            src[to] = source;
        }
    }

    // Node i's path is final: set its jump pointer (skew-binary ancestors,
    // so that covering() walks O(log n) nodes).
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
};

// Where data[j..] is stored on the path to node i (j < i) and how many bytes
// from there are equal to data[j..]; false when not stored as such.
bool stored_at(const Parse &parse, size_t i, size_t j, uint32_t start, uint32_t &src, size_t &avail)
{
    size_t b = parse.covering(i, j);
    size_t a = parse.from(b);
    uint64_t s;
    if (parse.kind[b] == LITERAL)
        s = uint64_t(start) + parse.cost[a] + 1 + (j - a);
    else if (parse.kind[b] == SHORT_REF || parse.kind[b] == LONG_REF)
        s = uint64_t(parse.src[b]) + (j - a);
    else
        return false;
    if (s >= SOURCE_LIMIT) return false;
    src = static_cast<uint32_t>(s);
    avail = std::min<size_t>(b - j, SOURCE_LIMIT - src);
    return true;
}

void keep_longer(Match &m, size_t len, uint32_t src)
{
    if (len > m.len) {
        m.len = len;
        m.src = src;
    }
}

// The run lengths a command can hold, up to len.
template <typename F>
void for_each_length(size_t len, F f)
{
    for (size_t l = 1; l <= std::min(len, MAX_RUN); l++) f(l);
    if (len >= FULL_RUN) f(FULL_RUN);
}

void emit(std::vector<uint8_t> &file, const std::vector<uint8_t> &data, const Parse &parse, uint32_t start)
{
    std::vector<uint32_t> nodes;
    for (size_t t = data.size(); t != 0; t = parse.from(t)) nodes.push_back(static_cast<uint32_t>(t));
    std::reverse(nodes.begin(), nodes.end());
    size_t a = 0;
    for (uint32_t b : nodes) {
        size_t len = b - a;
        uint8_t n = static_cast<uint8_t>(len & 0x3F);
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

void pack_commands(std::vector<uint8_t> &file, const std::vector<uint8_t> &data, uint32_t start)
{
    const size_t n = data.size();
    const uint8_t *d = data.data();
    const size_t prior = std::min<size_t>(start, SOURCE_LIMIT);  // referable bytes before the stream
    const uint8_t *f = file.data();

    Chains prior_chains(prior);
    for (size_t p = 0; p + 3 <= prior; p++) prior_chains.add(f, p);
    Chains self(n), early(n);  // early: positions that may lie within short reach

    std::vector<uint32_t> run(n + 1, 0);  // run[i]: bytes equal to data[i] from i on
    for (size_t i = n; i-- > 0;) run[i] = (i + 1 < n && d[i + 1] == d[i]) ? run[i + 1] + 1 : 1;

    Parse parse(n);
    for (size_t i = 0; i < n; i++) {
        parse.settle(i);
        const uint32_t c = parse.cost[i];
        const size_t left = n - i;

        for (size_t l = 1; l <= std::min(left, MAX_RUN); l++)
            parse.relax(i + l, c + 1 + static_cast<uint32_t>(l), LITERAL, i, 0);
        for_each_length(run[i], [&](size_t l) { parse.relax(i + l, c + 2, REPEAT, i, 0); });

        if (left < 3) continue;
        const size_t want = std::min(left, FULL_RUN);
        const size_t enough = std::min(left, MAX_RUN);  // lengths 64-255 are no use
        Match shortm, longm;
        const uint32_t h = hash3(d + i);

        // This stream's earlier bytes, where the path to i stores them.
        int tries = SELF_DEPTH;
        for (uint32_t e = self.head[h]; e != 0 && tries-- > 0 && longm.len < enough; e = self.prev[e - 1]) {
            size_t j = e - 1;
            size_t len = common_length(d + i, d + j, want);  // an upper bound, cheap to find
            uint32_t s;
            size_t avail;
            if (len <= longm.len || !stored_at(parse, i, j, start, s, avail)) continue;
            len = std::min(len, avail);
            keep_longer(longm, len, s);
            if (s >= start && s - start <= 255) keep_longer(shortm, len, s);
        }
        // The bytes stored before this stream.
        tries = PRIOR_DEPTH;
        for (uint32_t e = prior_chains.head[h]; e != 0 && tries-- > 0 && longm.len < enough;
             e = prior_chains.prev[e - 1]) {
            size_t s = e - 1;
            size_t len = common_length(d + i, f + s, std::min(prior - s, want));
            keep_longer(longm, len, static_cast<uint32_t>(s));
        }
        // Short references reach only the first 256 stored bytes of the stream.
        tries = SHORT_DEPTH;
        for (uint32_t e = early.head[h]; e != 0 && tries-- > 0 && shortm.len < enough; e = early.prev[e - 1]) {
            size_t j = e - 1;
            size_t len = common_length(d + i, d + j, want);
            uint32_t s;
            size_t avail;
            if (len <= shortm.len || !stored_at(parse, i, j, start, s, avail) || s < start || s - start > 255)
                continue;
            keep_longer(shortm, std::min(len, avail), s);
        }

        if (shortm.len >= 2)
            for_each_length(shortm.len, [&](size_t l) { parse.relax(i + l, c + 2, SHORT_REF, i, shortm.src); });
        if (longm.len > shortm.len)
            for_each_length(longm.len, [&](size_t l) { parse.relax(i + l, c + 3, LONG_REF, i, longm.src); });

        self.add(d, i);
        if (c < 255) early.add(d, i);
    }
    emit(file, data, parse, start);
}

}  // namespace

uint32_t pack_stream(std::vector<uint8_t> &file, const std::vector<uint8_t> &data, bool end_marker)
{
    const uint32_t start = static_cast<uint32_t>(file.size());
    pack_commands(file, data, start);
    // A parse that does not unpack to the data would be a fault of the packer;
    // the stream then falls back to literal runs rather than lose the song.
    if (unpack_stream(file, start, data.size()) != data) {
        file.resize(start);
        put_literals(file, data);
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
