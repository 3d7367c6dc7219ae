// The stream packer: every packed stream unpacks through the player's own
// decoder to exactly its data, the commands pay where they should, and no
// back-reference trips over the decoder's 16-bit offsets.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "tests/test_support.h"
#include "songfile/pack.h"

namespace {

using Bytes = std::vector<uint8_t>;

enum Kind { LITERAL, REPEAT, SHORT_REF, LONG_REF };

struct Command {
    Kind kind;
    size_t len;
    uint32_t src;  // back-references: file offset of the first copied byte
};

// The commands of the packed stream at start that produce count bytes.
std::vector<Command> commands(const Bytes &file, uint32_t start, size_t count)
{
    std::vector<Command> out;
    size_t at = start, made = 0;
    while (made < count) {
        EXPECT_LT(at, file.size());
        if (at >= file.size()) break;
        uint8_t c = file[at];
        size_t n = c & 0x3F;
        Command cmd{static_cast<Kind>(c >> 6), n, 0};
        if (c == 0) {
            ADD_FAILURE() << "end of stream inside the data at offset " << at;
            break;
        }
        if (cmd.kind != LITERAL && n == 0) cmd.len = 256;
        switch (cmd.kind) {
        case LITERAL: at += 1 + n; break;
        case REPEAT: at += 2; break;
        case SHORT_REF:
            cmd.src = start + file[at + 1];
            at += 2;
            break;
        case LONG_REF:
            cmd.src = static_cast<uint32_t>(file[at + 1] << 8 | file[at + 2]);
            at += 3;
            break;
        }
        made += cmd.len;
        out.push_back(cmd);
    }
    return out;
}

// Packs data after the bytes of file, checks that it unpacks to data
// (followed by the end marker when asked for) and that every
// back-reference copies bytes that were stored before it, all below
// 0xFFFF. Returns the packed size.
size_t pack_and_check(Bytes &file, const Bytes &data, bool end_marker, uint32_t lowest = 0)
{
    const size_t before = file.size();
    const uint32_t start = pack_stream(file, data, end_marker, lowest);
    EXPECT_EQ(start, before);
    Bytes want = data;
    if (end_marker) want.push_back(0);
    EXPECT_EQ(unpack_stream(file, start, want.size()), want);
    size_t at = start;
    for (const Command &c : commands(file, start, data.size())) {
        if (c.kind == SHORT_REF || c.kind == LONG_REF) {
            EXPECT_LE(c.src + c.len, at) << "copy from bytes not stored yet";
            // The decoder takes a next-read offset of 0xFFFF for a repeat run.
            EXPECT_FALSE(c.src < 0xFFFF && c.src + c.len > 0xFFFF) << "copy from " << c.src << " of " << c.len;
            EXPECT_LE(c.src + c.len, 0x10000u);
            EXPECT_GE(c.src, std::min<size_t>(lowest, before)) << "copy from below the lowest offset allowed";
        }
        at += c.kind == LITERAL ? 1 + c.len : c.kind == LONG_REF ? 3 : 2;
    }
    const size_t packed = file.size() - before;
    EXPECT_LE(packed, literal_only_size(data, end_marker));
    return packed;
}

// Appends from[a, b) to to.
void append(Bytes &to, const Bytes &from, size_t a, size_t b)
{
    for (size_t k = a; k < b; k++) to.push_back(from[k]);
}

Bytes random_bytes(std::mt19937 &rng, size_t n, unsigned alphabet = 256)
{
    Bytes b(n);
    for (uint8_t &x : b) x = static_cast<uint8_t>(rng() % alphabet);
    return b;
}

// Song-like data: random stretches, runs of tricky lengths, and passages
// that come back, near or far, from this stream or from others.
Bytes mixed_stream(std::mt19937 &rng, size_t n, const Bytes &others)
{
    static const size_t run_lengths[] = {1, 2, 3, 4, 62, 63, 64, 65, 127, 255, 256, 257, 300, 511, 512, 513, 1000};
    const unsigned alphabet = 2 + rng() % 40;
    Bytes out;
    while (out.size() < n) {
        switch (rng() % 5) {
        case 0: {
            Bytes r = random_bytes(rng, 1 + rng() % 80, rng() % 3 ? alphabet : 256);
            out.insert(out.end(), r.begin(), r.end());
            break;
        }
        case 1:
            out.insert(out.end(), run_lengths[rng() % (sizeof run_lengths / sizeof *run_lengths)],
                       static_cast<uint8_t>(rng()));
            break;
        case 2:
        case 3:
            if (!out.empty()) {
                size_t from = rng() % out.size(), len = 1 + rng() % 300;
                for (size_t k = 0; k < len; k++) out.push_back(out[from + k]);  // may overlap itself
            }
            break;
        default:
            if (!others.empty()) {
                size_t from = rng() % others.size(), len = std::min<size_t>(1 + rng() % 120, others.size() - from);
                out.insert(out.end(), others.begin() + static_cast<long>(from),
                           others.begin() + static_cast<long>(from + len));
            }
            break;
        }
    }
    out.resize(n);
    return out;
}

TEST(Pack, EmptyStreamAndEndMarker)
{
    Bytes file = {1, 2, 3};
    EXPECT_EQ(pack_stream(file, {}, false), 3u);
    EXPECT_EQ(file, Bytes({1, 2, 3}));
    EXPECT_EQ(pack_stream(file, {}, true), 3u);
    EXPECT_EQ(file, Bytes({1, 2, 3, 0}));
    EXPECT_EQ(literal_only_size({}, false), 0u);
    EXPECT_EQ(literal_only_size({}, true), 1u);
    EXPECT_EQ(literal_only_size(Bytes(63), false), 64u);
    EXPECT_EQ(literal_only_size(Bytes(64), true), 67u);
}

TEST(Pack, UnpackUsesThePlayersDecoder)
{
    EXPECT_EQ(unpack_stream(example_song, 0x20, 2), Bytes({0, 1}));
    EXPECT_EQ(unpack_stream(example_song, 0x23, 3), Bytes({0, 0, 15}));
    EXPECT_EQ(unpack_stream(example_song, 0x27, 5), Bytes({0x01, 0xC3, 0xC2, 0x41, 0x00}));
}

TEST(Pack, EachCommandWhereItPays)
{
    std::mt19937 rng(7);
    const Bytes distinct = [] {
        Bytes b;
        for (int i = 0; i < 100; i++) b.push_back(static_cast<uint8_t>(i * 37 + 11));
        return b;
    }();

    {  // Data without repeats: literal runs of at most 63 bytes.
        Bytes file(28, 0xEE);
        const Bytes data(distinct.begin(), distinct.begin() + 70);
        EXPECT_EQ(pack_and_check(file, data, false), 72u);
        auto cmds = commands(file, 28, data.size());
        ASSERT_EQ(cmds.size(), 2u);
        EXPECT_EQ(cmds[0].kind, LITERAL);
        EXPECT_EQ(cmds[1].kind, LITERAL);
    }
    {  // A run of exactly 256 is one repeat run: the counter's 0.
        Bytes file(28, 0xEE);
        EXPECT_EQ(pack_and_check(file, Bytes(256, 7), true), 3u);
        EXPECT_EQ(Bytes(file.begin() + 28, file.end()), Bytes({0x40, 0x07, 0x00}));
    }
    {  // A shorter run inside other data.
        Bytes file(28, 0xEE);
        Bytes data = {distinct[0], distinct[1], distinct[2]};
        data.insert(data.end(), 40, 9);
        data.push_back(distinct[3]);
        EXPECT_EQ(pack_and_check(file, data, false), 4u + 2u + 2u);
        auto cmds = commands(file, 28, data.size());
        ASSERT_EQ(cmds.size(), 3u);
        EXPECT_EQ(cmds[1].kind, REPEAT);
        EXPECT_EQ(cmds[1].len, 40u);
    }
    {  // A passage that comes back early in the stream: short back-reference.
        Bytes file(28, 0xEE);
        Bytes data(distinct.begin(), distinct.begin() + 50);
        append(data, distinct, 0, 20);
        EXPECT_EQ(pack_and_check(file, data, false), 51u + 2u);
        auto cmds = commands(file, 28, data.size());
        ASSERT_EQ(cmds.size(), 2u);
        EXPECT_EQ(cmds[1].kind, SHORT_REF);
        EXPECT_EQ(cmds[1].len, 20u);
        EXPECT_EQ(file[28 + 51 + 1], 1);  // just past the literal run's count byte
    }
    {  // Bytes stored earlier in the file: long back-reference.
        Bytes file = random_bytes(rng, 1000, 256);
        const Bytes data(file.begin() + 300, file.begin() + 340);
        EXPECT_EQ(pack_and_check(file, data, false), 3u);
        EXPECT_EQ(Bytes(file.begin() + 1000, file.end()), Bytes({0xC0 | 40, 0x01, 0x2C}));
    }
    {  // 256 equal stored bytes: a single back-reference of 256.
        Bytes file = random_bytes(rng, 1000, 256);
        const Bytes data(file.begin() + 500, file.begin() + 756);
        EXPECT_EQ(pack_and_check(file, data, false), 3u);
        EXPECT_EQ(Bytes(file.begin() + 1000, file.end()), Bytes({0xC0, 0x01, 0xF4}));
    }
}

TEST(Pack, RoundTripOfRandomStreams)
{
    for (uint32_t seed = 0; seed < 30; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        // Streams follow a prefix of other bytes, or start the file (offset 0).
        Bytes file = random_bytes(rng, seed % 5 == 0 ? 0 : rng() % 2000, 1 + rng() % 256);
        Bytes previous;
        for (int s = 0; s < 3; s++) {
            const size_t n = seed % 4 == 0 ? rng() % 8 : rng() % 2500;
            const Bytes data = mixed_stream(rng, n, previous);
            const size_t packed = pack_and_check(file, data, rng() % 2);
            // Passages come back in every such stream: a packer that had to
            // fall back to literal runs would show here.
            if (n >= 1000) {
                EXPECT_LT(packed, literal_only_size(data, false));
            }
            previous = data;
        }
    }
}

TEST(Pack, RandomStreamsWithoutStructureStayLiteral)
{
    std::mt19937 rng(99);
    for (size_t n : {1u, 62u, 63u, 64u, 126u, 127u, 1000u}) {
        Bytes file(4, 0);
        const Bytes data = random_bytes(rng, n, 256);
        EXPECT_EQ(pack_and_check(file, data, true), literal_only_size(data, true)) << n;
    }
}

TEST(Pack, ReferencesIntoEarlierStreams)
{
    std::mt19937 rng(3);
    Bytes file(28, 0);
    const Bytes a = random_bytes(rng, 600, 256);
    const uint32_t start_a = static_cast<uint32_t>(file.size());
    pack_and_check(file, a, false);
    const uint32_t start_b = static_cast<uint32_t>(file.size());
    Bytes b;
    append(b, a, 100, 160);
    append(b, a, 400, 440);
    append(b, a, 10, 50);
    // Three passages, each at most split in two where A's literal runs meet.
    EXPECT_LE(pack_and_check(file, b, true), 6u * 3 + 1);
    for (const Command &c : commands(file, start_b, b.size())) {
        if (c.kind == LITERAL) {
            EXPECT_LE(c.len, 2u);  // a piece too short to pay for a copy
            continue;
        }
        EXPECT_EQ(c.kind, LONG_REF);
        EXPECT_GE(c.src, start_a);
        EXPECT_LT(c.src, start_b);
    }
}

TEST(Pack, PassagesThatComeBackFarLater)
{
    std::mt19937 rng(11);
    const Bytes theme = random_bytes(rng, 3000, 20);
    Bytes data = theme;
    const Bytes middle = random_bytes(rng, 20000, 256);
    append(data, middle, 0, middle.size());
    append(data, theme, 0, theme.size());
    Bytes file(28, 0);
    const size_t packed = pack_and_check(file, data, true);
    // The theme's return costs a few bytes per 63, not its length again.
    EXPECT_LT(packed, literal_only_size(theme, false) + literal_only_size(middle, false) + 2 * (3000 / 63 + 1) * 3);
}

TEST(Pack, LongStreamsThatPackSmall)
{
    Bytes zeros(70000, 0);
    Bytes file(28, 0);
    EXPECT_LE(pack_and_check(file, zeros, true), 2 * (70000 / 256 + 4) + 1);

    std::mt19937 rng(5);
    const Bytes bar = random_bytes(rng, 200, 16);
    Bytes song;
    while (song.size() < 80000) append(song, bar, 0, bar.size());
    Bytes file2(28, 0);
    EXPECT_LT(pack_and_check(file2, song, true), song.size() / 15);
}

TEST(Pack, NothingCopiedFromBelowTheLowestOffset)
{
    std::mt19937 rng(8);
    const Bytes prefix = random_bytes(rng, 1000, 256);
    const Bytes data(prefix.begin() + 300, prefix.begin() + 340);
    {  // Allowed: one long back-reference.
        Bytes file = prefix;
        EXPECT_EQ(pack_and_check(file, data, false, 0), 3u);
    }
    {  // From offset 500 on only: the passage goes literal.
        Bytes file = prefix;
        EXPECT_EQ(pack_and_check(file, data, false, 500), literal_only_size(data, false));
    }
    {  // The allowed part of a passage that crosses the limit is copied.
        Bytes file = prefix;
        const Bytes across(prefix.begin() + 480, prefix.begin() + 560);
        EXPECT_LE(pack_and_check(file, across, false, 500), 1u + 20 + 3);
    }
    {  // A lowest offset past the end of the file: only the stream's own bytes.
        Bytes file = prefix;
        Bytes twice = data;
        append(twice, data, 0, data.size());
        EXPECT_EQ(pack_and_check(file, twice, false, 5000), 41u + 2);
    }
}

TEST(Pack, PeriodicStreams)
{
    // Data that repeats with a period: every period has its own path
    // through the parse, which must still pack the repeats as long copies.
    for (size_t period : {1u, 2u, 3u, 7u, 40u, 62u, 63u, 64u, 65u, 200u, 255u, 256u, 257u, 300u}) {
        SCOPED_TRACE("period " + std::to_string(period));
        std::mt19937 rng(static_cast<uint32_t>(period));
        const Bytes bar = random_bytes(rng, period, 5);
        Bytes data;
        while (data.size() < 6000) append(data, bar, 0, bar.size());
        Bytes file(28, 0);
        const size_t packed = pack_and_check(file, data, true);
        // A period stored, and up to a run more, then a copy of 40 bytes or
        // more per 3 bytes (a copy takes at most what one run stores).
        EXPECT_LE(packed, literal_only_size(bar, false) + 64 + 3 * (6000 / 40 + 2)) << packed;
    }
    {  // Phrases of 15 and 10 bytes in a period of 40: the period is worth
       // storing whole, copies of 40 follow.
        Bytes a;
        for (uint8_t b : {0, 1, 2, 3, 4, 1, 2, 3, 4, 5, 2, 3, 4, 5, 6}) a.push_back(b);
        Bytes data;
        while (data.size() < 6000) {
            append(data, a, 0, 15);
            append(data, a, 0, 15);
            append(data, a, 0, 10);
        }
        Bytes file(28, 0);
        EXPECT_LE(pack_and_check(file, data, false), 41u + 2 * (6000 / 40 + 1));
    }
}

TEST(Pack, NoCopyReadsAcrossOffsetFFFF)
{
    std::mt19937 rng(21);
    {  // The passage wanted lies across 0xFFFF in earlier bytes of the file.
        Bytes file = random_bytes(rng, 0x10000 + 100, 256);
        const Bytes passage(file.begin() + 0xFFE0, file.begin() + 0x10020);
        Bytes data = passage;
        append(data, passage, 0, passage.size());
        // Only the part below 0xFFFF can be copied; the rest goes literal.
        EXPECT_LT(pack_and_check(file, data, true), literal_only_size(data, true));
    }
    {  // The stream itself starts just below 0xFFFF: its own literal bytes
       // straddle it, and copies of them must not.
        Bytes file = random_bytes(rng, 0xFFF0, 256);
        const Bytes bar = random_bytes(rng, 40, 256);
        Bytes data;
        for (int k = 0; k < 6; k++) append(data, bar, 0, bar.size());
        EXPECT_LT(pack_and_check(file, data, false), literal_only_size(data, false));
    }
    {  // A file already past 64 KiB: no source at or past 0xFFFF at all.
        Bytes file = random_bytes(rng, 0x10400, 4);
        const Bytes data(file.begin() + 0xFF00, file.begin() + 0x10300);
        pack_and_check(file, data, true);
    }
}

}  // namespace

namespace {

uint64_t fnv1a(const Bytes &b)
{
    uint64_t h = 14695981039346656037ull;
    for (uint8_t x : b) h = (h ^ x) * 1099511628211ull;
    return h;
}

// Streams of every kind the packer's parts tell apart: short ones (more
// plans), long ones (the commit point moved on by force), periodic ones,
// small alphabets, streams after earlier ones.
Bytes packed_file(uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes file = random_bytes(rng, rng() % 3 ? rng() % 3000 : 0, 1 + rng() % 256);
    Bytes previous;
    const int streams = 1 + static_cast<int>(rng() % 3);
    for (int s = 0; s < streams; s++) {
        static const size_t sizes[] = {5, 200, 1500, 3000, 5000, 9000, 20000};
        const size_t n = sizes[rng() % (sizeof sizes / sizeof *sizes)] + rng() % 100;
        Bytes data;
        if (rng() % 4 == 0) {
            const Bytes bar = random_bytes(rng, 1 + rng() % 300, 2 + rng() % 8);
            while (data.size() < n) {
                append(data, bar, 0, bar.size());
                if (rng() % 3 == 0) data.push_back(static_cast<uint8_t>(rng() % 4));
            }
        } else {
            data = mixed_stream(rng, n, previous);
        }
        const uint32_t lowest = rng() % 4 == 0 ? static_cast<uint32_t>(rng() % (file.size() + 1)) : 0;
        pack_stream(file, data, rng() % 2, lowest);
        previous = data;
    }
    return file;
}

}  // namespace

// The packed bytes of varied streams, as the packer wrote them when these
// values were recorded: the parse chosen must not change with its speed.
TEST(Pack, PackedBytesStayTheSame)
{
    static const uint64_t recorded[] = {
        0xaf74be15a9a95572ull,  // 1747 bytes
        0x5819dbcaba4bca52ull,  // 2132 bytes
        0x8c121184d45fb5e1ull,  // 3480 bytes
        0x70b34ac7f983d3d1ull,  // 5494 bytes
        0x5d97096a82b02636ull,  // 271 bytes
        0x0ee390a4ca7d6641ull,  // 1799 bytes
        0x27a09d101033fd3cull,  // 823 bytes
        0x8806e4f345b7c7d9ull,  // 2426 bytes
        0x8400cc98f2924709ull,  // 5437 bytes
        0x49b8119bac2dbbdcull,  // 2546 bytes
        0xa8f27b076ca6bfb3ull,  // 9 bytes
        0x98e2d8cf4cdda00cull,  // 957 bytes
        0x2eae02d3b1cdc33bull,  // 2331 bytes
        0x3dd6b37ce5f06adbull,  // 790 bytes
        0x86ae3cec073c21feull,  // 182 bytes
        0x7a0979b221974c86ull,  // 417 bytes
        0xe099f861408d542aull,  // 3040 bytes
        0x1b2a73762b9b13b4ull,  // 1402 bytes
        0x6daf1575641effb1ull,  // 2140 bytes
        0xb210cecae5320563ull,  // 2478 bytes
        0x3884b9321cbfa58full,  // 1667 bytes
        0xec484e7f47e41137ull,  // 278 bytes
        0xee646096d26249abull,  // 2017 bytes
        0x06f7e716781c56beull,  // 1441 bytes
        0x9a4ef9b6426f45feull,  // 3753 bytes
        0xf1488cc23377a905ull,  // 2782 bytes
        0xc28db4b351787564ull,  // 2479 bytes
        0x6b3a8f1948ae9593ull,  // 1643 bytes
        0x4d3997ca6e1736f9ull,  // 5260 bytes
        0xd6ac1eb33f8ef75aull,  // 999 bytes
        0xcaf4ac3353400bbaull,  // 4102 bytes
        0xa010fc96d4a87ae8ull,  // 1505 bytes
        0x41d130a33dc25d20ull,  // 916 bytes
        0x9b598431ff5b5728ull,  // 2744 bytes
        0x42dd4305cf95906aull,  // 2162 bytes
        0x29f9c3148accd388ull,  // 4830 bytes
        0x995111f9675d9bc0ull,  // 3598 bytes
        0xdcb220aa1a9a3549ull,  // 813 bytes
        0x82460946cd9d6b4bull,  // 3023 bytes
        0xb76a1e74e15d96faull,  // 2873 bytes
    };
    for (uint32_t seed = 0; seed < sizeof recorded / sizeof *recorded; seed++) {
        const Bytes file = packed_file(seed);
        EXPECT_EQ(fnv1a(file), recorded[seed]) << "seed " << seed;
    }
}
