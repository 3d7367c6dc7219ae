// The kelvaro program run as a process: banner and usage, options, the
// compressor run (found on PATH or beside kelvaro, started without a shell),
// loading the song file, the console text and the output file of every
// mode, and every error that ends a run.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <thread>

#include "convert/song.h"
#include "tests/song_builder.h"
#include "tests/test_support.h"

namespace {

const std::string player_line =
    "1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3::call sound(d,s1,v1,s2,v2,s3,v3)::next c";
const std::string player_line_noise =
    "1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3,s4,v4::call sound(d,s1,v1,s2,v2,s3,v3,-s4,v4)::next c";
const std::string argument_error = "\nERROR with supplied arguments.\n";

void make_dir(const std::string &path)
{
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path;
}

void write_script(const std::string &path, const std::string &body)
{
    write_text(path, "#!/bin/sh\n" + body);
    ASSERT_EQ(chmod(path.c_str(), 0755), 0);
}

std::string replace_all(std::string s, const std::string &from, const std::string &to)
{
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

// The console text of a successful run.
std::string success_text(const std::string &input, const std::string &output, const std::string &mode,
                         const std::string &noise, const std::string &timing, int rows)
{
    return kelvaro_usage + "\nOpening INPUT file: " + input + ".spf\n" +
           "\nConverting using the following options:\n  Output: " + mode + "\n  Noise:" + noise +
           "\n  Timing:" + timing + "\n" + "\nTotal rows: " + std::to_string(rows) + "\n" +
           "\nOpening OUTPUT file: " + output + "\n" + "\nDone.\n";
}

// The console text up to the options summary.
std::string loaded_text(const std::string &input, const std::string &mode = "PROGRAM",
                        const std::string &noise = "OFF", const std::string &timing = "REAL")
{
    return kelvaro_usage + "\nOpening INPUT file: " + input + ".spf\n" +
           "\nConverting using the following options:\n  Output: " + mode + "\n  Noise:" + noise +
           "\n  Timing:" + timing + "\n";
}

const std::string example_program =
    player_line + "\n1001 DATA 3,40,110,30,110,30,110,30,60,262,0,110,30,110,30,40,330,0,110,30,110,30\n";

// A work folder with a stand-in compressor on PATH that records its
// arguments (their count, then one per line) and does nothing else.
class Driver : public ::testing::Test {
protected:
    TempDir dir;
    std::string bin, record, path_env;

    void SetUp() override
    {
        bin = dir.file("bin");
        record = dir.file("args");
        make_dir(bin);
        path_env = bin + ":/usr/bin:/bin";
        standin("printf '%s\\n' \"$#\" > '" + record + "'\n"
                "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + record + "'; done\n");
    }

    void standin(const std::string &body) { write_script(bin + "/vgmcomp.x", body); }

    // Runs kelvaro in the work folder with the stand-in on PATH.
    ProcessResult run(const std::vector<std::string> &args)
    {
        return run_process(KELVARO_BIN, args, dir.path, path_env.c_str());
    }

    // A song file beside input (a path relative to the work folder).
    void place_song(const std::string &input, const std::vector<uint8_t> &song = example_song)
    {
        write_file(dir.file(input + ".spf"), song);
    }

    std::string recorded() { return file_exists(record) ? read_text(record) : "(not run)"; }

    // kelvaro copied into a folder of its own, so that nothing lies beside it.
    std::string copy_kelvaro(const std::string &folder)
    {
        make_dir(folder);
        std::string copy = folder + "/kelvaro";
        write_file(copy, read_file(KELVARO_BIN));
        chmod(copy.c_str(), 0755);
        return copy;
    }
};

}  // namespace

TEST_F(Driver, NoArgumentsPrintsOnlyTheUsage)
{
    ProcessResult r = run({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kelvaro_usage);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(recorded(), "(not run)");
}

TEST_F(Driver, UnknownOptionsStopBeforeAnythingRuns)
{
    place_song("song.vgm");
    const std::vector<std::vector<std::string>> cases = {
        {"-z"}, {"-D"}, {"-P"}, {"-X"}, {"-N"}, {"-E"}, {"-R"}, {"-"}, {"--"}, {"-d", "-e", "-q"}, {"-n", "-1"},
    };
    for (const auto &options : cases) {
        std::vector<std::string> args = {"song.vgm", "out.txt"};
        args.insert(args.end(), options.begin(), options.end());
        SCOPED_TRACE(options.back());
        ProcessResult r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, kelvaro_usage + argument_error + "Not understood: " + options.back() +
                             " (usage: kelvaro INPUT OUTPUT [options])\n");
        EXPECT_EQ(recorded(), "(not run)");
        EXPECT_FALSE(file_exists(dir.file("out.txt")));
    }
}

TEST_F(Driver, SummaryOfDataEmulatedNoise)
{
    place_song("song.vgm");
    ProcessResult r = run({"song.vgm", "out.txt", "-d", "-e", "-n"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, success_text("song.vgm", "out.txt", "DATA", "ON", "EMULATED", 3));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_text(dir.file("out.txt")),
              "\nDATA 3,33,110,30,110,30,110,30,1,30,50,262,0,110,30,110,30,1,30,33,330,0,110,30,110,30\nDATA 1,30\n");
    EXPECT_TRUE(file_exists(dir.file("song.vgm.spf")));  // the song file stays
}

TEST_F(Driver, OptionsActOnTheirSecondCharacterAndLaterOnesWin)
{
    place_song("song.vgm");
    struct Case {
        std::vector<std::string> options;
        const char *mode, *noise, *timing;
    };
    const Case cases[] = {
        {{"-dx"}, "DATA", "OFF", "REAL"},
        {{"-nope"}, "PROGRAM", "ON", "REAL"},
        {{"-d", "-p"}, "PROGRAM", "OFF", "REAL"},
        {{"-x", "-d"}, "DATA", "OFF", "REAL"},
        {{"-e", "-r"}, "PROGRAM", "OFF", "REAL"},
        {{"-r", "-e", "-p"}, "PROGRAM", "OFF", "EMULATED"},
        {{"-n", "-n"}, "PROGRAM", "ON", "REAL"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options.front());
        std::vector<std::string> args = {"song.vgm", "out.txt"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ProcessResult r = run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, success_text("song.vgm", "out.txt", c.mode, c.noise, c.timing, 3));
    }
}

TEST_F(Driver, ScanStopsAtTheFirstNonOption)
{
    place_song("song.vgm");
    ProcessResult r = run({"song.vgm", "out.txt", "extra", "-n"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, success_text("song.vgm", "out.txt", "PROGRAM", "OFF", "REAL", 3));
    EXPECT_EQ(read_text(dir.file("out.txt")), example_program);

    r = run({"song.vgm", "out.txt", "-d", "extra", "-z"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, success_text("song.vgm", "out.txt", "DATA", "OFF", "REAL", 3));
}

TEST_F(Driver, CallSoundOptionAlone)
{
    // The summary knows only DATA and PROGRAM; the rows use the CALL SOUND
    // durations.
    place_song("song.vgm");
    ProcessResult r = run({"song.vgm", "out.txt", "-x"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, success_text("song.vgm", "out.txt", "PROGRAM", "OFF", "REAL", 3));
    EXPECT_EQ(read_text(dir.file("out.txt")),
              "\n1000 CALL SOUND(30,110,30,110,30,110,30)"
              "\n1001 CALL SOUND(45,262,0,110,30,110,30)"
              "\n1002 CALL SOUND(30,330,0,110,30,110,30)\n");
}

TEST_F(Driver, ExampleSongInEveryModeAndTiming)
{
    place_song("song.vgm");
    struct Mode {
        const char *option, *summary;
        std::string plain, noise;  // {A}, {B}, {C}: the three rows' durations
    };
    const Mode modes[] = {
        {"-p", "PROGRAM",
         player_line + "\n1001 DATA 3,{A},110,30,110,30,110,30,{B},262,0,110,30,110,30,{C},330,0,110,30,110,30\n",
         player_line_noise + "\n1001 DATA 3,{A},110,30,110,30,110,30,1,30,{B},262,0,110,30,110,30,1,30,"
                             "{C},330,0,110,30,110,30\n1002 DATA 1,30\n"},
        {"-d", "DATA", "\nDATA 3,{A},110,30,110,30,110,30,{B},262,0,110,30,110,30,{C},330,0,110,30,110,30\n",
         "\nDATA 3,{A},110,30,110,30,110,30,1,30,{B},262,0,110,30,110,30,1,30,{C},330,0,110,30,110,30\n"
         "DATA 1,30\n"},
        {"-x", "PROGRAM",
         "\n1000 CALL SOUND({A},110,30,110,30,110,30)\n1001 CALL SOUND({B},262,0,110,30,110,30)"
         "\n1002 CALL SOUND({C},330,0,110,30,110,30)\n",
         "\n1000 CALL SOUND({A},110,30,110,30,110,30,-1,30)\n1001 CALL SOUND({B},262,0,110,30,110,30,-1,30)"
         "\n1002 CALL SOUND({C},330,0,110,30,110,30,-1,30)\n"},
    };
    for (const Mode &m : modes) {
        for (bool emulated : {false, true}) {
            for (bool noise : {false, true}) {
                SCOPED_TRACE(std::string(m.option) + (emulated ? " -e" : " -r") + (noise ? " -n" : ""));
                std::vector<std::string> args = {"song.vgm", "out.txt", m.option, emulated ? "-e" : "-r"};
                if (noise) args.push_back("-n");
                ProcessResult r = run(args);
                EXPECT_EQ(r.status, 0);
                EXPECT_EQ(r.out, success_text("song.vgm", "out.txt", m.summary, noise ? "ON" : "OFF",
                                              emulated ? "EMULATED" : "REAL", 3));
                EXPECT_EQ(r.err, "");
                // Rows of 2, 3 and 2 frames.
                const bool callsound = std::string(m.option) == "-x";
                const std::string two = callsound ? "30" : emulated ? "33" : "40";
                const std::string three = callsound ? "45" : emulated ? "50" : "60";
                std::string want = noise ? m.noise : m.plain;
                want = replace_all(replace_all(replace_all(want, "{A}", two), "{B}", three), "{C}", two);
                EXPECT_EQ(read_text(dir.file("out.txt")), want);
            }
        }
    }
}

TEST_F(Driver, OutputFileIsTruncated)
{
    place_song("song.vgm");
    write_text(dir.file("out.txt"), std::string(5000, 'x'));
    ProcessResult r = run({"song.vgm", "out.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_text(dir.file("out.txt")), example_program);
}

TEST_F(Driver, CompressorGetsThePathAsItsOnlyArgument)
{
    make_dir(dir.file("dir"));
    make_dir(dir.file("my folder"));
    const std::string inputs[] = {
        "song.vgm",
        "dir/song.vgm",
        "my song.vgm",
        "my folder/a  b .vgm",
        "a;touch pwned",
        "$(touch pwned)",
        "`touch pwned`",
        "x|touch pwned",
        "x && touch pwned #",
        "it's \"quoted\" \\ *.vgm",
        "-d.vgm",
        dir.file("absolute.vgm"),
    };
    for (const std::string &input : inputs) {
        SCOPED_TRACE(input);
        unlink(record.c_str());
        // An absolute input stays as it is; relative ones sit in the work folder.
        const std::string song_file = input[0] == '/' ? input + ".spf" : dir.file(input + ".spf");
        write_file(song_file, example_song);
        ProcessResult r = run({input, "out.txt"});
        EXPECT_EQ(r.status, 0);
        // A path that starts with "-" is not taken for an option.
        EXPECT_EQ(recorded(), "1\n" + std::string(input[0] == '-' ? "./" : "") + input + "\n");
        EXPECT_EQ(r.out, success_text(input, "out.txt", "PROGRAM", "OFF", "REAL", 3));
        EXPECT_EQ(read_text(dir.file("out.txt")), example_program);
        EXPECT_FALSE(file_exists(dir.file("pwned")));
        EXPECT_FALSE(file_exists(bin + "/pwned"));
    }
}

TEST_F(Driver, SongFileWrittenByTheCompressorIsLoaded)
{
    // The stand-in writes the song file beside the input it is given.
    write_file(dir.file("fixture.spf"), example_song);
    standin("/bin/cp '" + dir.file("fixture.spf") + "' \"$1.spf\"\n");
    make_dir(dir.file("new songs"));
    ProcessResult r = run({"new songs/tune one.vgm", "out.txt", "-d"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, success_text("new songs/tune one.vgm", "out.txt", "DATA", "OFF", "REAL", 3));
    EXPECT_EQ(read_text(dir.file("out.txt")),
              "\nDATA 3,40,110,30,110,30,110,30,60,262,0,110,30,110,30,40,330,0,110,30,110,30\n");
}

TEST_F(Driver, CompressorOutputComesAfterTheUsage)
{
    // Standard output is flushed before the compressor starts, so that its
    // lines fall in place when both go to one file.
    place_song("song.vgm");
    standin("echo 'compressing'\n");
    ProcessResult r = run({"song.vgm", "out.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, kelvaro_usage.size() + 12), kelvaro_usage + "compressing\n");
}

TEST_F(Driver, FailingCompressorWithASongFileInPlace)
{
    // A song file the failing compressor did not rewrite is converted with a warning; one it rewrote, without.
    write_file(dir.file("fixture.spf"), example_song);
    const std::string warning = "\nWARNING: vgmcomp.x failed; the song file was left by an earlier run and may "
                                "not match the INPUT file.\n";
    const std::string success = success_text("song.vgm", "out.txt", "PROGRAM", "OFF", "REAL", 3);
    struct { const char *what; std::string script; bool warned; } cases[] = {
        {"fails", "echo 'vgmcomp.x: broken' >&2\nexit 3\n", true}, {"killed", "kill -9 $$\n", true},
        {"fails after rewriting",
         "/bin/cp '" + dir.file("fixture.spf") + "' \"$1.new\" && /bin/mv \"$1.new\" \"$1.spf\"\nexit 1\n", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        place_song("song.vgm");
        standin(c.script);
        ProcessResult r = run({"song.vgm", "out.txt"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.warned ? kelvaro_usage + warning + success.substr(kelvaro_usage.size()) : success);
        EXPECT_EQ(read_text(dir.file("out.txt")), example_program);
    }
    // Without a song file the failure keeps its error.
    unlink(dir.file("song.vgm.spf").c_str());
    standin("exit 3\n");
    ProcessResult r = run({"song.vgm", "out.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kelvaro_usage + "\nOpening INPUT file: song.vgm.spf\n\nERROR: Can't open INPUT file.\n"
                                     "The song file is written by vgmcomp.x from the VGM input: see its messages "
                                     "above.\n");
}

TEST_F(Driver, CompressorThatIsNotAProgram)
{
    // An executable file that cannot be started is the same as a failing
    // compressor: the song file in place is used.
    place_song("song.vgm");
    write_text(bin + "/vgmcomp.x", "not a program\n");
    chmod((bin + "/vgmcomp.x").c_str(), 0755);
    ProcessResult r = run({"song.vgm", "out.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_text(dir.file("out.txt")), example_program);

    // Without a song file in place the message says it could not be started.
    r = run({"other.vgm", "out2.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kelvaro_usage + "\nOpening INPUT file: other.vgm.spf\n\nERROR: Can't open INPUT file.\n"
                                     "The song file is written by vgmcomp.x from the VGM input, and " +
                         bin + "/vgmcomp.x could not be started.\n");
}

TEST_F(Driver, AbsentCompressor)
{
    // Neither PATH nor kelvaro's own folder holds a vgmcomp.x.
    std::string kelvaro = copy_kelvaro(dir.file("solo"));
    make_dir(dir.file("empty"));
    place_song("song.vgm");
    ProcessResult r = run_process(kelvaro, {"song.vgm", "out.txt"}, dir.path, dir.file("empty").c_str());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, success_text("song.vgm", "out.txt", "PROGRAM", "OFF", "REAL", 3));
    EXPECT_EQ(read_text(dir.file("out.txt")), example_program);

    r = run_process(kelvaro, {"other.vgm", "out2.txt"}, dir.path, dir.file("empty").c_str());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kelvaro_usage + "\nOpening INPUT file: other.vgm.spf\n\nERROR: Can't open INPUT file.\n"
                                     "The song file is written by vgmcomp.x from the VGM input, and no vgmcomp.x "
                                     "was found on PATH or beside kelvaro.\n");
    EXPECT_FALSE(file_exists(dir.file("out2.txt")));
}

TEST_F(Driver, CompressorBesideKelvaro)
{
    std::string kelvaro = copy_kelvaro(dir.file("install"));
    std::string beside_record = dir.file("beside-args");
    write_script(dir.file("install/vgmcomp.x"), "printf '%s\\n' \"$@\" > '" + beside_record + "'\n");
    make_dir(dir.file("empty"));
    place_song("song.vgm");
    ProcessResult r = run_process(kelvaro, {"song.vgm", "out.txt"}, dir.path, dir.file("empty").c_str());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_text(beside_record), "song.vgm\n");

    // One on PATH comes first.
    unlink(beside_record.c_str());
    r = run_process(kelvaro, {"song.vgm", "out.txt"}, dir.path, path_env.c_str());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(recorded(), "1\nsong.vgm\n");
    EXPECT_FALSE(file_exists(beside_record));
}

TEST_F(Driver, MissingSongFile)
{
    ProcessResult r = run({"song.vgm", "out.txt", "-d"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kelvaro_usage + "\nOpening INPUT file: song.vgm.spf\n\nERROR: Can't open INPUT file.\n"
                                     "The song file is written by vgmcomp.x from the VGM input: see its messages "
                                     "above.\n");
    EXPECT_EQ(recorded(), "1\nsong.vgm\n");
    EXPECT_FALSE(file_exists(dir.file("out.txt")));
}

TEST_F(Driver, SongFileShorterThanItsHeader)
{
    const std::string error = kelvaro_usage + "\nOpening INPUT file: song.vgm.spf\n\nERROR: Can't open INPUT file.\n";
    for (size_t n = 0; n < 4; n++) {
        SCOPED_TRACE(n);
        place_song("song.vgm", std::vector<uint8_t>(example_song.begin(), example_song.begin() + static_cast<std::ptrdiff_t>(n)));
        ProcessResult r = run({"song.vgm", "out.txt"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.substr(0, error.size()), error);
        EXPECT_EQ(std::count(r.out.begin() + static_cast<std::ptrdiff_t>(error.size()), r.out.end(), '\n'), 1);
        EXPECT_FALSE(file_exists(dir.file("out.txt")));
    }
    // The header alone is a song without voices: no rows.
    place_song("song.vgm", {0x00, 0x04, 0x00, 0x04});
    ProcessResult r = run({"song.vgm", "out.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, success_text("song.vgm", "out.txt", "PROGRAM", "OFF", "REAL", 0));
    EXPECT_EQ(read_text(dir.file("out.txt")), player_line + "\n1001 DATA 0\n");
}

TEST_F(Driver, SongFileThatIsAFolder)
{
    make_dir(dir.file("song.vgm.spf"));
    ProcessResult r = run({"song.vgm", "out.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\nERROR: Can't open INPUT file.\n"), std::string::npos);
    EXPECT_FALSE(file_exists(dir.file("out.txt")));
}

TEST_F(Driver, OutputPathThatCannotBeCreated)
{
    place_song("song.vgm");
    ProcessResult r = run({"song.vgm", "no such folder/out.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, loaded_text("song.vgm") +
                         "\nTotal rows: 3\n\nOpening OUTPUT file: no such folder/out.txt\n\n"
                         "ERROR: Can't open OUTPUT file.\nNo such file or directory\n");
}

TEST_F(Driver, OutputThatCannotBeWritten)
{
    if (!file_exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    place_song("song.vgm");
    ProcessResult r = run({"song.vgm", "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, loaded_text("song.vgm") +
                         "\nTotal rows: 3\n\nOpening OUTPUT file: /dev/full\n\nERROR: Can't write OUTPUT file.\n");
}

TEST_F(Driver, OnlyAnInputPath)
{
    place_song("song.vgm");
    ProcessResult r = run({"song.vgm"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, loaded_text("song.vgm") + "\nTotal rows: 3\n\nERROR: No OUTPUT file given.\n");
    EXPECT_EQ(recorded(), "1\nsong.vgm\n");
}

TEST_F(Driver, LongInputPath)
{
    // A path of over 500 characters, in folders of 200-character names.
    std::string rel;
    for (int i = 0; i < 3; i++) {
        rel += (i ? "/" : "") + std::string(200, static_cast<char>('a' + i));
        make_dir(dir.file(rel));
    }
    const std::string input = rel + "/" + std::string(240, 'z') + ".vgm";
    ASSERT_GT(input.size(), 500u);
    place_song(input);
    ProcessResult r = run({input, "out.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, success_text(input, "out.txt", "PROGRAM", "OFF", "REAL", 3));
    EXPECT_EQ(recorded(), "1\n" + input + "\n");
    EXPECT_EQ(read_text(dir.file("out.txt")), example_program);
}

TEST_F(Driver, LongSongConvertsCompletely)
{
    // 16384 rows: over 370,000 characters of rows, 114,689 integers.
    place_song("long.vgm", songtest::alternating_song(16384));
    ProcessResult r = run({"long.vgm", "out.txt", "-d"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, success_text("long.vgm", "out.txt", "DATA", "OFF", "REAL", 16384));
    const std::string text = read_text(dir.file("out.txt"));
    const size_t entries = 1 + 7 * 16384;
    EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')), (entries + 25) / 26 + 1);
    EXPECT_EQ(text.substr(0, 40), "\nDATA 16384,40,262,0,110,30,110,30,20,33");
    // 114,689 = 4411 * 26 + 3: the last line holds the last row's last three.
    EXPECT_EQ(text.substr(text.size() - 16), "\nDATA 30,110,30\n");
}

TEST_F(Driver, SongPastTheFrameLimit)
{
    // Time codes waiting 63 frames each, more than 16,777,216 frames in all.
    songtest::Song s;
    s.set(songtest::time_stream(0), songtest::cat({songtest::repeat(0x3F, 266306), {0x00}}));
    place_song("endless.vgm", songtest::build(s, {}));
    ProcessResult r = run({"endless.vgm", "out.txt"});
    EXPECT_EQ(r.status, 1);
    const std::string before = loaded_text("endless.vgm");
    ASSERT_EQ(r.out.substr(0, before.size()), before);
    const std::string rest = r.out.substr(before.size());
    EXPECT_EQ(rest.compare(0, 8, "\nERROR: "), 0) << rest;
    EXPECT_NE(rest.find("16777216"), std::string::npos) << rest;
    EXPECT_EQ(std::count(rest.begin(), rest.end(), '\n'), 2) << rest;
    EXPECT_FALSE(file_exists(dir.file("out.txt")));
}

TEST_F(Driver, OutputOntoTheInputOrTheSongFile)
{
    // Refused where the output would be opened; nothing is written or removed.
    write_text(dir.file("song.vgm"), "the VGM\n");
    place_song("song.vgm");
    place_song("new.vgm");  // a song file whose input is not there
    ASSERT_EQ(symlink("song.vgm.spf", dir.file("link.txt").c_str()), 0);
    const std::string is_input = "The OUTPUT file is the INPUT file.\n";
    const std::string is_song = "The OUTPUT file is the song file.\n";
    const std::vector<std::vector<std::string>> cases = {
        {"song.vgm", dir.file("song.vgm"), is_input}, {"new.vgm", "new.vgm", is_input},
        {"song.vgm", "link.txt", is_song}, {"new.vgm", "./new.vgm.spf", is_song},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c[1]);
        ProcessResult r = run({c[0], c[1], "-d"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, loaded_text(c[0], "DATA") + "\nTotal rows: 3\n\nOpening OUTPUT file: " + c[1] +
                             "\n\nERROR: Can't open OUTPUT file.\n" + c[2]);
        EXPECT_EQ(read_text(dir.file("song.vgm")), "the VGM\n");
        EXPECT_EQ(read_file(dir.file("song.vgm.spf")), example_song);
        EXPECT_EQ(read_file(dir.file("new.vgm.spf")), example_song);
        EXPECT_FALSE(file_exists(dir.file("new.vgm")));
    }
}

TEST_F(Driver, FullFileSystemKeepsTheOldOutput)
{
    const std::string small = dir.file("small");
    make_dir(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    // Over 370,000 bytes of DATA lines into 64 KiB.
    place_song("long.vgm", songtest::alternating_song(16384));
    const std::string out = small + "/out.txt";
    write_text(out, "the old output\n");
    ProcessResult r = run({"long.vgm", out, "-d"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, loaded_text("long.vgm", "DATA") + "\nTotal rows: 16384\n\nOpening OUTPUT file: " + out +
                         "\n\nERROR: Can't write OUTPUT file.\n");
    EXPECT_EQ(read_text(out), "the old output\n");
    EXPECT_EQ(folder_entries(small), std::vector<std::string>({"out.txt"}));
    EXPECT_EQ(umount2(small.c_str(), MNT_DETACH), 0);
}

TEST_F(Driver, TwoRunsOnOneOutputLeaveOneWholeResult)
{
    place_song("long.vgm", songtest::alternating_song(16384));
    ASSERT_EQ(run({"long.vgm", "a.txt", "-d"}).status, 0);
    ASSERT_EQ(run({"long.vgm", "b.txt", "-x"}).status, 0);
    const std::string a = read_text(dir.file("a.txt")), b = read_text(dir.file("b.txt"));
    for (int round = 0; round < 3; round++) {
        ProcessResult first, second;
        std::thread other([&] { first = run({"long.vgm", "out.txt", "-d"}); });
        second = run({"long.vgm", "out.txt", "-x"});
        other.join();
        EXPECT_EQ(first.status, 0);
        EXPECT_EQ(second.status, 0);
        const std::string got = read_text(dir.file("out.txt"));
        EXPECT_TRUE(got == a || got == b) << got.size() << " bytes";
    }
    EXPECT_EQ(folder_entries(dir.path),
              std::vector<std::string>({"a.txt", "args", "b.txt", "bin", "long.vgm.spf", "out.txt"}));
}

TEST_F(Driver, WarnsOfLineNumbersPastXbRange)
{
    // CALL SOUND mode numbers one statement a row from 1000; PROGRAM mode one DATA line per 26 numbers.
    const std::string past = " numbered past 32767, the highest line number XB accepts.\n";
    struct { size_t rows; const char *option; std::string warning; } cases[] = {
        {31768, "-x", ""}, {31769, "-x", "\nWARNING: 1 line is" + past},
        {31800, "-x", "\nWARNING: 32 lines are" + past}, {31800, "-p", ""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.rows) + c.option);
        place_song("long.vgm", songtest::alternating_song(c.rows));
        ProcessResult r = run({"long.vgm", "out.txt", c.option});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, loaded_text("long.vgm", "PROGRAM") + "\nTotal rows: " + std::to_string(c.rows) + "\n" +
                             c.warning + "\nOpening OUTPUT file: out.txt\n\nDone.\n");
    }
}

TEST(Install, ProgramsGoToBinAndWorkFromThere)
{
    // The README's install command, then its first conversion with the installed programs only.
    TempDir prefix;
    ProcessResult r = run_process(CMAKE_COMMAND, {"--install", BUILD_DIR, "--prefix", prefix.path});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    for (const char *name : {"kelvaro", "vgmcomp.x", "xbtool"})
        EXPECT_EQ(access(prefix.file(std::string("bin/") + name).c_str(), X_OK), 0) << name;
    TempDir work;
    write_file(work.file("tune.vgm"), read_file(std::string(BUILD_DIR) + "/examples/frere-jacques.vgm"));
    r = run_process(prefix.file("bin/kelvaro"), {"tune.vgm", "tune.txt"}, work.path, "/usr/bin:/bin");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(read_text(work.file("tune.txt")).compare(0, 14, "1000 read t::f"), 0);
}
