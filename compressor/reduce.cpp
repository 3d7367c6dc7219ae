#include "compressor/reduce.h"

#include <algorithm>
#include <cstdint>

#include "compressor/rowchoose.h"

namespace {

constexpr uint8_t SILENT = 15;

uint8_t atten_of(const VoiceState &s)
{
    return static_cast<uint8_t>(s.atten & 0x0F);
}

// The note as the chip holds it: a 10-bit period or a 3-bit noise control.
uint16_t chip_note(int v, uint16_t note)
{
    return static_cast<uint16_t>(v == 3 ? note & 0x07 : note & 0x3FF);
}

// Two frames are the same state when every voice has the same volume and,
// while it sounds, the same note: the note of a silent voice is never sent.
bool same_state(const Frame &a, const Frame &b)
{
    for (int v = 0; v < 4; v++) {
        const uint8_t x = atten_of(a.v[v]);
        if (x != atten_of(b.v[v])) return false;
        if (x != SILENT && chip_note(v, a.v[v].note) != chip_note(v, b.v[v].note)) return false;
    }
    return true;
}

bool all_silent(const Frame &f)
{
    for (const VoiceState &s : f.v)
        if (atten_of(s) != SILENT) return false;
    return true;
}

}  // namespace

bool operator==(const Reductions &a, const Reductions &b)
{
    return a.keep_frames == b.keep_frames && a.min_frames == b.min_frames && a.flat == b.flat &&
           a.voices == b.voices && a.count_noise == b.count_noise &&
           a.min_row_frames == b.min_row_frames;
}

bool operator!=(const Reductions &a, const Reductions &b)
{
    return !(a == b);
}

bool no_reduction(const Reductions &r)
{
    return r.keep_frames == 0 && row_minimum(r) <= 1 && !r.flat && (r.voices & ALL_VOICES) == ALL_VOICES;
}

uint32_t row_minimum(const Reductions &r)
{
    return std::max(r.min_frames, r.min_row_frames);
}

std::string seconds_text(uint64_t frames)
{
    // Hundredths rounded up: floor(S * 60) gives frames back, since
    // frames <= S * 60 < frames + 0.6.
    const uint64_t hundredths = (frames * 100 + FRAMES_PER_SECOND - 1) / FRAMES_PER_SECOND;
    std::string text = std::to_string(hundredths / 100);
    const uint64_t fraction = hundredths % 100;
    if (fraction != 0) {
        text += '.';
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
    }
    return text;
}

std::string reduction_options(const Reductions &r)
{
    std::string text;
    auto add = [&text](const std::string &option) {
        if (!text.empty()) text += ' ';
        text += option;
    };
    // --interpreted itself leaves out a noise voice that kelvaro does not
    // play: the user did not ask for --voices.
    uint8_t voices = r.voices;
    if (r.min_row_frames > 1 && !r.count_noise) voices = static_cast<uint8_t>(voices | (1u << 3));
    if ((voices & ALL_VOICES) != ALL_VOICES) {
        std::string list;
        for (int v = 0; v < 4; v++)
            if ((voices >> v) & 1) list += static_cast<char>('0' + v);
        add("--voices " + list);
    }
    if (r.flat) add("--flat");
    if (r.min_row_frames > 1) add("--interpreted");
    if (r.min_frames > 1) add("--min-frames " + std::to_string(r.min_frames));
    if (r.keep_frames != 0) add("--seconds " + seconds_text(r.keep_frames));
    return text;
}

bool parse_seconds(const std::string &text, uint64_t &frames)
{
    // Up to 7 digits of whole seconds (over 115 days) and 6 decimals keep
    // every product below 2^64.
    uint64_t whole = 0, fraction = 0, scale = 1;
    size_t digits = 0, decimals = 0;
    bool point = false;
    for (char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            if (point) {
                if (++decimals > 6) return false;
                fraction = fraction * 10 + static_cast<uint64_t>(c - '0');
                scale *= 10;
            } else {
                if (++digits > 7) return false;
                whole = whole * 10 + static_cast<uint64_t>(c - '0');
            }
        } else {
            return false;
        }
    }
    if (digits + decimals == 0) return false;
    frames = (whole * scale + fraction) * FRAMES_PER_SECOND / scale;
    return frames > 0;
}

bool parse_voices(const std::string &text, uint8_t &mask)
{
    if (text.empty()) return false;
    uint8_t m = 0;
    for (char c : text) {
        if (c < '0' || c > '3') return false;
        const uint8_t bit = static_cast<uint8_t>(1u << (c - '0'));
        if (m & bit) return false;
        m = static_cast<uint8_t>(m | bit);
    }
    mask = m;
    return true;
}

void keep_first_frames(std::vector<Frame> &frames, uint64_t count)
{
    if (count < frames.size()) frames.resize(static_cast<size_t>(count));
}

void keep_voices(std::vector<Frame> &frames, uint8_t mask)
{
    for (Frame &f : frames)
        for (int v = 0; v < 4; v++)
            if (!((mask >> v) & 1)) {
                f.v[v] = VoiceState{SILENT, 0};
                f.retune = static_cast<uint8_t>(f.retune & ~(1u << v));
            }
}

void flatten_volumes(std::vector<Frame> &frames)
{
    for (int v = 0; v < 4; v++) {
        bool sounding = false;
        uint16_t note = 0;
        uint8_t held = SILENT;
        for (Frame &f : frames) {
            const uint8_t a = atten_of(f.v[v]);
            if (a == SILENT) {
                sounding = false;
                continue;
            }
            const uint16_t n = chip_note(v, f.v[v].note);
            if (!sounding || n != note) held = a;  // a note begins
            sounding = true;
            note = n;
            f.v[v].atten = held;
        }
    }
}

void hold_min_frames(std::vector<Frame> &frames, uint32_t n, bool whole_rows)
{
    if (n <= 1 || frames.empty()) return;
    // The song's last change: the silence it ends in begins there (index
    // end), or, when the song sounds to its last frame, the silence after
    // it (index frames.size()).
    size_t end = whole_rows ? frames.size() : SIZE_MAX;
    if (whole_rows && all_silent(frames.back())) {
        while (end > 1 && same_state(frames[end - 2], frames.back())) end--;
        end--;
    }
    // With whole rows the state the song ends with (before its closing
    // silence) comes early, n frames before the end, rather than not at all.
    const size_t last_start = whole_rows && end >= n ? end - n : SIZE_MAX;
    Frame adopted = frames[0];
    size_t adopted_at = 0;
    for (size_t i = 1; i < frames.size(); i++) {
        const Frame &next = i == last_start ? frames[end - 1] : frames[i];
        const bool allowed = i == end || (i - adopted_at >= n && (i > end || end - i >= n));
        if (!same_state(next, adopted) && allowed) {
            adopted = next;
            adopted.retune = 0;
            adopted_at = i;
            frames[i] = adopted;
        } else {
            frames[i] = adopted;
            frames[i].retune = 0;  // a retuning belongs to its own frame only
        }
    }
}

std::vector<Frame> apply_reductions(const std::vector<Frame> &frames, const Reductions &r)
{
    const size_t count =
        r.keep_frames != 0 ? static_cast<size_t>(std::min<uint64_t>(r.keep_frames, frames.size())) : frames.size();
    std::vector<Frame> out(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(count));
    if ((r.voices & ALL_VOICES) != ALL_VOICES) keep_voices(out, r.voices);
    if (r.flat) flatten_volumes(out);
    if (row_minimum(r) > 1) {
        RowChoiceOptions o;
        o.min_frames = row_minimum(r);
        o.count_noise = r.count_noise;
        choose_rows(out, o);
    }
    return out;
}
