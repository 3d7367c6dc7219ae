// vgmcomp.x: turns a VGM file into a song file for kelvaro. The whole run
// lives in the library (vgmcomp/cli.h).
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "base/paths.h"
#include "vgmcomp/cli.h"
#include "xbsound/target.h"

int main(int argc, char **argv)
{
    const std::vector<std::string> args = program_arguments(argc, argv);
    return vgmcomp_run(args, std::getenv("VGMCOMP_OPTIONS"), std::cout, std::cerr, std::getenv(kelvaro_settings_env));
}
