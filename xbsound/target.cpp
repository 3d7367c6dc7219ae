#include "xbsound/target.h"

#include <algorithm>

#include "xbsound/timing.h"

const char kelvaro_settings_env[] = "KELVARO_SETTINGS";

bool operator==(const XbTarget &a, const XbTarget &b)
{
    return a.form == b.form && a.noise == b.noise && a.emulated == b.emulated;
}

bool operator!=(const XbTarget &a, const XbTarget &b)
{
    return !(a == b);
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

double xb_row_ms(const XbTarget &target)
{
    if (target.form == XbForm::statements) return target.noise ? 87.0 : 83.0;
    return target.noise ? 330.0 : 260.0;
}

uint32_t interpreted_row_frames(const XbTarget &target)
{
    if (target.form == XbForm::statements) return target.noise ? 6 : 5;
    return target.noise ? 20 : 16;
}

double interpreted_row_ms(const XbTarget &target, int32_t d)
{
    return std::max(static_cast<double>(d), xb_row_ms(target));
}

double target_factor(const XbTarget &target)
{
    return duration_factor(target.form == XbForm::statements, target.emulated);
}

double interpreted_start_ms(const XbTarget &target, uint32_t rows)
{
    return target.form == XbForm::statements ? 17.0 * rows : 1000.0;
}
