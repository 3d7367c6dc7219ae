// vgmcomp.x: turns a VGM file into a song file for kelvaro. The whole run
// lives in the library (vgmcomp/cli.h).
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "vgmcomp/cli.h"
#include "xbsound/target.h"

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return vgmcomp_run(args, std::getenv("VGMCOMP_OPTIONS"), std::cout, std::cerr, std::getenv(kelvaro_settings_env));
}
