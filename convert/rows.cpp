#include "convert/rows.h"

#include <charconv>

#include "convert/settings.h"
#include "convert/tables.h"
#include "player/player.h"
#include "xbsound/timing.h"

const float frametime = 60.0f;
const float outputtime = 1000.0f;
float duration_multiplier;
int32_t max_voices;

int32_t curp[4], outvol[4], oldp[4], oldvol[4];
float framecount;
int32_t tot_notes;
std::string out_data;

namespace {

int32_t state_key(int v)
{
    if (v == 3) return static_cast<int32_t>(musicout.tone[3] & 0xFF);
    uint32_t t = musicout.tone[v];
    return static_cast<int32_t>(((t * 256) + (t >> 8)) & 0xFFF);
}

}  // namespace

int32_t row_duration(float frames)
{
    float d = frames / frametime;
    d = d * outputtime;
    d = d * duration_multiplier;
    return static_cast<int32_t>(d);
}

void rows_setup()
{
    duration_multiplier = static_cast<float>(REAL_FACTOR);
    if (arg_timing == TIMING_EMULATED) duration_multiplier = static_cast<float>(EMULATED_FACTOR);
    if (arg_output == OUTPUT_CALLSOUND) duration_multiplier = static_cast<float>(CALL_SOUND_FACTOR);
    max_voices = arg_noise == NOISE_ON ? 4 : 3;
    out_data.clear();
}

void rows_begin()
{
    for (int v = 0; v < 4; v++) curp[v] = outvol[v] = 0;
    tot_notes = 0;
    framecount = 0.0f;
    framecount += 1.0f;
    for (int v = 0; v < 4; v++) {
        oldp[v] = state_key(v);
        oldvol[v] = musicout.vol[v];
    }
}

void rows_frame()
{
    bool changed = false;
    for (int v = 0; v < max_voices; v++) {
        curp[v] = state_key(v);
        outvol[v] = musicout.vol[v];
        if (curp[v] != oldp[v] || outvol[v] != oldvol[v]) changed = true;
    }
    framecount += 1.0f;
    if (!changed) return;

    int32_t duration = row_duration(framecount);
    tot_notes++;
    int32_t f[4], vv[4];
    for (int v = 0; v < 3; v++) {
        f[v] = freq[oldp[v]];
        vv[v] = vol[v][oldvol[v]];
        if (f[v] == 0) {
            f[v] = 110;
            vv[v] = 30;
        }
    }
    f[3] = noise[oldp[3]];
    vv[3] = vol[3][oldvol[3]];
    if (f[3] == 0) {
        f[3] = -1;
        vv[3] = 30;
    }

    // The row as "%d,%d,%d,%d,%d,%d,%d," (duration, then frequency and
    // volume of voices 0-2), with noise type and volume before the last
    // comma when the noise channel is included.
    const int32_t values[9] = {duration, f[0], vv[0], f[1], vv[1], f[2], vv[2], f[3], vv[3]};
    char out_buf[1000];
    char *at = out_buf;
    for (int i = 0; i < 2 * max_voices + 1; i++) {
        at = std::to_chars(at, out_buf + sizeof out_buf, values[i]).ptr;
        *at++ = ',';
    }
    out_data.append(out_buf, static_cast<size_t>(at - out_buf));

    for (int v = 0; v < 4; v++) {
        oldp[v] = curp[v];
        oldvol[v] = outvol[v];
    }
    framecount = 0.0f;
}
