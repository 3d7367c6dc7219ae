// The output writer's text: the integer list built from the row text, the
// player line, DATA lines of 26 integers, numbered CALL SOUND statements,
// noise types, and a song far larger than the writer's original limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "convert/rows.h"
#include "convert/settings.h"
#include "convert/song.h"
#include "output/output.h"
#include "player/player.h"
#include "tests/song_builder.h"
#include "tests/test_support.h"

namespace {

const std::string player_line =
    "1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3::call sound(d,s1,v1,s2,v2,s3,v3)::next c";
const std::string player_line_noise =
    "1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3,s4,v4::call sound(d,s1,v1,s2,v2,s3,v3,-s4,v4)::next c";

class Output : public ConverterTest {
protected:
    void SetUp() override { settings_default(); }

    // The file text for the given rows and settings.
    static std::string text(const std::string &rows, int32_t count, int32_t output, int32_t noise_setting)
    {
        out_data = rows;
        tot_notes = count;
        arg_output = output;
        arg_noise = noise_setting;
        build_int_list();
        return format_output();
    }

    static std::vector<std::string> lines(const std::string &t)
    {
        std::vector<std::string> out;
        std::istringstream in(t);
        std::string line;
        while (std::getline(in, line)) out.push_back(line);
        return out;
    }
};

// n rows of 9 numbers: row r is r*10, then 100+r, r%31 for voices 0-2,
// then noise type -(r%8+1) and volume r%31.
std::string noise_rows(int n)
{
    std::string s;
    for (int r = 1; r <= n; r++) {
        for (int v = 0; v < 4; v++) {
            if (v == 0) s += std::to_string(r * 10) + ",";
            if (v < 3)
                s += std::to_string(100 + r + v) + "," + std::to_string((r + v) % 31) + ",";
            else
                s += "-" + std::to_string(r % 8 + 1) + "," + std::to_string(r % 31) + ",";
        }
    }
    return s;
}

}  // namespace

TEST_F(Output, IntegerListFromRowText)
{
    text("40,131,0,110,30,110,30,20,147,4,110,30,110,30,", 2, OUTPUT_PROGRAM, NOISE_OFF);
    EXPECT_EQ(out_data_int, (std::vector<int32_t>{2, 40, 131, 0, 110, 30, 110, 30, 20, 147, 4, 110, 30, 110, 30}));
    EXPECT_EQ(out_data_size, 15);

    // Noise types enter as 1 to 8: the minus sign only separates.
    text("40,110,30,110,30,110,30,-8,4,20,110,30,110,30,110,30,-1,30,", 2, OUTPUT_DATA, NOISE_ON);
    EXPECT_EQ(out_data_int, (std::vector<int32_t>{2, 40, 110, 30, 110, 30, 110, 30, 8, 4, 20, 110, 30, 110, 30,
                                                  110, 30, 1, 30}));
    EXPECT_EQ(out_data_size, 19);
}

TEST_F(Output, TwoRowsProgramMode)
{
    EXPECT_EQ(text("40,131,0,110,30,110,30,20,147,4,110,30,110,30,", 2, OUTPUT_PROGRAM, NOISE_OFF),
              player_line + "\n1001 DATA 2,40,131,0,110,30,110,30,20,147,4,110,30,110,30\n");
}

TEST_F(Output, NoRows)
{
    EXPECT_EQ(text("", 0, OUTPUT_PROGRAM, NOISE_OFF), player_line + "\n1001 DATA 0\n");
    EXPECT_EQ(text("", 0, OUTPUT_PROGRAM, NOISE_ON), player_line_noise + "\n1001 DATA 0\n");
    EXPECT_EQ(text("", 0, OUTPUT_DATA, NOISE_OFF), "\nDATA 0\n");
    EXPECT_EQ(text("", 0, OUTPUT_DATA, NOISE_ON), "\nDATA 0\n");
    EXPECT_EQ(text("", 0, OUTPUT_CALLSOUND, NOISE_OFF), "\n");
    EXPECT_EQ(text("", 0, OUTPUT_CALLSOUND, NOISE_ON), "\n");
}

TEST_F(Output, FiftyFiveEntriesInDataMode)
{
    const std::string t = text(noise_rows(6), 6, OUTPUT_DATA, NOISE_ON);
    ASSERT_EQ(out_data_size, 55);
    std::vector<std::string> l = lines(t);
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[0], "");
    const size_t want_counts[3] = {26, 26, 3};
    for (size_t i = 1; i < 4; i++) {
        ASSERT_EQ(l[i].compare(0, 5, "DATA "), 0) << l[i];
        EXPECT_NE(l[i].back(), ',') << l[i];
        size_t commas = static_cast<size_t>(std::count(l[i].begin(), l[i].end(), ','));
        EXPECT_EQ(commas + 1, want_counts[i - 1]) << l[i];
    }
    // Every entry in order, row count first.
    std::string joined;
    for (size_t i = 1; i < 4; i++) joined += l[i].substr(5) + (i < 3 ? "," : "");
    std::string want = "6";
    for (int32_t e : std::vector<int32_t>(out_data_int.begin() + 1, out_data_int.end()))
        want += "," + std::to_string(e);
    EXPECT_EQ(joined, want);
    EXPECT_EQ(t.back(), '\n');
    EXPECT_NE(t.substr(t.size() - 2), "\n\n");
}

TEST_F(Output, DataLinesIgnoreRowBoundaries)
{
    // Four rows of 7: the first line holds the count, three rows and the
    // first four numbers of the fourth row.
    std::string rows;
    for (int r = 1; r <= 4; r++) rows += std::to_string(r) + "0," + std::to_string(130 + r) + ",0,110,30,110,30,";
    EXPECT_EQ(text(rows, 4, OUTPUT_PROGRAM, NOISE_OFF),
              player_line +
                  "\n1001 DATA 4,10,131,0,110,30,110,30,20,132,0,110,30,110,30,30,133,0,110,30,110,30,40,134,0,110"
                  "\n1002 DATA 30,110,30\n");
    EXPECT_EQ(text(rows, 4, OUTPUT_DATA, NOISE_OFF),
              "\nDATA 4,10,131,0,110,30,110,30,20,132,0,110,30,110,30,30,133,0,110,30,110,30,40,134,0,110"
              "\nDATA 30,110,30\n");
}

TEST_F(Output, ExactlyFullLines)
{
    // 1 + 7 * 11 = 78 entries: three full lines, no comma at any line end
    // and no empty DATA line after them.
    std::string rows;
    for (int r = 0; r < 11; r++) rows += "20,262,0,110,30,110,30,";
    std::vector<std::string> l = lines(text(rows, 11, OUTPUT_PROGRAM, NOISE_OFF));
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[0], player_line);
    EXPECT_EQ(l[1].substr(0, 12), "1001 DATA 11");
    for (size_t i = 1; i < 4; i++) {
        EXPECT_EQ(l[i].substr(0, 10), std::to_string(1000 + i) + " DATA ");
        EXPECT_EQ(std::count(l[i].begin(), l[i].end(), ','), 25) << l[i];
        EXPECT_NE(l[i].back(), ',');
    }
}

TEST_F(Output, CallSoundStatements)
{
    const std::string rows = "30,110,30,110,30,110,30,45,262,0,110,30,110,30,30,330,0,110,30,110,30,";
    EXPECT_EQ(text(rows, 3, OUTPUT_CALLSOUND, NOISE_OFF),
              "\n1000 CALL SOUND(30,110,30,110,30,110,30)"
              "\n1001 CALL SOUND(45,262,0,110,30,110,30)"
              "\n1002 CALL SOUND(30,330,0,110,30,110,30)\n");
}

TEST_F(Output, NoiseTypesEveryMode)
{
    // Eight rows with noise types -1 to -8: 1 to 8 in DATA lines, back to
    // -1 to -8 through the player line's -s4 and in CALL SOUND statements.
    std::string rows;
    for (int k = 1; k <= 8; k++) rows += "15,110,30,110,30,110,30,-" + std::to_string(k) + "," + std::to_string(2 * k) + ",";

    std::string program = text(rows, 8, OUTPUT_PROGRAM, NOISE_ON);
    EXPECT_EQ(program, player_line_noise +
                           "\n1001 DATA 8,15,110,30,110,30,110,30,1,2,15,110,30,110,30,110,30,2,4,15,110,30,110,30,110,30"
                           "\n1002 DATA 3,6,15,110,30,110,30,110,30,4,8,15,110,30,110,30,110,30,5,10,15,110,30,110,30,110"
                           "\n1003 DATA 30,6,12,15,110,30,110,30,110,30,7,14,15,110,30,110,30,110,30,8,16\n");
    EXPECT_EQ(std::count(program.begin(), program.end(), '-'), 1);  // the one of -s4

    std::string data = text(rows, 8, OUTPUT_DATA, NOISE_ON);
    EXPECT_EQ(data, "\nDATA 8,15,110,30,110,30,110,30,1,2,15,110,30,110,30,110,30,2,4,15,110,30,110,30,110,30"
                    "\nDATA 3,6,15,110,30,110,30,110,30,4,8,15,110,30,110,30,110,30,5,10,15,110,30,110,30,110"
                    "\nDATA 30,6,12,15,110,30,110,30,110,30,7,14,15,110,30,110,30,110,30,8,16\n");

    std::string calls = text(rows, 8, OUTPUT_CALLSOUND, NOISE_ON);
    std::string want;
    for (int k = 1; k <= 8; k++)
        want += "\n" + std::to_string(999 + k) + " CALL SOUND(15,110,30,110,30,110,30,-" + std::to_string(k) + "," +
                std::to_string(2 * k) + ")";
    EXPECT_EQ(calls, want + "\n");
}

TEST_F(Output, LineNumbersRunOn)
{
    // 20 rows of 7 in PROGRAM mode: 141 entries on lines 1001 to 1006.
    std::string rows;
    for (int r = 0; r < 20; r++) rows += "20,262,0,110,30,110,30,";
    std::vector<std::string> l = lines(text(rows, 20, OUTPUT_PROGRAM, NOISE_OFF));
    ASSERT_EQ(l.size(), 7u);
    for (size_t i = 1; i < l.size(); i++) EXPECT_EQ(l[i].substr(0, 10), std::to_string(1000 + i) + " DATA ");
    EXPECT_EQ(std::count(l[6].begin(), l[6].end(), ','), 141 - 5 * 26 - 1);

    l = lines(text(rows, 20, OUTPUT_CALLSOUND, NOISE_OFF));
    ASSERT_EQ(l.size(), 21u);
    EXPECT_EQ(l[0], "");
    EXPECT_EQ(l[20], "1019 CALL SOUND(20,262,0,110,30,110,30)");
}

TEST_F(Output, LongSongConvertsCompletely)
{
    // 16384 rows: over 370,000 characters of row text and 114,689 entries,
    // beyond the 100,000 of both the text and the integer list.
    const size_t n = 16384;
    std::vector<uint8_t> song = songtest::alternating_song(n);
    playmask = 0;
    for (int32_t mode : {OUTPUT_PROGRAM, OUTPUT_DATA, OUTPUT_CALLSOUND}) {
        SCOPED_TRACE(mode);
        arg_output = mode;
        arg_noise = NOISE_OFF;
        arg_timing = TIMING_REAL;
        std::string t;
        ASSERT_TRUE(convert_to_text(song.data(), static_cast<uint32_t>(song.size()), t));
        ASSERT_EQ(tot_notes, static_cast<int32_t>(n));
        EXPECT_GT(out_data.size(), 370000u);
        ASSERT_EQ(out_data_size, static_cast<int32_t>(1 + 7 * n));
        const int d = mode == OUTPUT_CALLSOUND ? 15 : 20;  // 1 frame
        const int first = mode == OUTPUT_CALLSOUND ? 30 : 40;

        std::string want;
        if (mode == OUTPUT_CALLSOUND) {
            for (size_t i = 1; i <= n; i++)
                want += "\n" + std::to_string(999 + i) + " CALL SOUND(" + std::to_string(i == 1 ? first : d) + "," +
                        (i % 2 ? "262" : "330") + ",0,110,30,110,30)";
        } else {
            std::vector<int32_t> entries = {static_cast<int32_t>(n)};
            for (size_t i = 1; i <= n; i++) {
                for (int32_t e : {i == 1 ? first : d, i % 2 ? 262 : 330, 0, 110, 30, 110, 30}) entries.push_back(e);
            }
            if (mode == OUTPUT_PROGRAM) want = player_line;
            for (size_t i = 0; i < entries.size(); i++) {
                if (i % 26 == 0)
                    want += mode == OUTPUT_PROGRAM ? "\n" + std::to_string(1001 + i / 26) + " DATA " : "\nDATA ";
                want += std::to_string(entries[i]);
                if (i % 26 != 25 && i + 1 != entries.size()) want += ",";
            }
        }
        want += "\n";
        EXPECT_EQ(t.size(), want.size());
        EXPECT_TRUE(t == want);
    }
}
