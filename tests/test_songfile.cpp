// The song file: its layout, every stream reading back through the player
// from the offset in the song record, and writing it without ever losing the
// file it replaces.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "player/player.h"
#include "player/side_play.h"
#include "tests/test_support.h"
#include "songfile/pack.h"
#include "songfile/songfile.h"
#include "songfile/verify.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t be16(const Bytes &f, size_t at) { return static_cast<uint32_t>(f[at] << 8 | f[at + 1]); }

// Stream start offset k (0-3 notes, 4-7 volumes, 8-11 times) of song 0.
uint32_t stream_start(const Bytes &f, int k) { return be16(f, be16(f, 0) + 2 * static_cast<size_t>(k)); }

// The voice's chip state after each frame, as the converter sees it.
struct PlayedFrame {
    uint8_t vol[4];
    uint32_t tone[4];
    bool operator==(const PlayedFrame &o) const
    {
        for (int v = 0; v < 4; v++)
            if (vol[v] != o.vol[v] || tone[v] != o.tone[v]) return false;
        return true;
    }
};

std::vector<PlayedFrame> play(const Bytes &file)
{
    std::vector<PlayedFrame> frames;
    play_song_file(file, [&](const OUTPUT &chip, bool running) {
        PlayedFrame f;
        for (int v = 0; v < 4; v++) {
            f.vol[v] = chip.vol[v];
            f.tone[v] = chip.tone[v];
        }
        frames.push_back(f);
        return running && frames.size() < 100000;
    });
    return frames;
}

SongStreams example_streams()
{
    SongStreams s;
    s.tones = {428, 339};
    s.used[0] = true;
    s.note[0] = {0, 1};
    s.vol[0] = {0, 0, 15};
    s.time[0] = {0x01, 0xC3, 0xC2, 0x41};
    return s;
}

TEST(SongFile, ExampleSong)
{
    const Bytes file = build_song_file(example_streams());
    EXPECT_EQ(file, example_song);
    EXPECT_EQ(play(file), play(example_song));
}

TEST(SongFile, LayoutAndEveryStreamReadsBack)
{
    std::mt19937 rng(17);
    SongStreams s;
    s.tones = {0, 1, 0x0F, 0x10, 0x1AC, 0x3FF, 0x155};
    for (int v : {0, 1, 3}) {
        s.used[v] = true;
        for (int k = 0; k < 300 + 100 * v; k++) {
            s.note[v].push_back(static_cast<uint8_t>(rng() % 7));
            s.vol[v].push_back(static_cast<uint8_t>(rng() % 16));
            s.time[v].push_back(static_cast<uint8_t>(0xC0 | (1 + rng() % 5)));
        }
        // Passages shared between voices and repeated within one.
        s.vol[v].insert(s.vol[v].end(), s.vol[0].begin(), s.vol[0].begin() + 100);
        s.time[v].insert(s.time[v].end(), s.time[v].begin(), s.time[v].begin() + 200);
    }

    const Bytes file = build_song_file(s);
    ASSERT_LE(file.size(), SONG_FILE_MAX);
    EXPECT_EQ(be16(file, 0), 4u);
    EXPECT_EQ(be16(file, 2), 28u);
    // Tone table: low 4 bits of the period, then its high 6 bits.
    const Bytes tones = {0x00, 0x00, 0x01, 0x00, 0x0F, 0x00, 0x00, 0x01, 0x0C, 0x1A, 0x0F, 0x3F, 0x05, 0x15};
    EXPECT_EQ(Bytes(file.begin() + 28, file.begin() + 28 + 14), tones);

    for (int v = 0; v < 4; v++) {
        SCOPED_TRACE("voice " + std::to_string(v));
        if (!s.used[v]) {
            EXPECT_EQ(stream_start(file, v), 0u);
            EXPECT_EQ(stream_start(file, 4 + v), 0u);
            EXPECT_EQ(stream_start(file, 8 + v), 0u);
            continue;
        }
        const uint32_t note = stream_start(file, v), vol = stream_start(file, 4 + v), time = stream_start(file, 8 + v);
        EXPECT_GE(note, 42u);
        EXPECT_GE(vol, 42u);
        EXPECT_GE(time, 42u);
        EXPECT_EQ(unpack_stream(file, note, s.note[v].size()), s.note[v]);
        EXPECT_EQ(unpack_stream(file, vol, s.vol[v].size()), s.vol[v]);
        Bytes with_end = s.time[v];
        with_end.push_back(0);
        EXPECT_EQ(unpack_stream(file, time, with_end.size()), with_end);
    }
    size_t literal = 4 + 24 + 14;
    for (int v : {0, 1, 3})
        literal += literal_only_size(s.note[v], false) + literal_only_size(s.vol[v], false) +
                   literal_only_size(s.time[v], true);
    EXPECT_LT(file.size(), literal);
}

TEST(SongFile, TimeStreamThatAlreadyEndsInZero)
{
    SongStreams s = example_streams();
    s.time[0].push_back(0);
    const Bytes file = build_song_file(s);
    EXPECT_EQ(file, example_song);  // one end marker, not two
}

TEST(SongFile, UsedVoiceWithoutNotes)
{
    // Voice 3 only changes volume: its note stream is empty but its offset
    // still points into the file, never at the header.
    SongStreams s = example_streams();
    s.used[3] = true;
    s.vol[3] = {4, 15};
    s.time[3] = {0x42, 0x41};
    const Bytes file = build_song_file(s);
    EXPECT_NE(stream_start(file, 3), 0u);
    EXPECT_NE(stream_start(file, 7), 0u);
    EXPECT_NE(stream_start(file, 11), 0u);
    const std::vector<PlayedFrame> frames = play(file);
    ASSERT_GE(frames.size(), 4u);
    EXPECT_EQ(frames[0].vol[3], 0xF4);
    EXPECT_EQ(frames[1].vol[3], 0xF4);
    EXPECT_EQ(frames[2].vol[3], 0xFF);
    EXPECT_EQ(frames[0].tone[3], 0u);
    // Voice 0 plays as in the example song.
    const std::vector<PlayedFrame> example = play(example_song);
    ASSERT_EQ(frames.size(), example.size());
    for (size_t i = 0; i < frames.size(); i++) {
        EXPECT_EQ(frames[i].vol[0], example[i].vol[0]) << i;
        EXPECT_EQ(frames[i].tone[0], example[i].tone[0]) << i;
    }
}

TEST(SongFile, SongTooLargeStillBuilds)
{
    // The caller rejects it; building it must neither crash nor loop.
    std::mt19937 rng(1);
    SongStreams s;
    s.used[0] = true;
    for (int k = 0; k < 70000; k++) s.vol[0].push_back(static_cast<uint8_t>(rng()));
    s.time[0].assign(10, 0x41);
    const Bytes file = build_song_file(s);
    EXPECT_GT(file.size(), SONG_FILE_MAX);
}

// The file offsets that the back-references of the stream at start copy
// from, over the commands that make its first count bytes.
std::vector<uint32_t> copy_sources(const Bytes &f, uint32_t start, size_t count)
{
    std::vector<uint32_t> sources;
    size_t at = start, made = 0;
    while (made < count && at < f.size() && f[at] != 0) {
        const uint8_t c = f[at];
        size_t n = c & 0x3F;
        if (c >= 0x40 && n == 0) n = 256;
        if (at + (c >> 6 == 3 ? 2 : 1) >= f.size()) {
            ADD_FAILURE() << "command cut short at offset " << at;
            break;
        }
        switch (c >> 6) {
        case 0: at += 1 + n; break;
        case 1: at += 2; break;
        case 2:
            sources.push_back(start + f[at + 1]);
            at += 2;
            break;
        default:
            sources.push_back(be16(f, at + 1));
            at += 3;
            break;
        }
        made += n;
    }
    return sources;
}

// Every stream of a used voice reads back from the offset in the song
// record, and no back-reference copies from the header or the song record:
// those bytes were not final while the streams were packed.
void expect_streams_read_back(const Bytes &file, const SongStreams &s)
{
    const uint32_t tones_at = be16(file, 2);
    for (int v = 0; v < 4; v++) {
        if (!s.used[v]) continue;
        SCOPED_TRACE("voice " + std::to_string(v));
        Bytes time = s.time[v];
        if (time.empty() || time.back() != 0) time.push_back(0);
        const Bytes *streams[3] = {&s.note[v], &s.vol[v], &time};
        for (int k = 0; k < 3; k++) {
            const uint32_t start = stream_start(file, 4 * k + v);
            EXPECT_EQ(unpack_stream(file, start, streams[k]->size()), *streams[k]) << "stream " << 4 * k + v;
            for (uint32_t src : copy_sources(file, start, streams[k]->size()))
                EXPECT_GE(src, tones_at) << "stream " << 4 * k + v << " copies from offset " << src;
        }
    }
}

TEST(SongFile, NoStreamCopiesTheSongRecord)
{
    {  // While the streams are packed the record still holds zeros: header
       // byte 3 and five zeros would be one 3-byte copy from offset 3, and
       // the record's last bytes with the tone table one from offset 26.
        SongStreams s;
        s.tones = {0x1AC, 0x155, 0x0F0};
        s.used[0] = true;
        s.note[0] = {0x1C, 0, 0, 0, 0, 0};
        s.vol[0] = {0, 0, 0x0C, 0x1A, 0x05, 0x15};
        s.time[0] = {0xC1, 0xC1, 0xC1, 0xC1, 0xC1, 0xC1};
        const Bytes file = build_song_file(s);
        expect_streams_read_back(file, s);
    }
    // Streams made of the bytes that start the file, the tone table among
    // them (copies from it are fine), of runs and of random bytes.
    for (uint32_t seed = 0; seed < 200; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        SongStreams s;
        for (size_t k = 1 + rng() % 12; k > 0; k--) s.tones.push_back(static_cast<uint16_t>(rng() % 1024));
        Bytes start = {0x00, 0x04, 0x00, 0x1C};
        start.resize(28, 0);
        for (uint16_t t : s.tones) {
            start.push_back(static_cast<uint8_t>(t & 0x0F));
            start.push_back(static_cast<uint8_t>(t >> 4));
        }
        auto stream = [&](size_t n) {
            Bytes b;
            while (b.size() < n) {
                switch (rng() % 3) {
                case 0: {
                    const size_t from = rng() % start.size(), len = 1 + rng() % 12;
                    for (size_t k = from; k < std::min(from + len, start.size()); k++) b.push_back(start[k]);
                    break;
                }
                case 1: b.insert(b.end(), 1 + rng() % 5, static_cast<uint8_t>(rng() % 3)); break;
                default: b.push_back(static_cast<uint8_t>(rng() % 8)); break;
                }
            }
            return b;
        };
        for (int v = 0; v < 4; v++) {
            if (v > 0 && rng() % 3 == 0) continue;
            s.used[v] = true;
            s.note[v] = stream(rng() % 60);
            s.vol[v] = stream(rng() % 60);
            s.time[v] = stream(1 + rng() % 60);
            for (uint8_t &b : s.time[v])
                if (b == 0) b = 0xC1;  // a time stream ends at its first 0
        }
        const Bytes file = build_song_file(s);
        expect_streams_read_back(file, s);
        if (HasFailure()) break;
    }
}

TEST(SongFile, RandomSongsPlayBack)
{
    // Songs with long silences, envelopes, the notes of a small pool (few
    // tone table entries, small note bytes) and noise: each built from its
    // streams plays back exactly as the frames go.
    const uint16_t pool[] = {0, 1, 5, 28, 300, 301, 428, 339, 1000, 1023};
    std::mt19937 rng(2024);
    for (int song = 0; song < 150; song++) {
        SCOPED_TRACE("song " + std::to_string(song));
        std::vector<Frame> frames(1 + rng() % 1500);
        for (int v = 0; v < 4; v++) {
            size_t f = 0;
            while (f < frames.size()) {
                const size_t kind = rng() % 10;
                const size_t run = kind == 0 ? 200 + rng() % 400 : 1 + rng() % (kind < 5 ? 3 : 40);
                const bool silent = rng() % 3 == 0;
                const auto note = static_cast<uint16_t>(v == 3 ? rng() % 8 : pool[rng() % 10]);
                auto atten = static_cast<uint8_t>(rng() % 15);
                const bool envelope = rng() % 2 == 0;
                for (size_t k = 0; k < run && f < frames.size(); k++, f++) {
                    frames[f].v[v] = VoiceState{silent ? uint8_t{15} : atten, note};
                    if (envelope && atten < 14 && rng() % 3 == 0) atten++;
                }
            }
        }
        const SongStreams s = build_streams(frames);
        const Bytes file = build_song_file(s);
        std::string why;
        EXPECT_TRUE(verify_song(file, frames, &why)) << why;
        expect_streams_read_back(file, s);
        if (HasFailure()) break;
    }
}

}  // namespace
