// Song files written by hand for the tests: a tone table and, per song,
// twelve streams given as packed bytes (commands and data, end marker
// included by the caller), laid out after the header.
#ifndef KELVARO_TEST_SONG_BUILDER_H
#define KELVARO_TEST_SONG_BUILDER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <vector>

namespace songtest {

// Stream indexes of voice v.
inline int note_stream(int v) { return v; }
inline int volume_stream(int v) { return 4 + v; }
inline int time_stream(int v) { return 8 + v; }

// Packs bytes as literal runs of at most 63 bytes (no end marker).
inline std::vector<uint8_t> literal(const std::vector<uint8_t> &bytes)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < bytes.size(); i += 63) {
        size_t n = bytes.size() - i < 63 ? bytes.size() - i : 63;
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(i),
                   bytes.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    return out;
}

// Packs count copies of b as repeat runs of up to 256 (no end marker).
inline std::vector<uint8_t> repeat(uint8_t b, size_t count)
{
    std::vector<uint8_t> out;
    while (count > 0) {
        size_t n = count >= 256 ? 256 : (count > 63 ? 63 : count);
        out.push_back(static_cast<uint8_t>(0x40 | (n & 0x3F)));
        out.push_back(b);
        count -= n;
    }
    return out;
}

inline std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Tone table entry bytes of a 10-bit period: low 4 bits, then high 6 bits.
inline std::vector<uint8_t> tone_entry(unsigned period)
{
    return {static_cast<uint8_t>(period & 0x0F), static_cast<uint8_t>(period >> 4)};
}

struct Song {
    std::array<std::vector<uint8_t>, 12> streams;
    std::array<bool, 12> present{};

    void set(int idx, std::vector<uint8_t> bytes)
    {
        streams[static_cast<size_t>(idx)] = std::move(bytes);
        present[static_cast<size_t>(idx)] = true;
    }
};

// Header, song table, tone table (periods), then every present stream;
// absent streams get offset 0.
inline std::vector<uint8_t> build(const std::vector<Song> &songs, const std::vector<unsigned> &periods)
{
    std::vector<uint8_t> out;
    const size_t song_table = 4, tone_table = song_table + 24 * songs.size();
    out.resize(tone_table, 0);
    out[0] = static_cast<uint8_t>(song_table >> 8);
    out[1] = static_cast<uint8_t>(song_table & 0xFF);
    out[2] = static_cast<uint8_t>(tone_table >> 8);
    out[3] = static_cast<uint8_t>(tone_table & 0xFF);
    for (unsigned p : periods) {
        std::vector<uint8_t> e = tone_entry(p);
        out.insert(out.end(), e.begin(), e.end());
    }
    for (size_t s = 0; s < songs.size(); s++) {
        for (size_t i = 0; i < 12; i++) {
            if (!songs[s].present[i]) continue;
            size_t off = out.size();
            if (off > 0xFFFF) throw std::runtime_error("song file too large for 16-bit offsets");
            size_t rec = song_table + 24 * s + 2 * i;
            out[rec] = static_cast<uint8_t>(off >> 8);
            out[rec + 1] = static_cast<uint8_t>(off & 0xFF);
            out.insert(out.end(), songs[s].streams[i].begin(), songs[s].streams[i].end());
        }
    }
    return out;
}

inline std::vector<uint8_t> build(const Song &song, const std::vector<unsigned> &periods)
{
    return build(std::vector<Song>{song}, periods);
}

// A long song: voice 0 changes note every frame for `frames` frames, C4
// (262 Hz) in odd frames and E4 (330 Hz) in even ones, at full volume, then
// falls silent. Played, it gives `frames` rows: the first of 2 frames, the
// others of 1 frame each; row i holds the note of frame i.
inline std::vector<uint8_t> alternating_song(size_t frames)
{
    std::vector<uint8_t> notes(frames);
    for (size_t i = 0; i < frames; i++) notes[i] = static_cast<uint8_t>(i % 2);
    Song s;
    s.set(time_stream(0), cat({repeat(0xC1, frames), {0x01, 0x41, 0x00}}));
    s.set(note_stream(0), literal(notes));
    s.set(volume_stream(0), cat({repeat(0x00, frames), {0x01, 0x0F}}));
    return build(s, {428, 339});
}

}  // namespace songtest

#endif
