// Writing a file whole or not at all on Windows (file_write.cpp on POSIX
// systems): a temporary file beside the target, flushed to the disk and
// moved over it in one step.
#include "base/file_write.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/paths.h"

namespace {

// Writes all of bytes to fd; 0 or the error.
int write_all(int fd, const std::vector<uint8_t> &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t chunk = std::min<size_t>(bytes.size() - done, 1u << 30);
        const int n = _write(fd, bytes.data() + done, static_cast<unsigned>(chunk));
        if (n < 0) return errno;
        if (n == 0) return EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

// Opens path as fopen's "wb" does and writes bytes into it.
WriteFailure write_in_place(const std::string &path, const std::vector<uint8_t> &bytes, int &err)
{
    const int fd = _wopen(wide_from_utf8(path).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY,
                          _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        err = errno;
        return WriteFailure::open;
    }
    err = write_all(fd, bytes);
    if (_close(fd) != 0 && err == 0) err = errno;
    return err == 0 ? WriteFailure::none : WriteFailure::write;
}

int errno_of_last_error()
{
    switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    default: return EIO;
    }
}

// Moves temp over target. Another program that has target open for a
// moment (reading it, or moving its own file over it) makes the move fail
// with a sharing error: it is tried again for up to two seconds.
bool move_over(const std::wstring &temp, const std::wstring &target)
{
    for (int attempt = 0;; attempt++) {
        if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        const DWORD why = GetLastError();
        if (attempt == 100 || (why != ERROR_ACCESS_DENIED && why != ERROR_SHARING_VIOLATION)) return false;
        Sleep(20);
    }
}

// Writes bytes to a new temporary file beside path and moves it over path.
// in_place: no temporary file could be made.
WriteFailure write_by_move(const std::string &path, bool exists, const std::vector<uint8_t> &bytes, int &err,
                           bool &in_place)
{
    std::wstring temp;
    int fd = -1;
    for (unsigned attempt = 0; attempt < 100 && fd < 0; attempt++) {
        wchar_t tag[32];
        const unsigned long long n = GetTickCount64() * 2654435761ULL + GetCurrentProcessId() * 977ULL + attempt;
        std::swprintf(tag, 32, L".tmp%06llx", n & 0xFFFFFFULL);
        temp = wide_from_utf8(path) + tag;
        fd = _wopen(temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        err = errno;
        in_place = exists && err == EACCES;
        // A file where the folder should be: say so, as POSIX systems do.
        const size_t slash = path.find_last_of("/\\");
        if (err == ENOENT && slash != std::string::npos && slash > 0) {
            FileStamp folder;
            if (file_stamp(path.substr(0, slash), folder) && folder.regular) err = ENOTDIR;
        }
        return WriteFailure::open;
    }
    err = write_all(fd, bytes);
    if (err == 0 && _commit(fd) != 0) err = errno;
    if (_close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && !move_over(temp, wide_from_utf8(path))) err = errno_of_last_error();
    if (err != 0) {
        DeleteFileW(temp.c_str());
        return WriteFailure::write;
    }
    return WriteFailure::none;
}

}  // namespace

bool write_file_atomic(const std::string &path, const std::vector<uint8_t> &bytes, std::string &error,
                       WriteFailure *failure)
{
    WriteFailure stage = WriteFailure::open;
    int err = 0;
    FileStamp st;
    if (path.empty()) {
        err = ENOENT;
    } else {
        const bool exists = file_stamp(path, st);
        const DWORD attributes = GetFileAttributesW(wide_from_utf8(path).c_str());
        if (exists && is_folder(wide_from_utf8(path))) {
            err = EISDIR;
        } else if (exists && !st.regular) {
            stage = write_in_place(path, bytes, err);  // a device such as NUL
        } else if (exists && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
            err = EACCES;
        } else {
            bool in_place = false;
            stage = write_by_move(path, exists, bytes, err, in_place);
            if (in_place) stage = write_in_place(path, bytes, err);
        }
    }
    if (failure != nullptr) *failure = stage;
    if (stage == WriteFailure::none) return true;
    error = "cannot write " + path + ": " + std::strerror(err);
    return false;
}

bool same_file(const std::string &a, const std::string &b)
{
    FileStamp sa, sb;
    return file_stamp(a, sa) && file_stamp(b, sb) && sa.device == sb.device && sa.number == sb.number;
}
