// vgmcomp.x's options: what its command line, VGMCOMP_OPTIONS and kelvaro's
// settings decide, and how they are read.
#ifndef VGMCOMP_OPTIONS_H
#define VGMCOMP_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "compressor/reduce.h"
#include "xbsound/target.h"
#include "xbsound/timing.h"

// Everything the command line decides. The options that shorten the song
// (reduce) take effect between pitch and streams.
struct VgmcompOptions {
    std::string input;   // the VGM file, plain or gzip-compressed
    std::string output;  // -o PATH; empty: input + ".spf"
    uint32_t clock = 0;  // --clock HZ: the input's chip clock; 0: the one in its header
    bool exact = false;  // --exact: keep periods as moved to the TI clock, not snapped to notes
    bool help = false;     // --help
    bool version = false;  // --version
    bool stats = false;    // --stats: print the XB program estimate and packing figures
    Reductions reduce;     // --seconds S, --min-frames N, --flat, --voices LIST
    uint32_t fit = 0;      // --fit BYTES: reduce until the XB program is within BYTES; 0: no search
    XbTarget target;       // --form, --noise, --timing: the program kelvaro writes
    bool interpreted = false;  // --interpreted: rows long enough for XB without the compiler
};

// The most frames --min-frames takes: one whole row of the XB program.
constexpr uint32_t MIN_FRAMES_MAX = LONGEST_ROW_FRAMES;

// The words of an options text, split on blanks (spaces, tabs, line breaks).
std::vector<std::string> split_blanks(const std::string &text);

// Reads env_words (the words of VGMCOMP_OPTIONS, options only), then
// kelvaro_words (the words of KELVARO_SETTINGS: --form, --noise,
// --no-noise and --timing only) and then args (the command line without the
// program name) into opt; a later option overrides an earlier one, so
// kelvaro's settings win over VGMCOMP_OPTIONS and the command line over
// both. --interpreted then sets the row minimum (reduce.min_row_frames) to
// what the target needs, and leaves out the noise voice when the target
// does not play it. On a usage error returns false with the message
// (without the program prefix).
bool parse_options(const std::vector<std::string> &env_words, const std::vector<std::string> &args,
                   VgmcompOptions &opt, std::string &error,
                   const std::vector<std::string> &kelvaro_words = std::vector<std::string>());

// The song file that a run with opt writes.
std::string song_file_path(const VgmcompOptions &opt);

extern const char vgmcomp_help[];
extern const char vgmcomp_version[];

#endif
