// Writing VGM files: register writes and waits logged as a valid VGM, for
// tests and for the example tune.
#ifndef VGMCOMP_VGM_WRITER_H
#define VGMCOMP_VGM_WRITER_H

#include <cstdint>
#include <vector>

struct VgmWriter {
    uint32_t clock = 3579545;   // SN76489 clock written to the header
    uint32_t version = 0x151;   // BCD version
    uint16_t noise_feedback = 0;  // header 0x28 (from 1.10) when not 0: the noise taps
    uint8_t shift_width = 0;      // header 0x2A with it: the noise shift register's width
    std::vector<uint8_t> data;  // the command stream so far
    uint64_t samples = 0;       // total of the waits so far
};

void vgm_write(VgmWriter &w, uint8_t chip_byte);              // command 0x50
void vgm_wait(VgmWriter &w, uint32_t samples);                // 0x61/0x62/0x63/0x7n as fits
void vgm_wait_frames(VgmWriter &w, uint32_t frames);          // frames of 735 samples
// Sets the tone period of voice v (0-2), the noise control, or an attenuation.
void vgm_tone(VgmWriter &w, int v, uint16_t period);
void vgm_noise(VgmWriter &w, uint8_t control);
void vgm_atten(VgmWriter &w, int v, uint8_t atten);
// The complete file: header (data at 0x40 for versions from 1.50, else
// fixed at 0x40 too), the commands, and 0x66 when end_marker is set.
std::vector<uint8_t> vgm_finish(const VgmWriter &w, bool end_marker = true);

#endif
