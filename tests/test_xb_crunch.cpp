// The tokenizer and the lister against the TI itself: lines typed into
// Extended BASIC, the bytes it stored and its own LIST of them
// (tests/data/xb-crunch-cases.txt), and a round trip on every keyword.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "tests/test_support.h"
#include "xb/keywords.h"
#include "xb/tokenize.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Case {
    std::string typed, listed;
    Bytes stored;
};

// The cases of the file: "typed:", "stored:" (hex bytes, ending with the
// line's 00) and "listed:" lines; "#" starts a comment.
std::vector<Case> read_cases(const std::string &path)
{
    std::vector<Case> cases;
    std::istringstream in(read_text(path));
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 7, "typed: ") == 0) {
            cases.emplace_back();
            cases.back().typed = line.substr(line.find_first_not_of(' ', 7));
        } else if (line.compare(0, 8, "stored: ") == 0 && !cases.empty()) {
            std::istringstream hex(line.substr(8));
            unsigned byte;
            while (hex >> std::hex >> byte) cases.back().stored.push_back(static_cast<uint8_t>(byte));
        } else if (line.compare(0, 8, "listed: ") == 0 && !cases.empty()) {
            cases.back().listed = line.substr(8);
        }
    }
    return cases;
}

std::vector<XbLine> parse(const std::string &text)
{
    std::vector<XbLine> lines;
    std::vector<std::string> warnings;
    std::string error;
    EXPECT_TRUE(xb_parse_listing(text, lines, warnings, error)) << text << ": " << error;
    return lines;
}

// A line as the TI stores it: its tokens and the 00 that ends them.
Bytes stored(const XbLine &line)
{
    Bytes bytes = line.tokens;
    bytes.push_back(0);
    return bytes;
}

TEST(XbCrunch, EveryLineTypedOnTheTiStoresAndListsAsThere)
{
    const std::vector<Case> cases = read_cases(std::string(SOURCE_DIR) + "/tests/data/xb-crunch-cases.txt");
    ASSERT_EQ(cases.size(), 59u);
    for (const Case &c : cases) {
        const std::vector<XbLine> lines = parse(c.typed + "\n");
        ASSERT_EQ(lines.size(), 1u) << c.typed;
        EXPECT_EQ(stored(lines[0]), c.stored) << c.typed;
        EXPECT_EQ(xb_list_line(lines[0]), c.listed) << c.typed;
        // The TI's listing, typed again, is the same line.
        EXPECT_EQ(stored(parse(c.listed + "\n").at(0)), c.stored) << c.listed;
    }
}

// Every keyword and sign alone, after a name and between statements: the
// listing tokenizes to the same bytes and lists the same again.
TEST(XbCrunch, EveryKeywordListsBackToItsBytes)
{
    int keywords = 0, taken = 0;
    for (int code = 0x80; code < 0x100; code++) {
        const char *text = xb_keyword_text(static_cast<uint8_t>(code));
        if (text == nullptr) continue;
        keywords++;
        const std::string k = text;
        for (const std::string &line : {"10 " + k, "10 A " + k + "1", "10 X " + k + " Y$::" + k + " 2",
                                        "10 " + k + "(1)" + k + "\"S\"" + k + ":" + k + " ::" + k}) {
            std::vector<XbLine> lines, again;
            std::vector<std::string> warnings;
            std::string error;
            if (!xb_parse_listing(line, lines, warnings, error)) continue;  // a name after a name
            taken++;
            const std::string listed = xb_list_line(lines[0]);
            again = parse(listed);
            ASSERT_EQ(again.size(), 1u) << listed;
            EXPECT_EQ(again[0].tokens, lines[0].tokens) << line << " listed as " << listed;
            EXPECT_EQ(xb_list_line(again[0]), listed) << line;
        }
    }
    EXPECT_EQ(keywords, 109);
    EXPECT_GE(taken, 300);  // most of them are statements XB takes
}

}  // namespace
