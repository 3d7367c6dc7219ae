#include "songfile/streams.h"

#include <algorithm>
#include <cmath>
#include <map>

// How the player reads a voice's time stream: it takes a time code at
// frame f; bit 7 reads a note byte, bit 6 a volume byte, and bits 0-5 give
// the wait: the next code is taken at frame f + max(wait, 1). Code 0 ends the
// voice. Volume-only codes 0x7A-0x7F are read as repeated codes, so a
// volume-only change never takes a wait of 58 to 63 by itself.
namespace {

constexpr size_t TONE_TABLE_MAX = 256;
constexpr uint8_t NOTE_FOLLOWS = 0x80;
constexpr uint8_t VOLUME_FOLLOWS = 0x40;
constexpr uint64_t MAX_WAIT = 63;
constexpr uint64_t MAX_VOLUME_ONLY_WAIT = 57;  // 58-63 would read as 0x7A-0x7F

// One frame at which a voice's time code reads a note, a volume or both.
struct Change {
    uint64_t frame;  // 1-based frame number
    bool note;
    bool vol;
    uint16_t value;  // the note (period or noise control) when note is set
    uint8_t atten;   // the attenuation when vol is set
};

// The note as the chip holds it: a 10-bit period (0 and 1024 are the same
// period to the chip) or a 3-bit noise control.
uint16_t chip_note(int v, uint16_t note)
{
    return static_cast<uint16_t>(v == 3 ? note & 0x07 : note & 0x3FF);
}

// The changes of voice v over frames 1..F and the final frame F+1, at which
// every voice is silent. A note is sent when the voice sounds with a note
// other than the last one sent, or when the frame retunes the silent voice.
std::vector<Change> voice_changes(const std::vector<Frame> &frames, int v)
{
    std::vector<Change> changes;
    uint8_t atten = 15;  // the player starts every voice silent
    bool note_sent = false;
    uint16_t last_note = 0;
    for (size_t i = 0; i <= frames.size(); i++) {
        const bool final_frame = i == frames.size();
        const uint8_t a = final_frame ? 15 : static_cast<uint8_t>(frames[i].v[v].atten & 0x0F);
        Change c{i + 1, false, false, 0, a};
        // A retuned silent voice is sent its note too: an inaudible change.
        const bool retune = !final_frame && ((frames[i].retune >> v) & 1) != 0;
        if (a != 15 || retune) {
            const uint16_t n = chip_note(v, frames[i].v[v].note);
            if (!note_sent || n != last_note) {
                c.note = true;
                c.value = n;
                note_sent = true;
                last_note = n;
            }
        }
        if (a != atten) {
            c.vol = true;
            atten = a;
        }
        if (c.note || c.vol) changes.push_back(c);
    }
    return changes;
}

// The tone table: every period that voices 0-2 send, ascending. When there
// are more than fit (the caller merges periods first, so this is a fault of
// the caller), the most used ones are kept and the others are sent as the
// nearest kept period.
std::vector<uint16_t> tone_table(const std::vector<Change> (&changes)[4])
{
    std::map<uint16_t, size_t> uses;
    for (int v = 0; v < 3; v++)
        for (const Change &c : changes[v])
            if (c.note) uses[c.value]++;
    std::vector<std::pair<uint16_t, size_t>> periods(uses.begin(), uses.end());
    if (periods.size() > TONE_TABLE_MAX) {
        std::stable_sort(periods.begin(), periods.end(),
                         [](const auto &a, const auto &b) { return a.second > b.second; });
        periods.resize(TONE_TABLE_MAX);
    }
    std::vector<uint16_t> table;
    for (const auto &p : periods) table.push_back(p.first);
    std::sort(table.begin(), table.end());
    return table;
}

// The index of period in table, or of the entry nearest in pitch.
uint8_t tone_index(const std::vector<uint16_t> &table, uint16_t period)
{
    auto it = std::lower_bound(table.begin(), table.end(), period);
    if (it != table.end() && *it == period) return static_cast<uint8_t>(it - table.begin());
    // Period 0 is 1024 to the chip.
    auto pitch = [](uint16_t p) { return std::log2(p == 0 ? 1024.0 : static_cast<double>(p)); };
    size_t best = 0;
    double best_distance = -1;
    for (size_t k = 0; k < table.size(); k++) {
        double d = std::fabs(pitch(table[k]) - pitch(period));
        if (best_distance < 0 || d < best_distance) {
            best = k;
            best_distance = d;
        }
    }
    return static_cast<uint8_t>(best);
}

// Appends the time code with data flags that is taken at some frame and
// whose next code comes gap frames later (gap >= 1), with wait-only codes
// after it where the gap is longer than one code can wait.
void put_codes(std::vector<uint8_t> &time, uint8_t flags, uint64_t gap)
{
    const uint64_t first_max = flags == VOLUME_FOLLOWS ? MAX_VOLUME_ONLY_WAIT : MAX_WAIT;
    uint64_t wait = std::min(gap, first_max);
    time.push_back(static_cast<uint8_t>(flags | wait));
    for (uint64_t rest = gap - wait; rest > 0; rest -= wait) {
        wait = std::min(rest, MAX_WAIT);
        time.push_back(static_cast<uint8_t>(wait));
    }
}

// The repeated code standing for count volume-only codes with wait d.
uint8_t repeat_code(uint8_t d, size_t count)
{
    if (d == 3) return 0x7A;
    if (d == 2) return count == 2 ? 0x7B : 0x7C;
    return static_cast<uint8_t>(0x7D + (count - 2));  // d == 1: 0x7D, 0x7E, 0x7F
}

// Replaces runs of equal volume-only codes with wait 1, 2 or 3 by the
// repeated codes. Such a code's next code comes exactly its wait later, which
// is what a repeated code does after each of its occurrences; each
// occurrence still reads one volume byte, so the volume stream is unchanged.
std::vector<uint8_t> use_repeat_codes(const std::vector<uint8_t> &codes)
{
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < codes.size()) {
        const uint8_t c = codes[i];
        if (c < 0x41 || c > 0x43) {
            out.push_back(c);
            i++;
            continue;
        }
        size_t j = i;
        while (j < codes.size() && codes[j] == c) j++;
        size_t run = j - i;
        const uint8_t d = static_cast<uint8_t>(c & 0x03);
        const size_t longest = d == 1 ? 4 : d == 2 ? 3 : 2;
        while (run >= 2) {
            size_t take = std::min(run, longest);
            out.push_back(repeat_code(d, take));
            run -= take;
        }
        if (run == 1) out.push_back(c);
        i = j;
    }
    return out;
}

}  // namespace

SongStreams build_streams(const std::vector<Frame> &frames)
{
    SongStreams s;
    std::vector<Change> changes[4];
    for (int v = 0; v < 4; v++) changes[v] = voice_changes(frames, v);
    s.tones = tone_table(changes);

    // Every voice sounding after the last frame has its change to silence at
    // frame F+1 and ends at F+2. When none does, the voice whose last change
    // comes latest waits until F+1 before it ends, so that the song keeps its
    // whole length (trailing silence included); the others end right after
    // their last change.
    const uint64_t final_frame = frames.size() + 1;
    int keeper = -1;
    uint64_t latest = 0;
    for (int v = 0; v < 4; v++) {
        if (changes[v].empty()) continue;
        const uint64_t last = changes[v].back().frame;
        if (last == final_frame) {
            keeper = -1;
            break;
        }
        if (last > latest) {
            latest = last;
            keeper = v;
        }
    }

    for (int v = 0; v < 4; v++) {
        const std::vector<Change> &cs = changes[v];
        if (cs.empty()) continue;  // never sounds nor is retuned: unused
        s.used[v] = true;
        std::vector<uint8_t> codes;
        if (cs.front().frame > 1) put_codes(codes, 0, cs.front().frame - 1);
        for (size_t i = 0; i < cs.size(); i++) {
            const Change &c = cs[i];
            uint64_t next = i + 1 < cs.size() ? cs[i + 1].frame : v == keeper ? final_frame : c.frame + 1;
            if (next <= c.frame) next = c.frame + 1;
            uint8_t flags = 0;
            if (c.note) {
                flags |= NOTE_FOLLOWS;
                s.note[v].push_back(v == 3 ? static_cast<uint8_t>(c.value) : tone_index(s.tones, c.value));
            }
            if (c.vol) {
                flags |= VOLUME_FOLLOWS;
                s.vol[v].push_back(c.atten);
            }
            put_codes(codes, flags, next - c.frame);
        }
        s.time[v] = use_repeat_codes(codes);
        changes[v] = std::vector<Change>();  // done with: the next voice's streams grow in its room
    }
    return s;
}
