// Shared helpers of the test suite: the example song file, temporary
// folders, running the programs as processes.
#ifndef KELVARO_TEST_SUPPORT_H
#define KELVARO_TEST_SUPPORT_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "output/conversion.h"
#include "tests/test_windows.h"
#include "vgm/vgm.h"

// The 45-byte example song: voice 0 waits one frame, plays C4 for three
// frames and E4 for two, then falls silent.
extern const std::vector<uint8_t> example_song;

// A test that sets the converter's program-wide records (its settings, its
// player's state, its rows) derives from this: they are put back after each
// test, whatever it left.
class ConverterTest : public ::testing::Test {
private:
    SavedConverterState saved_;
};

// The text kelvaro writes from song for its settings (OUTPUT_*, NOISE_*,
// TIMING_*, convert/settings.h); empty when the converter refuses the song.
std::string convert_with_settings(const std::vector<uint8_t> &song, int32_t output, int32_t noise,
                                  int32_t timing);

// A fresh, empty temporary folder, removed with everything in it when the
// object goes away.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string file(const std::string &name) const { return path + "/" + name; }
};

void write_file(const std::string &path, const std::vector<uint8_t> &bytes);
void write_text(const std::string &path, const std::string &text);
std::vector<uint8_t> read_file(const std::string &path);
std::string read_text(const std::string &path);
bool file_exists(const std::string &path);
// The names in folder path, sorted, without "." and "..".
std::vector<std::string> folder_entries(const std::string &path);

// A stand-in program at path that runs the shell script body: on POSIX the
// script itself, made executable; on Windows the script beside a copy of
// the stand-in program (tests/standin) as path + ".exe", which runs it.
void write_standin(const std::string &path, const std::string &body);

// A file at path that looks like a program and cannot be started (on
// Windows as path + ".exe" too).
void write_not_a_program(const std::string &path);

// The path by which a program found in folder as name is named: on Windows
// with "\" and ".exe".
std::string program_in(const std::string &folder, const std::string &name);

struct ProcessResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs program with args (argv[0] is program itself), in folder cwd (empty:
// the current one), with PATH set to path_env (when not null), no other
// change to the environment. On Windows the ':' between PATH's folders
// becomes ';' (the tests' paths there are Wine's, from the root of the
// drive that maps the build machine's files).
ProcessResult run_process(const std::string &program, const std::vector<std::string> &args,
                          const std::string &cwd = "", const char *path_env = nullptr,
                          const std::vector<std::string> &extra_env = {});

// Everything written into the FIFO at path while run() runs (read on a
// thread of its own, so that a writer never waits on a full pipe).
std::string read_fifo_during(const std::string &path, const std::function<void()> &run);

// The banner and usage that every run of kelvaro prints first.
extern const std::string kelvaro_usage;

// Folder of the real VGM files, or empty when it is absent.
std::string shared_vgm_dir();
std::vector<std::string> shared_vgm_files();

// Reads and parses the VGM file at path (plain or gzip-compressed) into log,
// and its bytes into bytes when given; false, with a test failure naming the
// file, when it cannot.
bool read_real_vgm(const std::string &path, VgmLog &log, std::vector<uint8_t> *bytes = nullptr);

#endif
