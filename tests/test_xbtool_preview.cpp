// xbtool play, compare and roll as a user runs them: exact text, exit
// status, files written whole or not at all.
#include <gtest/gtest.h>

#include <zlib.h>

#include <map>

#include "output/listing.h"
#include "preview/render.h"
#include "preview/ti_sound.h"
#include "tests/preview_support.h"
#include "tests/test_support.h"

namespace {

ProcessResult xbtool(const std::vector<std::string> &args, const std::string &cwd)
{
    return run_process(XBTOOL_BIN, args, cwd);
}

struct Songs {
    TempDir dir;
    Songs()
    {
        const std::vector<uint8_t> vgm = four_voice_vgm();
        write_file(dir.file("song.vgm"), vgm);
        write_text(dir.file("song.txt"), kelvaro_listing(vgm));
        write_text(dir.file("bad.txt"), "\nDATA 1,40,131,0,110,31,110,30\n");
        write_file(dir.file("noise.bin"), {0x01, 0x02, 0x00, 0x7F, 0x80});
        // 2,000 rows of 4,250 ms, in XB without the compiler too: 2.4 hours.
        std::string endless = "\nDATA 2000";
        for (int i = 0; i < 2000; i++) endless += "\nDATA 4250,440,0,110,30,110,30";
        write_text(dir.file("long.txt"), endless + "\n");
        write_text(dir.file("keep.vgm"), "what the user had");
    }
};

TEST(XbtoolPreview, UsageAndInputErrorsNameTheProblemAndWriteNothing)
{
    Songs s;
    const std::string more = "\nTry 'xbtool play --help' for more information.\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{"play"}, 2, "xbtool play: no INPUT given" + more},
        {{"play", "song.txt"}, 2, "xbtool play: no output file given (-o OUT.vgm or -o OUT.wav)" + more},
        {{"play", "song.txt", "-o", "x.mp3"}, 2, "xbtool play: OUT must end in .vgm or .wav: x.mp3" + more},
        {{"play", "song.txt", "-o", "x.vgm", "--seconds", "0"}, 2,
         "xbtool play: --seconds takes a number of seconds above 0 up to 7200, not '0'" + more},
        {{"play", "song.txt", "-o", "x.vgm", "--timing", "fast"}, 2,
         "xbtool play: --timing takes real or emulated, not 'fast'" + more},
        {{"play", "song.txt", "-o", "x.vgm", "--on", "ti"}, 2, "xbtool play: --on takes compiled or xb, not 'ti'" + more},
        {{"play", "missing.txt", "-o", "keep.vgm"}, 1, "xbtool play: missing.txt: cannot open: No such file or directory\n"},
        {{"play", "bad.txt", "-o", "keep.vgm"}, 1, "xbtool play: bad.txt, line 2: volume 31 is out of range (0 to 30)\n"},
        {{"play", "noise.bin", "-o", "keep.vgm"}, 1,
         "xbtool play: noise.bin: neither a listing, a program file nor a VGM file\n"},
        {{"play", "song.vgm", "SONG", "-o", "keep.vgm"}, 1,
         "xbtool play: song.vgm: a VGM file, not a disk image: it holds no program SONG\n"},
        {{"play", "keep.vgm", "-o", "keep.vgm"}, 1, "xbtool play: keep.vgm: the output would replace the input\n"},
        {{"play", "long.txt", "-o", "x.vgm", "--timing", "emulated"}, 1,
         "xbtool play: long.txt: plays for 2.4 hours, more than the two hours a preview takes\n"},
        {{"compare", "song.vgm"}, 2,
         "xbtool compare: give a VGM file and a listing\nTry 'xbtool compare --help' for more information.\n"},
        {{"compare", "song.txt", "song.vgm"}, 1,
         "xbtool compare: song.txt: not a VGM file (give the VGM first, then the listing)\n"},
        {{"compare", "song.vgm", "song.vgm"}, 1, "xbtool compare: song.vgm: a VGM file, not a listing\n"},
        {{"roll", "song.vgm", "song.txt"}, 2,
         "xbtool roll: no output file given (-o ROLL.svg)\nTry 'xbtool roll --help' for more information.\n"},
    };
    for (const Case &c : cases) {
        std::string line;
        for (const std::string &a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const ProcessResult r = xbtool(c.args, s.dir.path);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(file_exists(s.dir.file("x.vgm")));
        EXPECT_EQ(read_text(s.dir.file("keep.vgm")), "what the user had");
    }
    for (const char *command : {"play", "compare", "roll"}) {
        const ProcessResult r = xbtool({command, "--help"}, s.dir.path);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind(std::string("Usage: xbtool ") + command + " ", 0), 0u) << r.out;
    }
}

// Every file of the folder with its bytes.
std::map<std::string, std::vector<uint8_t>> folder_files(const std::string &path)
{
    std::map<std::string, std::vector<uint8_t>> files;
    for (const std::string &name : folder_entries(path)) files[name] = read_file(path + "/" + name);
    return files;
}

// The slips a user makes with an output name, and the command-line forms
// every command takes: a VGM file (plain or gzip-compressed, by content) is
// replaced only with --force, an input never; every file not written stays
// byte for byte.
TEST(XbtoolPreview, SlipsLoseNothing)
{
    Songs s;
    const std::vector<uint8_t> vgm = four_voice_vgm();
    write_file(s.dir.file("copy.vgm"), vgm);
    gzFile g = gzopen(s.dir.file("packed.vgm").c_str(), "wb9");  // gzip, whatever its name says
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(gzwrite(g, vgm.data(), static_cast<unsigned>(vgm.size())), static_cast<int>(vgm.size()));
    ASSERT_EQ(gzclose(g), Z_OK);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out, err;
        const char *writes;  // the one file the run may change, or null
    } cases[] = {
        {{"play", "song.txt", "-o", "copy.vgm"}, 1, "",
         "xbtool play: copy.vgm is a VGM file; give --force to replace it\n", nullptr},
        {{"play", "song.txt", "-o=packed.vgm"}, 1, "",
         "xbtool play: packed.vgm is a VGM file; give --force to replace it\n", nullptr},
        {{"roll", "song.vgm", "song.txt", "-o", "copy.vgm"}, 1, "",
         "xbtool roll: copy.vgm is a VGM file; give --force to replace it\n", nullptr},
        {{"roll", "song.vgm", "song.txt", "-o", "packed.vgm"}, 1, "",
         "xbtool roll: packed.vgm is a VGM file; give --force to replace it\n", nullptr},
        {{"play", "song.vgm", "-o", "song.vgm", "--force"}, 1, "",
         "xbtool play: song.vgm: the output would replace the input\n", nullptr},
        {{"roll", "song.vgm", "song.txt", "--force", "-o", "song.txt"}, 1, "",
         "xbtool roll: song.txt: the output would replace an input\n", nullptr},
        {{"roll", "song.vgm", "song.txt", "--force", "-o=song.vgm"}, 1, "",
         "xbtool roll: song.vgm: the output would replace an input\n", nullptr},
        {{"compare", "song.vgm", "song.txt", "--force"}, 2, "",
         "xbtool compare: unknown option '--force'\nTry 'xbtool compare --help' for more information.\n", nullptr},
        {{"play", "song.txt", "-o", "x.vgm", "--seconds"}, 2, "",
         "xbtool play: --seconds needs a number\nTry 'xbtool play --help' for more information.\n", nullptr},
        {{"list", "none.prg"}, 1, "", "xbtool list: cannot read none.prg: No such file or directory\n", nullptr},
        {{"--version"}, 0, "xbtool (kelvaro) 1.1\n", "", nullptr},
        // A file named .vgm that holds no VGM is the user's to replace.
        {{"play", "song.txt", "-o", "keep.vgm"}, 0, "", "xbtool play: wrote keep.vgm, 1.2 s\n", "keep.vgm"},
        {{"play", "song.txt", "-o", "copy.vgm", "--force"}, 0, "", "xbtool play: wrote copy.vgm, 1.2 s\n",
         "copy.vgm"},
        {{"play", "song.vgm", "--seconds=0.5", "-o=cut.vgm", "--on=compiled"}, 0, "",
         "xbtool play: song.vgm is a VGM file: --timing and --on apply to listings only\n"
         "xbtool play: wrote cut.vgm, 0.5 s\n",
         "cut.vgm"},
        {{"roll", "song.vgm", "song.txt", "-o=packed.vgm", "--force", "--timing=real"}, 0, "", "", "packed.vgm"},
        {{"program", "song.txt", "--name=TUNE", "-o=song.prg"}, 0, "",
         "xbtool program: song.prg: TUNE, PROGRAM, 11 lines, 1440 bytes\n", "song.prg"},
    };
    for (const Case &c : cases) {
        std::string line;
        for (const std::string &a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        std::map<std::string, std::vector<uint8_t>> before = folder_files(s.dir.path);
        const ProcessResult r = xbtool(c.args, s.dir.path);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        std::map<std::string, std::vector<uint8_t>> after = folder_files(s.dir.path);
        if (c.writes) {
            EXPECT_NE(after[c.writes], before[c.writes]);
            before.erase(c.writes);
            after.erase(c.writes);
        }
        EXPECT_TRUE(after == before);
    }
    EXPECT_EQ(read_file(s.dir.file("copy.vgm")), read_file(s.dir.file("keep.vgm")));
    EXPECT_EQ(read_text(s.dir.file("packed.vgm")).rfind("<?xml", 0), 0u);
}

TEST(XbtoolPreview, CompareTable)
{
    Songs s;
    ProcessResult r = xbtool({"compare", "song.vgm", "song.txt"}, s.dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "timing: real, the best fit; give --timing and --on to choose\n"
              "voice     sounding    pitch   octave   volume  phantom\n"
              "0               72   100.0%   100.0%   100.0%     0.0%\n"
              "1               72   100.0%   100.0%   100.0%     0.0%\n"
              "2               36   100.0%   100.0%   100.0%     0.0%\n"
              "total          180   100.0%   100.0%   100.0%     0.0%\n"
              "length: the listing plays 1.2 s and covers 1.4 s of the VGM's 1.4 s (100.0%)\n"
              "compare: pitch 100.0%, octave 100.0%, volume 100.0%, phantom 0.0%, length 1.4 s of 1.4 s\n");
    r = xbtool({"compare", "song.vgm", "song.txt", "--on", "xb"}, s.dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("length: the listing plays 10.4 s and covers 1.4 s of the VGM's 1.4 s (100.0%); it starts "
                         "sounding 0.98 s later and is moved earlier to line up\n"
                         "compare: pitch 46.7%, octave 46.7%, volume 46.7%, phantom 11.1%, length 1.4 s of 1.4 s, "
                         "9.4 s in XB\n"),
              std::string::npos)
        << r.out;
    // A listing written for the emulator reads right without options: the
    // figures of --timing emulated.
    write_text(s.dir.file("song-e.txt"), kelvaro_listing(four_voice_vgm(), OUTPUT_PROGRAM, NOISE_OFF, TIMING_EMULATED));
    r = xbtool({"compare", "song.vgm", "song-e.txt"}, s.dir.path);
    const ProcessResult given = xbtool({"compare", "song.vgm", "song-e.txt", "--timing", "emulated"}, s.dir.path);
    EXPECT_EQ(r.out, "timing: emulated, the best fit; give --timing and --on to choose\n" + given.out);
}

TEST(XbtoolPreview, PlayAndRollWriteTheirFiles)
{
    Songs s;
    auto run = [&s](const std::vector<std::string> &args, const std::string &err = "") {
        const ProcessResult r = xbtool(args, s.dir.path);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, err);
        return r.out;
    };
    auto samples = [&s](const char *name) { return vgm_header_samples(read_file(s.dir.file(name))); };
    // A listing to VGM: the model's VGM, byte for byte; a VGM to VGM: the file itself, or its first seconds.
    run({"play", "song.txt", "-o", "out.vgm"}, "xbtool play: wrote out.vgm, 1.2 s\n");
    Listing l;
    std::string error;
    ASSERT_TRUE(read_listing(read_text(s.dir.file("song.txt")), "song.txt", l, error));
    EXPECT_EQ(read_file(s.dir.file("out.vgm")), timeline_vgm(listing_timeline(l, PlayTiming()), UINT64_MAX));
    run({"play", "song.vgm", "-o", "same.vgm"}, "xbtool play: wrote same.vgm, 1.4 s\n");
    EXPECT_EQ(read_file(s.dir.file("same.vgm")), read_file(s.dir.file("song.vgm")));
    run({"play", "song.vgm", "-o", "cut.vgm", "--seconds", "0.5", "--on", "xb"},
        "xbtool play: song.vgm is a VGM file: --timing and --on apply to listings only\n"
        "xbtool play: wrote cut.vgm, 0.5 s\n");
    EXPECT_EQ(samples("cut.vgm"), 22050u);
    // Only the part asked for need fit in two hours.
    run({"play", "long.txt", "-o", "part.vgm", "--timing", "emulated", "--seconds", "60"},
        "xbtool play: wrote part.vgm, 60.0 s\n");
    EXPECT_EQ(samples("part.vgm"), 60u * 44100u);

    run({"roll", "song.vgm", "song.txt", "-o", "roll.svg"});
    const std::string svg = read_text(s.dir.file("roll.svg"));
    EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u);
    EXPECT_NE(svg.find(">song.vgm (pale) and song.txt (solid), drawn with timing real, the best fit</text>"),
              std::string::npos);

    // A program file or a program on a disk image made of the listing plays the same.
    write_text(s.dir.file("other.txt"), kelvaro_listing(four_voice_vgm(), OUTPUT_CALLSOUND));
    ASSERT_EQ(xbtool({"program", "song.txt", "-o", "song.prg"}, s.dir.path).status, 0);
    ASSERT_EQ(xbtool({"disk", "songs.dsk", "song.txt", "other.txt"}, s.dir.path).status, 0);
    run({"play", "song.prg", "-o", "prg.vgm"}, "xbtool play: wrote prg.vgm, 1.2 s\n");
    EXPECT_EQ(read_file(s.dir.file("prg.vgm")), read_file(s.dir.file("out.vgm")));
    run({"play", "songs.dsk", "SONG", "-o", "dsk.vgm"}, "xbtool play: wrote dsk.vgm, 1.2 s\n");
    EXPECT_EQ(read_file(s.dir.file("dsk.vgm")), read_file(s.dir.file("out.vgm")));
    EXPECT_NE(run({"compare", "song.vgm", "songs.dsk", "OTHER"}).find("\ncompare: pitch 100.0%, octave 100.0%, volume 100.0%"),
              std::string::npos);
    ProcessResult r = xbtool({"play", "songs.dsk", "-o", "which.vgm"}, s.dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "xbtool play: songs.dsk: a disk image with several programs (OTHER, SONG): name one\n");
    EXPECT_FALSE(file_exists(s.dir.file("which.vgm")));

    r = xbtool({"play", "song.txt", "-o", "out.wav", "--seconds", "1"}, s.dir.path);
    if (!wav_rendering_available()) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "xbtool play: this build has no WAV rendering (it was built without Game_Music_Emu): "
                         "install libgme-dev (Debian: apt-get install libgme-dev) and rebuild; .vgm works without it\n");
        EXPECT_FALSE(file_exists(s.dir.file("out.wav")));
        return;
    }
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "xbtool play: wrote out.wav, 1.0 s\n");
    // The listing lasts 1.2 s: the first second, 44,100 samples of 2 bytes.
    EXPECT_EQ(read_file(s.dir.file("out.wav")).size(), 44u + 2u * 44100u);
    run({"play", "song.vgm", "-o", "vgm.wav"}, "xbtool play: wrote vgm.wav, 1.4 s\n");
    EXPECT_EQ(read_file(s.dir.file("vgm.wav")).size(), 44u + 2u * samples("song.vgm"));
}

}  // namespace
