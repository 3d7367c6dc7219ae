// vgmcomp.x: its options, and the program as a user runs it, alone and
// through kelvaro.
#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

#include <random>

#include "vgmcomp/cli.h"
#include "sound/frames.h"
#include "compressor/pitch.h"
#include "songfile/songfile.h"
#include "songfile/streams.h"
#include "songfile/verify.h"
#include "vgm/vgm.h"
#include "vgm/vgm_writer.h"
#include "tests/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<std::string>;

// A short tune at a 4 MHz clock: a melody on voice 0 with a volume
// envelope, a held note on voice 1, a noise burst.
Bytes tune_vgm()
{
    VgmWriter w;
    w.clock = 4000000;
    const uint16_t melody[] = {478, 426, 379, 358, 319};
    for (uint16_t p : melody) {
        vgm_tone(w, 0, p);
        for (uint8_t a : {0, 2, 4, 6}) {
            vgm_atten(w, 0, a);
            vgm_wait_frames(w, 3);
        }
    }
    vgm_tone(w, 1, 300);
    vgm_atten(w, 1, 3);
    vgm_noise(w, 6);
    vgm_atten(w, 3, 5);
    vgm_wait_frames(w, 20);
    vgm_atten(w, 3, 15);
    vgm_wait_frames(w, 40);
    return vgm_finish(w);
}

// The song file of vgm as the library builds it with default options.
Bytes library_song(const Bytes &vgm, bool exact = false, uint32_t clock = 0)
{
    VgmLog log;
    std::string error;
    EXPECT_TRUE(parse_vgm(vgm, "tune.vgm", log, error)) << error;
    std::vector<Frame> frames = sample_frames(log);
    apply_pitch(frames, clock != 0 ? clock : log.clock, exact);
    if (exact) merge_periods(frames);
    return build_song_file(build_streams(frames));
}

uint16_t get16(const Bytes &file, size_t at)
{
    return static_cast<uint16_t>(file.at(at) << 8 | file.at(at + 1));
}

// Period of tone table entry k.
unsigned tone_entry(const Bytes &file, size_t k)
{
    const size_t at = get16(file, 2) + 2 * k;
    return file.at(at) | file.at(at + 1) << 4;
}

bool starts_with(const std::string &s, const std::string &p)
{
    return s.compare(0, p.size(), p) == 0;
}

// Every line of err is a message of ours.
void expect_messages(const std::string &err)
{
    size_t start = 0;
    while (start < err.size()) {
        size_t end = err.find('\n', start);
        std::string line = err.substr(start, end - start);
        EXPECT_TRUE(starts_with(line, "vgmcomp.x: ") || starts_with(line, "Try 'vgmcomp.x --help'")) << line;
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

ProcessResult vgmcomp(const Words &args, const std::string &cwd, const Words &env = {})
{
    return run_process(VGMCOMP_BIN, args, cwd, nullptr, env);
}

bool parse(const Words &env, const Words &args, VgmcompOptions &opt, std::string &error)
{
    return parse_options(env, args, opt, error);
}

}  // namespace

TEST(VgmcompOptions, ReadsEveryOption)
{
    VgmcompOptions opt;
    std::string error;
    ASSERT_TRUE(parse({}, {"song.vgm"}, opt, error)) << error;
    EXPECT_EQ(opt.input, "song.vgm");
    EXPECT_EQ(song_file_path(opt), "song.vgm.spf");
    EXPECT_EQ(opt.clock, 0u);
    EXPECT_FALSE(opt.exact);

    ASSERT_TRUE(parse({}, {"-o", "out/x.spf", "--clock", "4000000", "--exact", "dir/a b.vgz"}, opt, error));
    EXPECT_EQ(opt.input, "dir/a b.vgz");
    EXPECT_EQ(song_file_path(opt), "out/x.spf");
    EXPECT_EQ(opt.clock, 4000000u);
    EXPECT_TRUE(opt.exact);

    ASSERT_TRUE(parse({}, {"--clock=3579545", "-oy.spf", "--", "-odd.vgm"}, opt, error));
    EXPECT_EQ(opt.clock, 3579545u);
    EXPECT_EQ(opt.output, "y.spf");
    EXPECT_EQ(opt.input, "-odd.vgm");

    ASSERT_TRUE(parse({}, {"--help"}, opt, error));
    EXPECT_TRUE(opt.help);
    ASSERT_TRUE(parse({}, {"--version"}, opt, error));
    EXPECT_TRUE(opt.version);
}

TEST(VgmcompOptions, EnvironmentFirstCommandLineWins)
{
    EXPECT_EQ(split_blanks("  --exact\t-o  a.spf\n--clock 5 "), Words({"--exact", "-o", "a.spf", "--clock", "5"}));
    EXPECT_TRUE(split_blanks(" \t ").empty());

    VgmcompOptions opt;
    std::string error;
    ASSERT_TRUE(parse(split_blanks("--clock 1000 -o env.spf --exact"), {"-o", "cli.spf", "--clock=2000", "s.vgm"},
                      opt, error));
    EXPECT_EQ(opt.output, "cli.spf");
    EXPECT_EQ(opt.clock, 2000u);
    EXPECT_TRUE(opt.exact);
    EXPECT_EQ(opt.input, "s.vgm");

    // The environment holds options only.
    EXPECT_FALSE(parse({"other.vgm"}, {"s.vgm"}, opt, error));
    EXPECT_NE(error.find("VGMCOMP_OPTIONS"), std::string::npos) << error;
    EXPECT_FALSE(parse({"--fast"}, {"s.vgm"}, opt, error));
    EXPECT_NE(error.find("VGMCOMP_OPTIONS"), std::string::npos) << error;
}

TEST(VgmcompOptions, UsageErrors)
{
    const std::vector<Words> cases = {
        {},                               // no input
        {"--exact"},                      // no input
        {"a.vgm", "b.vgm"},               // two inputs
        {"--frobnicate", "a.vgm"},        // unknown option
        {"-x", "a.vgm"},                  // unknown option
        {"a.vgm", "--clock"},             // missing number
        {"--clock", "abc", "a.vgm"},      // not a number
        {"--clock", "0", "a.vgm"},        // zero
        {"--clock", "-5", "a.vgm"},       // negative
        {"--clock=4294967296", "a.vgm"},  // too large
        {"--clock", "12.5", "a.vgm"},     // not whole
        {"a.vgm", "-o"},                  // missing path
        {"-o", "", "a.vgm"},              // empty path
    };
    for (const Words &args : cases) {
        VgmcompOptions opt;
        std::string error;
        EXPECT_FALSE(parse({}, args, opt, error)) << (args.empty() ? "(none)" : args[0]);
        EXPECT_FALSE(error.empty());
    }
}

TEST(VgmcompProgram, WritesTheSongFileBesideTheInput)
{
    TempDir dir;
    const Bytes vgm = tune_vgm();
    write_file(dir.file("tune.vgm"), vgm);
    ProcessResult r = vgmcomp({"tune.vgm"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    const Bytes song = read_file(dir.file("tune.vgm.spf"));
    EXPECT_EQ(song, library_song(vgm));
    // No temporary file is left behind.
    EXPECT_EQ(folder_entries(dir.path), Words({"tune.vgm", "tune.vgm.spf"}));

    // The input path as given, with ".spf" appended, also through folders.
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    write_file(dir.file("sub/Tune.VGM"), vgm);
    r = vgmcomp({"sub/Tune.VGM"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.file("sub/Tune.VGM.spf")), song);

    // It plays back as the VGM goes.
    VgmLog log;
    std::string error;
    ASSERT_TRUE(parse_vgm(vgm, "tune.vgm", log, error));
    std::vector<Frame> frames = sample_frames(log);
    apply_pitch(frames, log.clock, false);
    std::string why;
    EXPECT_TRUE(verify_song(song, frames, &why)) << why;
}

TEST(VgmcompProgram, OptionsChangeWhatIsWritten)
{
    TempDir dir;
    const Bytes vgm = tune_vgm();
    write_file(dir.file("tune.vgm"), vgm);

    // -o writes elsewhere and nothing beside the input.
    ProcessResult r = vgmcomp({"-o", "elsewhere.spf", "tune.vgm"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.file("elsewhere.spf")), library_song(vgm));
    EXPECT_FALSE(file_exists(dir.file("tune.vgm.spf")));

    // --exact keeps the moved periods: 478 at 4 MHz is 428 on the TI clock
    // (C4 either way), but 426 moves to 381, which no note has.
    r = vgmcomp({"--exact", "-o", "exact.spf", "tune.vgm"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    const Bytes exact = read_file(dir.file("exact.spf"));
    EXPECT_EQ(exact, library_song(vgm, true));
    EXPECT_NE(exact, library_song(vgm));

    // --clock overrides the header: at 3579545 Hz the periods stay as written.
    r = vgmcomp({"--exact", "--clock", "3579545", "-o", "clock.spf", "tune.vgm"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    const Bytes clocked = read_file(dir.file("clock.spf"));
    EXPECT_EQ(tone_entry(clocked, 0), 300u);
    EXPECT_EQ(clocked, library_song(vgm, true, 3579545));

    // VGMCOMP_OPTIONS, read before the command line, which wins.
    r = vgmcomp({"tune.vgm"}, dir.path, {"VGMCOMP_OPTIONS=--exact  -o env.spf"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.file("env.spf")), exact);
    r = vgmcomp({"-o", "cli.spf", "tune.vgm"}, dir.path, {"VGMCOMP_OPTIONS=-o env2.spf"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(file_exists(dir.file("cli.spf")));
    EXPECT_FALSE(file_exists(dir.file("env2.spf")));
    r = vgmcomp({"tune.vgm"}, dir.path, {"VGMCOMP_OPTIONS=--clock=fast"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("VGMCOMP_OPTIONS"), std::string::npos) << r.err;
}

TEST(VgmcompProgram, HelpAndVersionOnStandardOutput)
{
    ProcessResult r = vgmcomp({"--help"}, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(starts_with(r.out, "Usage: vgmcomp.x")) << r.out;
    for (const char *opt : {"-o PATH", "--clock HZ", "--exact", "VGMCOMP_OPTIONS"})
        EXPECT_NE(r.out.find(opt), std::string::npos) << opt;
    r = vgmcomp({"--version"}, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(starts_with(r.out, "vgmcomp.x")) << r.out;
}

TEST(VgmcompProgram, UsageErrorsExitWithTwo)
{
    TempDir dir;
    write_file(dir.file("tune.vgm"), tune_vgm());
    const std::vector<Words> cases = {
        {}, {"--nope", "tune.vgm"}, {"--clock", "4MHz", "tune.vgm"}, {"tune.vgm", "tune.vgm"}, {"-o"}};
    for (const Words &args : cases) {
        ProcessResult r = vgmcomp(args, dir.path);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "(none)" : args[0]);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(starts_with(r.err, "vgmcomp.x: ")) << r.err;
        expect_messages(r.err);
    }
    EXPECT_FALSE(file_exists(dir.file("tune.vgm.spf")));
}

TEST(VgmcompProgram, ErrorsNameTheFileAndKeepTheOldSongFile)
{
    TempDir dir;
    const Bytes old_song = example_song;

    // A placeholder that is not a VGM, beside a song file written by other
    // means: an error, and the song file stays byte for byte.
    write_text(dir.file("song.vgm"), "placeholder: the song file was made elsewhere\n");
    write_file(dir.file("song.vgm.spf"), old_song);
    ProcessResult r = vgmcomp({"song.vgm"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("song.vgm"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not a VGM"), std::string::npos) << r.err;
    expect_messages(r.err);
    EXPECT_EQ(read_file(dir.file("song.vgm.spf")), old_song);

    // An empty file, a missing file, a folder.
    write_file(dir.file("empty.vgm"), {});
    write_file(dir.file("empty.vgm.spf"), old_song);
    r = vgmcomp({"empty.vgm"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("empty.vgm"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir.file("empty.vgm.spf")), old_song);
    r = vgmcomp({"missing.vgm"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.vgm"), std::string::npos) << r.err;
    EXPECT_FALSE(file_exists(dir.file("missing.vgm.spf")));
    r = vgmcomp({"."}, dir.path);
    EXPECT_EQ(r.status, 1);
    expect_messages(r.err);

    // A VGM without an SN76489.
    Bytes no_chip = tune_vgm();
    for (int i = 0x0C; i < 0x10; i++) no_chip[static_cast<size_t>(i)] = 0;
    write_file(dir.file("nochip.vgm"), no_chip);
    r = vgmcomp({"nochip.vgm"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nochip.vgm"), std::string::npos) << r.err;

    // A folder that cannot take the song file.
    write_file(dir.file("tune.vgm"), tune_vgm());
    r = vgmcomp({"-o", "no/such/folder/x.spf", "tune.vgm"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no/such/folder/x.spf"), std::string::npos) << r.err;
    expect_messages(r.err);

    // -o naming the input itself would destroy it.
    const Bytes vgm = read_file(dir.file("tune.vgm"));
    r = vgmcomp({"-o", "./tune.vgm", "tune.vgm"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("tune.vgm"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir.file("tune.vgm")), vgm);
}

TEST(VgmcompProgram, WarningsAndSilentSongs)
{
    TempDir dir;
    // A command stream cut inside a command: converted up to there, with a
    // warning that names the file.
    Bytes cut = tune_vgm();
    cut.resize(cut.size() - 2);  // drops the 0x66 end and half of the last wait
    write_file(dir.file("cut.vgm"), cut);
    ProcessResult r = vgmcomp({"cut.vgm"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("cut.vgm"), std::string::npos) << r.err;
    expect_messages(r.err);
    EXPECT_TRUE(file_exists(dir.file("cut.vgm.spf")));

    // Nothing sounds: a silent song file, with a warning.
    VgmWriter w;
    vgm_tone(w, 0, 200);
    vgm_wait_frames(w, 100);
    write_file(dir.file("quiet.vgm"), vgm_finish(w));
    r = vgmcomp({"quiet.vgm"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("quiet.vgm"), std::string::npos) << r.err;
    const Bytes quiet = read_file(dir.file("quiet.vgm.spf"));
    ASSERT_GE(quiet.size(), 28u);
    for (size_t i = 4; i < 28; i++) EXPECT_EQ(quiet[i], 0) << i;
}

TEST(VgmcompProgram, SongTooLargeForASongFile)
{
    // Every voice changes note and volume every frame at random for four
    // minutes: far more than 65535 bytes of streams.
    std::mt19937 rng(7);
    VgmWriter w;
    w.clock = 3579545;
    for (int f = 0; f < 14400; f++) {
        for (int v = 0; v < 3; v++) {
            vgm_tone(w, v, static_cast<uint16_t>(100 + rng() % 800));
            vgm_atten(w, v, static_cast<uint8_t>(rng() % 15));
        }
        vgm_noise(w, static_cast<uint8_t>(rng() % 8));
        vgm_atten(w, 3, static_cast<uint8_t>(rng() % 15));
        vgm_wait_frames(w, 1);
    }
    TempDir dir;
    write_file(dir.file("big.vgm"), vgm_finish(w));
    write_file(dir.file("big.vgm.spf"), example_song);
    ProcessResult r = vgmcomp({"big.vgm"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("big.vgm"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("big.vgm: the song file would take at least "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("65535"), std::string::npos) << r.err;
    for (const char *opt : {"--seconds", "--min-frames", "--flat", "--voices"})
        EXPECT_NE(r.err.find(opt), std::string::npos) << opt;
    EXPECT_EQ(read_file(dir.file("big.vgm.spf")), example_song);
    EXPECT_NE(r.err.find("VGMCOMP_OPTIONS=\"--fit 24000\""), std::string::npos) << r.err;

    // --stats reports all the same; still nothing is written.
    r = vgmcomp({"--stats", "big.vgm"}, dir.path);
    EXPECT_EQ(r.status, 1);
    for (const char *figure : {": frames: 14400 (240 s)\n", "does not fit\n", ": song file: at least "})
        EXPECT_NE(r.err.find(figure), std::string::npos) << figure;
    expect_messages(r.err);
    EXPECT_EQ(read_file(dir.file("big.vgm.spf")), example_song);
}

TEST(VgmcompProgram, OutputPathsThatAreNotPlainFiles)
{
    SKIP_ON_WINDOWS("no /dev/null nor FIFOs");
#ifndef _WIN32
    TempDir dir;
    const Bytes vgm = tune_vgm(), song = library_song(vgm);
    write_file(dir.file("tune.vgm"), vgm);

    // A device is written into, not replaced: -o /dev/null only checks.
    ProcessResult r = vgmcomp({"-o", "/dev/null", "tune.vgm"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    struct stat st;
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    // A FIFO gets the song file.
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    const std::string got = read_fifo_during(dir.file("pipe"), [&] { r = vgmcomp({"-o", "pipe", "tune.vgm"}, dir.path); });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(got, std::string(song.begin(), song.end()));

    EXPECT_EQ(folder_entries(dir.path), Words({"pipe", "tune.vgm"}));
#endif
}

TEST(VgmcompProgram, AVoiceParkedOutOfHearingStaysSilent)
{
    // Voice 1 holds G4; voice 0 plays C4, rests 20 frames and plays E4. The rest is silence or period 6 at
    // full volume (20.8 kHz at 4 MHz): both make the same song file.
    auto song = [](bool parked) {
        VgmWriter w;
        w.clock = 4000000;
        vgm_tone(w, 1, 319);
        vgm_atten(w, 1, 4);
        vgm_tone(w, 0, 478);
        vgm_atten(w, 0, 2);
        vgm_wait_frames(w, 10);
        if (parked) vgm_tone(w, 0, 6);
        vgm_atten(w, 0, parked ? 0 : 15);
        vgm_wait_frames(w, 20);
        vgm_tone(w, 0, 379);
        vgm_atten(w, 0, 2);
        vgm_wait_frames(w, 10);
        return vgm_finish(w);
    };
    TempDir dir;
    write_file(dir.file("parked.vgm"), song(true));
    write_file(dir.file("rest.vgm"), song(false));
    for (const Words &opts : {Words{}, Words{"--exact"}, Words{"--voices", "1"}}) {
        SCOPED_TRACE(opts.empty() ? "defaults" : opts[0]);
        for (const std::string name : {"parked", "rest"}) {
            Words args = opts;
            args.insert(args.end(), {"--stats", name + ".vgm"});
            const ProcessResult r = vgmcomp(args, dir.path);
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_NE(r.err.find("vgmcomp.x: " + name + ".vgm: ultrasonic: " + (name == "rest" ? "0" : "20") +
                                 " tone voice-frames above 16 kHz written as silence\n"),
                      std::string::npos) << r.err;
        }
        EXPECT_EQ(read_file(dir.file("parked.vgm.spf")), read_file(dir.file("rest.vgm.spf")));
    }
}

TEST(VgmcompProgram, RealFiles)
{
    std::vector<std::string> files = shared_vgm_files();
    if (files.empty()) GTEST_SKIP() << "no real VGM files";
    TempDir dir;
    for (const std::string &path : files) {
        const std::string name = path.substr(path.rfind('/') + 1);
        SCOPED_TRACE(name);
        Bytes input = read_file(path);
        write_file(dir.file(name), input);
        ProcessResult r = vgmcomp({name}, dir.path);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "");
        expect_messages(r.err);
        Bytes song = read_file(dir.file(name + ".spf"));
        EXPECT_GT(song.size(), 28u);
        EXPECT_LE(song.size(), SONG_FILE_MAX);
    }
}

TEST(VgmcompProgram, KelvaroFindsItBesideItself)
{
    // kelvaro run with a search path that has no vgmcomp.x: it runs the one
    // beside itself, which writes the song file that kelvaro converts.
    // An input named like an option reaches vgmcomp.x as "./-d.vgm".
    std::vector<std::pair<std::string, Bytes>> inputs = {{"song.vgm", tune_vgm()}, {"-d.vgm", tune_vgm()}};
    std::vector<std::string> files = shared_vgm_files();
    if (!files.empty()) inputs.push_back({"song.vgm", read_file(files.front())});
    for (const auto &[name, vgm] : inputs) {
        TempDir dir;
        write_file(dir.file(name), vgm);
        ProcessResult r = run_process(KELVARO_BIN, {name, "song.txt"}, dir.path, "/usr/bin:/bin");
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_TRUE(file_exists(dir.file(name + ".spf")));
        const std::string program = read_text(dir.file("song.txt"));
        EXPECT_TRUE(starts_with(program, "1000 read t::")) << program.substr(0, 200);
        EXPECT_NE(program.find("\n1001 DATA "), std::string::npos);
    }
}

TEST(VgmcompProgram, DamagedFilesAndSongsKelvaroPlaysOnlyInPart)
{
    // At the TI clock: voice 0 plays C4 (in kelvaro's table) for 30 frames and period 430 (not) for 10.
    VgmWriter off;
    vgm_tone(off, 0, 428);
    vgm_atten(off, 0, 2);
    vgm_wait_frames(off, 30);
    vgm_tone(off, 0, 430);
    vgm_wait_frames(off, 10);
    vgm_atten(off, 0, 15);
    vgm_wait_frames(off, 5);
    // Only the noise voice sounds.
    VgmWriter noise;
    vgm_noise(noise, 5);
    vgm_atten(noise, 3, 4);
    vgm_wait_frames(noise, 30);
    // Cut in half: its GD3 offset points past the end.
    Bytes half = tune_vgm();
    ASSERT_LT(half.size(), 0x100u);
    half[0x14] = static_cast<uint8_t>(half.size() - 0x14);  // the tag would start at the old end
    half.resize(half.size() / 2 + 0x20);

    struct Case { const char *name; Bytes vgm; Words options; int status; std::string message; };  // "": none
    const std::string unplayed =
        "10 of 40 sounding voice-frames (25.0%) use tone periods that kelvaro does not play, and it writes them as "
        "silence; without --exact they are snapped to the nearest note it plays";
    const std::string noise_only = "no tone voice sounds in this song, only the noise voice: only kelvaro -n will play it";
    const Case cases[] = {
        {"exact.vgm", vgm_finish(off), {"--exact"}, 0, unplayed},
        {"snapped.vgm", vgm_finish(off), {}, 0, ""},
        {"noise.vgm", vgm_finish(noise), {}, 0, noise_only},
        {"noise-played.vgm", vgm_finish(noise), {"--noise"}, 0, ""},  // the program kelvaro -n writes
        {"noise-held.vgm", vgm_finish(noise), {"--interpreted", "--timing", "emulated"}, 0, noise_only},
        {"half.vgm", half, {}, 0, "the header points past the end of the file (GD3 tag at "},
        {"stub.vgm", Bytes{'V', 'g', 'm', ' ', 0x40, 0, 0, 0, 0x51, 0x01}, {}, 1,
         "the file ends inside its header, at 0xA (sound data would start at 0x40)"},
    };
    TempDir dir;
    for (const Case &c : cases) {
        write_file(dir.file(c.name), c.vgm);
        Words args = c.options;
        args.push_back(c.name);
        const ProcessResult r = vgmcomp(args, dir.path);
        EXPECT_EQ(r.status, c.status) << c.name << ": " << r.err;
        expect_messages(r.err);
        const std::string line = std::string("vgmcomp.x: ") + c.name + ": " + c.message;
        EXPECT_TRUE(c.message.empty() ? r.err.empty() : r.err.find(line) != std::string::npos) << c.name << r.err;
        EXPECT_EQ(file_exists(dir.file(std::string(c.name) + ".spf")), c.status == 0) << c.name;
    }
}
