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

XbForm form_of_output(int32_t output)
{
    return output == OUTPUT_CALLSOUND ? XbForm::statements : output == OUTPUT_DATA ? XbForm::data : XbForm::program;
}

int32_t output_of_form(XbForm form)
{
    return form == XbForm::statements ? OUTPUT_CALLSOUND : form == XbForm::data ? OUTPUT_DATA : OUTPUT_PROGRAM;
}

XbTarget target_of_settings(int32_t output, int32_t noise, int32_t timing)
{
    XbTarget t;
    t.form = form_of_output(output);
    t.noise = noise == NOISE_ON;
    t.emulated = timing == TIMING_EMULATED;
    return t;
}

void apply_target(const XbTarget &target)
{
    arg_output = output_of_form(target.form);
    arg_noise = target.noise ? NOISE_ON : NOISE_OFF;
    arg_timing = target.emulated ? TIMING_EMULATED : TIMING_REAL;
}
