// The example song converted end to end in every mode, through the library
// and through the kelvaro program.
#include <gtest/gtest.h>

#include "convert/settings.h"
#include "output/conversion.h"
#include "tests/test_support.h"

namespace {

const char player_line[] =
    "1000 read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3::call sound(d,s1,v1,s2,v2,s3,v3)::next c";

std::string convert_example(int32_t output, int32_t noise, int32_t timing)
{
    const std::string text = convert_with_settings(example_song, output, noise, timing);
    EXPECT_FALSE(text.empty());
    return text;
}

}  // namespace

TEST(ExampleSong, ProgramModeRealTiming)
{
    EXPECT_EQ(convert_example(OUTPUT_PROGRAM, NOISE_OFF, TIMING_REAL),
              std::string(player_line) +
                  "\n1001 DATA 3,40,110,30,110,30,110,30,60,262,0,110,30,110,30,40,330,0,110,30,110,30\n");
    EXPECT_EQ(convert_song(example_song.data(), static_cast<uint32_t>(example_song.size()), XbTarget()).rows, 3u);
}

TEST(ExampleSong, CallSoundMode)
{
    EXPECT_EQ(convert_example(OUTPUT_CALLSOUND, NOISE_OFF, TIMING_REAL),
              "\n1000 CALL SOUND(30,110,30,110,30,110,30)"
              "\n1001 CALL SOUND(45,262,0,110,30,110,30)"
              "\n1002 CALL SOUND(30,330,0,110,30,110,30)\n");
}
