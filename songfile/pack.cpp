#include "songfile/pack.h"

#include <algorithm>

#include "player/player.h"
#include "songfile/pack_parts.h"

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
// each is one offer kept in cost order while it reaches (not one edge per
// length; a few dozen offers are open at a time).
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
//
// The parts: finding copies in pack_match.cpp, the parse in pack_parse.cpp,
// its commit point in pack_commit.cpp, the plans in pack_plan.cpp.

using namespace packer;

namespace {

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
