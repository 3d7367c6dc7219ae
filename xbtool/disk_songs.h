// xbtool disk's songs from VGM files: each VGM (plain or gzip-compressed,
// told by its content) is converted by kelvaro, run as the user would run
// it, in a private temporary folder with its own copy of the VGM, with the
// recipe for where the song will play. Nothing is left beside the user's
// VGM, and a read-only folder of VGMs works.
#ifndef XBTOOL_DISK_SONGS_H
#define XBTOOL_DISK_SONGS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Where the songs will play: XB without the compiler (with the 32K memory
// expansion), compiled by the XB compiler, or Classic99 in CPU Overdrive.
enum class SongTarget { xb, compiled, classic99 };

struct SongRecipe {
    SongTarget target = SongTarget::xb;
    bool statements = false;  // the CALL SOUND form (kelvaro -x)
    bool noise = false;       // the noise voice (kelvaro -n)
};

// The most bytes of program (as it takes XB's memory) a song may take, with
// the line that returns to the menu: XB with the memory expansion holds
// 24,488, and its variables need a little room.
constexpr size_t SONG_MAX_BYTES = 24000;

// The target named name (xb, compiled, classic99); false when none is.
bool song_target_named(const std::string &name, SongTarget &target);

// "PROGRAM, for XB without the compiler" and the like.
std::string recipe_text(const SongRecipe &recipe);

// Whether bytes, the file at path, are a VGM file (plain or gzip-compressed);
// if so vgm holds it unpacked.
bool vgm_content(const std::string &path, const std::vector<uint8_t> &bytes, std::vector<uint8_t> &vgm);

// What kelvaro made of one VGM.
struct VgmSong {
    std::string listing;   // kelvaro's text
    std::string title;     // the GD3 title in printable ASCII, empty when none
    double kept_s = 0;     // the song time the listing covers
    double length_s = 0;   // the VGM's length
};

// Converts the VGM at path (bytes: the file as read, vgm: unpacked) with kelvaro (the
// program at kelvaro_path), fitting the program into SONG_MAX_BYTES less
// reserve bytes. False with error holding kelvaro's and vgmcomp.x's own
// messages (the user's path in place of the private copy's), one per line.
bool convert_vgm(const std::string &path, const std::vector<uint8_t> &bytes, const std::vector<uint8_t> &vgm,
                 const SongRecipe &recipe, size_t reserve, const std::string &kelvaro_path, VgmSong &song,
                 std::string &error);

#endif
