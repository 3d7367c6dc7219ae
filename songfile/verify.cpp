#include "songfile/verify.h"

#include "player/player.h"
#include "songfile/player_state.h"
#include "songfile/songfile.h"

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

Played played_voice(int v)
{
    Played p;
    p.s.atten = musicout.vol[v] & 0x0F;
    const uint32_t tone = musicout.tone[v];
    if (v == 3) {
        // A noise command byte: 0xE0 with the control in bits 0-2.
        p.has_note = (tone & 0xF8) == 0xE0;
        p.s.note = static_cast<uint16_t>(tone & 0x07);
    } else {
        // A tone word: the tone command of this voice with the low 4 bits of
        // the period, then the high 6 bits.
        p.has_note = (tone & 0xF0) == 0x80u + 32u * static_cast<unsigned>(v);
        p.s.note = static_cast<uint16_t>((tone & 0x0F) | ((tone >> 8) & 0xFF) << 4);
    }
    if (!p.has_note) p.s.note = 0;
    return p;
}

// Compares the player's state of voice v after frame `frame` with the
// intended state: attenuation atten and, while sounding or when retuned,
// note.
bool check_voice(uint64_t frame, int v, uint8_t atten, uint16_t note, bool retuned, std::string *why)
{
    const Played p = played_voice(v);
    if (p.s.atten != atten)
        return fail(why, at(frame, v) + "attenuation " + std::to_string(p.s.atten) + " instead of " +
                             std::to_string(atten));
    if (atten == 15 && !retuned) return true;
    if (!p.has_note)
        return fail(why, at(frame, v) + "sounds with no " + (v == 3 ? "noise control" : "tone period") + " set");
    const char *what = v == 3 ? "noise control " : "period ";
    const unsigned want = note & (v == 3 ? 0x07u : 0x3FFu);
    if (p.s.note != want)
        return fail(why, at(frame, v) + what + std::to_string(p.s.note) + " instead of " + std::to_string(want));
    return true;
}

// Starts song 0 of song_file, with nothing muted and no log of the bytes sent.
void start(const std::vector<uint8_t> &song_file)
{
    sound_log = nullptr;
    playmask = 0;
    lock = 0;
    stinit(song_file.data(), 0, static_cast<uint32_t>(song_file.size()));
}

bool running()
{
    return (playmask & 0xFF00) != 0;
}

}  // namespace

bool verify_song(const std::vector<uint8_t> &song_file, const std::vector<Frame> &frames, std::string *why)
{
    PlayerStateGuard guard;
    start(song_file);

    bool sounds = false;
    for (const Frame &fr : frames)
        for (int v = 0; v < 4; v++)
            if ((fr.v[v].atten & 0x0F) != 15) sounds = true;

    const uint64_t count = frames.size();
    for (uint64_t f = 1; f <= count; f++) {
        stplay();
        if (sounds && !running()) return fail(why, "frame " + std::to_string(f) + ": the song has already ended");
        const Frame &fr = frames[f - 1];
        for (int v = 0; v < 4; v++)
            if (!check_voice(f, v, static_cast<uint8_t>(fr.v[v].atten & 0x0F), fr.v[v].note,
                             ((fr.retune >> v) & 1) != 0, why))
                return false;
    }

    // Frame F+1 silences every voice; the song then ends, and stays silent
    // while it does.
    const uint64_t final_frame = count + 1;
    for (uint64_t f = final_frame; f <= final_frame + END_WITHIN; f++) {
        stplay();
        if (f == final_frame && sounds && !running())
            return fail(why, "frame " + std::to_string(f) + ": the song has already ended");
        for (int v = 0; v < 4; v++)
            if (!check_voice(f, v, 15, 0, false, why)) return false;
        if (!running()) return true;
    }
    return fail(why, "the song does not end by frame " + std::to_string(final_frame + END_WITHIN) +
                         " (last frame of the song: " + std::to_string(count) + ")");
}

std::vector<Frame> play_song(const std::vector<uint8_t> &song_file, size_t frames)
{
    PlayerStateGuard guard;
    start(song_file);
    std::vector<Frame> played(frames);
    for (Frame &f : played) {
        stplay();
        for (int v = 0; v < 4; v++) f.v[v] = played_voice(v).s;
    }
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
