#include "convert/settings.h"

int32_t arg_output = OUTPUT_PROGRAM;
int32_t arg_noise = NOISE_OFF;
int32_t arg_timing = TIMING_REAL;

std::vector<uint8_t> packed;
int32_t packed_size;

void settings_default()
{
    arg_output = OUTPUT_PROGRAM;
    arg_noise = NOISE_OFF;
    arg_timing = TIMING_REAL;
}
