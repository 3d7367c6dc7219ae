// xbtool's subcommands. Each takes the words after its name, writes what the
// user asked for to out (listings, catalogs, comparisons; nothing else) and
// every message to err, prefixed "xbtool COMMAND: " (xbtool/args.h reads
// the words and starts the messages), and returns the exit status:
// 0 success, 1 error, 2 usage error. Each is a thin layer over the library
// units (xb/, disk/, the compressor's VGM code).
#ifndef XBTOOL_COMMANDS_H
#define XBTOOL_COMMANDS_H

#include <iosfwd>
#include <string>
#include <vector>

enum : int {
    XBTOOL_EXIT_OK = 0,
    XBTOOL_EXIT_ERROR = 1,
    XBTOOL_EXIT_USAGE = 2,
};

using XbtoolArgs = std::vector<std::string>;

// Program files and disk images (xbtool/program_cmds.cpp).
int xbtool_program(const XbtoolArgs &args, std::ostream &out, std::ostream &err);
int xbtool_disk(const XbtoolArgs &args, std::ostream &out, std::ostream &err);
int xbtool_dir(const XbtoolArgs &args, std::ostream &out, std::ostream &err);
int xbtool_list(const XbtoolArgs &args, std::ostream &out, std::ostream &err);

// Hearing and seeing a song before loading it (xbtool/preview_cmds.cpp).
int xbtool_play(const XbtoolArgs &args, std::ostream &out, std::ostream &err);
int xbtool_compare(const XbtoolArgs &args, std::ostream &out, std::ostream &err);
int xbtool_roll(const XbtoolArgs &args, std::ostream &out, std::ostream &err);

// What --version prints.
extern const char xbtool_version[];

// The whole command line (without the program name).
int xbtool_run(const XbtoolArgs &args, std::ostream &out, std::ostream &err);

#endif
