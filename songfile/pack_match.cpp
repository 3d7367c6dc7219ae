// Finding copies: the longest copies from the bytes stored before a stream,
// the guide pass's greedy copies, and the candidates at a node of a parse.
#include "songfile/pack_parts.h"

namespace packer {

namespace {

constexpr int PRIOR_DEPTH = 32;   // candidates tried in the bytes stored before the stream
constexpr int STORED_DEPTH = 24;  // candidates tried in the stream's committed bytes
constexpr int SHORT_DEPTH = 8;    // candidates tried for short references
constexpr int NEAR_DEPTH = 32;    // candidates tried in the data past the commit point
constexpr int NEAR_CHECKS = 16;   // of those, looked up on the path
constexpr int GUIDE_DEPTH = 16;   // candidates tried by the guide pass

}  // namespace

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
    Chains chains(prior);
    while (chains.prev.size() + LONG_PREFIX <= prior) chains.add(f);
    const uint32_t *const prev = chains.prev.data();
    for (size_t i = 0; i + LONG_PREFIX <= n; i++) {
        const size_t want = std::min(n - i, FULL_RUN);
        size_t len = 0, from = 0;  // the longest so far, kept in locals
        int tries = PRIOR_DEPTH;
        for (uint32_t e = chains.first(d + i); e != 0 && tries-- > 0 && len < MAX_RUN; e = prev[e - 1]) {
            const size_t s = e - 1;
            const size_t lim = std::min(prior - s, want);
            if (len > 0 && len < lim && d[i + len] != f[s + len]) continue;
            const size_t l = copy_length(d + i, f + s, lim);
            if (l > len) {
                len = l;
                from = s;
            }
        }
        if (len > 0) found[i].keep_longer(len, static_cast<uint32_t>(lowest + from), true);
    }
    return found;
}

std::vector<uint8_t> copied_passages(const Stream &st, size_t lmin, const Chains &self)
{
    const size_t n = st.data.size();
    const uint8_t *d = st.data.data();
    std::vector<uint8_t> copied(n, 0);
    // The chains hold every position: the walk from self.prev[i] sees those
    // before i only (see Workspace).
    for (size_t i = 0; i + LONG_PREFIX <= n;) {
        size_t best = 0, from = 0;
        const size_t want = std::min(n - i, MAX_RUN);
        int tries = GUIDE_DEPTH;
        const uint32_t *const prev = self.prev.data();
        for (uint32_t e = prev[i]; e != 0 && tries-- > 0 && best < want; e = prev[e - 1]) {
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

namespace {

// Where data[j..] is stored on the path to node i (j < i) and how many bytes
// from there equal data[j..]; false when it is not stored as such.
inline bool stored_at(const Parse &parse, size_t i, size_t j, uint32_t start, uint32_t &src, size_t &avail)
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

}  // namespace

void Finder::find(size_t i, size_t want, Match &shortm, Match &longm) const
{
    const uint8_t *d = st.data.data();
    const uint8_t *a = d + i;
    const size_t enough = std::min(want, MAX_RUN);
    const uint32_t start = st.start;
    const uint8_t *const ob = commit.out.data();
    const size_t osz = commit.out.size();
    const size_t min_self = plan.min_self;

    // The stream's committed bytes, at start + p for p below stored.
    const bool hashed = st.data.size() - i >= LONG_PREFIX;
    const size_t stored = start < SOURCE_LIMIT ? std::min<size_t>(osz, SOURCE_LIMIT - start) : 0;
    int tries = STORED_DEPTH;
    const uint32_t *const cprev = commit.chains.prev.data();
    for (uint32_t e = hashed ? commit.chains.first(a) : 0; e != 0 && tries-- > 0 && longm.len < enough;
         e = cprev[e - 1]) {
        const size_t p = e - 1;
        if (p >= stored) continue;
        const size_t lim = std::min(want, stored - p);
        if (lim <= longm.len) continue;
        const uint8_t *b = ob + p;
        if (longm.len > 0 && a[longm.len] != b[longm.len]) continue;
        const size_t len = copy_length(a, b, lim);
        if (len < min_self || len <= longm.len) continue;
        longm.keep_longer(len, static_cast<uint32_t>(start + p), true);
        if (p < SHORT_REACH) shortm.keep_longer(len, longm.src, true);
    }
    // try_final() on the first 256 committed bytes, where final_bytes()
    // always finds them in out (an early position p has p + 3 <= out.size()).
    tries = SHORT_DEPTH;
    const uint32_t *const eprev = commit.early.prev.data();
    for (uint32_t e = commit.early.first(a); e != 0 && tries-- > 0 && shortm.len < enough; e = eprev[e - 1]) {
        const size_t p = e - 1, s = start + p;
        if (s >= SOURCE_LIMIT) continue;
        const size_t lim = std::min(want, std::min(osz - p, SOURCE_LIMIT - s));
        const uint8_t *b = ob + p;
        if (lim <= shortm.len || (shortm.len > 0 && a[shortm.len] != b[shortm.len])) continue;
        const size_t len = copy_length(a, b, lim);
        if (len >= min_self) shortm.keep_longer(len, static_cast<uint32_t>(s), true);
    }

    // The data past the commit point, where the path to i stores it.
    tries = NEAR_DEPTH;
    int checks = NEAR_CHECKS;
    const uint32_t *const sprev = self.prev.data();
    const size_t point = commit.point;
    for (uint32_t e = hashed ? sprev[i] : 0; e > point && tries-- > 0 && checks > 0 && longm.len < enough;
         e = sprev[e - 1]) {
        const size_t j = e - 1;
        // (longm.len < enough <= want here: copies never run past want.)
        if (longm.len > 0 && a[longm.len] != d[j + longm.len]) continue;
        size_t len = common_length(a, d + j, enough);
        if (len <= longm.len || len < min_self) continue;
        checks--;
        uint32_t s;
        size_t avail;
        if (!stored_at(parse, i, j, start, s, avail)) continue;
        len = std::min(len, avail);
        // copy_length(a, d + j, min(want, avail)) with its first 63 bytes
        // known equal.
        if (len == MAX_RUN && std::min(want, avail) >= FULL_RUN &&
            common_length(a + MAX_RUN, d + j + MAX_RUN, FULL_RUN - MAX_RUN) == FULL_RUN - MAX_RUN)
            len = FULL_RUN;
        if (len < min_self) continue;
        const bool fixed = s < start + osz;
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

}  // namespace packer
