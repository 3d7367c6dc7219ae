// The XB program size, checked against programs counted by hand token by
// token.
#include <gtest/gtest.h>

#include "convert/settings.h"
#include "convert/song.h"
#include "output/output.h"
#include "xb/xb_size.h"
#include "tests/test_support.h"

TEST(XbSize, PlayerLinesAndStatementsCountedByHand)
{
    EXPECT_EQ(xb_line_size("1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3::"
                           "call sound(d,s1,v1,s2,v2,s3,v3)::next c"),
              71u);
    EXPECT_EQ(xb_line_size("1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3,s4,v4::"
                           "call sound(d,s1,v1,s2,v2,s3,v3,-s4,v4)::next c"),
              84u);
    // CALL, SOUND as a 5-character name (7), ( ), six commas, and the numbers
    // 30,110,30,110,30,110,30 (4+5+4+5+4+5+4 = 31): 47 tokens + 6.
    EXPECT_EQ(xb_line_size("1000 CALL SOUND(30,110,30,110,30,110,30)"), 53u);
    // With the noise voice: ",-1,30" adds comma, minus, "1" (3), comma, "30" (4).
    EXPECT_EQ(xb_line_size("1000 CALL SOUND(30,110,30,110,30,110,30,-1,30)"), 63u);
    EXPECT_EQ(xb_line_size(""), 0u);
}

TEST(XbSize, DataLinesFollowTheFormula)
{
    // 7 + k * (d + 2) + (k - 1) for k values of d characters.
    EXPECT_EQ(xb_line_size("1001 DATA 0"), 7u + 1 * 3 + 0);
    EXPECT_EQ(xb_line_size("DATA 0"), 10u);  // unnumbered lines get a number in a program
    EXPECT_EQ(xb_line_size("1001 DATA 40,60,20"), 7u + 3 * 4 + 2);
    EXPECT_EQ(xb_line_size("1001 DATA 3,40,110"), 7u + 3 + 4 + 5 + 2);
}

TEST(XbSize, WholeExampleSongInEveryForm)
{
    struct Case {
        int32_t output, noise;
        size_t size;
    } cases[] = {
        // Player line 71; the DATA line holds 22 values of 50 digits in all:
        // 7 + 50 + 22 * 2 + 21 commas.
        {OUTPUT_PROGRAM, NOISE_OFF, 71 + 7 + 50 + 44 + 21},
        // 53 for the silence; the next two rows each have a one-digit volume
        // (0) and three-digit frequencies in place of 110: 52 each.
        {OUTPUT_CALLSOUND, NOISE_OFF, 53 + 52 + 52},
    };
    for (const Case &c : cases) {
        const std::string text = convert_with_settings(example_song, c.output, c.noise, TIMING_REAL);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(xb_program_size(text), c.size) << text;
    }
}
