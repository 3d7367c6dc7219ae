// TI files and V9T9 disk images: the worked TIFILES header and data chain,
// several songs with one replaced, a full disk left untouched, damage.
#include <gtest/gtest.h>

#include "disk/disk_image.h"
#include "disk/program_file.h"
#include "disk/tifiles.h"
#include "fuzz/checks.h"
#include "xb/image.h"
#include "xb/tokenize.h"

namespace {

using Bytes = std::vector<uint8_t>;

XbProgram program_of(const std::string &text, XbFormat format)
{
    std::vector<XbLine> lines;
    std::vector<std::string> warnings;
    std::string error;
    XbProgram program;
    EXPECT_TRUE(xb_parse_listing(text, lines, warnings, error)) << error;
    EXPECT_TRUE(xb_build_program(lines, format, program, error)) << error;
    return program;
}

// A song of n DATA lines of 20 three-digit numbers.
std::string song(int n, int seed)
{
    std::string text = "1000 READ T :: FOR C=1 TO T :: READ D :: NEXT C\n";
    for (int k = 0; k < n; k++) {
        text += std::to_string(1001 + k) + " DATA ";
        for (int i = 0; i < 20; i++) text += (i ? "," : "") + std::to_string(100 + (seed * 7 + k * 13 + i) % 900);
        text += '\n';
    }
    return text;
}

Bytes sssd(const char *name)
{
    DiskGeometry g;
    EXPECT_TRUE(disk_geometry_named("sssd", g));
    return disk_create(g, name);
}

const std::string two_lines = "100 CALL SOUND(500,440,0)\n110 DATA 1,2,3\n";
const TiStamp stamp{0x6000, 0x5A47};

TEST(DiskImage, SeveralSongsThenOneReplaced)
{
    Bytes image = sssd("SONGS");
    std::string error;
    const char *names[] = {"ZETA", "ALPHA", "MID", "BETA"};
    for (int k = 0; k < 4; k++) {
        const XbProgram p = program_of(song(20 + 30 * k, k), k % 2 ? XbFormat::Long : XbFormat::Short);
        ASSERT_TRUE(disk_put_file(image, ti_program_file(names[k], p, stamp), error)) << error;
        EXPECT_EQ(fuzzcheck::disk_consistent(image), "");
    }
    const Bytes before = image;
    const XbProgram replacement = program_of(song(70, 9), XbFormat::Long);
    ASSERT_TRUE(disk_put_file(image, ti_program_file("ALPHA", replacement, stamp), error)) << error;
    EXPECT_EQ(fuzzcheck::disk_consistent(image), "");
    DiskCatalog catalog;
    ASSERT_TRUE(disk_read_catalog(image, catalog, error));
    ASSERT_EQ(catalog.files.size(), 4u);
    EXPECT_EQ(catalog.files[0].info.name, "ALPHA");
    for (const char *name : {"BETA", "MID", "ZETA"}) {
        TiFile was, now;
        ASSERT_TRUE(disk_read_file(before, name, was, error));
        ASSERT_TRUE(disk_read_file(image, name, now, error));
        EXPECT_EQ(now.data, was.data) << name;
        EXPECT_EQ(now.info.sectors, was.info.sectors) << name;
    }
    XbProgram back;
    ASSERT_TRUE(read_program(image, "alpha", back, error)) << error;
    EXPECT_EQ(back.bytes, replacement.bytes);
    EXPECT_FALSE(read_program(image, "GAMMA", back, error));
    EXPECT_EQ(error, "no file GAMMA on the disk");
}

TEST(DiskImage, AFullDiskIsLeftUntouched)
{
    Bytes image = sssd("FULL");
    std::string error;
    const XbProgram big = program_of(song(180, 1), XbFormat::Long);
    for (const char *name : {"ONE", "TWO", "THREE"})
        ASSERT_TRUE(disk_put_file(image, ti_program_file(name, big, stamp), error)) << error;
    const TiFile four = ti_program_file("FOUR", big, stamp);
    const Bytes before = image;
    DiskCatalog catalog;
    ASSERT_TRUE(disk_read_catalog(image, catalog, error));
    const unsigned free = catalog.sectors - catalog.used;
    ASSERT_LT(free, four.info.sectors + 1u);
    EXPECT_FALSE(disk_put_file(image, four, error));
    EXPECT_EQ(error, "no room for FOUR: it needs " + std::to_string(four.info.sectors + 1) + " sectors, " +
                         std::to_string(free) + " are free");
    EXPECT_EQ(image, before);
    // Replacing the file itself finds the room it frees.
    EXPECT_TRUE(disk_put_file(image, ti_program_file("ONE", big, stamp), error)) << error;
    EXPECT_EQ(fuzzcheck::disk_consistent(image), "");
}

TEST(DiskImage, DamageIsReportedNotFollowed)
{
    Bytes image = sssd("SONGS");
    std::string error;
    ASSERT_TRUE(disk_put_file(image, ti_program_file("SONG", program_of(two_lines, XbFormat::Short), stamp), error));
    const std::pair<size_t, std::pair<uint8_t, const char *>> damages[] = {
        {0x0D, {'X', "not a disk image (no \"DSK\" mark in sector 0)"}},
        {0x0A, {0x09, "sector 0 gives 2408 sectors, the image holds 360"}},
        {256, {0x02, "the file index points to sector 514, outside the disk"}},
        {2 * 256 + 0x1C, {0x01, "file SONG (descriptor in sector 2): its data chain points outside the disk or repeats sectors"}},
        {2 * 256 + 0x0E, {0x02, "file SONG (descriptor in sector 2) claims 513 sectors on a disk of 360"}},
    };
    DiskCatalog catalog;
    for (const auto &d : damages) {
        Bytes damaged = image;
        damaged[d.first] = d.second.first;
        EXPECT_FALSE(disk_read_catalog(damaged, catalog, error)) << d.second.second;
        EXPECT_EQ(error, d.second.second);
    }
}

TEST(TiFiles, TheWorkedExampleHeaderAndDataChain)
{
    const TiFile file = ti_program_file("SONG", program_of(two_lines, XbFormat::Short), stamp);
    const Bytes tifiles = tifiles_encode(file);
    ASSERT_EQ(tifiles.size(), 128u + 256u);
    const Bytes head = {0x07, 'T', 'I', 'F', 'I', 'L', 'E', 'S', 0x00, 0x01, 0x01, 0x00, 0x39, 0x00, 0x00, 0x00,
                        'S',  'O', 'N', 'G', ' ', ' ', ' ', ' ', ' ',  ' ',  0x00, 0x00, 0xFF, 0xFF, 0x60, 0x00};
    EXPECT_EQ(Bytes(tifiles.begin(), tifiles.begin() + 32), head);

    // The long format: one record a sector, each ended by 0xFF.
    const TiFile long_file = ti_program_file("SONG", program_of(two_lines, XbFormat::Long), stamp);
    EXPECT_EQ(long_file.info.sectors, 3u);
    EXPECT_EQ(long_file.data[11], 0xFF);
    EXPECT_EQ(long_file.data[256], 254);
    EXPECT_EQ(long_file.info.eof_offset, 13);
    for (const TiFile &f : {file, long_file}) {
        std::string listing, error;
        ASSERT_TRUE(read_program_listing(tifiles_encode(f), "", listing, error)) << error;
        EXPECT_EQ(listing, two_lines);
    }

    // A one-sector file takes sector 0x22, a 3-sector file 0x23 to 0x25.
    Bytes image = sssd("SONGS");
    std::string error;
    ASSERT_TRUE(disk_put_file(image, file, error));
    ASSERT_TRUE(disk_put_file(image, ti_program_file("THREE", program_of(two_lines, XbFormat::Long), stamp), error));
    EXPECT_EQ(image[2 * 256 + 0x1C], 0x22);
    EXPECT_EQ(Bytes(image.begin() + 3 * 256 + 0x1C, image.begin() + 3 * 256 + 0x1F), (Bytes{0x23, 0x20, 0x00}));
}

}  // namespace
