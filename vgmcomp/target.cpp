#include "vgmcomp/target.h"

#include <algorithm>

#include "convert/settings.h"

const char kelvaro_settings_env[] = "KELVARO_SETTINGS";

bool operator==(const XbTarget &a, const XbTarget &b)
{
    return a.form == b.form && a.noise == b.noise && a.emulated == b.emulated;
}

bool operator!=(const XbTarget &a, const XbTarget &b)
{
    return !(a == b);
}

XbTarget target_of_settings(int32_t output, int32_t noise, int32_t timing)
{
    XbTarget t;
    t.form = output == OUTPUT_CALLSOUND ? XbForm::statements : output == OUTPUT_DATA ? XbForm::data : XbForm::program;
    t.noise = noise == NOISE_ON;
    t.emulated = timing == TIMING_EMULATED;
    return t;
}

void apply_target(const XbTarget &target)
{
    arg_output = target.form == XbForm::statements ? OUTPUT_CALLSOUND
                 : target.form == XbForm::data     ? OUTPUT_DATA
                                                   : OUTPUT_PROGRAM;
    arg_noise = target.noise ? NOISE_ON : NOISE_OFF;
    arg_timing = target.emulated ? TIMING_EMULATED : TIMING_REAL;
}

std::string target_options(const XbTarget &target)
{
    const char *form = target.form == XbForm::statements ? "statements"
                       : target.form == XbForm::data     ? "data"
                                                         : "program";
    return std::string("--form ") + form + (target.noise ? " --noise" : " --no-noise") + " --timing " +
           (target.emulated ? "emulated" : "real");
}

std::string target_text(const XbTarget &target)
{
    std::string text = target.form == XbForm::statements ? "CALL SOUND mode"
                       : target.form == XbForm::data     ? "DATA mode"
                                                         : "PROGRAM mode";
    text += target.noise ? ", noise" : ", no noise";
    if (target.form != XbForm::statements) text += target.emulated ? ", EMULATED timing" : ", REAL timing";
    return text;
}

bool parse_form(const std::string &text, XbForm &form)
{
    if (text == "program") form = XbForm::program;
    else if (text == "data") form = XbForm::data;
    else if (text == "statements") form = XbForm::statements;
    else return false;
    return true;
}

bool parse_timing(const std::string &text, bool &emulated)
{
    if (text == "real") emulated = false;
    else if (text == "emulated") emulated = true;
    else return false;
    return true;
}

uint32_t interpreted_row_frames(const XbTarget &target)
{
    if (target.form == XbForm::statements) return target.noise ? 6 : 5;
    return target.noise ? 20 : 16;
}

double interpreted_row_ms(const XbTarget &target, int32_t d)
{
    if (target.form == XbForm::statements) return std::max(d / 0.9, target.noise ? 87.0 : 83.0);
    return std::max(static_cast<double>(d), target.noise ? 330.0 : 260.0);
}

double interpreted_start_ms(const XbTarget &target, uint32_t rows)
{
    return target.form == XbForm::statements ? 17.0 * rows : 1000.0;
}
