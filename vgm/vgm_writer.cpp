// Writing VGM files: a command stream for the SN76489 and the header that
// makes it a complete file.
#include "vgm/vgm_writer.h"

#include <cstddef>

#include "sound/codec.h"

namespace {

void put32(std::vector<uint8_t> &b, size_t off, uint32_t v)
{
    for (int i = 0; i < 4; i++) b[off + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

void vgm_write(VgmWriter &w, uint8_t chip_byte)
{
    w.data.push_back(0x50);
    w.data.push_back(chip_byte);
}

void vgm_wait(VgmWriter &w, uint32_t samples)
{
    w.samples += samples;
    while (samples > 0) {
        if (samples == 735) {
            w.data.push_back(0x62);
            samples = 0;
        } else if (samples == 882) {
            w.data.push_back(0x63);
            samples = 0;
        } else if (samples <= 16) {
            w.data.push_back(static_cast<uint8_t>(0x70 | (samples - 1)));
            samples = 0;
        } else {
            uint32_t n = samples > 65535 ? 65535 : samples;
            w.data.push_back(0x61);
            w.data.push_back(static_cast<uint8_t>(n & 0xFF));
            w.data.push_back(static_cast<uint8_t>(n >> 8));
            samples -= n;
        }
    }
}

void vgm_wait_frames(VgmWriter &w, uint32_t frames)
{
    // 89 frames is the most that one 16-bit wait holds.
    while (frames > 0) {
        uint32_t n = frames > 89 ? 89 : frames;
        vgm_wait(w, n * 735);
        frames -= n;
    }
}

void vgm_tone(VgmWriter &w, int v, uint16_t period)
{
    vgm_write(w, chip_tone_latch(v, period));
    vgm_write(w, chip_tone_data(period));
}

void vgm_noise(VgmWriter &w, uint8_t control)
{
    vgm_write(w, chip_noise_byte(control));
}

void vgm_atten(VgmWriter &w, int v, uint8_t atten)
{
    vgm_write(w, chip_atten_byte(v, atten));
}

std::vector<uint8_t> vgm_finish(const VgmWriter &w, bool end_marker)
{
    std::vector<uint8_t> out;
    out.reserve(0x40 + w.data.size() + 1);
    out.resize(0x40, 0);
    out[0] = 'V';
    out[1] = 'g';
    out[2] = 'm';
    out[3] = ' ';
    put32(out, 0x08, w.version);
    put32(out, 0x0C, w.clock);
    put32(out, 0x18, w.samples > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(w.samples));
    if (w.version >= 0x101) put32(out, 0x24, 60);
    if (w.version >= 0x150) put32(out, 0x34, 0x40 - 0x34);
    if (w.version >= 0x110 && w.noise_feedback != 0) {
        out[0x28] = static_cast<uint8_t>(w.noise_feedback & 0xFF);
        out[0x29] = static_cast<uint8_t>(w.noise_feedback >> 8);
        out[0x2A] = w.shift_width;
    }
    out.insert(out.end(), w.data.begin(), w.data.end());
    if (end_marker) out.push_back(0x66);
    put32(out, 0x04, static_cast<uint32_t>(out.size() - 4));
    return out;
}
