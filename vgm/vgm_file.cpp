#include "vgm/vgm_file.h"

#include <sys/stat.h>
#include <zlib.h>

#include <cstring>

bool is_vgm_file(const std::string &path)
{
    // Only a regular file: opening a FIFO (or reading a terminal) could wait
    // for ever.
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    // zlib reads a file that is not gzip-compressed as it is.
    gzFile f = gzopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    char magic[4];
    const int n = gzread(f, magic, sizeof magic);
    gzclose(f);
    return n == static_cast<int>(sizeof magic) && std::memcmp(magic, "Vgm ", sizeof magic) == 0;
}
