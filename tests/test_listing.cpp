// Reading kelvaro's listings back: every form it writes, other spellings,
// and errors that name the file and the line.
#include <gtest/gtest.h>

#include "output/listing.h"
#include "tests/preview_support.h"

namespace {

TEST(Listing, ReadsEveryFormKelvaroWritesWithTheSameRows)
{
    const std::vector<uint8_t> vgm = four_voice_vgm();
    for (int32_t noise : {NOISE_OFF, NOISE_ON}) {
        std::vector<ListingRow> first;
        bool noise_heard = false;
        for (int32_t output : {OUTPUT_PROGRAM, OUTPUT_DATA, OUTPUT_CALLSOUND}) {
            SCOPED_TRACE("output " + std::to_string(output) + " noise " + std::to_string(noise));
            Listing l;
            std::string error;
            ASSERT_TRUE(read_listing(kelvaro_listing(vgm, output, noise), "song.txt", l, error)) << error;
            EXPECT_EQ(l.form, target_of_settings(output, NOISE_OFF, TIMING_REAL).form);
            EXPECT_EQ(l.noise, noise == NOISE_ON);
            EXPECT_TRUE(l.warnings.empty());
            ASSERT_GT(l.rows.size(), 30u);
            if (first.empty()) first = l.rows;
            ASSERT_EQ(l.rows.size(), first.size());
            for (size_t i = 0; i < l.rows.size(); i++) {
                const ListingRow &a = l.rows[i], &b = first[i];
                for (int v = 0; v < 3; v++) EXPECT_TRUE(a.hz[v] == b.hz[v] && a.volume[v] == b.volume[v]) << i;
                EXPECT_TRUE(a.noise == b.noise && a.noise_volume == b.noise_volume) << i;
                // REAL timing: 20 ms a frame; the CALL SOUND form: 15 ms.
                EXPECT_EQ(a.duration / (output == OUTPUT_CALLSOUND ? 15 : 20), b.duration / 20) << i;
                noise_heard = noise_heard || (a.noise != 0 && a.noise_volume < 30);
            }
        }
        EXPECT_EQ(noise_heard, noise == NOISE_ON);
    }
}

TEST(Listing, AcceptsOtherSpellingsOfTheSameLines)
{
    struct Case {
        const char *text;
        XbForm form;
        size_t rows;
        int32_t last_duration, last_hz0, last_volume0, noise;
        size_t line;
    } cases[] = {
        // Line ends of the reference platform, upper case, blanks as a TI lists them.
        {"\r\n1000 READ T :: FOR C=1 TO T :: READ D,S1,V1,S2,V2,S3,V3 :: CALL SOUND(D,S1,V1,S2,V2,S3,V3) :: NEXT C\r\n"
         "1001 DATA 1,40,131,0,110,30,110,30\r\n",
         XbForm::program, 1, 40, 131, 0, 0, 3},
        // DATA form with the noise voice: the row count tells 9 numbers a row.
        {"\nDATA 2,20,131,0,110,30,110,30,5,2\nDATA 20,131,2,110,30,110,30,8,30\n", XbForm::data, 2, 20, 131, 2,
         8, 3},
        // A remark, fewer tones, a negative duration and noise in a statement.
        {"\n999 REM my song\n1000 CALL SOUND(-90,440,0)\n1001 call sound(45,440,2,-6,0)\n", XbForm::statements,
         2, 45, 440, 2, 6, 4},
        {"\nDATA 0\n", XbForm::data, 0, 0, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        Listing l;
        std::string error;
        ASSERT_TRUE(read_listing(c.text, "x.txt", l, error)) << error;
        EXPECT_EQ(l.form, c.form);
        ASSERT_EQ(l.rows.size(), c.rows);
        if (c.rows == 0) continue;
        const ListingRow &r = l.rows.back();
        EXPECT_EQ(r.duration, c.last_duration);
        EXPECT_EQ(r.hz[0], c.last_hz0);
        EXPECT_EQ(r.volume[0], c.last_volume0);
        EXPECT_EQ(r.noise, c.noise);
        EXPECT_EQ(r.line, c.line);
    }
}

TEST(Listing, RefusesWhatKelvaroDoesNotWriteNamingFileAndLine)
{
    const std::string player = "1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3::call sound(d,s1,v1,s2,v2,s3,v3)::next c\n";
    const std::pair<std::string, std::string> cases[] = {
        {"", "x.txt: holds no DATA lines nor CALL SOUND statements: not a listing kelvaro writes"},
        {"hello world\n", "x.txt, line 1: not a line that kelvaro writes (DATA, CALL SOUND or its player line)"},
        {player, "x.txt: has the player line but no DATA lines"},
        {player + "1001 DATA 2,40,131,0,110,30,110,30\n",
         "x.txt, line 2: the DATA ends after 1 whole rows but the row count on line 2 is 2 (the TI stops with * DATA ERROR)"},
        {"\nDATA 2,40,131,0,110,30,110,30\n", "x.txt, line 2: the row count 2 does not match the 7 numbers after it (7 or 9 a row)"},
        {"\nDATA -1\n", "x.txt, line 2: the row count -1 is negative"},
        {"\nDATA 1\nDATA 0,131,0,110,30,110,30\n", "x.txt, line 3: duration 0 is out of range (1 to 999999)"},
        {"\nDATA 1,40,131,0,110,30,110,30,9,0\n", "x.txt, line 2: noise type 9 is out of range (1 to 8)"},
        {"\nDATA 1,40,a,0\n", "x.txt, line 2: DATA holds 'a', which is not a whole number"},
        {"\n1000 CALL SOUND(40,131)\n", "x.txt, line 2: CALL SOUND needs a duration and pairs of frequency and volume"},
        {"\n1000 CALL SOUND(40,-1,0,-2,0)\n", "x.txt, line 2: CALL SOUND plays one noise voice at most"},
        {"\n1000 CALL SOUND(40,131,0,131,0,131,0,131,0)\n",
         "x.txt, line 2: CALL SOUND plays three tones at most, before the noise"},
        {"\n1000 CALL SOUND(40,131,0)\nDATA 1\n", "x.txt: mixes CALL SOUND statements with DATA lines or a player line"},
    };
    for (const auto &c : cases) {
        Listing l;
        std::string error;
        EXPECT_FALSE(read_listing(c.first, "x.txt", l, error)) << c.first;
        EXPECT_EQ(error, c.second) << c.first;
    }
    // A row too long for CALL SOUND plays, with a warning: the TI would stop there.
    Listing l;
    std::string error;
    ASSERT_TRUE(read_listing("\n1000 CALL SOUND(5000,131,0)\n", "x.txt", l, error));
    ASSERT_EQ(l.warnings.size(), 1u);
    EXPECT_EQ(l.warnings[0], "x.txt, line 2: a row of 5000 ms is longer than CALL SOUND accepts (4250 ms): the TI "
                             "stops there with * BAD VALUE; it is played as written");
}

}  // namespace
