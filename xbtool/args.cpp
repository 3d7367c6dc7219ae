#include "xbtool/args.h"

#include <ostream>

#include "base/options.h"

bool parse_args(const XbtoolArgs &args, const std::vector<std::string> &flags,
                const std::vector<ValueOption> &with_value, const char *command, Parsed &parsed, std::ostream &err)
{
    std::vector<OptionName> names = {{"-h"}, {"--help"}};
    for (const std::string &f : flags) names.push_back({f});
    for (const ValueOption &v : with_value) names.push_back({v.name, true});
    for (const OptionWord &w : read_options(args, names)) {
        switch (w.kind) {
        case OptionKind::operand:
            parsed.positional.push_back(w.value);
            break;
        case OptionKind::end:
            break;
        case OptionKind::unknown:
            usage(err, command, "unknown option '" + w.word + "'");
            return false;
        case OptionKind::no_value:
            for (const ValueOption &v : with_value)
                if (v.name == w.name) usage(err, command, w.name + " needs " + v.what);
            return false;
        case OptionKind::option:
            if (w.name == "-h" || w.name == "--help")
                parsed.help = true;
            else
                parsed.options.emplace_back(w.name, w.value);
            break;
        }
    }
    return true;
}

std::string option(const Parsed &p, const std::string &name, bool *given)
{
    std::string value;
    if (given) *given = false;
    for (const auto &o : p.options)
        if (o.first == name) {
            value = o.second;
            if (given) *given = true;
        }
    return value;
}

std::ostream &say(std::ostream &err, const char *command)
{
    return err << "xbtool " << command << ": ";
}

int usage(std::ostream &err, const char *command, const std::string &problem)
{
    if (!problem.empty()) say(err, command) << problem << '\n';
    err << "Try 'xbtool " << command << " --help' for more information.\n";
    return XBTOOL_EXIT_USAGE;
}
