// Reading VGM files: loading (plain and gzip), the header, the command
// stream, the chip's latch/data protocol and the sampling into frames.
#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/test_support.h"
#include "sound/chip.h"
#include "sound/frames.h"
#include "vgm/vgm.h"
#include "vgm/vgm_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes &b, size_t off, uint32_t v)
{
    for (int i = 0; i < 4; i++) b[off + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get32(const Bytes &b, size_t off)
{
    return static_cast<uint32_t>(b[off]) | static_cast<uint32_t>(b[off + 1]) << 8 |
           static_cast<uint32_t>(b[off + 2]) << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
}

void append(Bytes &b, std::initializer_list<uint8_t> more)
{
    b.insert(b.end(), more.begin(), more.end());
}

// A GD3 tag whose text would read as SN76489 writes if it were taken for
// commands.
Bytes gd3_tag()
{
    Bytes t = {'G', 'd', '3', ' ', 0x00, 0x01, 0x00, 0x00, 8, 0, 0, 0};
    append(t, {0x50, 0x9F, 0x50, 0xBF, 0x50, 0xDF, 0x00, 0x00});
    return t;
}

// Appends a GD3 tag to a finished file and points the header at it.
void add_gd3(Bytes &file)
{
    put32(file, 0x14, static_cast<uint32_t>(file.size() - 0x14));
    Bytes tag = gd3_tag();
    file.insert(file.end(), tag.begin(), tag.end());
    put32(file, 0x04, static_cast<uint32_t>(file.size() - 4));
}

VgmLog parse_ok(const Bytes &bytes, const std::string &name = "song.vgm")
{
    VgmLog log;
    std::string error;
    EXPECT_TRUE(parse_vgm(bytes, name, log, error)) << error;
    return log;
}

std::string parse_error(const Bytes &bytes, const std::string &name = "song.vgm")
{
    VgmLog log;
    std::string error;
    EXPECT_FALSE(parse_vgm(bytes, name, log, error));
    return error;
}

using Timed = std::vector<std::pair<uint64_t, uint8_t>>;

// What the reader keeps: the writes read and per frame the registers (periods 0-2, noise, attenuations 0-3).
using Registers = std::array<uint16_t, 8>;
using Folded = std::pair<uint64_t, std::vector<Registers>>;

Registers registers(const ChipState &c)
{
    return {c.period[0], c.period[1], c.period[2], c.noise, c.atten[0], c.atten[1], c.atten[2], c.atten[3]};
}

Folded folded(const VgmLog &log)
{
    Folded f{log.write_count, {}};
    for (const ChipState &c : log.frames) f.second.push_back(registers(c));
    return f;
}

// What writes should make on a timeline ending at end: frame i holds the writes before i * 735, and one
// frame more holds a write made at end itself.
Folded folded(const Timed &writes, uint64_t end)
{
    Folded f{writes.size(), {}};
    const uint64_t reach = !writes.empty() && writes.back().first >= end ? writes.back().first + 1 : end;
    ChipState chip;
    size_t next = 0;
    for (uint64_t i = 1; (i - 1) * 735 < reach; i++) {
        while (next < writes.size() && writes[next].first < i * 735) chip_write(chip, writes[next++].second);
        f.second.push_back(registers(chip));
    }
    return f;
}

// Expects log to hold what writes make on its own timeline.
#define EXPECT_READS(log, writes) EXPECT_EQ(folded(log), folded(writes, (log).end_sample))

// A short tune: voice 0 at period 0x1AB, loud, then quieter, then silent.
VgmWriter short_tune()
{
    VgmWriter w;
    vgm_tone(w, 0, 0x1AB);
    vgm_atten(w, 0, 0);
    vgm_wait(w, 735);
    vgm_atten(w, 0, 8);
    vgm_wait(w, 100);
    vgm_atten(w, 0, 15);
    vgm_wait(w, 882);
    return w;
}

const Timed short_tune_writes = {{0, 0x8B}, {0, 0x1A}, {0, 0x90}, {735, 0x98}, {835, 0x9F}};

void write_gzip(const std::string &path, const Bytes &bytes)
{
    gzFile g = gzopen(path.c_str(), "wb9");
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(gzwrite(g, bytes.data(), static_cast<unsigned>(bytes.size())), static_cast<int>(bytes.size()));
    ASSERT_EQ(gzclose(g), Z_OK);
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

std::string hex_text(size_t v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%zX", v);
    return buf;
}

}  // namespace

TEST(VgmReader, StreamEndsAtEndMarkerGd3OrEndOfFile)
{
    VgmWriter w = short_tune();

    // With 0x66: anything after it is not read.
    Bytes marked = vgm_finish(w);
    append(marked, {0x50, 0x9F, 0x62});
    put32(marked, 0x04, static_cast<uint32_t>(marked.size() - 4));
    VgmLog log = parse_ok(marked);
    EXPECT_EQ(log.version, 0x151u);
    EXPECT_EQ(log.clock, 3579545u);
    EXPECT_FALSE(log.dual);
    EXPECT_FALSE(log.t6w28);
    EXPECT_READS(log, short_tune_writes);
    EXPECT_EQ(log.end_sample, 735u + 100 + 882);  // the last wait counts
    EXPECT_TRUE(log.warnings.empty());

    // No 0x66, the stream runs to the end of the file.
    log = parse_ok(vgm_finish(w, false));
    EXPECT_READS(log, short_tune_writes);
    EXPECT_EQ(log.end_sample, 1717u);
    EXPECT_TRUE(log.warnings.empty());

    // No 0x66, the stream runs into the GD3 tag, whose bytes would read as
    // writes.
    Bytes tagged = vgm_finish(w, false);
    add_gd3(tagged);
    log = parse_ok(tagged);
    EXPECT_READS(log, short_tune_writes);
    EXPECT_EQ(log.end_sample, 1717u);
    EXPECT_TRUE(log.warnings.empty());

    // Both: 0x66 then the tag.
    Bytes both = vgm_finish(w);
    add_gd3(both);
    EXPECT_READS(parse_ok(both), short_tune_writes);

    // Writes after the last wait are kept, at the end of the timeline.
    VgmWriter tail = short_tune();
    vgm_atten(tail, 1, 3);
    log = parse_ok(vgm_finish(tail, false));
    EXPECT_EQ(log.write_count, 6u);
    ASSERT_EQ(log.frames.size(), 3u);
    EXPECT_EQ(log.frames[2].atten[1], 3);
    EXPECT_EQ(log.frames[1].atten[1], 15);
}

TEST(VgmReader, HeaderVersionsAndDataOffset)
{
    VgmWriter w = short_tune();

    // Version 1.00: commands at 0x40 whatever 0x34 holds (it is not a data
    // offset yet).
    w.version = 0x100;
    Bytes v100 = vgm_finish(w);
    EXPECT_EQ(get32(v100, 0x24), 0u);
    EXPECT_EQ(get32(v100, 0x34), 0u);
    put32(v100, 0x34, 0x10);
    VgmLog log = parse_ok(v100);
    EXPECT_EQ(log.version, 0x100u);
    EXPECT_READS(log, short_tune_writes);

    // Version 1.50 with the field at 0 also starts at 0x40.
    w.version = 0x150;
    Bytes v150 = vgm_finish(w);
    put32(v150, 0x34, 0);
    EXPECT_READS(parse_ok(v150), short_tune_writes);

    // Version 1.51 with a data offset of 0x4C: commands at 0x80. The extra
    // header bytes are SN writes if read from 0x40.
    w.version = 0x151;
    Bytes plain = vgm_finish(w);
    Bytes moved(plain.begin(), plain.begin() + 0x40);
    for (int i = 0; i < 0x20; i++) append(moved, {0x50, 0x9F});
    moved.insert(moved.end(), plain.begin() + 0x40, plain.end());
    put32(moved, 0x34, 0x80 - 0x34);
    put32(moved, 0x04, static_cast<uint32_t>(moved.size() - 4));
    log = parse_ok(moved);
    EXPECT_READS(log, short_tune_writes);
    EXPECT_EQ(log.end_sample, 1717u);

    // Version 1.72, the newest known, reads the same.
    w.version = 0x172;
    EXPECT_READS(parse_ok(vgm_finish(w)), short_tune_writes);

    // A v1.00 file of just a header: an empty song, no crash.
    VgmWriter empty;
    empty.version = 0x100;
    Bytes bare = vgm_finish(empty, false);
    ASSERT_EQ(bare.size(), 0x40u);
    log = parse_ok(bare);
    EXPECT_EQ(log.write_count, 0u);
    EXPECT_EQ(log.end_sample, 0u);
    EXPECT_TRUE(sample_frames(log).empty());

    // A file cut inside its header: fields past the cut are not read, and
    // with the commands' start past the end it is an error naming the file.
    Bytes cut(bare.begin(), bare.begin() + 0x14);
    std::string error = parse_error(cut, "cut.vgm");
    EXPECT_EQ(error.rfind("cut.vgm: ", 0), 0u) << error;
    EXPECT_TRUE(contains(error, "header")) << error;

    // Versions outside 1.00 to 1.72 are read with a warning.
    w.version = 0x180;
    log = parse_ok(vgm_finish(w), "new.vgm");
    EXPECT_READS(log, short_tune_writes);
    ASSERT_EQ(log.warnings.size(), 1u);
    EXPECT_TRUE(contains(log.warnings[0], "new.vgm: VGM version 1.80")) << log.warnings[0];
}

TEST(VgmReader, GzipReadsLikePlainAndIsCheckedByItsBytes)
{
    TempDir dir;
    Bytes plain = vgm_finish(short_tune(), false);
    add_gd3(plain);
    write_file(dir.file("plain.vgm"), plain);
    write_gzip(dir.file("packed.vgz"), plain);
    write_gzip(dir.file("packed-named.vgm"), plain);   // gzip, told by its bytes
    write_file(dir.file("plain-named.vgz"), plain);   // plain despite the name

    for (const char *name : {"plain.vgm", "packed.vgz", "packed-named.vgm", "plain-named.vgz"}) {
        Bytes bytes;
        std::string error;
        ASSERT_TRUE(load_vgm_bytes(dir.file(name), bytes, error)) << name << ": " << error;
        EXPECT_EQ(bytes, plain) << name;
        VgmLog log = parse_ok(bytes, name);
        EXPECT_READS(log, short_tune_writes) << name;
        EXPECT_EQ(log.end_sample, 1717u) << name;
    }
    EXPECT_NE(read_file(dir.file("packed.vgz"))[0], 'V');

    // Two gzip members one after the other make one file.
    Bytes first(plain.begin(), plain.begin() + 50), second(plain.begin() + 50, plain.end());
    write_gzip(dir.file("a.gz"), first);
    write_gzip(dir.file("b.gz"), second);
    Bytes joined = read_file(dir.file("a.gz"));
    Bytes b = read_file(dir.file("b.gz"));
    joined.insert(joined.end(), b.begin(), b.end());
    write_file(dir.file("joined.vgz"), joined);
    Bytes bytes;
    std::string error;
    ASSERT_TRUE(load_vgm_bytes(dir.file("joined.vgz"), bytes, error)) << error;
    EXPECT_EQ(bytes, plain);

    // Damaged gzip: cut short, or with its deflate data overwritten.
    Bytes gz = read_file(dir.file("packed.vgz"));
    write_file(dir.file("short.vgz"), Bytes(gz.begin(), gz.begin() + static_cast<long>(gz.size() / 2)));
    EXPECT_FALSE(load_vgm_bytes(dir.file("short.vgz"), bytes, error));
    EXPECT_EQ(error.rfind(dir.file("short.vgz") + ": ", 0), 0u) << error;
    EXPECT_TRUE(contains(error, "gzip")) << error;

    Bytes broken = gz;
    for (size_t i = 12; i < 40 && i < broken.size() - 8; i++) broken[i] = 0xFF;
    write_file(dir.file("broken.vgz"), broken);
    EXPECT_FALSE(load_vgm_bytes(dir.file("broken.vgz"), bytes, error));
    EXPECT_TRUE(contains(error, dir.file("broken.vgz") + ": ")) << error;
    EXPECT_TRUE(contains(error, "gzip")) << error;

    write_file(dir.file("magic-only.vgz"), Bytes{0x1F, 0x8B});
    EXPECT_FALSE(load_vgm_bytes(dir.file("magic-only.vgz"), bytes, error));
    EXPECT_TRUE(contains(error, "magic-only.vgz: ")) << error;

    // A file that cannot be opened.
    EXPECT_FALSE(load_vgm_bytes(dir.file("missing.vgm"), bytes, error));
    EXPECT_TRUE(contains(error, dir.file("missing.vgm") + ": cannot open")) << error;
    EXPECT_FALSE(load_vgm_bytes(dir.path, bytes, error));  // a folder
    EXPECT_TRUE(contains(error, dir.path + ": ")) << error;

    // An empty file loads (as nothing) and is then not a VGM file.
    write_file(dir.file("empty.vgm"), Bytes());
    ASSERT_TRUE(load_vgm_bytes(dir.file("empty.vgm"), bytes, error)) << error;
    EXPECT_TRUE(bytes.empty());
}

TEST(VgmReader, GzipBombIsRefused)
{
    TempDir dir;
    std::string path = dir.file("bomb.vgz");
    gzFile g = gzopen(path.c_str(), "wb1");
    ASSERT_NE(g, nullptr);
    Bytes zeros(1 << 20, 0);
    std::copy(std::begin("Vgm "), std::begin("Vgm ") + 4, zeros.begin());
    for (int i = 0; i < 65; i++) ASSERT_EQ(gzwrite(g, zeros.data(), static_cast<unsigned>(zeros.size())), 1 << 20);
    ASSERT_EQ(gzclose(g), Z_OK);

    Bytes bytes;
    std::string error;
    EXPECT_FALSE(load_vgm_bytes(path, bytes, error));
    EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
    EXPECT_TRUE(contains(error, "64 MiB")) << error;
}

TEST(VgmReader, OtherChipsAndDataBlocksAreSkipped)
{
    // Operand bytes are 0x50 so that a wrong operand length shows up as
    // stray SN writes.
    VgmWriter w;
    vgm_write(w, 0x80);
    Bytes other;
    append(other, {0x30, 0x9F, 0x31, 0x50, 0x3E, 0x50, 0x3F, 0x50, 0x4F, 0x50});
    append(other, {0x40, 0x50, 0x50, 0x4E, 0x50, 0x50, 0x51, 0x50, 0x50, 0x5F, 0x50, 0x50});
    append(other, {0xA0, 0x50, 0x50, 0xBF, 0x50, 0x50, 0xC0, 0x50, 0x50, 0x50, 0xDF, 0x50, 0x50, 0x50});
    append(other, {0xE0, 0x50, 0x50, 0x50, 0x50, 0xFF, 0x50, 0x50, 0x50, 0x50});
    append(other, {0x90, 0x50, 0x50, 0x50, 0x50, 0x91, 0x50, 0x50, 0x50, 0x50});
    append(other, {0x92, 0x50, 0x50, 0x50, 0x50, 0x50});
    append(other, {0x93, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50});
    append(other, {0x94, 0x50, 0x95, 0x50, 0x50, 0x50, 0x50});
    append(other, {0x68, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50});
    append(other, {0x67, 0x66, 0x00, 0x05, 0x00, 0x00, 0x00, 0x50, 0x9F, 0x50, 0x9F, 0x50});
    append(other, {0x67, 0x66, 0x00, 0x00, 0x00, 0x00, 0x00});  // empty block
    w.data.insert(w.data.end(), other.begin(), other.end());
    vgm_write(w, 0x01);
    w.data.push_back(0x80);  // sample write and no wait
    w.data.push_back(0x8F);  // sample write, then 15 samples
    vgm_write(w, 0x92);
    vgm_wait(w, 735);

    VgmLog log = parse_ok(vgm_finish(w));
    EXPECT_READS(log, (Timed{{0, 0x80}, {0, 0x01}, {15, 0x92}}));
    EXPECT_EQ(log.end_sample, 15u + 735);
    EXPECT_TRUE(log.warnings.empty());
}

TEST(VgmReader, DamagedStreamIsKeptUpToTheFault)
{
    VgmWriter w = short_tune();  // 15 bytes of commands, from 0x40 to 0x4E
    ASSERT_EQ(w.data.size(), 15u);

    struct Case {
        const char *name;
        Bytes tail;
        const char *what;
    };
    const Case cases[] = {
        {"unknown.vgm", {0x2A, 0x50, 0x9F, 0x62}, "unknown command byte 0x2A"},
        {"reserved.vgm", {0x65, 0x62}, "unknown command byte 0x65"},
        {"wait.vgm", {0x61, 0x10}, "0x61"},
        {"write.vgm", {0x50}, "0x50"},
        {"chip.vgm", {0xC0, 0x50, 0x50}, "0xC0"},
        {"block-head.vgm", {0x67, 0x66, 0x00, 0x10}, "data block"},
        {"block-body.vgm", {0x67, 0x66, 0x00, 0x10, 0x00, 0x00, 0x00, 0x50, 0x9F}, "data block of 16 bytes"},
        {"block-kind.vgm", {0x67, 0x50, 0x9F, 0x00, 0x00, 0x00, 0x00}, "data block"},
    };
    for (const Case &c : cases) {
        Bytes file = vgm_finish(w, false);
        file.insert(file.end(), c.tail.begin(), c.tail.end());
        put32(file, 0x04, static_cast<uint32_t>(file.size() - 4));
        VgmLog log = parse_ok(file, c.name);
        EXPECT_READS(log, short_tune_writes) << c.name;
        EXPECT_EQ(log.end_sample, 1717u) << c.name;
        ASSERT_EQ(log.warnings.size(), 1u) << c.name;
        const std::string &warning = log.warnings[0];
        EXPECT_EQ(warning.rfind(std::string(c.name) + ": ", 0), 0u) << warning;
        EXPECT_TRUE(contains(warning, c.what)) << warning;
        EXPECT_TRUE(contains(warning, "offset 0x4F")) << warning;
    }

    // A command cut by the GD3 tag is cut too.
    Bytes file = vgm_finish(w, false);
    append(file, {0x61, 0x10});
    add_gd3(file);
    VgmLog log = parse_ok(file, "tagged.vgm");
    EXPECT_READS(log, short_tune_writes);
    ASSERT_EQ(log.warnings.size(), 1u);
    EXPECT_TRUE(contains(log.warnings[0], "offset 0x4F")) << log.warnings[0];

    // A file shorter than its header says.
    Bytes cut = vgm_finish(w, false);
    put32(cut, 0x04, static_cast<uint32_t>(cut.size() + 100));
    log = parse_ok(cut, "cut.vgm");
    EXPECT_READS(log, short_tune_writes);
    ASSERT_EQ(log.warnings.size(), 1u);
    EXPECT_TRUE(contains(log.warnings[0], "cut.vgm: ")) << log.warnings[0];
    EXPECT_TRUE(contains(log.warnings[0], "shorter")) << log.warnings[0];
}

TEST(VgmReader, TimelineIsCutAfterTwoHours)
{
    // Each 16-bit wait takes three bytes, so a small damaged file could
    // claim years of song; the reader stops at two hours.
    const uint64_t two_hours = 2ull * 3600 * 44100;
    VgmWriter w;
    vgm_atten(w, 0, 0);
    vgm_wait(w, static_cast<uint32_t>(two_hours - 1));
    vgm_atten(w, 0, 1);  // one sample before the cut: kept
    vgm_wait(w, 2);
    vgm_atten(w, 0, 2);  // after it: not read
    vgm_wait(w, 735);
    VgmLog log = parse_ok(vgm_finish(w), "long.vgm");
    EXPECT_READS(log, (Timed{{0, 0x90}, {two_hours - 1, 0x91}}));
    EXPECT_EQ(log.end_sample, two_hours);
    ASSERT_EQ(log.warnings.size(), 1u);
    EXPECT_TRUE(contains(log.warnings[0], "long.vgm: ")) << log.warnings[0];
    EXPECT_TRUE(contains(log.warnings[0], "two hours")) << log.warnings[0];
    EXPECT_EQ(sample_frames(log).size(), two_hours / 735);
}

TEST(VgmReader, DamagedBytesNeverBreakTheReader)
{
    VgmWriter w = short_tune();
    vgm_noise(w, 4);
    vgm_wait(w, 70000);
    w.data.insert(w.data.end(), {0x67, 0x66, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x02, 0xC0, 1, 2, 3});
    vgm_tone(w, 2, 0x3FF);
    Bytes good = vgm_finish(w, false);
    add_gd3(good);

    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    for (int round = 0; round < 3000; round++) {
        Bytes bytes = good;
        int changes = 1 + static_cast<int>(next() % 4);
        for (int i = 0; i < changes; i++) bytes[next() % bytes.size()] = static_cast<uint8_t>(next());
        if (round % 3 == 0) bytes.resize(next() % bytes.size());
        VgmLog log;
        std::string error;
        if (!parse_vgm(bytes, "fuzz.vgm", log, error)) {
            EXPECT_EQ(error.rfind("fuzz.vgm: ", 0), 0u) << error;
            continue;
        }
        for (const std::string &warning : log.warnings) EXPECT_EQ(warning.rfind("fuzz.vgm: ", 0), 0u) << warning;
        const uint64_t reach = (log.end_sample + 734) / 735;
        const size_t frames = sample_frames(log).size();
        EXPECT_TRUE(frames == reach || (log.write_count > 0 && frames == reach + 1)) << frames;
    }
}

TEST(VgmReader, RejectedFiles)
{
    auto expect_error = [](const Bytes &bytes, const std::string &part) {
        std::string error = parse_error(bytes, "bad.vgm");
        EXPECT_EQ(error.rfind("bad.vgm: ", 0), 0u) << error;
        EXPECT_TRUE(contains(error, part)) << error;
    };
    const std::string text = "placeholder, the song file is beside me\n";
    expect_error(Bytes(text.begin(), text.end()), "not a VGM file (no \"Vgm \" ident)");
    expect_error(Bytes(), "not a VGM file");
    expect_error(Bytes{'V', 'g', 'm'}, "not a VGM file");
    expect_error(Bytes{'v', 'g', 'm', ' ', 0, 0, 0, 0}, "not a VGM file");

    VgmWriter w = short_tune();
    Bytes good = vgm_finish(w);

    Bytes no_sn = good;
    put32(no_sn, 0x0C, 0);
    expect_error(no_sn, "no SN76489");
    put32(no_sn, 0x0C, 0xC0000000u);  // only the flag bits
    expect_error(no_sn, "no SN76489");

    // A file cut before 0x40 ends inside its header.
    for (size_t size : {4, 8, 15, 0x3F})
        expect_error(Bytes(good.begin(), good.begin() + static_cast<long>(size)),
                     "the file ends inside its header, at " + hex_text(size) + " (sound data would start at 0x40)");

    // Data starting exactly at the end is an empty song, not an error.
    Bytes at_end = vgm_finish(VgmWriter(), false);
    put32(at_end, 0x34, 0x0C);
    VgmLog log = parse_ok(at_end);
    EXPECT_EQ(log.write_count, 0u);
    EXPECT_TRUE(log.warnings.empty());
}

TEST(VgmReader, HeaderOffsetsPastTheEndAreWarnedAbout)
{
    // A download cut in half keeps its GD3 (and loop) offset: the commands are read to the end of the file.
    const Bytes good = vgm_finish(short_tune(), false);  // 0x4F bytes
    struct Case { const char *name; size_t field; uint32_t value; std::string warning; bool song; };
    const std::string then = "the commands are read up to the end of the file", none = "there are no commands to read";
    const Case cases[] = {
        {"gd3.vgm", 0x14, 0x3C, "(GD3 tag at 0x50, but the file ends at 0x4F); " + then, true},
        {"gd3-far.vgm", 0x14, 0xFFFFFFF0u, "(GD3 tag at 0x100000004, but the file ends at 0x4F); " + then, true},
        {"loop.vgm", 0x1C, 0x40, "(loop point at 0x5C, but the file ends at 0x4F); " + then, true},
        {"data.vgm", 0x34, 0x1C, "(sound data at 0x50, but the file ends at 0x4F); " + none, false},
        {"data-far.vgm", 0x34, 0xFFFFFFFFu, "(sound data at 0x100000033, but the file ends at 0x4F); " + none, false},
    };
    for (const Case &c : cases) {
        Bytes file = good;
        put32(file, c.field, c.value);
        VgmLog log = parse_ok(file, c.name);
        ASSERT_EQ(log.warnings.size(), 1u) << c.name;
        EXPECT_EQ(log.warnings[0], std::string(c.name) + ": the header points past the end of the file " + c.warning);
        if (c.song)
            EXPECT_READS(log, short_tune_writes) << c.name;
        else
            EXPECT_EQ(log.frames.size(), 0u) << c.name;
    }
}

TEST(VgmReader, DualChipAndT6W28)
{
    // Bit 30 of the clock: two chips; bits 31 and 30: a T6W28. Only the first chip is read, with a warning.
    struct { uint32_t flags; bool dual, t6w28; const char *warning; } cases[] = {
        {0x40000000u, true, false, "dual.vgm: two SN76489 chips; only the first one is read"},
        {0xC0000000u, true, true, "dual.vgm: a T6W28 (a stereo pair of SN76489 chips); only the first chip is read"},
        {0x80000000u, false, false, ""},
    };
    for (const auto &c : cases) {
        VgmWriter w;
        w.clock = c.flags | 3579545u;
        vgm_atten(w, 0, 4);
        w.data.insert(w.data.end(), {0x30, 0x92, 0x30, 0x8F, 0x30, 0x3F});  // second chip
        vgm_wait(w, 735);
        vgm_atten(w, 0, 15);
        vgm_wait(w, 735);
        VgmLog log = parse_ok(vgm_finish(w), "dual.vgm");
        EXPECT_EQ(log.dual, c.dual) << c.flags;
        EXPECT_EQ(log.t6w28, c.t6w28) << c.flags;
        EXPECT_EQ(log.clock, 3579545u);
        EXPECT_READS(log, (Timed{{0, 0x94}, {735, 0x9F}}));
        EXPECT_EQ(log.warnings, *c.warning ? std::vector<std::string>{c.warning} : std::vector<std::string>{});
    }
}

namespace {

struct ReadmeRow {
    std::string version;
    uint32_t clock = 0;
    double seconds = 0;
    bool end_marker = false;
};

// The facts table of the real files' README: file, version, clock, rate,
// length, loop, end marker.
std::map<std::string, ReadmeRow> readme_rows(const std::string &dir)
{
    std::map<std::string, ReadmeRow> rows;
    std::ifstream in(dir + "/README.md");
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, '|')) {
            size_t a = cell.find_first_not_of(' '), b = cell.find_last_not_of(' ');
            cells.push_back(a == std::string::npos ? "" : cell.substr(a, b - a + 1));
        }
        if (cells.size() < 8 || cells[1].size() < 5) continue;
        std::string ext = cells[1].substr(cells[1].size() - 4);
        if (ext != ".vgm" && ext != ".vgz") continue;
        ReadmeRow r;
        r.version = cells[2].substr(0, 4);
        r.clock = static_cast<uint32_t>(std::strtoul(cells[3].c_str(), nullptr, 10));
        r.seconds = std::strtod(cells[5].c_str(), nullptr);
        r.end_marker = cells[7] == "yes";
        rows[cells[1]] = r;
    }
    return rows;
}

}  // namespace

TEST(RealVgmFiles, ReadWithTheirClockAndLength)
{
    std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files here";
    std::map<std::string, ReadmeRow> rows = readme_rows(shared_vgm_dir());
    std::map<std::string, VgmLog> logs;
    for (const std::string &path : files) {
        std::string name = path.substr(path.rfind('/') + 1);
        Bytes bytes;
        std::string error;
        ASSERT_TRUE(load_vgm_bytes(path, bytes, error)) << error;
        VgmLog log;
        ASSERT_TRUE(parse_vgm(bytes, name, log, error)) << error;
        EXPECT_TRUE(log.warnings.empty()) << name << ": " << log.warnings.front();
        EXPECT_GT(log.write_count, 0u) << name;
        EXPECT_FALSE(log.dual) << name;
        size_t frames = sample_frames(log).size();
        EXPECT_GT(frames, 0u) << name;
        auto row = rows.find(name);
        if (row != rows.end()) {
            char version[16];
            std::snprintf(version, sizeof version, "%X.%02X", log.version >> 8, log.version & 0xFF);
            EXPECT_EQ(version, row->second.version) << name;
            EXPECT_EQ(log.clock, row->second.clock) << name;
            // The README gives the header's length, rounded to a tenth of
            // a second. A stream that runs to the GD3 tag or the end of the
            // file fills it; two files that end with 0x66 stop their data
            // up to 2.3 seconds before the length their header claims.
            const double tolerance = 0.05 * 44100 + 735;
            const double played = static_cast<double>(frames) * 735, claimed = row->second.seconds * 44100;
            if (row->second.end_marker) {
                EXPECT_LE(played, claimed + tolerance) << name;
                EXPECT_GE(played, claimed - 2.5 * 44100) << name;
            } else {
                EXPECT_NEAR(played, claimed, tolerance) << name;
            }
        }
        logs[name] = log;
    }
    if (logs.count("axelf.vgm") && logs.count("axelf-gzipped.vgz")) {
        EXPECT_EQ(folded(logs["axelf.vgm"]), folded(logs["axelf-gzipped.vgz"]));
        EXPECT_EQ(logs["axelf.vgm"].end_sample, logs["axelf-gzipped.vgz"].end_sample);
    }
}

TEST(Frames, SamplingBoundariesAndCount)
{
    VgmWriter w;
    vgm_atten(w, 0, 5);      // sample 0
    vgm_wait(w, 734);
    vgm_atten(w, 0, 4);      // sample 734: still frame 1
    vgm_tone(w, 1, 0x123);
    vgm_wait(w, 1);
    vgm_atten(w, 0, 3);      // sample 735: frame 2
    vgm_noise(w, 6);
    vgm_atten(w, 3, 2);
    vgm_wait(w, 735);
    vgm_atten(w, 0, 1);      // sample 1470: the very end of the timeline
    VgmLog log = parse_ok(vgm_finish(w));
    ASSERT_EQ(log.end_sample, 1470u);

    // A write at the end of the timeline still gets a frame of its own.
    std::vector<Frame> frames = sample_frames(log);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[2].v[0].atten, 1);
    EXPECT_EQ(frames[0].v[0].atten, 4);
    EXPECT_EQ(frames[0].v[1].note, 0x123);
    EXPECT_EQ(frames[0].v[1].atten, 15);
    EXPECT_EQ(frames[0].v[3].atten, 15);
    EXPECT_EQ(frames[0].v[3].note, 0);
    EXPECT_EQ(frames[1].v[0].atten, 3);
    EXPECT_EQ(frames[1].v[3].atten, 2);
    EXPECT_EQ(frames[1].v[3].note, 6);  // the noise control
    EXPECT_EQ(frames[1].v[2].note, 0);

    // The frame count is the timeline rounded up to whole frames.
    for (uint32_t end : {0u, 1u, 734u, 735u, 736u, 1470u, 1471u, 44100u}) {
        VgmWriter waits;
        vgm_wait(waits, end);
        EXPECT_EQ(sample_frames(parse_ok(vgm_finish(waits))).size(), (end + 734) / 735) << end;
    }

    // A 50 Hz tune keeps real time: one second is 60 frames, some of them
    // repeating the previous state.
    VgmWriter pal;
    for (int i = 0; i < 50; i++) {
        vgm_atten(pal, 0, static_cast<uint8_t>(i % 16));
        vgm_wait(pal, 882);
    }
    frames = sample_frames(parse_ok(vgm_finish(pal)));
    ASSERT_EQ(frames.size(), 60u);
    for (size_t i = 0; i < frames.size(); i++) {
        uint64_t last_write = ((i + 1) * 735 - 1) / 882;  // the update in force at the frame's end
        EXPECT_EQ(frames[i].v[0].atten, last_write % 16) << i;
    }
}
