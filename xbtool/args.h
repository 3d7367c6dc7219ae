// The words of one xbtool command: its options (a value as the next word or
// after '=': "-o OUT", "-o=OUT"), "--" before operands that start with a
// dash, and the operands; and the start of every message of the command,
// "xbtool COMMAND: ".
#ifndef XBTOOL_ARGS_H
#define XBTOOL_ARGS_H

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "xbtool/commands.h"

// An option that takes a value, and what its value is ("-o needs a file
// name" when it is missing).
struct ValueOption {
    std::string name;
    std::string what = "a value";
};

// The words of a command line: options with their values, and the rest.
struct Parsed {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  // in the order given
    bool help = false;                                         // -h or --help
};

// Splits args by the options given (flags: without a value); false, after
// a usage message, for an unknown option or a missing value.
bool parse_args(const XbtoolArgs &args, const std::vector<std::string> &flags,
                const std::vector<ValueOption> &with_value, const char *command, Parsed &parsed, std::ostream &err);

// The last value given for an option, or empty; given tells whether it was.
std::string option(const Parsed &p, const std::string &name, bool *given = nullptr);

// Starts a message of command: "xbtool COMMAND: ".
std::ostream &say(std::ostream &err, const char *command);

// A usage error: the problem (when not empty) and where to read more.
// Returns XBTOOL_EXIT_USAGE.
int usage(std::ostream &err, const char *command, const std::string &problem);

#endif
