// Files and paths as every program of the project names them: a path is a
// UTF-8 string on every system (on Windows the wide file functions take
// it), so names such as "λ" work wherever the system allows them.
#ifndef KELVARO_BASE_PATHS_H
#define KELVARO_BASE_PATHS_H

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

// The program's arguments in UTF-8, without argv[0]. On Windows they are
// read again from the wide command line (argv holds them in the local code
// page), and standard output and standard error are put in binary mode so
// that "\n" stays one byte, as on every other system.
std::vector<std::string> program_arguments(int argc, char **argv);

// std::fopen for a UTF-8 path.
FILE *open_file(const std::string &path, const char *mode);

// What a program checks of a file before and after another one ran on it.
struct FileStamp {
    bool regular = false;     // a regular file (not a folder or a device)
    uint64_t size = 0;        // its length in bytes
    int64_t modified_ns = 0;  // its modification time, in nanoseconds
    uint64_t device = 0;      // device and file number: the same pair is
    uint64_t number = 0;      // the same file
};

// The stamp of the file at path; false when it does not exist.
bool file_stamp(const std::string &path, FileStamp &stamp);

// Whether a and b describe one file, unchanged.
inline bool same_stamp(const FileStamp &a, const FileStamp &b)
{
    return a.device == b.device && a.number == b.number && a.size == b.size && a.modified_ns == b.modified_ns;
}

// Where the last part of path (the file's own name) starts: after the last
// "/", and on Windows also after the last "\\" or a drive's ":".
size_t file_name_start(const std::string &path);

// The local time now; false when the system cannot tell it.
bool local_time_now(std::tm &t);

#ifdef _WIN32
// UTF-8 to UTF-16 and back, for the wide functions of Windows.
std::wstring wide_from_utf8(const std::string &text);
std::string utf8_from_wide(const std::wstring &text);
bool is_folder(const std::wstring &path);
#endif

#endif
