#include "base/options.h"

namespace {

bool starts_with(const std::string &s, const std::string &prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// The option that word names, and its value when the word holds it (after
// '=', or straight after a joined name); null for an unknown option.
const OptionName *find_option(const std::string &word, const std::vector<OptionName> &names, bool &has_value,
                              std::string &value)
{
    has_value = false;
    for (const OptionName &n : names)
        if (word == n.name) return &n;
    for (const OptionName &n : names)
        if (n.value && !n.joined && starts_with(word, n.name + "=")) {
            has_value = true;
            value = word.substr(n.name.size() + 1);
            return &n;
        }
    for (const OptionName &n : names)
        if (n.value && n.joined && starts_with(word, n.name)) {
            has_value = true;
            value = word.substr(n.name.size());
            return &n;
        }
    return nullptr;
}

}  // namespace

std::vector<OptionWord> read_options(const std::vector<std::string> &words, const std::vector<OptionName> &names)
{
    std::vector<OptionWord> read;
    bool operands_only = false;
    for (size_t i = 0; i < words.size(); i++) {
        OptionWord w;
        w.word = words[i];
        if (operands_only || w.word.empty() || w.word[0] != '-' || w.word == "-") {
            w.value = w.word;
        } else if (w.word == "--") {
            w.kind = OptionKind::end;
            operands_only = true;
        } else {
            bool has_value = false;
            const OptionName *n = find_option(w.word, names, has_value, w.value);
            w.kind = n ? OptionKind::option : OptionKind::unknown;
            if (n) w.name = n->name;
            if (n && n->value && !has_value) {
                if (i + 1 < words.size())
                    w.value = words[++i];
                else
                    w.kind = OptionKind::no_value;
            }
        }
        read.push_back(w);
    }
    return read;
}
