// VGM files from timelines and logs; WAV files through Game_Music_Emu.
#include "preview/render.h"

#include <algorithm>

#include "vgm/vgm_header.h"
#include "vgm/vgm_writer.h"

#ifdef KELVARO_HAVE_GME
#include <gme/gme.h>
#endif

namespace {

constexpr uint16_t TI_NOISE_FEEDBACK = 0x0003;
constexpr uint8_t TI_SHIFT_WIDTH = 15;

void wait_until(VgmWriter &w, uint64_t sample)
{
    while (w.samples < sample) {
        const uint64_t gap = sample - w.samples;
        vgm_wait(w, static_cast<uint32_t>(std::min<uint64_t>(gap, 0xFFFFFFFFu)));
    }
}

void silence_all(VgmWriter &w)
{
    for (int v = 0; v < 4; v++) vgm_atten(w, v, 15);
}

void put_le(std::vector<uint8_t> &b, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; i++) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

namespace {

// The writes that take the chip from its state to s (every register when first).
void write_changes(VgmWriter &w, const ChipState &s, const ChipState &chip, bool first)
{
    for (int v = 0; v < 3; v++)
        if (first || s.period[v] != chip.period[v]) vgm_tone(w, v, s.period[v]);
    // A write to the noise register restarts its shift register: only on a change.
    if (first || s.noise != chip.noise) vgm_noise(w, s.noise);
    for (int v = 0; v < 4; v++)
        if (first || s.atten[v] != chip.atten[v]) vgm_atten(w, v, s.atten[v]);
}

}  // namespace

std::vector<uint8_t> timeline_vgm(const TiTimeline &timeline, uint64_t limit)
{
    VgmWriter w;
    w.noise_feedback = TI_NOISE_FEEDBACK;
    w.shift_width = TI_SHIFT_WIDTH;
    const uint64_t end = std::min(timeline.end_sample, limit);
    silence_all(w);
    ChipState chip;
    bool first = true;
    for (const TiStep &step : timeline.steps) {
        if (step.sample >= end) break;
        wait_until(w, step.sample);
        write_changes(w, step.sound, chip, first);
        chip = step.sound;
        first = false;
    }
    wait_until(w, end);
    silence_all(w);
    return vgm_finish(w);
}

std::vector<uint8_t> log_vgm(const VgmLog &log, const std::vector<uint8_t> &original, uint64_t limit)
{
    VgmWriter w;
    w.clock = log.clock;
    const VgmHeader header = read_vgm_header(original);
    w.noise_feedback = header.noise_feedback;
    w.shift_width = header.shift_width;
    const uint64_t end = std::min(log.end_sample, limit);
    ChipState chip;
    for (size_t i = 0; i < log.frames.size(); i++) {
        // Frame i + 1 holds the writes made during it: they are written at its start.
        const uint64_t at = i * SAMPLES_PER_FRAME;
        if (at >= end) break;
        const ChipState &s = log.frames[i];
        wait_until(w, at);
        write_changes(w, s, chip, i == 0);
        chip = s;
    }
    wait_until(w, end);
    silence_all(w);
    return vgm_finish(w);
}

uint64_t vgm_header_samples(const std::vector<uint8_t> &vgm)
{
    return read_vgm_header(vgm).total_samples;
}

bool wav_rendering_available()
{
#ifdef KELVARO_HAVE_GME
    return true;
#else
    return false;
#endif
}

bool render_vgm_pcm(const std::vector<uint8_t> &vgm, const std::string &name, uint64_t samples,
                    std::vector<int16_t> &pcm, std::string &error)
{
    pcm.clear();
#ifdef KELVARO_HAVE_GME
    Music_Emu *emu = nullptr;
    gme_err_t failed = gme_open_data(vgm.data(), static_cast<long>(vgm.size()), &emu, PREVIEW_RATE);
    if (failed == nullptr) {
        // One pass of the song as the file times it: no fade, no stop at a
        // long silence, no loop.
        gme_set_autoload_playback_limit(emu, 0);
        gme_ignore_silence(emu, 1);
        failed = gme_start_track(emu, 0);
    }
    if (failed != nullptr) {
        error = name + ": Game_Music_Emu cannot play it: " + failed;
        if (emu != nullptr) gme_delete(emu);
        return false;
    }
    pcm.reserve(static_cast<size_t>(samples));
    std::vector<short> stereo(2 * 4096);
    while (pcm.size() < samples) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(4096, samples - pcm.size()));
        failed = gme_play(emu, static_cast<int>(2 * n), stereo.data());
        if (failed != nullptr) {
            error = name + ": Game_Music_Emu stopped: " + failed;
            gme_delete(emu);
            pcm.clear();
            return false;
        }
        for (size_t i = 0; i < n; i++) pcm.push_back(static_cast<int16_t>((stereo[2 * i] + stereo[2 * i + 1]) / 2));
    }
    gme_delete(emu);
    return true;
#else
    (void)vgm;
    (void)samples;
    error = name + ": this build of xbtool has no WAV rendering: install libgme-dev (Debian) and rebuild";
    return false;
#endif
}

std::vector<uint8_t> wav_bytes(const std::vector<int16_t> &pcm)
{
    const uint32_t data_size = static_cast<uint32_t>(pcm.size() * 2);
    std::vector<uint8_t> b;
    b.reserve(44 + data_size);
    put_le(b, 0x46464952, 4);         // "RIFF"
    put_le(b, 36 + data_size, 4);
    put_le(b, 0x45564157, 4);         // "WAVE"
    put_le(b, 0x20746D66, 4);         // "fmt "
    put_le(b, 16, 4);
    put_le(b, 1, 2);                  // PCM
    put_le(b, 1, 2);                  // mono
    put_le(b, PREVIEW_RATE, 4);
    put_le(b, PREVIEW_RATE * 2, 4);   // bytes a second
    put_le(b, 2, 2);                  // bytes a sample
    put_le(b, 16, 2);                 // bits
    put_le(b, 0x61746164, 4);         // "data"
    put_le(b, data_size, 4);
    for (int16_t s : pcm) put_le(b, static_cast<uint16_t>(s), 2);
    return b;
}
