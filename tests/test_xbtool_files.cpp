// xbtool program, disk, dir and list as a user runs them: messages and exit
// status, failed writes leaving what was there, and round trips of
// kelvaro's outputs of the real VGM files.
#include <gtest/gtest.h>

#include <sstream>

#include "disk/program_file.h"
#include "tests/test_support.h"
#include "xb/image.h"
#include "xb/tokenize.h"
#include "xb/xb_size.h"
#include "xbtool/commands.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<std::string>;

struct ToolRun {
    int status;
    std::string out, err;
};

ToolRun xbtool(const Words &args)
{
    std::ostringstream out, err;
    const int status = xbtool_run(args, out, err);
    return {status, out.str(), err.str()};
}

std::string data_lines(int n)
{
    std::string text;
    for (int k = 1; k <= n; k++) text += std::to_string(k) + " DATA " + std::string(120, '7') + "\n";
    return text;
}

const std::string two_lines = "100 CALL SOUND(500,440,0)\n110 DATA 1,2,3\n";

TEST(XbtoolFiles, ExitCodesAndMessages)
{
    TempDir dir;
    const std::string txt = dir.file("song.txt"), data = dir.file("data.txt"), bad = dir.file("bad.txt"),
                      dsk = dir.file("songs.dsk"), keep = dir.file("keep"), none = dir.file("none.txt");
    write_text(txt, two_lines);
    write_text(dir.file("SONG"), two_lines);
    write_text(data, "\nDATA 5,110,30\n");
    write_text(bad, "10 PRINT \"A\n");
    write_text(keep, "old");
    for (const char *name : {"big.txt", "big2.txt", "big3.txt", "big4.txt"}) write_text(dir.file(name), data_lines(180));
    ASSERT_EQ(xbtool({"disk", dsk, txt, dir.file("big.txt")}).status, 0);
    const Bytes disk_before = read_file(dsk);
    const std::string try_ = "\nTry 'xbtool ";
    struct Case {
        Words args;
        int status;
        std::string err;
    } cases[] = {
        {{"program"}, 2, "xbtool program: no listing given" + try_ + "program --help' for more information.\n"},
        {{"program", txt, "--long", "--short"}, 2,
         "xbtool program: --long and --short exclude each other" + try_ + "program --help' for more information.\n"},
        {{"program", txt, "--name", "A.B"}, 2,
         "xbtool program: 'A.B' is no TI file name (1 to 10 characters, no blank or period)" + try_ +
             "program --help' for more information.\n"},
        {{"program", txt, "--bogus"}, 2, "xbtool program: unknown option '--bogus'" + try_ + "program --help' for more information.\n"},
        {{"program", data}, 1,
         "xbtool program: " + data + ": bare DATA lines without line numbers (kelvaro's -d form); convert with -p for a whole program\n"},
        {{"program", bad, "-o", keep}, 1, "xbtool program: " + bad + ": line 10: unterminated string\n"},
        {{"program", none}, 1, "xbtool program: cannot read " + none + ": No such file or directory\n"},
        {{"program", dir.file("SONG")}, 1,
         "xbtool program: " + dir.file("SONG") + " is the listing itself; give another output with -o\n"},
        {{"disk", dir.file("a.dsk"), txt, "--format", "hd"}, 2,
         "xbtool disk: unknown format 'hd' (sssd, dssd or dsdd)" + try_ + "disk --help' for more information.\n"},
        {{"disk", dsk, txt, "--format", "dsdd"}, 1,
         "xbtool disk: " + dsk + ": the disk is SSSD, not DSDD; --format applies to a new image only\n"},
        {{"disk", dsk, txt, dir.file("sub/song.txt")}, 1,
         "xbtool disk: " + dir.file("sub/song.txt") + ": " + txt + " also makes the program SONG; rename one of them\n"},
        {{"disk", dsk, dir.file("big2.txt"), dir.file("big3.txt"), dir.file("big4.txt")}, 1,
         "xbtool disk: " + dsk + ": not changed; the files do not fit: BIG2 94 sectors, BIG3 94, BIG4 94, 282 in "
         "all, and 262 are free; give --format dssd for a new image of 720 sectors (seven songs of 24,000 bytes and "
         "the menu), or put some songs on a second image\n"},
        {{"dir", txt}, 1, "xbtool dir: " + txt + ": not a disk image (no \"DSK\" mark in sector 0)\n"},
        {{"list", txt, "SONG"}, 1, "xbtool list: " + txt + ": not a disk image, so it holds no file SONG\n"},
        {{"list", txt}, 1, "xbtool list: " + txt + ": not an XB program (its header does not check)\n"},
        {{"list", dsk}, 1, "xbtool list: " + dsk + ": a disk image with several programs (BIG, SONG): name one\n"},
    };
    for (const Case &c : cases) {
        const ToolRun r = xbtool(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "");
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
    for (const char *command : {"program", "disk", "dir", "list"}) {
        const ToolRun r = xbtool({command, "--help"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind(std::string("Usage: xbtool ") + command, 0), 0u) << r.out;
        EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(read_file(dsk), disk_before);
    EXPECT_EQ(read_text(keep), "old");
    EXPECT_EQ(read_text(dir.file("SONG")), two_lines);
    for (const char *name : {"a.dsk", "DATA", "BAD"}) EXPECT_FALSE(file_exists(dir.file(name))) << name;
}

// Runs that succeed, in order: their messages, then what they wrote.
TEST(XbtoolFiles, ProgramAndDiskWriteWhatTheySay)
{
    TempDir dir;
    const std::string txt = dir.file("my song.txt"), dsk = dir.file("songs.dsk"), big = dir.file("big.txt"),
                      near = dir.file("near.txt"), one = dir.file("one.txt"), two = dir.file("two.txt");
    for (const std::string &f : {txt, one}) write_text(f, two_lines);
    write_text(two, "10 PRINT \"TWO\"\n");
    // In a folder of its own: on Windows "Two.txt" and "two.txt" are one file.
    ASSERT_EQ(mkdir(dir.file("again").c_str(), 0755), 0);
    write_text(dir.file("again/Two.txt"), "10 PRINT \"SECOND\"\n20 GOTO 10\n");
    write_text(big, data_lines(100));
    write_text(near, data_lines(190));
    const std::pair<Words, std::string> runs[] = {
        {{"program", txt}, "xbtool program: " + dir.file("MYSONG") + ": MYSONG, PROGRAM, 2 lines, 57 bytes\n"},
        {{"program", txt, "--raw", "-o", dir.file("short.prg")}, ""},
        {{"program", txt, "--raw", "--long", "--name=TUNE", "-o", dir.file("long.prg")},
         "xbtool program: " + dir.file("long.prg") + ": TUNE, INT/VAR 254, 2 lines, 279 bytes (plain file)\n"},
        {{"program", txt, "--long", "--name", "TUNE"}, ""},
        // Larger than 11,800 bytes: long by default, a warning with --short;
        // near the top of memory, a warning above the largest file seen to load.
        {{"program", big}, "xbtool program: " + dir.file("BIG") + ": BIG, INT/VAR 254, 100 lines, 12962 bytes\n"},
        {{"program", big, "--short", "-o", dir.file("BIGS")},
         "xbtool program: " + big + ": warning: the short-format file takes 12908 bytes; above 11800 a TI loads it but does not "
         "run it (use --long)\nxbtool program: " + dir.file("BIGS") + ": BIG, PROGRAM, 100 lines, 12908 bytes\n"},
        {{"program", near}, "xbtool program: " + near + ": warning: the long-format file takes 24618 bytes; the largest seen to "
         "load took 24467 (one of 24615 failed at OLD with I/O ERROR 20)\nxbtool program: " + dir.file("NEAR") +
         ": NEAR, INT/VAR 254, 190 lines, 24618 bytes\n"},
        {{"disk", dsk, one, two}, "xbtool disk: " + dsk + ": ONE added, PROGRAM, 2 lines, 2 sectors\nxbtool disk: " +
         dsk + ": TWO added, PROGRAM, 1 line, 2 sectors\nxbtool disk: " + dsk + ": 354 of 360 sectors free\n"},
        {{"disk", dsk, dir.file("again/Two.txt"), "--disk-name", "MUSIC", "--replace"}, "xbtool disk: " + dsk +
         ": TWO replaced, PROGRAM, 2 lines, 2 sectors\nxbtool disk: " + dsk + ": 354 of 360 sectors free\n"},
        {{"disk", dir.file("ds.dsk"), one, "--format", "dsdd"}, "xbtool disk: " + dir.file("ds.dsk") +
         ": ONE added, PROGRAM, 2 lines, 2 sectors\nxbtool disk: " + dir.file("ds.dsk") + ": 1436 of 1440 sectors "
         "free\nxbtool disk: " + dir.file("ds.dsk") + ": note: a double-density image; the TI's own disk controller "
         "reads single density only (sssd, dssd) and fails on it with * I/O ERROR 20\n"},
    };
    for (const auto &run : runs) {
        const ToolRun r = xbtool(run.first);
        EXPECT_EQ(r.status, 0) << run.first[1] << r.err;
        if (!run.second.empty()) {
            EXPECT_EQ(r.err, run.second);
        }
        EXPECT_EQ(r.out, "");
    }
    const std::pair<const char *, size_t> sizes[] = {{"MYSONG", 384},    {"short.prg", 57},     {"TUNE", 128 + 3 * 256},
                                                     {"songs.dsk", 92160}, {"ds.dsk", 368640}};
    for (const auto &f : sizes) EXPECT_EQ(read_file(dir.file(f.first)).size(), f.second) << f.first;
    for (const char *f : {"MYSONG", "short.prg", "long.prg", "TUNE"})
        EXPECT_EQ(xbtool({"list", dir.file(f)}).out, two_lines) << f;
    EXPECT_EQ(xbtool({"dir", dsk}).out,
              "Disk MUSIC       SSSD, 360 sectors: 6 used, 354 free\n\n"
              "Name        Sectors  Type            Bytes\n"
              "ONE               2  PROGRAM            57\n"
              "TWO               2  PROGRAM            33\n");
    EXPECT_EQ(xbtool({"list", dsk, "TWO"}).out, "10 PRINT \"SECOND\"\n20 GOTO 10\n");
}

std::vector<XbLine> parse(const std::string &text, const std::string &what)
{
    std::vector<XbLine> lines;
    Words warnings;
    std::string error;
    EXPECT_TRUE(xb_parse_listing(text, lines, warnings, error)) << what << ": " << error;
    return lines;
}

// kelvaro's outputs of every real VGM file, fitted to 24,000 bytes: the
// image is the size the compressor counted, and listing -> program ->
// listing -> program gives the same bytes in both formats (the short format
// with as many of the song's lines as it runs with).
TEST(XbtoolFiles, RoundTripsOfKelvarosOutputsOfRealFiles)
{
    const Words files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "../shared/vgm is absent";
    TempDir dir;
    for (const std::string &vgm : files) {
        const std::string base = vgm.substr(vgm.find_last_of('/') + 1);
        const std::string copy = dir.file(base), txt = dir.file(base + ".txt");
        write_file(copy, read_file(vgm));
        const ProcessResult k = run_process(KELVARO_BIN, {copy, txt}, "", nullptr, {"VGMCOMP_OPTIONS=--fit 24000"});
        ASSERT_EQ(k.status, 0) << base << k.out << k.err;
        const std::string text = read_text(txt);
        const std::vector<XbLine> lines = parse(text, base);
        EXPECT_EQ(xb_program_size(text), xb_tables_size(lines)) << base;
        EXPECT_LE(xb_tables_size(lines), 24000u) << base;
        std::vector<XbLine> fits_short;
        for (size_t n = 0; n < lines.size() && xb_short_file_size(fits_short) <= XB_SHORT_FILE_LIMIT; n++)
            fits_short.push_back(lines[n]);
        if (xb_short_file_size(fits_short) > XB_SHORT_FILE_LIMIT) fits_short.pop_back();
        for (XbFormat format : {XbFormat::Short, XbFormat::Long}) {
            XbProgram first, second;
            std::string error, listing, listing_again;
            ASSERT_TRUE(xb_build_program(format == XbFormat::Short ? fits_short : lines, format, first, error))
                << base << ": " << error;
            ASSERT_TRUE(read_program_listing(xb_raw_file(first), "", listing, error)) << base << ": " << error;
            ASSERT_TRUE(xb_build_program(parse(listing, base), format, second, error));
            EXPECT_EQ(second.bytes, first.bytes) << base;
            ASSERT_TRUE(read_program_listing(xb_raw_file(second), "", listing_again, error));
            EXPECT_EQ(listing_again, listing) << base;
        }
    }
}

}  // namespace
