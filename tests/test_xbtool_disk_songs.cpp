// xbtool disk with VGM files, run as a user runs it: kelvaro converts each
// song in a private folder, the disk gets the programs and the menu LOAD,
// and a run that cannot do it all leaves the image byte-identical.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <regex>

#include "disk/program_file.h"
#include "fuzz/checks.h"
#include "tests/preview_support.h"
#include "tests/test_support.h"
#include "xb/image.h"
#include "xb/tokenize.h"
#include "xbtool/menu.h"

bool operator==(const MenuSong &a, const MenuSong &b)
{
    return a.name == b.name && a.title == b.title && a.length == b.length;
}

void PrintTo(const MenuSong &m, std::ostream *os)
{
    *os << m.name << " \"" << m.title << "\" " << m.length;
}

namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<std::string>;

// xbtool in folder cwd, kelvaro found beside it only.
ProcessResult xbtool(const Words &args, const std::string &cwd)
{
    return run_process(XBTOOL_BIN, args, cwd, "/nonexistent");
}

Bytes gzip(const Bytes &in)
{
    z_stream zs = {};
    deflateInit2(&zs, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&zs, static_cast<uLong>(in.size())) + 64);
    zs.next_in = const_cast<Bytes::value_type *>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

void put32(Bytes &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// The VGM with a GD3 tag whose English title is title.
Bytes with_title(Bytes vgm, const std::string &title)
{
    Bytes strings;
    for (int field = 0; field < 11; field++) {
        if (field == 0)
            for (char c : title) strings.insert(strings.end(), {static_cast<uint8_t>(c), 0});
        strings.insert(strings.end(), {0, 0});
    }
    const size_t at = vgm.size();
    vgm.insert(vgm.end(), {'G', 'd', '3', ' ', 0, 1, 0, 0, 0, 0, 0, 0});
    put32(vgm, at + 8, static_cast<uint32_t>(strings.size()));
    vgm.insert(vgm.end(), strings.begin(), strings.end());
    put32(vgm, 0x14, static_cast<uint32_t>(at - 0x14));
    put32(vgm, 0x04, static_cast<uint32_t>(vgm.size() - 4));
    return vgm;
}

// A tune of beats notes, one every frames_each frames, on voice 0 over a
// held note on voice 1.
Bytes tune(int beats, uint32_t frames_each)
{
    VgmWriter w;
    const uint16_t notes[] = {428, 381, 339, 320, 285, 254, 226, 214};
    vgm_tone(w, 1, 855);
    vgm_atten(w, 1, 6);
    for (int beat = 0; beat < beats; beat++) {
        vgm_tone(w, 0, notes[beat % 8]);
        vgm_atten(w, 0, static_cast<uint8_t>(beat % 3));
        vgm_wait_frames(w, frames_each);
    }
    for (int v = 0; v < 4; v++) vgm_atten(w, v, 15);
    vgm_wait_frames(w, 30);
    return vgm_finish(w);
}

// What a folder holds: names and bytes.
std::vector<std::pair<std::string, Bytes>> snapshot(const std::string &folder)
{
    std::vector<std::pair<std::string, Bytes>> files;
    for (const std::string &name : folder_entries(folder)) files.emplace_back(name, read_file(folder + "/" + name));
    return files;
}

// The program NAME of a disk image and its size in XB's memory.
size_t program_bytes(const Bytes &image, const std::string &name)
{
    XbProgram program;
    std::vector<XbLine> lines;
    std::string error;
    EXPECT_TRUE(read_program(image, name, program, error) && xb_read_program(program, lines, error)) << error;
    return xb_tables_size(lines);
}

// The length of a rendered VGM file in seconds.
double vgm_seconds(const Bytes &vgm)
{
    return vgm.size() < 0x1C ? 0 : (vgm[0x18] | vgm[0x19] << 8 | vgm[0x1A] << 16 | uint32_t(vgm[0x1B]) << 24) / 44100.0;
}

struct Song {
    std::string name;
    double kept;  // the "S s" of the report
};

// The songs a successful run reports, in order.
std::vector<Song> reported(const std::string &err)
{
    std::vector<Song> songs;
    const std::regex line(R"(xbtool disk: [^:]+: (\S+) from [^:]+: [^\n]*, ([0-9,]+) bytes, ([0-9.]+) s of ([0-9.]+) s\n)");
    for (std::sregex_iterator m(err.begin(), err.end(), line), end; m != end; ++m) {
        std::string bytes = (*m)[2];
        bytes.erase(std::remove(bytes.begin(), bytes.end(), ','), bytes.end());
        EXPECT_LE(std::stoul(bytes), 24000u) << (*m)[0];
        songs.push_back(Song{(*m)[1], std::stod((*m)[3])});
    }
    return songs;
}

// The menu's songs: name, title, length.
std::vector<MenuSong> menu_songs(const Bytes &image)
{
    XbProgram program;
    std::vector<XbLine> lines;
    std::vector<MenuSong> songs;
    std::string error;
    EXPECT_TRUE(read_program(image, MENU_NAME, program, error) && xb_read_program(program, lines, error) &&
                menu_read(lines, songs))
        << error;
    return songs;
}

// Three songs from a folder that stays as it was onto a new SSSD image:
// each program lists, plays through the XB model within 2% of the song time
// it keeps, takes at most 24,000 bytes; the menu lists the three; the disk
// passes its catalog check.
void three_songs_onto_a_new_disk(const std::string &songs_folder, const TempDir &work)
{
    const auto before = snapshot(songs_folder);
    Words args = {"disk", "songs.dsk"};
    for (const auto &f : before) args.push_back(songs_folder + "/" + f.first);
    const ProcessResult r = xbtool(args, work.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(snapshot(songs_folder), before);
    const std::vector<Song> songs = reported(r.err);
    ASSERT_EQ(songs.size(), 3u) << r.err;
    const Bytes image = read_file(work.file("songs.dsk"));
    EXPECT_EQ(image.size(), 92160u);
    EXPECT_EQ(fuzzcheck::disk_consistent(image), "");
    const std::string menu = xbtool({"list", "songs.dsk", "LOAD"}, work.path).out;
    const std::vector<MenuSong> entries = menu_songs(image);
    ASSERT_EQ(entries.size(), 3u);
    for (const Song &s : songs) {
        SCOPED_TRACE(s.name);
        EXPECT_LE(program_bytes(image, s.name), 24000u);
        const ProcessResult listed = xbtool({"list", "songs.dsk", s.name}, work.path);
        EXPECT_EQ(listed.status, 0) << listed.err;
        EXPECT_NE(listed.out.find("RUN \"DSK1.LOAD\"\n"), std::string::npos);
        EXPECT_NE(menu.find("RUN \"DSK1." + s.name + "\"\n"), std::string::npos) << menu;
        EXPECT_EQ(std::count_if(entries.begin(), entries.end(), [&](const MenuSong &m) { return m.name == s.name; }), 1);
        const ProcessResult played =
            xbtool({"play", "songs.dsk", s.name, "--on", "xb", "-o", s.name + ".vgm"}, work.path);
        ASSERT_EQ(played.status, 0) << played.err;
        EXPECT_NEAR(vgm_seconds(read_file(work.file(s.name + ".vgm"))), s.kept, s.kept * 0.02);
    }
}

}  // namespace

TEST(XbtoolDiskSongs, RealSongsFromAReadOnlyFolder)
{
    const std::string shared = shared_vgm_dir();
    if (shared.empty()) GTEST_SKIP() << "no real VGM files";
    TempDir songs, work;
    for (const char *name : {"axelf-gzipped.vgz", "magic-beans.vgm", "tale7.vgm"}) {
        if (!file_exists(shared + "/" + name)) GTEST_SKIP() << "no " << name;
        write_file(songs.file(name), read_file(shared + "/" + name));
    }
    chmod(songs.path.c_str(), 0555);
    three_songs_onto_a_new_disk(songs.path, work);
    chmod(songs.path.c_str(), 0755);
}

TEST(XbtoolDiskSongs, GeneratedSongsFromAReadOnlyFolder)
{
    TempDir songs, work;
    write_file(songs.file("march.vgm"), with_title(tune(120, 30), "A \"Quoted\" March For The Menu Screen"));
    write_file(songs.file("waltz.vgz"), gzip(tune(90, 40)));
    write_file(songs.file("etude.vgm"), tune(200, 20));
    chmod(songs.path.c_str(), 0555);
    three_songs_onto_a_new_disk(songs.path, work);
    chmod(songs.path.c_str(), 0755);
    const std::vector<MenuSong> expected = {
        {"ETUDE", "ETUDE", "1:07"}, {"MARCH", "A \"Quoted\" March For", "1:00"}, {"WALTZ", "WALTZ", "1:00"}};
    EXPECT_EQ(menu_songs(read_file(work.file("songs.dsk"))), expected);

    // A song added later: the menu is written anew, the titles kept.
    write_file(work.file("coda.vgm"), with_title(tune(12, 20), "Coda"));
    const ProcessResult added = xbtool({"disk", "songs.dsk", "coda.vgm", "--name", "FINE"}, work.path);
    EXPECT_EQ(added.status, 0) << added.err;
    std::vector<MenuSong> now = expected;
    now.insert(now.begin() + 1, {"FINE", "Coda", "0:04"});
    EXPECT_EQ(menu_songs(read_file(work.file("songs.dsk"))), now);
}

// Each run that cannot do all it is asked leaves the image byte-identical
// (and makes no new one), with its message; then the run that may.
TEST(XbtoolDiskSongs, FailuresLeaveTheImageAsItWas)
{
    TempDir dir;
    write_file(dir.file("song.vgm"), tune(40, 20));
    write_file(dir.file("other.vgm"), tune(30, 25));
    Bytes no_chip = tune(10, 20);
    put32(no_chip, 0x0C, 0);
    write_file(dir.file("bad.vgm"), no_chip);
    write_text(dir.file("song.txt"), "100 CALL SOUND(500,440,0)\n110 DATA 1,2,3\n");
    write_text(dir.file("load.txt"), "10 PRINT \"MY OWN LOAD\"\n");
    std::string lines;
    for (int k = 1; k <= 180; k++) lines += std::to_string(k) + " DATA " + std::string(120, '7') + "\n";
    for (const char *name : {"big1.txt", "big2.txt", "big3.txt"}) write_text(dir.file(name), lines);
    write_text(dir.file("big4.txt"), lines.substr(0, lines.size() * 3 / 4));
    ASSERT_EQ(xbtool({"disk", "clash.dsk", "song.txt"}, dir.path).status, 0);
    ASSERT_EQ(xbtool({"disk", "foreign.dsk", "load.txt"}, dir.path).status, 0);
    ASSERT_EQ(xbtool({"disk", "full.dsk", "big1.txt", "big2.txt", "big3.txt", "big4.txt"}, dir.path).status, 0);
    const std::string vgmcomp_says = "  ERROR: Can't open INPUT file.\n"
                                     "  The song file is written by vgmcomp.x from the VGM input: see its messages above.\n";
    struct Case {
        Words args;
        std::string err;
    } cases[] = {
        {{"disk", "clash.dsk", "song.vgm"},
         "xbtool disk: clash.dsk: already holds SONG (PROGRAM, 57 bytes); give --replace to replace it with "
         "song.vgm, or choose another name: --name NAME (with one input) or rename song.vgm\n"},
        {{"disk", "foreign.dsk", "other.vgm"},
         "xbtool disk: foreign.dsk: holds a LOAD that xbtool did not write (Extended BASIC runs it when it starts); "
         "give --replace to replace it with the menu of songs, or --no-menu\n"},
        {{"disk", "clash.dsk", "other.vgm", "--name", "LOAD"},
         "xbtool disk: other.vgm: makes the program LOAD, the name of the disk's menu; choose another name with "
         "--name, or give --no-menu\n"},
        {{"disk", "full.dsk", "song.vgm", "other.vgm"},
         "xbtool disk: full.dsk: not changed; the files do not fit: SONG 8 sectors, OTHER 7, LOAD (the menu) 4, "
         "19 in all, and 5 are free; give --format dssd for a new image of 720 sectors (seven songs of 24,000 "
         "bytes and the menu), or put some songs on a second image\n"},
        {{"disk", "clash.dsk", "other.vgm", "bad.vgm"},
         "xbtool disk: bad.vgm: kelvaro could not convert it:\n"
         "  vgmcomp.x: bad.vgm: no SN76489 in this VGM file (its clock is 0)\n" + vgmcomp_says +
             "xbtool disk: clash.dsk: not changed; 1 of 2 songs could not be converted: bad.vgm\n"},
        {{"disk", "new.dsk", "bad.vgm"},
         "xbtool disk: bad.vgm: kelvaro could not convert it:\n"
         "  vgmcomp.x: bad.vgm: no SN76489 in this VGM file (its clock is 0)\n" + vgmcomp_says +
             "xbtool disk: new.dsk: not changed; 1 of 1 song could not be converted: bad.vgm\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args[2]);
        const bool existed = file_exists(dir.file(c.args[1]));
        const Bytes before = existed ? read_file(dir.file(c.args[1])) : Bytes();
        const ProcessResult r = xbtool(c.args, dir.path);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(file_exists(dir.file(c.args[1])), existed);
        if (existed) {
            EXPECT_EQ(read_file(dir.file(c.args[1])), before);
        }
    }
    EXPECT_EQ(folder_entries(dir.path),
              Words({"bad.vgm", "big1.txt", "big2.txt", "big3.txt", "big4.txt", "clash.dsk", "foreign.dsk",
                     "full.dsk", "load.txt", "other.vgm", "song.txt", "song.vgm"}));

    // Without kelvaro nothing converts.
    TempDir alone;
    write_file(alone.file("xbtool"), read_file(XBTOOL_BIN));
    chmod(alone.file("xbtool").c_str(), 0755);
    const Bytes clash = read_file(dir.file("clash.dsk"));
    const ProcessResult lost =
        run_process(alone.file("xbtool"), {"disk", "clash.dsk", "other.vgm"}, dir.path, "/nonexistent");
    EXPECT_EQ(lost.status, 1);
    EXPECT_EQ(lost.err, "xbtool disk: no kelvaro on PATH or beside xbtool: it converts the VGM files\n");
    EXPECT_EQ(read_file(dir.file("clash.dsk")), clash);

    // What the messages offer: --replace, --no-menu.
    const ProcessResult replaced = xbtool({"disk", "clash.dsk", "song.vgm", "--replace"}, dir.path);
    EXPECT_EQ(replaced.status, 0);
    EXPECT_EQ(replaced.err, "xbtool disk: clash.dsk: SONG replaced from song.vgm: PROGRAM, for XB without the compiler, "
                            "1,680 bytes, 13.4 s of 13.8 s\n"
                            "xbtool disk: clash.dsk: LOAD, the menu of 1 song that Extended BASIC runs from drive 1\n"
                            "xbtool disk: clash.dsk: 347 of 360 sectors free\n");
    const ProcessResult no_menu = xbtool({"disk", "foreign.dsk", "other.vgm", "--no-menu"}, dir.path);
    EXPECT_EQ(no_menu.status, 0);
    EXPECT_EQ(no_menu.err, "xbtool disk: foreign.dsk: OTHER from other.vgm: PROGRAM, for XB without the compiler, "
                           "1,270 bytes, 12.5 s of 13.0 s\nxbtool disk: foreign.dsk: 350 of 360 sectors free\n");
    EXPECT_EQ(xbtool({"list", "foreign.dsk", "LOAD"}, dir.path).out, "10 PRINT \"MY OWN LOAD\"\n");
    EXPECT_EQ(xbtool({"list", "foreign.dsk", "OTHER"}, dir.path).out.find("LOAD"), std::string::npos);
}
