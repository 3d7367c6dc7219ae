// The command-line reader that vgmcomp.x and xbtool share.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/options.h"

namespace {

// The words read, one token each: "x" an operand, "--" the end of the
// options, "name=value" or "name" an option, "?word" unknown, "!name" an
// option without its value.
std::string read_text(const std::vector<std::string> &words)
{
    const std::vector<OptionName> names = {{"--flat"}, {"-h"}, {"--fit", true}, {"--name", true}, {"-o", true, true}};
    std::string text;
    for (const OptionWord &w : read_options(words, names)) {
        if (!text.empty()) text += ' ';
        switch (w.kind) {
        case OptionKind::operand: text += "[" + w.value + "]"; break;
        case OptionKind::end: text += "--"; break;
        case OptionKind::unknown: text += "?" + w.word; break;
        case OptionKind::no_value: text += "!" + w.name; break;
        case OptionKind::option: text += w.name + (w.value.empty() ? "" : "=" + w.value); break;
        }
    }
    return text;
}

TEST(ReadOptions, SplitsWordsIntoOptionsAndOperands)
{
    struct Case {
        std::vector<std::string> words;
        const char *read;
    } cases[] = {
        {{}, ""},
        {{"a.vgm", "--flat", "-h"}, "[a.vgm] --flat -h"},
        {{"", "-", "b"}, "[] [-] [b]"},
        {{"--fit", "24000"}, "--fit=24000"},
        {{"--fit=24000"}, "--fit=24000"},
        {{"--fit="}, "--fit"},
        {{"--fit", "--flat"}, "--fit=--flat"},  // the next word is the value, whatever it is
        {{"--fit"}, "!--fit"},
        {{"a", "--name"}, "[a] !--name"},
        {{"-o", "x.spf"}, "-o=x.spf"},
        {{"-ox.spf"}, "-o=x.spf"},
        {{"-o=x.spf"}, "-o==x.spf"},  // joined: what follows the name is the value
        {{"-o"}, "!-o"},
        {{"--flat=1", "--fitness", "-x", "--"}, "?--flat=1 ?--fitness ?-x --"},
        {{"--", "--flat", "--", "-o"}, "-- [--flat] [--] [-o]"},
        {{"--fi"}, "?--fi"},
    };
    for (const Case &c : cases) {
        std::string words;
        for (const std::string &w : c.words) words += "'" + w + "' ";
        EXPECT_EQ(read_text(c.words), c.read) << words;
    }
}

TEST(ReadOptions, KeepsTheWordAsGiven)
{
    const std::vector<OptionWord> read =
        read_options({"--fit=3", "--fit", "4", "-oa"}, {{"--fit", true}, {"-o", true, true}});
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].word, "--fit=3");
    EXPECT_EQ(read[1].word, "--fit");
    EXPECT_EQ(read[1].value, "4");
    EXPECT_EQ(read[2].word, "-oa");
}

}  // namespace
