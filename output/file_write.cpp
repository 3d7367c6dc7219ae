#include "output/file_write.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool write_file_atomic(const std::string &path, const std::vector<uint8_t> &bytes, std::string &error)
{
    std::string temp = path + ".tmpXXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    // The new file gets the mode of the one it replaces, or the usual mode
    // for a new file.
    struct stat st;
    mode_t mode;
    if (stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    int err = 0;
    if (fchmod(fd, mode) != 0) err = errno;
    size_t done = 0;
    while (err == 0 && done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
        } else {
            done += static_cast<size_t>(n);
        }
    }
    if (err == 0 && fsync(fd) != 0) err = errno;
    if (close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && std::rename(temp.c_str(), path.c_str()) != 0) err = errno;
    if (err != 0) {
        unlink(temp.c_str());
        error = "cannot write " + path + ": " + std::strerror(err);
        return false;
    }
    return true;
}
