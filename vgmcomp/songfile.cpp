#include "vgmcomp/songfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vgmcomp/pack.h"

namespace {

constexpr size_t HEADER_SIZE = 4;
constexpr size_t RECORD_SIZE = 24;

void put16(std::vector<uint8_t> &file, size_t at, uint32_t value)
{
    file[at] = static_cast<uint8_t>(value >> 8);
    file[at + 1] = static_cast<uint8_t>(value);
}

// A time stream ends with an end-of-stream command. The time vectors do not
// hold that final 0; one that does anyway has it replaced by the command,
// so the stream never ends twice.
std::vector<uint8_t> without_end(const std::vector<uint8_t> &time)
{
    if (!time.empty() && time.back() == 0) return {time.begin(), time.end() - 1};
    return time;
}

}  // namespace

std::vector<uint8_t> build_song_file(const SongStreams &streams)
{
    std::vector<uint8_t> file(HEADER_SIZE + RECORD_SIZE, 0);
    const size_t tone_at = file.size();
    put16(file, 0, HEADER_SIZE);
    put16(file, 2, static_cast<uint32_t>(tone_at));
    // Tone table entries are the two data parts of a tone write: the low 4
    // bits of the 10-bit period, then its high 6 bits (bits above the 10 are
    // not stored).
    for (uint16_t period : streams.tones) {
        file.push_back(static_cast<uint8_t>(period & 0x0F));
        file.push_back(static_cast<uint8_t>((period >> 4) & 0x3F));
    }

    // Stream start offsets in record order: note 0-3, volume 0-3, time 0-3.
    // Unused voices keep offset 0 for all three streams. The streams are
    // stored in that order too (on real songs other orders came out within a
    // fraction of a percent). An empty stream of a used voice (a voice that
    // never changes note) gets the offset where it would start, never 0.
    // The song record gets its offsets only after the streams are packed: till
    // then it holds zeros, which a back-reference would copy as they are now
    // and read back changed. So the streams copy nothing before the tone
    // table, whose bytes are final.
    uint32_t start[12] = {};
    const auto lowest = static_cast<uint32_t>(tone_at);
    for (int v = 0; v < 4; v++)
        if (streams.used[v]) start[v] = pack_stream(file, streams.note[v], false, lowest);
    for (int v = 0; v < 4; v++)
        if (streams.used[v]) start[4 + v] = pack_stream(file, streams.vol[v], false, lowest);
    for (int v = 0; v < 4; v++)
        if (streams.used[v]) start[8 + v] = pack_stream(file, without_end(streams.time[v]), true, lowest);
    // Past 65535 bytes an offset no longer fits: the caller refuses such a
    // file by its size (SONG_FILE_MAX).
    for (int i = 0; i < 12; i++) put16(file, HEADER_SIZE + 2 * static_cast<size_t>(i), start[i]);
    return file;
}
