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

// The lines of the program-file report that xbtool used to store or list
// otherwise than the TI, and lines the rules reach beyond the TI's cases.
TEST(XbCrunch, RemarksDataImageAndListingBlanks)
{
    const char *cases[][3] = {
        {"10 REM HELLO", "9A 20 48 45 4C 4C 4F 00", "10 REM HELLO"},
        {"30 REM  TWO", "9A 20 20 54 57 4F 00", "30 REM  TWO"},
        {"40 PRINT D ! TAIL", "9C 44 83 20 54 41 49 4C 00", "40 PRINT D ! TAIL"},
        {"240 DATA 1,,7", "93 C8 01 31 B3 B3 C8 01 37 00", "240 DATA 1,,7"},
        {"1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3::call sound(d,s1,v1,s2,v2,s3,v3)::next c",
         "97 54 82 8C 43 BE C8 01 31 B1 54 82 97 44 B3 53 31 B3 56 31 B3 53 32 B3 56 32 B3 53 33 B3 56 33 82 9D C8 "
         "05 53 4F 55 4E 44 B7 44 B3 53 31 B3 56 31 B3 53 32 B3 56 32 B3 53 33 B3 56 33 B6 82 96 43 00",
         "1000 READ T :: FOR C=1 TO T :: READ D,S1,V1,S2,V2,S3,V3 :: CALL SOUND(D,S1,V1,S2,V2,S3,V3):: NEXT C"},
        {"1 data", "93 00", "1 DATA"},
        {"2 DATA , 1 ,:: DATA \"\"", "93 B3 C8 01 31 B3 82 93 C7 00 00", "2 DATA ,1,:: DATA \"\""},
        {"3 IMAGE \"##\"::IMAGE  #,# ! :: print", "A3 C7 02 23 23 82 A3 C8 05 23 2C 23 20 21 82 9C 00",
         "3 IMAGE \"##\" :: IMAGE #,# ! :: PRINT"},
        {"4 if a(1) then 20 else print", "84 41 B7 C8 01 31 B6 B0 C9 00 14 81 9C 00", "4 IF A(1)THEN 20 ELSE PRINT"},
        {"5 print a: :b:!x", "9C 41 B5 B5 42 B5 83 78 00", "5 PRINT A: :B:!x"},
        {"6 A=RND X::call clear 1::rem", "41 BE D7 58 82 9D C8 05 43 4C 45 41 52 C8 01 31 82 9A 00",
         "6 A=RND X :: CALL CLEAR 1 :: REM"},
        {"7 print using 100:a::return 20::display using 3", "9C ED C9 00 64 B5 41 82 88 C9 00 14 82 A2 ED C9 00 03 00",
         "7 PRINT USING 100:A :: RETURN 20 :: DISPLAY USING 3"},
    };
    for (const auto &c : cases) {
        const std::vector<XbLine> lines = parse(std::string(c[0]) + "\n");
        ASSERT_EQ(lines.size(), 1u) << c[0];
        std::istringstream hex(c[1]);
        Bytes expected;
        unsigned byte;
        while (hex >> std::hex >> byte) expected.push_back(static_cast<uint8_t>(byte));
        EXPECT_EQ(stored(lines[0]), expected) << c[0];
        EXPECT_EQ(xb_list_line(lines[0]), c[2]) << c[0];
        EXPECT_EQ(stored(parse(std::string(c[2]) + "\n").at(0)), expected) << c[2];
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
