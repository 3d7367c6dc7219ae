// Helpers of the preview tests: kelvaro's listing of a VGM, made in process.
#ifndef KELVARO_PREVIEW_SUPPORT_H
#define KELVARO_PREVIEW_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "convert/settings.h"
#include "convert/song.h"
#include "output/output.h"
#include "compressor/fit.h"
#include "compressor/pitch.h"
#include "songfile/verify.h"
#include "vgm/vgm.h"
#include "vgm/vgm_writer.h"

// The listing kelvaro writes for the VGM bytes; empty when it cannot convert them.
inline std::string kelvaro_listing(const std::vector<uint8_t> &vgm, int32_t output = OUTPUT_PROGRAM,
                                   int32_t noise = NOISE_OFF, int32_t timing = TIMING_REAL)
{
    VgmLog log;
    std::string error;
    if (!parse_vgm(vgm, "test.vgm", log, error)) return "";
    const std::vector<Frame> frames = prepare_frames(ti_frames(log, log.clock, false), Reductions());
    SongStreams streams;
    std::vector<uint8_t> file;
    if (make_checked_song(frames, streams, file, nullptr) != SongCheck::ok) return "";
    arg_output = output;
    arg_noise = noise;
    arg_timing = timing;
    std::string text;
    const bool ok = convert_to_text(file.data(), static_cast<uint32_t>(file.size()), text);
    settings_default();
    return ok ? text : "";
}

// A short song with all four voices: notes with a volume envelope on voice
// 0, a held note on voice 1, a voice 2 that enters late, noise hits.
inline std::vector<uint8_t> four_voice_vgm()
{
    VgmWriter w;
    const uint16_t notes[] = {428, 381, 339, 320, 285, 254};
    for (int beat = 0; beat < 6; beat++) {
        vgm_tone(w, 0, notes[beat]);
        vgm_tone(w, 1, 855);
        if (beat >= 3) vgm_tone(w, 2, notes[5 - beat]);
        vgm_noise(w, static_cast<uint8_t>(beat % 8));
        for (int step = 0; step < 6; step++) {
            vgm_atten(w, 0, static_cast<uint8_t>(step * 2));
            vgm_atten(w, 1, 4);
            vgm_atten(w, 2, beat >= 3 ? 0 : 15);
            vgm_atten(w, 3, step < 2 ? 3 : 15);
            vgm_wait_frames(w, 2);
        }
    }
    for (int v = 0; v < 4; v++) vgm_atten(w, v, 15);
    vgm_wait_frames(w, 10);
    return vgm_finish(w);
}

#endif
