#include "songfile/verify.h"

#include "player/side_play.h"
#include "songfile/songfile.h"
#include "sound/codec.h"

namespace {

// Frames after the final silent frame within which the song must end.
constexpr uint64_t END_WITHIN = 8;

bool fail(std::string *why, const std::string &text)
{
    if (why) *why = text;
    return false;
}

std::string at(uint64_t frame, int v)
{
    return "frame " + std::to_string(frame) + ", voice " + std::to_string(v) + ": ";
}

// What the player holds for voice v: its attenuation and its note, the
// period (voices 0-2) or noise control (voice 3). has_note is false while
// no note command of this voice has been sent.
struct Played {
    VoiceState s;
    bool has_note = false;
};

Played played_voice(const OUTPUT &chip, int v)
{
    Played p;
    p.s.atten = chip.vol[v] & 0x0F;
    const uint32_t tone = chip.tone[v];
    if (v == 3) {
        // A noise command byte.
        p.has_note = chip_is_noise_byte(static_cast<uint8_t>(tone));
        p.s.note = static_cast<uint16_t>(tone & 0x07);
    } else {
        // A tone word of this voice.
        p.has_note = chip_is_tone_latch_of(static_cast<uint8_t>(tone), v);
        p.s.note = chip_tone_word_period(tone);
    }
    if (!p.has_note) p.s.note = 0;
    return p;
}

// Compares the player's state of voice v after frame `frame` with the
// intended state: attenuation atten and, while sounding or when retuned,
// note.
bool check_voice(const OUTPUT &chip, uint64_t frame, int v, uint8_t atten, uint16_t note, bool retuned,
                 std::string *why)
{
    const Played p = played_voice(chip, v);
    if (p.s.atten != atten)
        return fail(why, at(frame, v) + "attenuation " + std::to_string(p.s.atten) + " instead of " +
                             std::to_string(atten));
    if (atten == CHIP_SILENT && !retuned) return true;
    if (!p.has_note)
        return fail(why, at(frame, v) + "sounds with no " + (v == 3 ? "noise control" : "tone period") + " set");
    const char *what = v == 3 ? "noise control " : "period ";
    const unsigned want = note & (v == 3 ? 0x07u : 0x3FFu);
    if (p.s.note != want)
        return fail(why, at(frame, v) + what + std::to_string(p.s.note) + " instead of " + std::to_string(want));
    return true;
}

bool sounds_at_all(const std::vector<Frame> &frames)
{
    for (const Frame &fr : frames)
        for (int v = 0; v < 4; v++)
            if ((fr.v[v].atten & 0x0F) != CHIP_SILENT) return true;
    return false;
}

std::string ended(uint64_t frame)
{
    return "frame " + std::to_string(frame) + ": the song has already ended";
}

}  // namespace

bool verify_song(const std::vector<uint8_t> &song_file, const std::vector<Frame> &frames, std::string *why)
{
    const bool sounds = sounds_at_all(frames);
    const uint64_t count = frames.size();
    // Frame F+1 silences every voice; the song then ends, and stays silent
    // while it does.
    const uint64_t final_frame = count + 1;
    bool ok = false;
    uint64_t f = 0;
    play_song_file(song_file, [&](const OUTPUT &chip, bool running) {
        f++;
        if (f <= count) {
            if (sounds && !running) return fail(why, ended(f));
            const Frame &fr = frames[f - 1];
            for (int v = 0; v < 4; v++)
                if (!check_voice(chip, f, v, static_cast<uint8_t>(fr.v[v].atten & 0x0F), fr.v[v].note,
                                 ((fr.retune >> v) & 1) != 0, why))
                    return false;
            return true;
        }
        if (f == final_frame && sounds && !running) return fail(why, ended(f));
        for (int v = 0; v < 4; v++)
            if (!check_voice(chip, f, v, CHIP_SILENT, 0, false, why)) return false;
        if (!running) {
            ok = true;
            return false;
        }
        if (f < final_frame + END_WITHIN) return true;
        return fail(why, "the song does not end by frame " + std::to_string(final_frame + END_WITHIN) +
                             " (last frame of the song: " + std::to_string(count) + ")");
    });
    return ok;
}

std::vector<Frame> play_song(const std::vector<uint8_t> &song_file, size_t frames)
{
    std::vector<Frame> played(frames);
    size_t f = 0;
    if (frames == 0) return played;
    play_song_file(song_file, [&](const OUTPUT &chip, bool) {
        for (int v = 0; v < 4; v++) played[f].v[v] = played_voice(chip, v).s;
        return ++f < frames;
    });
    return played;
}

SongCheck make_checked_song(const std::vector<Frame> &frames, SongStreams &streams, std::vector<uint8_t> &file,
                            std::string *why)
{
    streams = build_streams(frames);
    file = build_song_file(streams);
    if (file.size() > SONG_FILE_MAX) return SongCheck::too_large;
    return verify_song(file, frames, why) ? SongCheck::ok : SongCheck::wrong_playback;
}
