// Reading VGM files: whole-file load (plain or gzip), then the header
// (vgm/vgm_header.h) and the command stream (vgm/vgm_commands.h).
#include "vgm/vgm.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/file_read.h"
#include "vgm/vgm_commands.h"
#include "vgm/vgm_header.h"

namespace {

// No real SN76489 log comes near this; it keeps a damaged or hostile file
// (a gzip bomb above all) from taking the machine's memory.
constexpr size_t MAX_VGM_BYTES = 64u * 1024u * 1024u;

std::string mib(size_t bytes)
{
    return std::to_string(bytes / (1024 * 1024)) + " MiB";
}

bool inflate_gzip(const std::vector<uint8_t> &in, const std::string &path, std::vector<uint8_t> &out,
                  std::string &error)
{
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, 15 + 16) != Z_OK) {
        error = path + ": cannot start gzip decompression";
        return false;
    }
    out.clear();
    // The gzip trailer holds the unpacked size (modulo 2^32) of its member:
    // room for that at once, as for a plain file.
    if (in.size() >= 18) out.reserve(std::min<size_t>(vgm_le32(in, in.size() - 4), MAX_VGM_BYTES));
    std::vector<uint8_t> chunk(1 << 16);
    size_t pos = 0;
    bool ok = true;
    while (true) {
        size_t avail = in.size() - pos;
        uInt take = avail > (1u << 30) ? (1u << 30) : static_cast<uInt>(avail);
        zs.next_in = const_cast<Bytef *>(in.data() + pos);
        zs.avail_in = take;
        zs.next_out = chunk.data();
        zs.avail_out = static_cast<uInt>(chunk.size());
        int rc = inflate(&zs, Z_NO_FLUSH);
        pos += take - zs.avail_in;
        size_t produced = chunk.size() - zs.avail_out;
        if (out.size() + produced > MAX_VGM_BYTES) {
            error = path + ": gzip data unpacks to more than " + mib(MAX_VGM_BYTES) +
                    ", too large for a VGM file";
            ok = false;
            break;
        }
        out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<long>(produced));
        if (rc == Z_STREAM_END) {
            // Concatenated gzip members are one file; anything else after the
            // first member is ignored.
            if (in.size() - pos >= 2 && in[pos] == 0x1F && in[pos + 1] == 0x8B) {
                inflateReset(&zs);
                continue;
            }
            break;
        }
        bool progress = produced != 0 || zs.avail_in != take;
        if (rc == Z_OK || (rc == Z_BUF_ERROR && progress)) continue;
        if (rc == Z_BUF_ERROR && pos == in.size())
            error = path + ": damaged gzip data (the compressed file ends too early)";
        else if (rc == Z_MEM_ERROR)
            error = path + ": out of memory while unpacking gzip data";
        else
            error = path + ": damaged gzip data" + (zs.msg != nullptr ? std::string(" (") + zs.msg + ")" : "");
        ok = false;
        break;
    }
    inflateEnd(&zs);
    return ok;
}


std::string version_text(uint32_t v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%X.%02X", v >> 8, v & 0xFF);
    return buf;
}

}  // namespace

bool load_vgm_bytes(const std::string &path, std::vector<uint8_t> &bytes, std::string &error)
{
    bytes.clear();
    std::vector<uint8_t> raw;
    int why = 0;
    switch (read_file_whole(path, MAX_VGM_BYTES, raw, why)) {
    case ReadFailure::open: error = path + ": cannot open: " + std::strerror(why); return false;
    case ReadFailure::read: error = path + ": cannot read: " + std::strerror(why); return false;
    case ReadFailure::too_large:
        error = path + ": larger than " + mib(MAX_VGM_BYTES) + ", too large for a VGM file";
        return false;
    case ReadFailure::none: break;
    }
    if (raw.size() >= 2 && raw[0] == 0x1F && raw[1] == 0x8B) return inflate_gzip(raw, path, bytes, error);
    bytes.swap(raw);
    return true;
}

namespace {

// The warnings of the header's offsets that point past the end of the file
// (a download cut short has them), and the end of the commands: the GD3 tag
// when it follows them, else the end of the file. data_start moves back to
// the end of the file when it lies past it.
uint64_t check_offsets(const VgmHeader &h, size_t size, const std::string &name, uint64_t &data_start, VgmLog &log)
{
    if (h.eof_offset != 0 && 4 + static_cast<uint64_t>(h.eof_offset) > size)
        log.warnings.push_back(name + ": the file is shorter than its header says (" + std::to_string(size) +
                               " bytes of " + std::to_string(4 + static_cast<uint64_t>(h.eof_offset)) +
                               "): it may be cut short");
    auto past_end = [&](const std::string &what, uint64_t at, const std::string &then) {
        log.warnings.push_back(name + ": the header points past the end of the file (" + what + " at " +
                               vgm_hex(at) + ", but the file ends at " + vgm_hex(size) + "); " + then);
    };
    if (data_start > size) {
        past_end("sound data", data_start, "there are no commands to read");
        data_start = size;
    }
    uint64_t data_end = size;
    if (h.gd3_offset != 0) {
        const uint64_t gd3 = 0x14 + static_cast<uint64_t>(h.gd3_offset);
        if (gd3 > size)
            past_end("GD3 tag", gd3, "the commands are read up to the end of the file");
        else if (gd3 >= data_start)
            data_end = gd3;
    }
    if (h.loop_offset != 0 && 0x1C + static_cast<uint64_t>(h.loop_offset) > size)
        past_end("loop point", 0x1C + static_cast<uint64_t>(h.loop_offset),
                 "the commands are read up to the end of the file");
    return data_end;
}

}  // namespace

bool parse_vgm(const std::vector<uint8_t> &bytes, const std::string &name, VgmLog &log, std::string &error)
{
    log = VgmLog();
    const size_t size = bytes.size();
    if (size < 4 || std::memcmp(bytes.data(), "Vgm ", 4) != 0) {
        error = name + ": not a VGM file (no \"Vgm \" ident)";
        return false;
    }
    auto cut_in_header = [&](uint64_t data_start) {
        return name + ": the file ends inside its header, at " + vgm_hex(size) + " (sound data would start at " +
               vgm_hex(data_start) + ")";
    };
    if (size < 0x10) {  // not even the SN76489 clock is there
        error = cut_in_header(0x40);
        return false;
    }

    const VgmHeader h = read_vgm_header(bytes);
    log.version = h.version;
    log.clock = vgm_clock(h);
    log.dual = vgm_dual(h);
    log.t6w28 = vgm_t6w28(h);
    if (log.clock == 0) {
        error = name + ": no SN76489 in this VGM file (its clock is 0)";
        return false;
    }
    uint64_t data_start = vgm_data_start(h);
    if (data_start > size && size < 0x40) {
        error = cut_in_header(data_start);
        return false;
    }

    if (log.version < 0x100 || log.version > 0x172)
        log.warnings.push_back(name + ": VGM version " + version_text(log.version) +
                               " is outside 1.00 to 1.72; reading it as far as it matches");
    const uint64_t data_end = check_offsets(h, size, name, data_start, log);
    if (log.t6w28)
        log.warnings.push_back(name + ": a T6W28 (a stereo pair of SN76489 chips); only the first chip is read");
    else if (log.dual)
        log.warnings.push_back(name + ": two SN76489 chips; only the first one is read");

    read_vgm_commands(bytes, data_start, data_end, name, log);
    return true;
}
