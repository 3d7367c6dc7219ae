// The commit point of a parse: the stream's bytes up to it are final, written
// out and indexed for copies as it moves on.
#include "songfile/pack_parts.h"

namespace packer {

namespace {

constexpr size_t LAG_KEEP = 64;   // the commit point is moved on to about this far behind
constexpr size_t LAG_RETRY = 32;  // nodes between two such moves

}  // namespace

Commit::Commit(const std::vector<uint8_t> &d, uint32_t s, size_t n, Workspace &ws)
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
    chains.reset(n);
    early.reset(SHORT_REACH);
}

void Commit::move_point(const Parse &parse, size_t i)
{
    do {
        const size_t next = child_xor[point];
        put_command(out, data, parse, point, next, start);
        point = next;
    } while (last[point] <= i && children[point] == 1);
    while (early.prev.size() < SHORT_REACH && early.prev.size() + SHORT_PREFIX <= out.size()) early.add(out.data());
    while (chains.prev.size() + LONG_PREFIX <= out.size()) chains.add(out.data());
}

void Commit::force(const Parse &parse, size_t i)
{
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

}  // namespace packer
