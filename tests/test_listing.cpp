// Reading kelvaro's listings back: every form it writes, other spellings of
// the same lines, and the errors that name the file and the line.
#include <gtest/gtest.h>

#include "convert/settings.h"
#include "convert/song.h"
#include "preview/listing.h"
#include "tests/preview_support.h"
#include "tests/test_support.h"
#include "vgmcomp/vgm_writer.h"

namespace {

bool same_sound(const ListingRow &a, const ListingRow &b)
{
    for (int v = 0; v < 3; v++)
        if (a.hz[v] != b.hz[v] || a.volume[v] != b.volume[v]) return false;
    return a.noise == b.noise && a.noise_volume == b.noise_volume;
}

TEST(Listing, ReadsEveryFormKelvaroWritesWithTheSameRows)
{
    const std::vector<uint8_t> vgm = four_voice_vgm();
    for (int32_t noise : {NOISE_OFF, NOISE_ON}) {
        std::vector<ListingRow> program_rows;
        for (int32_t output : {OUTPUT_PROGRAM, OUTPUT_DATA, OUTPUT_CALLSOUND}) {
            SCOPED_TRACE("output " + std::to_string(output) + " noise " + std::to_string(noise));
            const std::string text = kelvaro_listing(vgm, output, noise);
            ASSERT_FALSE(text.empty());
            Listing l;
            std::string error;
            ASSERT_TRUE(read_listing(text, "song.txt", l, error)) << error;
            EXPECT_EQ(l.form, output == OUTPUT_PROGRAM ? ListingForm::program
                              : output == OUTPUT_DATA  ? ListingForm::data
                                                       : ListingForm::statements);
            EXPECT_EQ(l.noise, noise == NOISE_ON);
            EXPECT_TRUE(l.warnings.empty());
            ASSERT_GT(l.rows.size(), 30u);
            if (output == OUTPUT_PROGRAM) {
                program_rows = l.rows;
                continue;
            }
            ASSERT_EQ(l.rows.size(), program_rows.size());
            for (size_t i = 0; i < l.rows.size(); i++) {
                EXPECT_TRUE(same_sound(l.rows[i], program_rows[i])) << "row " << i;
                // REAL timing: 20 ms a frame; the CALL SOUND form: 15 ms.
                if (output == OUTPUT_DATA) EXPECT_EQ(l.rows[i].duration, program_rows[i].duration);
                else EXPECT_EQ(l.rows[i].duration / 15, program_rows[i].duration / 20) << "row " << i;
            }
        }
        // The noise voice reads back as written: types 1 to 8 and their volume.
        bool noise_heard = false;
        for (const ListingRow &r : program_rows) noise_heard = noise_heard || (r.noise != 0 && r.noise_volume < 30);
        EXPECT_EQ(noise_heard, noise == NOISE_ON);
    }
}

TEST(Listing, ExampleSongRowsAndLines)
{
    Listing l;
    std::string error;
    const std::string text = "1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3::call sound(d,s1,v1,s2,v2,s3,v3)::next c\n"
                             "1001 DATA 3,40,110,30,110,30,110,30,60,262,0,110,30,110,30,40,330,0,110,30,110,30\n";
    ASSERT_TRUE(read_listing(text, "x.txt", l, error)) << error;
    ASSERT_EQ(l.rows.size(), 3u);
    EXPECT_EQ(l.program_lines, 2u);
    const int expect[3][3] = {{40, 110, 30}, {60, 262, 0}, {40, 330, 0}};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(l.rows[i].duration, expect[i][0]);
        EXPECT_EQ(l.rows[i].hz[0], expect[i][1]);
        EXPECT_EQ(l.rows[i].volume[0], expect[i][2]);
        EXPECT_EQ(l.rows[i].hz[2], 110);
        EXPECT_EQ(l.rows[i].volume[2], 30);
        EXPECT_EQ(l.rows[i].noise, 0);
        EXPECT_EQ(l.rows[i].line, 2u);
    }
}

TEST(Listing, AcceptsOtherSpellingsOfTheSameLines)
{
    struct Case {
        const char *text;
        ListingForm form;
        size_t rows;
        int32_t first_duration, first_hz0, noise;
    } cases[] = {
        // Line ends of the reference platform, upper case, blanks as a TI lists them.
        {"\r\n1000 READ T :: FOR C=1 TO T :: READ D,S1,V1,S2,V2,S3,V3 :: CALL SOUND(D,S1,V1,S2,V2,S3,V3) :: NEXT C\r\n"
         "1001 DATA 1,40,131,0,110,30,110,30\r\n",
         ListingForm::program, 1, 40, 131, 0},
        // DATA form with the noise voice: the row count tells 9 numbers a row.
        {"\nDATA 2,20,131,0,110,30,110,30,5,2\nDATA 20,131,2,110,30,110,30,8,30\n", ListingForm::data, 2, 20, 131, 5},
        // A remark, fewer tones, a negative duration and noise in a statement.
        {"\n999 REM my song\n1000 CALL SOUND(-90,440,0)\n1001 call sound(45,440,2,-6,0)\n", ListingForm::statements,
         2, 90, 440, 0},
        // No rows at all.
        {"\nDATA 0\n", ListingForm::data, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        Listing l;
        std::string error;
        ASSERT_TRUE(read_listing(c.text, "x.txt", l, error)) << error;
        EXPECT_EQ(l.form, c.form);
        ASSERT_EQ(l.rows.size(), c.rows);
        if (c.rows == 0) continue;
        EXPECT_EQ(l.rows[0].duration, c.first_duration);
        EXPECT_EQ(l.rows[0].hz[0], c.first_hz0);
        EXPECT_EQ(l.rows[0].noise, c.noise);
    }
}

TEST(Listing, RefusesWhatKelvaroDoesNotWriteNamingFileAndLine)
{
    const std::string player = "1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3::call sound(d,s1,v1,s2,v2,s3,v3)::next c\n";
    struct Case {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "x.txt: holds no DATA lines nor CALL SOUND statements: not a listing kelvaro writes"},
        {"hello world\n", "x.txt, line 1: not a line that kelvaro writes (DATA, CALL SOUND or its player line)"},
        {player, "x.txt: has the player line but no DATA lines"},
        {player + "1001 DATA 2,40,131,0,110,30,110,30\n",
         "x.txt, line 2: the DATA ends after 1 whole rows but the row count on line 2 is 2 (the TI stops with * DATA ERROR)"},
        {"\nDATA 2,40,131,0,110,30,110,30\n", "x.txt, line 2: the row count 2 does not match the 7 numbers after it (7 or 9 a row)"},
        {"\nDATA -1\n", "x.txt, line 2: the row count -1 is negative"},
        {"\nDATA 1,40,131,0,110,31,110,30\n", "x.txt, line 2: volume 31 is out of range (0 to 30)"},
        {"\nDATA 1,40,131,0,109,30,110,30\n", "x.txt, line 2: frequency 109 is out of range (110 to 44733)"},
        {"\nDATA 1\nDATA 0,131,0,110,30,110,30\n", "x.txt, line 3: duration 0 is out of range (1 to 999999)"},
        {"\nDATA 1,40,131,0,110,30,110,30,9,0\n", "x.txt, line 2: noise type 9 is out of range (1 to 8)"},
        {"\nDATA 1,40,a,0\n", "x.txt, line 2: DATA holds 'a', which is not a whole number"},
        {"\nDATA 1,,0\n", "x.txt, line 2: DATA holds an empty item"},
        {"\n1000 CALL SOUND(40,131)\n", "x.txt, line 2: CALL SOUND needs a duration and pairs of frequency and volume"},
        {"\n1000 CALL SOUND(40,131,0,-9,0)\n", "x.txt, line 2: noise type 9 is out of range (1 to 8)"},
        {"\n1000 CALL SOUND(40,-1,0,-2,0)\n", "x.txt, line 2: CALL SOUND plays one noise voice at most"},
        {"\n1000 CALL SOUND(40,131,0,131,0,131,0,131,0)\n",
         "x.txt, line 2: CALL SOUND plays three tones at most, before the noise"},
        {"\n1000 CALL SOUND(40,131,0)\nDATA 1\n", "x.txt: mixes CALL SOUND statements with DATA lines or a player line"},
    };
    for (const Case &c : cases) {
        Listing l;
        std::string error;
        EXPECT_FALSE(read_listing(c.text, "x.txt", l, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
    // A row too long for CALL SOUND plays, with a warning: the TI would stop there.
    Listing l;
    std::string error;
    ASSERT_TRUE(read_listing("\n1000 CALL SOUND(5000,131,0)\n", "x.txt", l, error));
    ASSERT_EQ(l.warnings.size(), 1u);
    EXPECT_EQ(l.warnings[0], "x.txt, line 2: a row of 5000 ms is longer than CALL SOUND accepts (4250 ms): the TI "
                             "stops there with * BAD VALUE; it is played as written");
}

TEST(Listing, TellsTextFromBinary)
{
    EXPECT_TRUE(looks_like_text({'1', '0', ' ', 'D', '\r', '\n'}));
    EXPECT_FALSE(looks_like_text({'V', 'g', 'm', ' ', 0, 1}));
    EXPECT_FALSE(looks_like_text({1, 2, 3, 4}));
}

}  // namespace
