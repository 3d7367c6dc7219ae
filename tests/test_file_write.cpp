// Writing a file whole or not at all.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#endif

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/file_write.h"
#include "tests/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(WriteFileAtomic, WritesAndReplaces)
{
    TempDir dir;
    const std::string path = dir.file("song.spf");
    std::string error;
    ASSERT_TRUE(write_file_atomic(path, {1, 2, 3}, error)) << error;
    EXPECT_EQ(read_file(path), Bytes({1, 2, 3}));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0444, 0u);  // a normal file, not the 0600 of a temporary one

#ifndef _WIN32  // permission bits
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
#endif
    ASSERT_TRUE(write_file_atomic(path, example_song, error)) << error;
    EXPECT_EQ(read_file(path), example_song);
    ASSERT_EQ(stat(path.c_str(), &st), 0);
#ifndef _WIN32
    EXPECT_EQ(st.st_mode & 07777, 0640u);
#endif
    ASSERT_TRUE(write_file_atomic(path, {}, error)) << error;
    EXPECT_EQ(read_file(path), Bytes());
    EXPECT_EQ(folder_entries(dir.path), std::vector<std::string>({"song.spf"}));  // no temporary left
}

TEST(WriteFileAtomic, MissingFolder)
{
    TempDir dir;
    const std::string path = dir.file("no-such-folder/song.spf");
    std::string error;
    EXPECT_FALSE(write_file_atomic(path, {1, 2, 3}, error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_FALSE(file_exists(path));
    EXPECT_TRUE(folder_entries(dir.path).empty());
}

TEST(WriteFileAtomic, FailedWriteLeavesTheOldFile)
{
    SKIP_ON_WINDOWS("no file size limit to make a write fail");
#ifndef _WIN32
    // The write itself fails (file size limit, as on a full disk): the old
    // song file stays as it was and no temporary is left behind. Run in a
    // child process so the limit stays there.
    TempDir dir;
    const std::string path = dir.file("song.spf");
    write_file(path, example_song);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {16, 16};
        setrlimit(RLIMIT_FSIZE, &lim);
        std::string error;
        bool ok = write_file_atomic(path, Bytes(4096, 0xAA), error);
        _exit(!ok && error.find(path) != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(read_file(path), example_song);
    EXPECT_EQ(folder_entries(dir.path), std::vector<std::string>({"song.spf"}));
#endif
}

TEST(WriteFileAtomic, UnwritableFolderOrDirectoryInTheWay)
{
    TempDir dir;
    std::string error;
    // A folder in the way of the target: it stays.
    const std::string taken = dir.file("taken.spf");
    ASSERT_EQ(mkdir(taken.c_str(), 0755), 0);
    write_file(taken + "/inside", {9});
    EXPECT_FALSE(write_file_atomic(taken, {1, 2}, error));
    EXPECT_NE(error.find(taken), std::string::npos) << error;
    EXPECT_EQ(read_file(taken + "/inside"), Bytes({9}));
    EXPECT_EQ(folder_entries(dir.path), std::vector<std::string>({"taken.spf"}));

    SKIP_ON_WINDOWS("no POSIX permission bits on folders");
#ifndef _WIN32
    if (geteuid() == 0) GTEST_SKIP() << "folder permissions do not bind root";
    const std::string locked = dir.file("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
    const std::string path = locked + "/song.spf";
    write_file(path, example_song);
    ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
    EXPECT_FALSE(write_file_atomic(path, {1, 2, 3}, error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_EQ(read_file(path), example_song);
    chmod(locked.c_str(), 0755);
#endif
}

TEST(WriteFileAtomic, AsAnOrdinaryUser)
{
    SKIP_ON_WINDOWS("no other user to become, nor POSIX permission bits");
#ifndef _WIN32
    // The checks run in a child that is an ordinary user (nobody, when the tests run as root).
    TempDir dir;
    ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
    const std::string mine = dir.file("mine"), theirs = dir.file("theirs");
    ASSERT_EQ(mkdir(mine.c_str(), 0777), 0);
    ASSERT_EQ(chmod(mine.c_str(), 0777), 0);
    ASSERT_EQ(mkdir(theirs.c_str(), 0755), 0);
    const std::string locked = mine + "/locked.spf", open_file = theirs + "/open.spf";
    write_file(locked, example_song);
    write_file(open_file, example_song);
    ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
    ASSERT_EQ(chmod(open_file.c_str(), 0666), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(9);
        if (access(mine.c_str(), W_OK | X_OK) != 0) _exit(10);  // the temporary folder is out of reach
        std::string error;
        WriteFailure failure = WriteFailure::none;
        // A file the user may not write is refused, as cp does, even where the user could replace it.
        if (write_file_atomic(locked, {1}, error, &failure) || failure != WriteFailure::open ||
            error.find(locked) == std::string::npos)
            _exit(1);
        // A folder that takes no temporary file: the file is written in place.
        if (!write_file_atomic(open_file, {7, 7}, error)) _exit(2);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 10) GTEST_SKIP() << "an ordinary user cannot reach " << dir.path;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(read_file(locked), example_song);
    EXPECT_EQ(read_file(open_file), Bytes({7, 7}));
    EXPECT_EQ(folder_entries(mine), std::vector<std::string>({"locked.spf"}));
#endif
}

}  // namespace
