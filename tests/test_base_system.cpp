// What base/ takes from the system, the same on every system: files with
// any name, a file's stamp, the local time, and another program found and
// started with its arguments whole.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/file_read.h"
#include "base/file_write.h"
#include "base/paths.h"
#include "base/process.h"
#include "tests/test_support.h"

namespace {

// Names a shell or Windows' command prompt would take apart.
const char *const awkward_names[] = {"a b", "x & y", "c^d", "100%PATH%", "\xce\xbb", "it's", "semi;colon"};

TEST(BaseSystem, FilesOfAnyNameAreWrittenReadAndStamped)
{
    TempDir dir;
    for (const char *name : awkward_names) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        const std::vector<uint8_t> bytes = {'1', '\r', '\n', '2', '\n', 0x1A, 0};
        std::string error;
        ASSERT_TRUE(write_file_atomic(path, bytes, error)) << error;
        std::vector<uint8_t> back;
        int why = 0;
        EXPECT_EQ(read_file_whole(path, 100, back, why), ReadFailure::none);
        EXPECT_EQ(back, bytes);  // binary everywhere: no line break changed
        FileStamp stamp, again;
        ASSERT_TRUE(file_stamp(path, stamp));
        EXPECT_TRUE(stamp.regular);
        EXPECT_EQ(stamp.size, bytes.size());
        ASSERT_TRUE(file_stamp(path, again));
        EXPECT_TRUE(same_stamp(stamp, again));
        EXPECT_TRUE(same_file(path, path));
        EXPECT_FALSE(same_file(path, dir.file("other")));
    }
    FileStamp folder;
    ASSERT_TRUE(file_stamp(dir.path, folder));
    EXPECT_FALSE(folder.regular);
    EXPECT_FALSE(file_stamp(dir.file("missing"), folder));
}

TEST(BaseSystem, LocalTimeIsADate)
{
    std::tm t{};
    ASSERT_TRUE(local_time_now(t));
    EXPECT_GE(t.tm_year, 120);
    EXPECT_GE(t.tm_mday, 1);
    EXPECT_LE(t.tm_mon, 11);
}

TEST(BaseSystem, ProgramOnPathGetsEveryArgumentWhole)
{
    TempDir dir;
    const std::string bin = dir.file("bin"), record = dir.file("args");
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
    write_standin(bin + "/helper", "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + record + "'; done\nexit 7\n");
    const char *old = std::getenv("PATH");
    const std::string saved = old != nullptr ? old : "";
#ifdef _WIN32
    setenv("PATH", (bin + ";" + saved).c_str(), 1);
#else
    setenv("PATH", (bin + ":" + saved).c_str(), 1);
#endif
    const std::string program = find_program("helper");
    setenv("PATH", saved.c_str(), 1);
    ASSERT_EQ(program, program_in(bin, "helper"));
    std::vector<std::string> args(std::begin(awkward_names), std::end(awkward_names));
    for (const char *more : {"", "\"quoted\"", "back\\slash\\", "tab\there", "-d"}) args.push_back(more);
    EXPECT_EQ(run_program(program, "helper", args, {"KELVARO_TEST_VARIABLE=set"}, ""), 7);
    std::string expected;
    for (const std::string &a : args) expected += a + "\n";
    EXPECT_EQ(read_text(record), expected);
    EXPECT_EQ(find_program("no-such-program-anywhere"), "");
}

}  // namespace

namespace {

TEST(BaseSystem, FileNameStartsAfterTheLastSeparator)
{
    struct Case {
        const char *path;
        size_t start;
    } cases[] = {
        {"song.txt", 0}, {"songs/song.txt", 6}, {"/a/b/", 5}, {"a b & \xce\xbb/x", 9},
#ifdef _WIN32
        {"C:\\My Songs\\song.txt", 12}, {"C:song.txt", 2}, {"a/b\\c", 4},
#else
        {"back\\slash", 0},  // a backslash is a letter of the name
#endif
    };
    for (const Case &c : cases) EXPECT_EQ(file_name_start(c.path), c.start) << c.path;
}

}  // namespace
