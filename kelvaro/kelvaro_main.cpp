// kelvaro: converts a VGM song for the SN76489 into TI Extended BASIC text.
// The whole run lives in the library (kelvaro/run.h).
#include <string>
#include <vector>

#include "base/paths.h"
#include "kelvaro/run.h"

int main(int argc, char **argv)
{
    // The arguments in UTF-8 on every system (see base/paths.h).
    std::vector<std::string> args = program_arguments(argc, argv);
    std::vector<char *> utf8_argv{argv[0]};
    for (std::string &a : args) utf8_argv.push_back(&a[0]);
    utf8_argv.push_back(nullptr);
    return kelvaro_run(static_cast<int>(args.size()) + 1, utf8_argv.data());
}
