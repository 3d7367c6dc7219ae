// kelvaro's answers to the common slips of its command line: an OUTPUT that
// is a VGM file, a compressor that failed on a real input while an older
// song file lies beside it, an option where a path belongs, --help and
// --version, and the reason an OUTPUT cannot be opened. Each leaves every
// file as it was. Also kelvaro's run called in-process, twice in a row.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <map>

#include "kelvaro/run.h"
#include "tests/test_support.h"

namespace {

const std::string example_program =
    "1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3::call sound(d,s1,v1,s2,v2,s3,v3)::next c"
    "\n1001 DATA 3,40,110,30,110,30,110,30,60,262,0,110,30,110,30,40,330,0,110,30,110,30\n";

std::string not_understood(const std::string &arg)
{
    return kelvaro_usage + "\nERROR with supplied arguments.\nNot understood: " + arg +
           " (usage: kelvaro INPUT OUTPUT [options])\n";
}

// The console text up to the output file's name, after the example song.
std::string converted_text(const std::string &input, const std::string &output, const std::string &mode = "PROGRAM")
{
    return kelvaro_usage + "\nOpening INPUT file: " + input + ".spf\n" +
           "\nConverting using the following options:\n  Output: " + mode + "\n  Noise:OFF\n  Timing:REAL\n" +
           "\nTotal rows: 3\n\nOpening OUTPUT file: " + output + "\n";
}

std::vector<uint8_t> gzipped(const std::vector<uint8_t> &bytes)
{
    z_stream zs = {};
    EXPECT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<uint8_t> out(deflateBound(&zs, bytes.size()) + 32);
    zs.next_in = const_cast<uint8_t *>(bytes.data());
    zs.avail_in = static_cast<uInt>(bytes.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// Every file under a folder (by its path in the folder) with its bytes.
using Files = std::map<std::string, std::vector<uint8_t>>;

Files snapshot(const std::string &folder, const std::string &prefix = "")
{
    Files files;
    for (const std::string &name : folder_entries(folder)) {
        const std::string path = folder + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            const Files inner = snapshot(path, prefix + name + "/");
            files.insert(inner.begin(), inner.end());
        } else {
            files[prefix + name] = S_ISREG(st.st_mode) ? read_file(path) : std::vector<uint8_t>{'@'};
        }
    }
    return files;
}

// A work folder with the example tune as a VGM file (plain and gzip), its
// song file, and a stand-in compressor on PATH that does what the case
// says (by default nothing at all).
class Slips : public ::testing::Test {
protected:
    TempDir dir;
    std::string bin, path_env;
    std::vector<uint8_t> vgm;

    void SetUp() override
    {
        bin = dir.file("bin");
        ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
        path_env = bin + ":/usr/bin:/bin";
        standin("exit 0\n");
        vgm = read_file(std::string(BUILD_DIR) + "/examples/frere-jacques.vgm");
        ASSERT_GT(vgm.size(), 4u);
        write_file(dir.file("a.vgm"), vgm);
        write_file(dir.file("a.vgm.spf"), example_song);
        write_file(dir.file("b.vgm"), vgm);
        write_file(dir.file("c.vgz"), gzipped(vgm));
    }

    void standin(const std::string &body)
    {
        write_text(bin + "/vgmcomp.x", "#!/bin/sh\n" + body);
        ASSERT_EQ(chmod((bin + "/vgmcomp.x").c_str(), 0755), 0);
    }

    ProcessResult run(const std::vector<std::string> &args)
    {
        return run_process(KELVARO_BIN, args, dir.path, path_env.c_str());
    }
};

struct Slip {
    const char *what;
    std::vector<std::string> args;
    int status;
    std::string out;
};

}  // namespace

TEST_F(Slips, RefusedBeforeAnythingIsWritten)
{
    const std::string vgm_output = "\nERROR: Can't open OUTPUT file.\nThe OUTPUT file is a VGM file; kelvaro writes "
                                   "XB text.\n";
    ASSERT_EQ(symlink("b.vgm", dir.file("link.txt").c_str()), 0);
    const Slip slips[] = {
        {"a folder's VGM files", {"a.vgm", "b.vgm", "c.vgz"}, 1, converted_text("a.vgm", "b.vgm") + vgm_output},
        {"gzip-compressed VGM", {"a.vgm", "c.vgz", "-d"}, 1,
         converted_text("a.vgm", "c.vgz", "DATA") + vgm_output},
        {"link to a VGM", {"a.vgm", "link.txt"}, 1, converted_text("a.vgm", "link.txt") + vgm_output},
        {"option first", {"-x", "a.vgm", "out.txt"}, 1, not_understood("-x")},
        {"option second", {"a.vgm", "-x"}, 1, not_understood("-x")},
        {"help second", {"a.vgm", "-h"}, 1, not_understood("-h")},
        {"long option first", {"--noise", "a.vgm", "out.txt"}, 1, not_understood("--noise")},
        {"long option after the paths", {"a.vgm", "out.txt", "--noise"}, 1, not_understood("--noise")},
        {"unknown option after the paths", {"a.vgm", "out.txt", "-d", "-z"}, 1, not_understood("-z")},
        {"option alone", {"-d"}, 1, not_understood("-d")},
        {"help with a path", {"--help", "out.txt"}, 1, not_understood("--help")},
        {"version with a path", {"--version", "a.vgm"}, 1, not_understood("--version")},
        {"help", {"--help"}, 0, kelvaro_usage},
        {"short help", {"-h"}, 0, kelvaro_usage},
        {"version", {"--version"}, 0, "kelvaro (kelvaro) 1.1\n"},
    };
    const Files before = snapshot(dir.path);
    for (const Slip &s : slips) {
        SCOPED_TRACE(s.what);
        ProcessResult r = run(s.args);
        EXPECT_EQ(r.status, s.status);
        EXPECT_EQ(r.out, s.out);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(snapshot(dir.path), before);
    }
}

TEST_F(Slips, OutputsThatAreNotVgmFilesAreWritten)
{
    // A gzip file of other bytes, a text file, a new file, a name ending in .vgm.
    write_file(dir.file("notes.gz"), gzipped({'V', 'g', 'm'}));
    write_text(dir.file("old.txt"), "Vgm\n");
    for (const char *output : {"notes.gz", "old.txt", "new.txt", "empty.vgm"}) {
        SCOPED_TRACE(output);
        if (std::string(output) == "empty.vgm") write_text(dir.file(output), "");
        ProcessResult r = run({"a.vgm", output});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, converted_text("a.vgm", output) + "\nDone.\n");
        EXPECT_EQ(read_text(dir.file(output)), example_program);
    }
}

TEST_F(Slips, FailedCompressionOfARealInputConvertsNothing)
{
    // The compressor fails or is killed and leaves the earlier song file as
    // it was: with the input there, the run stops before loading it.
    write_text(dir.file("out.txt"), "the old output\n");
    const std::string stopped =
        kelvaro_usage + "\nERROR: vgmcomp.x failed; the song file left by an earlier run was not converted.\n";
    const std::string warned = kelvaro_usage + "\nWARNING: vgmcomp.x failed; the song file was left by an earlier "
                                               "run and may not match the INPUT file.\n";
    struct Case {
        const char *what, *script, *input;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {"fails", "echo 'vgmcomp.x: broken' >&2\nexit 2\n", "a.vgm", 1, stopped},
        {"killed", "kill -9 $$\n", "a.vgm", 1, stopped},
        // A song file placed by hand, with no input beside it: converted.
        {"no input", "exit 1\n", "gone.vgm", 0,
         warned + converted_text("gone.vgm", "out.txt").substr(kelvaro_usage.size()) + "\nDone.\n"},
        // A compressor that cannot be started: the song file in place is used.
        {"not a program", "", "a.vgm", 0, converted_text("a.vgm", "out.txt") + "\nDone.\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        write_file(dir.file("gone.vgm.spf"), example_song);
        write_text(dir.file("out.txt"), "the old output\n");
        if (*c.script != '\0')
            standin(c.script);
        else
            write_text(bin + "/vgmcomp.x", "not a program\n");
        const Files before = snapshot(dir.path);
        ProcessResult r = run({c.input, "out.txt"});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        Files after = snapshot(dir.path);
        if (c.status == 0) {
            EXPECT_EQ(read_text(dir.file("out.txt")), example_program);
            after["out.txt"] = before.at("out.txt");
        }
        EXPECT_EQ(after, before);
    }
}

TEST_F(Slips, MistypedCompressorOptionKeepsTheEarlierResult)
{
    // With the real vgmcomp.x: a first run converts the tune; a second with
    // a typo in VGMCOMP_OPTIONS fails and leaves both files of the first.
    ProcessResult r = run_process(KELVARO_BIN, {"b.vgm", "b.txt"}, dir.path, "/usr/bin:/bin");
    ASSERT_EQ(r.status, 0) << r.out;
    const Files before = snapshot(dir.path);
    r = run_process(KELVARO_BIN, {"b.vgm", "b.txt", "-x"}, dir.path, "/usr/bin:/bin",
                    {"VGMCOMP_OPTIONS=--intrepreted"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kelvaro_usage + "\nERROR: vgmcomp.x failed; the song file left by an earlier run was not "
                                     "converted.\n");
    EXPECT_NE(r.err.find("--intrepreted"), std::string::npos) << r.err;
    EXPECT_EQ(snapshot(dir.path), before);
}

TEST_F(Slips, OutputThatCannotBeOpenedSaysWhy)
{
    ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0755), 0);
    const std::vector<std::vector<std::string>> cases = {
        {"no such folder/out.txt", "No such file or directory"},
        {"folder", "Is a directory"},
        {"a.vgm.spf/out.txt", "Not a directory"},
    };
    const Files before = snapshot(dir.path);
    for (const auto &c : cases) {
        SCOPED_TRACE(c[0]);
        ProcessResult r = run({"a.vgm", c[0]});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, converted_text("a.vgm", c[0]) + "\nERROR: Can't open OUTPUT file.\n" + c[1] + "\n");
        EXPECT_EQ(snapshot(dir.path), before);
    }
}

TEST_F(Slips, RunCalledInProcessReturnsItsStatus)
{
    // No compressor anywhere: the song file in place is converted.
    struct PathGuard {
        std::string saved = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
        ~PathGuard() { setenv("PATH", saved.c_str(), 1); }
    } guard;
    ASSERT_EQ(setenv("PATH", dir.file("nowhere").c_str(), 1), 0);
    const std::string input = dir.file("a.vgm"), output = dir.file("out.txt");
    struct Call {
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const Call calls[] = {
        {{"kelvaro", input, output}, 0, converted_text(input, output) + "\nDone.\n"},
        {{"kelvaro", input, dir.file("b.vgm")}, 1,
         converted_text(input, dir.file("b.vgm")) +
             "\nERROR: Can't open OUTPUT file.\nThe OUTPUT file is a VGM file; kelvaro writes XB text.\n"},
        {{"kelvaro", "--version"}, 0, "kelvaro (kelvaro) 1.1\n"},
        {{"kelvaro"}, 1, kelvaro_usage},
    };
    for (const Call &c : calls) {
        SCOPED_TRACE(c.args.back());
        std::vector<char *> argv;
        for (const std::string &a : c.args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        testing::internal::CaptureStdout();
        const int status = kelvaro_run(static_cast<int>(c.args.size()), argv.data());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
        EXPECT_EQ(status, c.status);
    }
    EXPECT_EQ(read_text(output), example_program);
    EXPECT_EQ(read_file(dir.file("b.vgm")), vgm);
}
