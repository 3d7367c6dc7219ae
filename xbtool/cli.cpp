// xbtool's command line: picks the subcommand and hands it the rest.
#include <ostream>

#include "xbtool/commands.h"

namespace {

struct Subcommand {
    const char *name;
    int (*run)(const XbtoolArgs &, std::ostream &, std::ostream &);
    const char *summary;
};

const Subcommand subcommands[] = {
    {"program", xbtool_program, "tokenize an XB listing into a program file"},
    {"disk", xbtool_disk, "put songs (VGM files, listings, programs) on a disk image"},
    {"dir", xbtool_dir, "show the catalog of a disk image"},
    {"list", xbtool_list, "show the listing of a program file"},
    {"play", xbtool_play, "render what the TI will play as VGM or WAV"},
    {"compare", xbtool_compare, "measure how much of a VGM a listing keeps"},
    {"roll", xbtool_roll, "draw a VGM and a listing as a piano roll (SVG)"},
};

void print_help(std::ostream &out)
{
    out << "Usage: xbtool COMMAND [ARGUMENTS]\n"
           "TI Extended BASIC program files, disk images and previews of kelvaro's output.\n\n"
           "Commands:\n";
    for (const Subcommand &s : subcommands) {
        std::string name = s.name;
        out << "  " << name << std::string(10 - name.size(), ' ') << s.summary << '\n';
    }
    out << "\n'xbtool COMMAND --help' describes one command. An option's value follows it as the next\n"
           "word or after '=' (-o OUT, -o=OUT). 'xbtool --version' shows the version.\n"
           "Exit status: 0 success, 1 error, 2 usage error.\n";
}

}  // namespace

const char xbtool_version[] = "xbtool (kelvaro) 1.1\n";

int xbtool_run(const XbtoolArgs &args, std::ostream &out, std::ostream &err)
{
    if (args.empty()) {
        err << "xbtool: no command given\nTry 'xbtool --help' for more information.\n";
        return XBTOOL_EXIT_USAGE;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        print_help(out);
        return XBTOOL_EXIT_OK;
    }
    if (args[0] == "--version") {
        out << xbtool_version;
        return XBTOOL_EXIT_OK;
    }
    for (const Subcommand &s : subcommands)
        if (args[0] == s.name) return s.run(XbtoolArgs(args.begin() + 1, args.end()), out, err);
    err << "xbtool: unknown command '" << args[0] << "'\nTry 'xbtool --help' for more information.\n";
    return XBTOOL_EXIT_USAGE;
}
