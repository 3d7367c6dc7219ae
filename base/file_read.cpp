// Reading a whole file, up to a bound.
#include "base/file_read.h"
#include "base/paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <sys/stat.h>

ReadFailure read_file_whole(const std::string &path, size_t max_bytes, std::vector<uint8_t> &bytes,
                            int &error_number)
{
    bytes.clear();
    error_number = 0;
    FILE *f = open_file(path, "rb");
    if (f == nullptr) {
        error_number = errno;
        return ReadFailure::open;
    }
    // Room for the whole file at once: growing the buffer as it fills would
    // hold the old and the new buffer together, half as much again at best.
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        bytes.reserve(std::min<size_t>(static_cast<size_t>(st.st_size), max_bytes));
    uint8_t buf[65536];
    bool too_large = false;
    while (true) {
        const size_t n = std::fread(buf, 1, sizeof buf, f);
        if (n == 0) break;
        if (bytes.size() + n > max_bytes) {
            too_large = true;
            break;
        }
        bytes.insert(bytes.end(), buf, buf + n);
    }
    const bool failed = std::ferror(f) != 0;
    const int saved = errno;
    std::fclose(f);
    if (failed || too_large) std::vector<uint8_t>().swap(bytes);
    if (failed) {
        error_number = saved;
        return ReadFailure::read;
    }
    return too_large ? ReadFailure::too_large : ReadFailure::none;
}
