// Program-wide settings, set once from the command line by the driver and
// read by the row builder and the output writer.
#ifndef KELVARO_SETTINGS_H
#define KELVARO_SETTINGS_H

#include <cstdint>
#include <vector>

#include "xbsound/target.h"

enum : int32_t {
    OUTPUT_CALLSOUND = 1,
    OUTPUT_DATA = 2,
    OUTPUT_PROGRAM = 3,
    NOISE_ON = 1,
    NOISE_OFF = 2,
    TIMING_REAL = 1,
    TIMING_EMULATED = 2,
};

extern int32_t arg_output;  // 3 PROGRAM (default), 2 DATA, 1 CALL SOUND
extern int32_t arg_noise;   // 1 noise channel included, 2 excluded (default)
extern int32_t arg_timing;  // 1 REAL (default), 2 EMULATED

// The song buffer: the whole song file as loaded by the driver, released by
// the output writer once the rows are complete.
extern std::vector<uint8_t> packed;
extern int32_t packed_size;

// Sets the three settings to their defaults.
void settings_default();

// The output form of an OUTPUT_* value, and the value of a form.
XbForm form_of_output(int32_t output);
int32_t output_of_form(XbForm form);

// The target of kelvaro's settings (arg_output, arg_noise, arg_timing).
XbTarget target_of_settings(int32_t output, int32_t noise, int32_t timing);

// Sets kelvaro's program-wide settings to target.
void apply_target(const XbTarget &target);

#endif
