// The XB tokenizer and program image: the worked examples byte for byte,
// hand-written constructs, errors naming the line, and round trips.
#include <gtest/gtest.h>

#include <cstring>

#include "convert/settings.h"
#include "output/output.h"
#include "tests/test_support.h"
#include "xb/image.h"
#include "xb/tokenize.h"
#include "xb/xb_size.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes hex(const std::string &text)
{
    Bytes out;
    for (size_t i = 0; i + 1 < text.size(); i += text[i] == ' ' ? 1 : 2)
        if (text[i] != ' ') out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<XbLine> parse(const std::string &text)
{
    std::vector<XbLine> lines;
    std::vector<std::string> warnings;
    std::string error;
    EXPECT_TRUE(xb_parse_listing(text, lines, warnings, error)) << error;
    return lines;
}

XbProgram build(const std::string &text, XbFormat format)
{
    XbProgram program;
    std::string error;
    EXPECT_TRUE(xb_build_program(parse(text), format, program, error)) << error;
    return program;
}

const std::string two_lines = "100 CALL SOUND(500,440,0)\n110 DATA 1,2,3\n";

TEST(XbImage, TheWorkedExamplesByteForByte)
{
    EXPECT_EQ(build(two_lines, XbFormat::Short).bytes,
              hex("0009 37ae 37a7 37d7 006e 37b0 0064 37be 0d93 c801 31b3 c801 32b3 c801 3300 1a9d"
                  "c805 534f 554e 44b7 c803 3530 30b3 c803 3434 30b3 c801 30b6 00"));
    const XbProgram program = build(two_lines, XbFormat::Long);
    const std::vector<Bytes> records = xb_long_records(program);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0], hex("abcd fede fee9 0037 ffe7"));
    ASSERT_EQ(records[1].size(), 254u);
    EXPECT_EQ(Bytes(records[1].begin(), records[1].begin() + 16), hex("7fff feeb 006e ffc0 0064 ffce d483 2121"));
    EXPECT_EQ(records[2].size(), 12u);
    const Bytes raw = xb_raw_file(program);
    EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 3), hex("0a abcd"));
    EXPECT_EQ(raw.size(), 3 + 10 + 254 + 12u);

    const std::vector<XbLine> player = parse(
        "1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3::call sound(d,s1,v1,s2,v2,s3,v3)::next c\n");
    ASSERT_EQ(player.size(), 1u);
    EXPECT_EQ(player[0].tokens,
              hex("97 54 82 8c 43 be c8 01 31 b1 54 82 97 44 b3 53 31 b3 56 31 b3 53 32 b3"
                  "56 32 b3 53 33 b3 56 33 82 9d c8 05 53 4f 55 4e 44 b7 44 b3 53 31 b3 56"
                  "31 b3 53 32 b3 56 32 b3 53 33 b3 56 33 b6 82 96 43"));
}

// Statements, their tokens, and their listing as LIST shows it, which
// tokenizes to the same bytes.
TEST(XbTokenize, EveryConstructOfHandWrittenPrograms)
{
    const char *cases[][3] = {
        {"print a$::x=-s4", "9c 41 24 82 58 be c2 53 34", "PRINT A$ :: X=-S4"},
        {"a=1.5E-3+.5::x=int(rnd*10)", "41 be c8 06 312e35452d33 c1 c8 02 2e35 82 58 be cf b7 d7 c3 c8 02 3130 b6",
         "A=1.5E-3+.5 :: X=INT(RND*10)"},
        {"DATA 1, -2 ,\"A,B\",HELLO WORLD,", "93 c801 31 b3 c802 2d32 b3 c703 412c42 b3 c80b 48454c4c4f20574f524c44 b3",
         "DATA 1,-2,\"A,B\",HELLO WORLD,"},
        {"print \"say \"\"hi\"\"\"", "9c c7 08 7361792022686922", "PRINT \"say \"\"hi\"\"\""},
        {"go to 100::go sub 200", "85 b1 c9 0064 82 85 a1 c9 00c8", "GO TO 100 :: GO SUB 200"},
        {"on i gosub 10,20,30::on error 500", "9b 49 87 c9000a b3 c90014 b3 c9001e 82 9b a5 c9 01f4",
         "ON I GOSUB 10,20,30 :: ON ERROR 500"},
        {"if a<>0 then 10 else 20", "84 41 bf c0 c8 01 30 b0 c9 000a 81 c9 0014", "IF A<>0 THEN 10 ELSE 20"},
        {"restore 70::run 10::break 1,2::unbreak 3", "94 c90046 82 a9 c9000a 82 8e c90001 b3 c90002 82 8f c90003",
         "RESTORE 70 :: RUN 10 :: BREAK 1,2 :: UNBREAK 3"},
        {"call clear::call hchar(1,1,42)", "9d c805 434c454152 82 9d c805 4843484152 b7 c80131 b3 c80131 b3 c8023432 b6",
         "CALL CLEAR :: CALL HCHAR(1,1,42)"},
        {"sub name(a)", "a1 c8 04 4e414d45 b7 41 b6", "SUB NAME(A)"},
        {"rem Hello :: world", "9a 2048656c6c6f203a3a20776f726c64", "REM Hello :: world"},
        {"a=1 ! note", "41 be c80131 83 206e6f7465", "A=1 ! note"},
        {"display at(1,2):a_b@", "a2 f0 b7 c80131 b3 c80132 b6 b5 415f4240", "DISPLAY AT(1,2):A_B@"},
        {"print #1:a;b::for i=1 to 10 step 2", "9c fd c80131 b5 41 b4 42 82 8c 49 be c80131 b1 c8023130 b2 c80132",
         "PRINT #1:A;B :: FOR I=1 TO 10 STEP 2"},
    };
    for (const auto &c : cases) {
        Bytes tokens;
        std::string error;
        ASSERT_TRUE(xb_tokenize_statements(c[0], std::strlen(c[0]), tokens, error)) << c[0] << ": " << error;
        EXPECT_EQ(tokens, hex(c[1])) << c[0];
        const std::string listed = xb_list_line(XbLine{10, tokens});
        EXPECT_EQ(listed, std::string("10 ") + c[2]);
        EXPECT_EQ(parse(listed).at(0).tokens, tokens) << listed;
    }
}

TEST(XbTokenize, ErrorsNameTheLine)
{
    const std::pair<std::string, const char *> cases[] = {
        {"10 PRINT 1\nPRINT 2\n", "line 2 of the text has no line number"},
        {"0 PRINT 1\n", "line number 0 (line 1 of the text) is outside 1 to 32767"},
        {"32768 PRINT 1\n", "line number 32768 (line 1 of the text) is outside 1 to 32767"},
        {"20 PRINT \"OPEN\n", "line 20: unterminated string"},
        {"30 PRINT 1?\n", "line 30: unexpected character '?'"},
        {"40\n", "line 40 has no statement"},
        {"45 P RINT 1\n", "line 45: a name follows a name ('RINT' after 'P')"},
        {"46 DATA 1,\t2\n", "line 46: unexpected character code 9"},
        // DATA, the item's two bytes and 250 digits fit (253); one more item does not.
        {"50 DATA " + std::string(250, '9') + ",1\n", "line 50 takes 257 token bytes, more than the 254 a line may hold"},
    };
    std::vector<XbLine> lines;
    std::vector<std::string> warnings;
    std::string error;
    for (const auto &c : cases) {
        EXPECT_FALSE(xb_parse_listing(c.first, lines, warnings, error)) << c.first;
        EXPECT_EQ(error, c.second) << c.first;
    }
    EXPECT_EQ(parse("50 DATA " + std::string(250, '9') + "\n")[0].tokens.size(), 253u);

    // A line given twice: the later one wins, with a warning.
    ASSERT_TRUE(xb_parse_listing("\xEF\xBB\xBF" "20 PRINT 2\n10 PRINT 1\r\n\n  \n20 PRINT 3\n", lines, warnings, error));
    EXPECT_EQ(xb_listing_text(lines), "10 PRINT 1\n20 PRINT 3\n");
    EXPECT_EQ(warnings, std::vector<std::string>{"line 20 is given twice: the later one is kept"});

    std::string big;
    for (int n = 1; n <= 200; n++) big += std::to_string(n) + " DATA " + std::string(120, '1') + "\n";
    XbProgram program;
    EXPECT_FALSE(xb_build_program(parse(big), XbFormat::Long, program, error));
    EXPECT_EQ(error, "the program takes 25800 bytes, more than the 24552 bytes XB holds with the memory expansion");
    EXPECT_FALSE(xb_build_program(parse(big), XbFormat::Short, program, error));
    EXPECT_EQ(error, "the program takes 25800 bytes, more than the short format holds");
    EXPECT_FALSE(xb_build_program(parse("32767 END\n"), XbFormat::Long, program, error));
    EXPECT_EQ(error, "a long-format program this small gets a padding line 32767, which the program already has");
}

// listing -> program -> listing -> program, in both formats, of hand-written
// programs and of every form of the converter's output.
TEST(XbImage, RoundTrips)
{
    std::vector<std::string> texts = {
        two_lines,
        "10 REM every construct\n20 DIM A(10),B$(3):: OPTION BASE 1\n"
        "30 FOR I=1 TO 10 STEP 2 :: A(I)=-I*1.5E-3 :: NEXT I\n40 IF A(1)<>0 THEN 100 ELSE 200\n"
        "50 ON I GOTO 100,200,300 :: ON I GO SUB 300\n60 PRINT \"SAY \"\"HI\"\"\";TAB(5);B$(1)&CHR$(65)\n"
        "70 DATA \"A,B\",-2,HELLO WORLD,,3.5\n80 CALL CLEAR :: CALL HCHAR(1,1,42,32)! a tail remark\n"
        "100 RESTORE 70 :: READ X$ :: GOSUB 300 :: RETURN\n200 BREAK 100,300 :: UNBREAK :: RUN 10\n"
        "300 DISPLAY AT(1,1):X$ :: ACCEPT AT(2,1)VALIDATE(DIGIT)BEEP:N$ :: RETURN\n32767 END\n"};
    for (int32_t output : {OUTPUT_PROGRAM, OUTPUT_CALLSOUND})
        for (int32_t noise : {NOISE_OFF, NOISE_ON})
            for (int32_t timing : {TIMING_REAL, TIMING_EMULATED}) {
                texts.push_back(convert_with_settings(example_song, output, noise, timing));
                ASSERT_FALSE(texts.back().empty());
            }
    for (size_t t = 0; t < texts.size(); t++)
        for (XbFormat format : {XbFormat::Short, XbFormat::Long}) {
            const std::vector<XbLine> lines = parse(texts[t]);
            EXPECT_EQ(xb_program_size(texts[t]), xb_tables_size(lines)) << texts[t];
            XbProgram program, raw_back, again;
            std::vector<XbLine> back;
            std::string error;
            ASSERT_TRUE(xb_build_program(lines, format, program, error)) << error;
            ASSERT_TRUE(xb_read_raw_file(xb_raw_file(program), raw_back, error)) << error;
            EXPECT_EQ(raw_back.bytes, program.bytes);
            EXPECT_EQ(raw_back.format, format);
            ASSERT_TRUE(xb_read_program(program, back, error)) << error;
            const std::string listing = xb_listing_text(back);
            if (t == 1) {
                EXPECT_EQ(listing, texts[t]);
            }
            ASSERT_TRUE(xb_build_program(parse(listing), format, again, error));
            EXPECT_EQ(again.bytes, program.bytes);
        }
}

}  // namespace
