// Reading the words of a command line, shared by vgmcomp.x and xbtool: which
// words are options (with their values) and which are operands. The reader
// only finds them; each program says what an option means and what is wrong
// in its own words.
//
// The grammar: a word that is empty, "-" or does not start with '-' is an
// operand; "--" makes every word after it an operand; an option that takes a
// value has it after '=' in the same word ("--fit=24000") or in the next
// word, whatever that word is ("--fit 24000", "-o -x.spf"); one marked
// joined has it straight after its name instead of after '=' ("-oPATH", so
// "-o=x" gives "=x"). An option without a value is its name alone
// ("--flat"; "--flat=1" is unknown). Any other word starting with '-' is an
// unknown option.
#ifndef KELVARO_OPTIONS_H
#define KELVARO_OPTIONS_H

#include <string>
#include <vector>

// An option a program takes.
struct OptionName {
    std::string name;     // "--fit", "-o"
    bool value = false;   // takes a value
    bool joined = false;  // its value may follow the name directly ("-oPATH")
};

enum class OptionKind {
    operand,  // not an option (value: the word)
    end,      // "--": the words after it are operands
    option,   // a known option (name; value when it takes one)
    unknown,  // a word that looks like an option but is none of those given
    no_value  // a known option that takes a value, as the last word: its value is missing
};

// One option or operand of a command line, in the order given.
struct OptionWord {
    OptionKind kind = OptionKind::operand;
    std::string word;   // the word as given (an option's own word: "--fit=3", or "--fit" before its value)
    std::string name;   // option, no_value: the option's name
    std::string value;  // operand: the word; option: its value (empty without one)
};

// The words split into options and operands by the options in names.
std::vector<OptionWord> read_options(const std::vector<std::string> &words, const std::vector<OptionName> &names);

#endif
