// xbtool: XB program files, disk images and previews for kelvaro's output.
// The whole run lives in the library (xbtool/commands.h).
#include <iostream>
#include <string>
#include <vector>

#include "xbtool/commands.h"

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return xbtool_run(args, std::cout, std::cerr);
}
