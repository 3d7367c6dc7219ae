// The program kelvaro will write from a song file: its output form, whether
// it plays the noise voice, and its timing. The compressor measures, fits
// and times the song for this program; kelvaro hands its settings over in
// the environment variable KELVARO_SETTINGS.
#ifndef VGMCOMP_TARGET_H
#define VGMCOMP_TARGET_H

#include <cstdint>
#include <string>

// kelvaro's -p, -d and -x.
enum class XbForm { program, data, statements };

struct XbTarget {
    XbForm form = XbForm::program;  // --form program|data|statements
    bool noise = false;             // --noise / --no-noise: kelvaro's -n
    bool emulated = false;          // --timing emulated (kelvaro's -e); false: real (-r)
};

bool operator==(const XbTarget &a, const XbTarget &b);
bool operator!=(const XbTarget &a, const XbTarget &b);

// The environment variable in which kelvaro passes its settings to the
// compressor.
extern const char kelvaro_settings_env[];

// The options that give target, every one of the three spelled out
// ("--form program --no-noise --timing real"): what kelvaro passes.
std::string target_options(const XbTarget &target);

// The target as the figures name it ("PROGRAM mode, no noise, REAL timing";
// the CALL SOUND form has no timing of its own).
std::string target_text(const XbTarget &target);

// Reads the value of --form (program, data, statements).
bool parse_form(const std::string &text, XbForm &form);

// Reads the value of --timing (real, emulated) into emulated.
bool parse_timing(const std::string &text, bool &emulated);

// Extended BASIC without the compiler needs a while per row whatever its
// written duration (measured on a TI-99/4A with the 32K memory expansion):
// 260 ms to READ a row and play it in the PROGRAM and DATA forms (330 ms
// with the noise voice), 83 ms a statement in the CALL SOUND form (87 ms
// with noise).
double xb_row_ms(const XbTarget &target);

// The frames of 1/60 s each row must stand for at least so that XB's time
// per row does not stretch it: 16 in the PROGRAM and DATA forms (20 with
// the noise voice), 5 in the CALL SOUND form (6 with noise).
uint32_t interpreted_row_frames(const XbTarget &target);

// Milliseconds XB without the compiler takes for a row written d ms long:
// max(d, xb_row_ms). A CALL SOUND waits for the sound before it to end, and
// a row written longer than XB's time per row plays exactly its written
// milliseconds, whatever the factor it was written with.
double interpreted_row_ms(const XbTarget &target, int32_t d);

// The factor kelvaro scales the target's row durations by
// (xbsound/timing.h).
double target_factor(const XbTarget &target);

// Milliseconds from RUN to the first row in XB without the compiler: about
// 1 s for the PROGRAM and DATA forms; the CALL SOUND form first scans each
// of its lines (one per row), about 17 ms a line.
double interpreted_start_ms(const XbTarget &target, uint32_t rows);

#endif
