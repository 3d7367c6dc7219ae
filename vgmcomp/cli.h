// The vgmcomp.x command line: its options, and the whole run from a VGM file
// to a song file.
#ifndef VGMCOMP_CLI_H
#define VGMCOMP_CLI_H

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "compressor/reduce.h"
#include "xbsound/target.h"
#include "xbsound/timing.h"

// Exit statuses.
enum : int {
    VGMCOMP_EXIT_OK = 0,
    VGMCOMP_EXIT_ERROR = 1,  // any error: nothing was written
    VGMCOMP_EXIT_USAGE = 2,  // unknown option, missing input, bad number
};

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

// The whole run: options from env_options (the value of VGMCOMP_OPTIONS, or
// null), kelvaro_settings (the value of KELVARO_SETTINGS, or null) and
// args, then VGM file -> frames -> pitch -> reductions (those
// given, and those --fit chooses) -> long holds split -> streams -> song
// file, checked by playing it back, written atomically, and the XB program
// that the converter writes from it measured: a warning naming the options
// that would make it fit when it is over XB_BUDGET, the figures with
// --stats. --help and --version go to out; every message goes to err,
// prefixed "vgmcomp.x: ". Returns the exit status. On any error an existing
// song file is left as it was.
int vgmcomp_run(const std::vector<std::string> &args, const char *env_options, std::ostream &out,
                std::ostream &err, const char *kelvaro_settings = nullptr);

#endif
