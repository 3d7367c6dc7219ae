// The fuzz targets' seeds and findings, replayed through the very checks the
// targets make (fuzz/checks.h): any song file through the whole conversion,
// any VGM file through the compressor (with the options its header asks
// for) and the player's check, any byte streams through pack and unpack,
// any program file or disk image through the readers.
// Every finding stays here as the bytes that showed it.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/checks.h"
#include "tests/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The seed corpus of one fuzz target, file by file.
std::vector<std::string> corpus(const std::string &target)
{
    std::vector<std::string> files;
    const std::string dir = std::string(SOURCE_DIR) + "/fuzz/corpus/" + target;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.') files.push_back(dir + "/" + e->d_name);
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The converter's settings are program-wide: every test puts them back.
struct FuzzSeeds : ConverterTest {
};

TEST_F(FuzzSeeds, EverySeedOfEveryTargetPasses)
{
    struct Target {
        const char *name;
        std::string (*check)(const uint8_t *, size_t);
    };
    const Target targets[] = {{"fuzz_convert", fuzzcheck::convert_input},
                              {"fuzz_vgm", fuzzcheck::vgm_input},
                              {"fuzz_pack", fuzzcheck::pack_input},
                              {"fuzz_xbfiles", fuzzcheck::xbfile_input}};
    for (const Target &t : targets) {
        const std::vector<std::string> files = corpus(t.name);
        EXPECT_GE(files.size(), 4u) << t.name;
        for (const std::string &f : files) {
            const Bytes input = read_file(f);
            ASSERT_FALSE(input.empty()) << f;
            EXPECT_EQ(t.check(input.data(), input.size()), "") << f;
        }
    }
}

TEST_F(FuzzSeeds, TheExampleSongConvertsUnderEverySetting)
{
    for (uint8_t pick = 0; pick < 12; pick++) {
        Bytes input = {pick};
        input.insert(input.end(), example_song.begin(), example_song.end());
        EXPECT_EQ(fuzzcheck::convert_input(input.data(), input.size()), "") << "settings " << int(pick);
    }
}

// Listings the fuzzer found that listed as text tokenizing differently.
TEST_F(FuzzSeeds, ListingFindings)
{
    const char *const findings[] = {
        // A number cut short by a letter in a GOTO list: "30" then the name
        // "EAK" must be a line number, as "30 EAK" is.
        "50 ON I GOTO 100,200,30EAK::RUN 10\n",
        // Two colons, which listed side by side would read as "::".
        "100 RESTORE70: :READ X$::GOSUB 300::RETURN\n",
        // Two names in a row, which would list as the keyword PRINT.
        "60P RINT \"SAY \"\"HI\"\"\";TAB(5)\n",
        // Carriage returns in a DATA item, and in a remark, which a listing
        // would lose at the end of the line.
        "43 DATA,\r\r\r\n44 REM x\r\r\n",
    };
    for (const char *f : findings) EXPECT_EQ(fuzzcheck::xbfile_input(reinterpret_cast<const uint8_t *>(f), std::strlen(f)), "") << f;
}

}  // namespace
