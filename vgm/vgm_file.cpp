#include "vgm/vgm_file.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>

#include "base/paths.h"

bool is_vgm_file(const std::string &path)
{
    // Only a regular file: opening a FIFO (or reading a terminal) could wait
    // for ever.
    FileStamp st;
    if (!file_stamp(path, st) || !st.regular) return false;
    FILE *f = open_file(path, "rb");
    if (f == nullptr) return false;
    unsigned char head[65536];
    const size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (n >= 4 && std::memcmp(head, "Vgm ", 4) == 0) return true;
    if (n < 2 || head[0] != 0x1F || head[1] != 0x8B) return false;
    // gzip's: the first bytes unpacked.
    unsigned char magic[4];
    z_stream zs = {};
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) return false;
    zs.next_in = head;
    zs.avail_in = static_cast<uInt>(n);
    zs.next_out = magic;
    zs.avail_out = sizeof magic;
    const int rc = inflate(&zs, Z_SYNC_FLUSH);
    inflateEnd(&zs);
    return (rc == Z_OK || rc == Z_STREAM_END) && zs.avail_out == 0 && std::memcmp(magic, "Vgm ", 4) == 0;
}
