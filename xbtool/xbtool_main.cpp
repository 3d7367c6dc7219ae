// xbtool: XB program files, disk images and previews for kelvaro's output.
// The whole run lives in the library (xbtool/commands.h).
#include <iostream>
#include <string>
#include <vector>

#include "base/paths.h"
#include "xbtool/commands.h"

int main(int argc, char **argv)
{
    const std::vector<std::string> args = program_arguments(argc, argv);
    return xbtool_run(args, std::cout, std::cerr);
}
