// Reading VGM files: whole-file load (plain or gzip) and the command stream
// walk that keeps the first SN76489's writes on a sample timeline.
#include "vgm/vgm.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// No real SN76489 log comes near this; it keeps a damaged or hostile file
// (a gzip bomb above all) from taking the machine's memory.
constexpr size_t MAX_VGM_BYTES = 64u * 1024u * 1024u;

// Longest timeline read: two hours. Beyond it the frames alone would take
// gigabytes, and no song file could hold the song anyway.
constexpr uint64_t MAX_SAMPLES = 2ull * 60 * 60 * 44100;

std::string hex(uint64_t v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

std::string mib(size_t bytes)
{
    return std::to_string(bytes / (1024 * 1024)) + " MiB";
}

uint32_t le32(const std::vector<uint8_t> &b, size_t off)
{
    return static_cast<uint32_t>(b[off]) | static_cast<uint32_t>(b[off + 1]) << 8 |
           static_cast<uint32_t>(b[off + 2]) << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
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
    if (in.size() >= 18) out.reserve(std::min<size_t>(le32(in, in.size() - 4), MAX_VGM_BYTES));
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


// A header field, 0 when it lies beyond the end of the header (limit, the
// start of the commands or the end of the file).
uint32_t field(const std::vector<uint8_t> &b, size_t off, size_t limit)
{
    if (limit > b.size()) limit = b.size();
    if (off + 4 > limit) return 0;
    return le32(b, off);
}

// Operand bytes that follow a command byte, or -1 for a byte that is not a
// command. Waits, 0x66 and 0x67 are handled before this is asked.
int operand_length(uint8_t c)
{
    if (c >= 0x30 && c <= 0x3F) return 1;
    if (c >= 0x40 && c <= 0x4E) return 2;
    if (c == 0x4F || c == 0x50) return 1;
    if (c >= 0x51 && c <= 0x5F) return 2;
    if (c == 0x68) return 11;
    if (c >= 0x70 && c <= 0x8F) return 0;
    if (c == 0x90 || c == 0x91 || c == 0x95) return 4;
    if (c == 0x92) return 5;
    if (c == 0x93) return 10;
    if (c == 0x94) return 1;
    if (c >= 0xA0 && c <= 0xBF) return 2;
    if (c >= 0xC0 && c <= 0xDF) return 3;
    if (c >= 0xE0) return 4;
    return -1;
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
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    // Room for the whole file at once: growing the buffer as it fills would
    // hold the old and the new buffer together, half as much again at best.
    std::vector<uint8_t> raw;
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        raw.reserve(std::min<size_t>(static_cast<size_t>(st.st_size), MAX_VGM_BYTES));
    uint8_t buf[65536];
    bool too_large = false;
    while (true) {
        size_t n = std::fread(buf, 1, sizeof buf, f);
        if (n == 0) break;
        if (raw.size() + n > MAX_VGM_BYTES) {
            too_large = true;
            break;
        }
        raw.insert(raw.end(), buf, buf + n);
    }
    bool failed = std::ferror(f) != 0;
    int saved = errno;
    std::fclose(f);
    if (failed) {
        error = path + ": cannot read: " + std::strerror(saved);
        return false;
    }
    if (too_large) {
        error = path + ": larger than " + mib(MAX_VGM_BYTES) + ", too large for a VGM file";
        return false;
    }
    if (raw.size() >= 2 && raw[0] == 0x1F && raw[1] == 0x8B) return inflate_gzip(raw, path, bytes, error);
    bytes.swap(raw);
    return true;
}

bool parse_vgm(const std::vector<uint8_t> &bytes, const std::string &name, VgmLog &log, std::string &error)
{
    log = VgmLog();
    const size_t size = bytes.size();
    if (size < 4 || std::memcmp(bytes.data(), "Vgm ", 4) != 0) {
        error = name + ": not a VGM file (no \"Vgm \" ident)";
        return false;
    }
    auto cut_in_header = [&](uint64_t data_start) {
        return name + ": the file ends inside its header, at " + hex(size) + " (sound data would start at " +
               hex(data_start) + ")";
    };
    if (size < 0x10) {  // not even the SN76489 clock is there
        error = cut_in_header(0x40);
        return false;
    }

    log.version = field(bytes, 0x08, size);
    const uint32_t raw_clock = field(bytes, 0x0C, size);
    log.clock = raw_clock & 0x3FFFFFFFu;
    log.dual = (raw_clock & 0x40000000u) != 0;
    log.t6w28 = log.dual && (raw_clock & 0x80000000u) != 0;
    if (log.clock == 0) {
        error = name + ": no SN76489 in this VGM file (its clock is 0)";
        return false;
    }

    // Where the commands start: the data offset field from version 1.50 on,
    // else (or when that field is 0) right after the 64-byte header.
    uint64_t data_start = 0x40;
    const uint32_t data_field = log.version >= 0x150 ? field(bytes, 0x34, size) : 0;
    if (data_field != 0) data_start = 0x34 + static_cast<uint64_t>(data_field);
    if (data_start > size && size < 0x40) {
        error = cut_in_header(data_start);
        return false;
    }

    if (log.version < 0x100 || log.version > 0x172)
        log.warnings.push_back(name + ": VGM version " + version_text(log.version) +
                               " is outside 1.00 to 1.72; reading it as far as it matches");
    const uint32_t eof_field = field(bytes, 0x04, data_start);
    if (eof_field != 0 && 4 + static_cast<uint64_t>(eof_field) > size)
        log.warnings.push_back(name + ": the file is shorter than its header says (" + std::to_string(size) +
                               " bytes of " + std::to_string(4 + static_cast<uint64_t>(eof_field)) +
                               "): it may be cut short");

    // Offsets past the end of the file, as a download cut short has them:
    // the commands are read up to the end of the file.
    auto past_end = [&](const std::string &what, uint64_t at, const std::string &then) {
        log.warnings.push_back(name + ": the header points past the end of the file (" + what + " at " + hex(at) +
                               ", but the file ends at " + hex(size) + "); " + then);
    };
    if (data_start > size) {
        past_end("sound data", data_start, "there are no commands to read");
        data_start = size;
    }
    uint64_t data_end = size;
    const uint32_t gd3_field = field(bytes, 0x14, data_start);
    if (gd3_field != 0) {
        const uint64_t gd3 = 0x14 + static_cast<uint64_t>(gd3_field);
        if (gd3 > size)
            past_end("GD3 tag", gd3, "the commands are read up to the end of the file");
        else if (gd3 >= data_start)
            data_end = gd3;
    }
    const uint32_t loop_field = field(bytes, 0x1C, data_start);
    if (loop_field != 0 && 0x1C + static_cast<uint64_t>(loop_field) > size)
        past_end("loop point", 0x1C + static_cast<uint64_t>(loop_field),
                 "the commands are read up to the end of the file");

    if (log.t6w28)
        log.warnings.push_back(name + ": a T6W28 (a stereo pair of SN76489 chips); only the first chip is read");
    else if (log.dual)
        log.warnings.push_back(name + ": two SN76489 chips; only the first one is read");

    uint64_t pos = data_start;
    uint64_t now = 0;
    ChipState chip;
    uint64_t last_write = 0;  // the time of the last write
    // The frames that end at or before sample `until` take the state as it is.
    auto close_frames = [&](uint64_t until) {
        while ((log.frames.size() + 1) * SAMPLES_PER_FRAME <= until) log.frames.push_back(chip);
    };
    auto stop = [&](const std::string &why) {
        log.warnings.push_back(name + ": " + why + " at offset " + hex(pos) + "; the song is read up to there");
    };
    auto wait = [&](uint64_t n) {
        now += n;
        if (now > MAX_SAMPLES) {
            now = MAX_SAMPLES;
            return false;
        }
        return true;
    };
    while (pos < data_end) {
        uint8_t c = bytes[pos];
        if (c == 0x66) break;
        uint64_t left = data_end - pos - 1;  // operand bytes available
        bool in_time = true;
        if (c == 0x61) {
            if (left < 2) {
                stop("a wait command (0x61) runs past the end of the sound data");
                break;
            }
            in_time = wait(static_cast<uint64_t>(bytes[pos + 1]) | static_cast<uint64_t>(bytes[pos + 2]) << 8);
            pos += 3;
        } else if (c == 0x62) {
            in_time = wait(735);
            pos += 1;
        } else if (c == 0x63) {
            in_time = wait(882);
            pos += 1;
        } else if (c >= 0x70 && c <= 0x7F) {
            in_time = wait((c & 0x0Fu) + 1);
            pos += 1;
        } else if (c >= 0x80 && c <= 0x8F) {
            in_time = wait(c & 0x0Fu);
            pos += 1;
        } else if (c == 0x67) {
            if (left < 6) {
                stop("a data block (0x67) runs past the end of the sound data");
                break;
            }
            if (bytes[pos + 1] != 0x66) {
                stop("a damaged data block (0x67 not followed by 0x66)");
                break;
            }
            uint64_t block = le32(bytes, pos + 3);
            if (left < 6 + block) {
                stop("a data block of " + std::to_string(block) + " bytes runs past the end of the sound data");
                break;
            }
            pos += 7 + block;
        } else {
            int n = operand_length(c);
            if (n < 0) {
                stop("unknown command byte " + hex(c));
                break;
            }
            if (left < static_cast<uint64_t>(n)) {
                stop("command " + hex(c) + " runs past the end of the sound data");
                break;
            }
            if (c == 0x50) {
                close_frames(now);
                chip_write(chip, bytes[pos + 1]);
                log.write_count++;
                last_write = now;
            }
            pos += 1 + static_cast<uint64_t>(n);
        }
        if (!in_time) {
            log.warnings.push_back(name + ": the song runs longer than two hours; it is cut there (offset " +
                                   hex(pos) + ")");
            break;
        }
    }
    log.end_sample = now;
    // Every frame the timeline reaches; a write at its very end gets the
    // frame that holds it.
    const uint64_t end = log.write_count > 0 && last_write == now ? now + 1 : now;
    while (log.frames.size() * SAMPLES_PER_FRAME < end) log.frames.push_back(chip);
    return true;
}
