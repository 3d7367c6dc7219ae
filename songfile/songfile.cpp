#include "songfile/songfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "songfile/pack.h"

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

// The fewest bytes a stream of n bytes packs into: every command stores at
// least two bytes and stands for at most 256.
size_t packed_at_least(size_t n, bool end_marker)
{
    return 2 * ((n + 255) / 256) + (end_marker ? 1 : 0);
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
    std::vector<uint8_t> time[4];
    const std::vector<uint8_t> *data[12];
    for (int v = 0; v < 4; v++) {
        time[v] = without_end(streams.time[v]);
        data[v] = &streams.note[v];
        data[4 + v] = &streams.vol[v];
        data[8 + v] = &time[v];
    }
    // Packing a long song is the slow part: it stops as soon as the file is
    // certain to pass SONG_FILE_MAX, with the streams still to pack taken at
    // the fewest bytes they could pack into.
    size_t rest = 0;
    for (int i = 0; i < 12; i++)
        if (streams.used[i % 4]) rest += packed_at_least(data[i]->size(), i >= 8);
    for (int i = 0; i < 12; i++) {
        if (!streams.used[i % 4]) continue;
        if (file.size() + rest > SONG_FILE_MAX) {
            file.resize(file.size() + rest, 0);
            return file;
        }
        const bool end_marker = i >= 8;  // the time streams
        rest -= packed_at_least(data[i]->size(), end_marker);
        start[i] = pack_stream(file, *data[i], end_marker, lowest);
    }
    // Past 65535 bytes an offset no longer fits: the caller refuses such a
    // file by its size (SONG_FILE_MAX).
    for (int i = 0; i < 12; i++) put16(file, HEADER_SIZE + 2 * static_cast<size_t>(i), start[i]);
    return file;
}
