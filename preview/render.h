// Rendering what the TI plays: the timeline of a listing as a VGM file of
// the TI's chip, a VGM's own SN76489 part cut to a length, and any VGM as
// a WAV file through Game_Music_Emu (when the build has it).
#ifndef PREVIEW_RENDER_H
#define PREVIEW_RENDER_H

#include <cstdint>
#include <string>
#include <vector>

#include "preview/ti_sound.h"
#include "vgm/vgm.h"

// The timeline as a VGM 1.51 file of the TI's chip (3,579,545 Hz, noise
// feedback 0x0003, shift register 15 bits wide), at most limit samples long;
// every voice is silenced where the timeline ends.
std::vector<uint8_t> timeline_vgm(const TiTimeline &timeline, uint64_t limit);

// The first chip's SN76489 state of log, frame by frame (the writes of each
// frame at its start), as a VGM 1.51 file at the log's clock, at most limit
// samples long, silenced at the end; the noise feedback and width come from
// original's header when it has them.
std::vector<uint8_t> log_vgm(const VgmLog &log, const std::vector<uint8_t> &original, uint64_t limit);

// The number of samples a VGM file says it lasts (header offset 0x18): one
// pass, loops not repeated.
uint64_t vgm_header_samples(const std::vector<uint8_t> &vgm);

// True when this build renders WAV files (it was built with libgme-dev).
bool wav_rendering_available();

// Renders samples samples of the VGM file bytes (named name in messages) at
// 44,100 Hz, mono. False with error naming the file when Game_Music_Emu
// refuses it or the build has no WAV rendering.
bool render_vgm_pcm(const std::vector<uint8_t> &vgm, const std::string &name, uint64_t samples,
                    std::vector<int16_t> &pcm, std::string &error);

// A WAV file (RIFF, 16-bit PCM, mono, 44,100 Hz) holding pcm.
std::vector<uint8_t> wav_bytes(const std::vector<int16_t> &pcm);

#endif
