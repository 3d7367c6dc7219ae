// The vgmcomp.x command line: its options (vgmcomp/options.h), and the whole
// run from a VGM file to a song file.
#ifndef VGMCOMP_CLI_H
#define VGMCOMP_CLI_H

#include <iosfwd>
#include <string>
#include <vector>

#include "vgmcomp/options.h"

// Exit statuses.
enum : int {
    VGMCOMP_EXIT_OK = 0,
    VGMCOMP_EXIT_ERROR = 1,  // any error: nothing was written
    VGMCOMP_EXIT_USAGE = 2,  // unknown option, missing input, bad number
};

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
