// Files, paths and the clock on POSIX systems (paths_windows.cpp on
// Windows).
#include "base/paths.h"

#include <sys/stat.h>

std::vector<std::string> program_arguments(int argc, char **argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

FILE *open_file(const std::string &path, const char *mode)
{
    return std::fopen(path.c_str(), mode);
}

size_t file_name_start(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

bool file_stamp(const std::string &path, FileStamp &stamp)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    stamp.regular = S_ISREG(st.st_mode);
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.device = static_cast<uint64_t>(st.st_dev);
    stamp.number = static_cast<uint64_t>(st.st_ino);
    return true;
}

bool local_time_now(std::tm &t)
{
    const std::time_t now = std::time(nullptr);
    return localtime_r(&now, &t) != nullptr;
}
