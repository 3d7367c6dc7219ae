#include "base/file_write.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folder part of path ("." when it has none).
std::string folder_of(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether path lies in /proc, whose links (/dev/stdout, /dev/fd/N) name
// open files rather than places in a folder.
bool in_proc(const std::string &path)
{
    char real[PATH_MAX];
    if (realpath(folder_of(path).c_str(), real) == nullptr) return false;
    return std::strncmp(real, "/proc/", 6) == 0 || std::strcmp(real, "/proc") == 0;
}

// Follows symbolic links from path to the file they name, which may not
// exist yet. proc: a link on the way lies in /proc. False on a loop.
bool follow_links(const std::string &path, std::string &file, bool &proc)
{
    file = path;
    proc = false;
    for (int hops = 0; hops < 40; hops++) {
        struct stat st;
        if (lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        proc = proc || in_proc(file);
        char target[PATH_MAX];
        const ssize_t n = readlink(file.c_str(), target, sizeof target - 1);
        if (n <= 0) return true;
        const std::string link(target, static_cast<size_t>(n));
        file = link[0] == '/' || file.find('/') == std::string::npos ? link : folder_of(file) + "/" + link;
    }
    errno = ELOOP;
    return false;
}

// Writes all of bytes to fd; 0 or the error.
int write_all(int fd, const std::vector<uint8_t> &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR) return errno;
        if (n == 0) return EIO;  // a device that takes nothing more
        if (n > 0) done += static_cast<size_t>(n);
    }
    return 0;
}

// Opens path as fopen's "w" does and writes bytes into it.
WriteFailure write_in_place(const std::string &path, const std::vector<uint8_t> &bytes, int &err)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) {
        err = errno;
        return WriteFailure::open;
    }
    err = write_all(fd, bytes);
    if (close(fd) != 0 && err == 0) err = errno;
    return err == 0 ? WriteFailure::none : WriteFailure::write;
}

// A temporary name beside file whose last part stays within NAME_MAX.
std::string temp_name(const std::string &file)
{
    const size_t slash = file.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t keep = std::min<size_t>(file.size() - start, 200);
    return file.substr(0, start + keep) + ".tmpXXXXXX";
}

// Writes bytes to a temporary file beside file and renames it over file.
// exists: file is there, with st. in_place: no temporary file could be made.
WriteFailure write_by_rename(const std::string &file, bool exists, const struct stat &st,
                             const std::vector<uint8_t> &bytes, int &err, bool &in_place)
{
    std::string temp = temp_name(file);
    const int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        err = errno;
        in_place = exists && (err == EACCES || err == EPERM);
        return WriteFailure::open;
    }
    // The new file gets the owner and mode of the one it replaces, or the
    // usual mode for a new file (ownership is kept where allowed).
    mode_t mode;
    if (exists) {
        if ((st.st_uid != geteuid() || st.st_gid != getegid()) && fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Only root may give a file away: the writer's own is fine.
        }
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    err = fchmod(fd, mode) != 0 ? errno : 0;
    if (err == 0) err = write_all(fd, bytes);
    if (err == 0 && fsync(fd) != 0) err = errno;
    if (close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && std::rename(temp.c_str(), file.c_str()) != 0) err = errno;
    if (err != 0) {
        unlink(temp.c_str());
        return WriteFailure::write;
    }
    // The rename itself reaches the disk with the folder.
    const int dir = open(folder_of(file).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return WriteFailure::none;
}

}  // namespace

bool write_file_atomic(const std::string &path, const std::vector<uint8_t> &bytes, std::string &error,
                       WriteFailure *failure)
{
    WriteFailure stage = WriteFailure::open;
    int err = 0;
    std::string file;
    bool proc = false;
    struct stat st = {};
    if (path.empty()) {
        err = ENOENT;
    } else if (!follow_links(path, file, proc)) {
        err = errno;
    } else {
        const bool exists = stat(file.c_str(), &st) == 0;
        if (proc || (exists && !S_ISREG(st.st_mode))) {
            stage = write_in_place(path, bytes, err);
        } else if (exists && faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0) {
            err = errno;
        } else {
            bool in_place = false;
            stage = write_by_rename(file, exists, st, bytes, err, in_place);
            if (in_place) stage = write_in_place(file, bytes, err);
        }
    }
    if (failure != nullptr) *failure = stage;
    if (stage == WriteFailure::none) return true;
    error = "cannot write " + path + ": " + std::strerror(err);
    return false;
}

bool same_file(const std::string &a, const std::string &b)
{
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
