// Converting VGM files for xbtool disk through kelvaro (see disk_songs.h).
#include "xbtool/disk_songs.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/paths.h"
#include "base/file_write.h"
#include "base/process.h"
#include "output/listing.h"
#include "preview/ti_sound.h"
#include "vgm/vgm.h"

namespace {

uint32_t le32(const std::vector<uint8_t> &b, size_t at)
{
    return at + 4 <= b.size() ? static_cast<uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                                      static_cast<uint32_t>(b[at + 3]) << 24)
                              : 0;
}

// The GD3 tag's English track title, its characters outside printable
// ASCII left out; empty when the file has none.
std::string gd3_title(const std::vector<uint8_t> &vgm)
{
    const uint32_t field = le32(vgm, 0x14);
    if (field == 0) return std::string();
    const size_t at = 0x14 + static_cast<size_t>(field);
    if (at + 12 > vgm.size() || std::memcmp(vgm.data() + at, "Gd3 ", 4) != 0) return std::string();
    std::string title;
    for (size_t i = at + 12; i + 1 < vgm.size(); i += 2) {
        const unsigned c = vgm[i] | vgm[i + 1] << 8;
        if (c == 0) break;
        if (c >= 32 && c < 127) title += static_cast<char>(c);
    }
    const size_t first = title.find_first_not_of(' '), last = title.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : title.substr(first, last - first + 1);
}

// kelvaro's options and vgmcomp.x's for a recipe, fitted to fit bytes.
void recipe_options(const SongRecipe &r, size_t fit, std::vector<std::string> &kelvaro_args, std::string &vgmcomp)
{
    vgmcomp = (r.target == SongTarget::xb ? "--interpreted --fit " : "--fit ") + std::to_string(fit);
    kelvaro_args.push_back(r.statements ? "-x" : "-p");
    kelvaro_args.push_back(r.target == SongTarget::compiled ? "-r" : "-e");
    if (r.noise) kelvaro_args.push_back("-n");
}

std::string replace_all(std::string text, const std::string &from, const std::string &to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// kelvaro's and vgmcomp.x's messages in the log, without kelvaro's banner,
// blank lines and the song file it opens; the private copy's path shown as
// the user's.
std::string own_messages(const std::string &log, const std::string &copy, const std::string &path)
{
    std::string text = replace_all(log, copy, path), kept;
    bool started = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        const std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        started = started || line.rfind("vgmcomp.x", 0) == 0 || line.rfind("ERROR", 0) == 0 ||
                  line.rfind("WARNING", 0) == 0 || line.rfind("Opening INPUT file", 0) == 0;
        if (!started || line.empty() || line.rfind("Opening INPUT file", 0) == 0) continue;
        kept += "  " + line + "\n";
    }
    return kept;
}

std::string read_text_file(const std::string &path)
{
    std::string text;
    FILE *f = open_file(path, "rb");
    if (f == nullptr) return text;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() < (16u << 20)) text.append(buf, n);
    std::fclose(f);
    return text;
}

// The song time a listing covers: the time its rows play where the recipe
// plays them (in XB without the compiler, from the first row on: its rows
// are timed to play the song's time there).
double listing_seconds(const std::string &text, const SongRecipe &r)
{
    Listing listing;
    std::string error;
    if (!read_listing(text, "listing", listing, error)) return 0;
    PlayTiming timing;
    timing.timing = r.target == SongTarget::compiled ? WrittenFor::real : WrittenFor::emulated;
    timing.on = r.target == SongTarget::xb ? PlayOn::xb : PlayOn::compiled;
    const TiTimeline t = listing_timeline(listing, timing);
    const uint64_t start = timing.on == PlayOn::xb && !t.steps.empty() ? t.steps.front().sample : 0;
    return static_cast<double>(t.end_sample - start) / PREVIEW_RATE;
}

}  // namespace

bool song_target_named(const std::string &name, SongTarget &target)
{
    if (name == "xb") target = SongTarget::xb;
    else if (name == "compiled") target = SongTarget::compiled;
    else if (name == "classic99") target = SongTarget::classic99;
    else return false;
    return true;
}

std::string recipe_text(const SongRecipe &r)
{
    const char *where = r.target == SongTarget::xb         ? "for XB without the compiler"
                        : r.target == SongTarget::compiled ? "for the XB compiler"
                                                           : "for Classic99 in CPU Overdrive";
    return std::string(r.statements ? "CALL SOUND" : "PROGRAM") + (r.noise ? " with noise" : "") + ", " + where;
}

bool vgm_content(const std::string &path, const std::vector<uint8_t> &bytes, std::vector<uint8_t> &vgm)
{
    vgm.clear();
    std::string error;
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "Vgm ", 4) == 0) vgm = bytes;
    else if (bytes.size() >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B && load_vgm_bytes(path, vgm, error) &&
             (vgm.size() < 4 || std::memcmp(vgm.data(), "Vgm ", 4) != 0))
        vgm.clear();
    return !vgm.empty();
}

bool convert_vgm(const std::string &path, const std::vector<uint8_t> &bytes, const std::vector<uint8_t> &vgm,
                 const SongRecipe &recipe, size_t reserve, const std::string &kelvaro_path, VgmSong &song,
                 std::string &error)
{
    std::string folder;
    if (!make_private_folder("xbtool", folder, error)) {
        error = "  " + error + "\n";
        return false;
    }
    const std::string copy = folder + "/song.vgm", out = folder + "/song.txt", log_path = folder + "/kelvaro.log";
    std::vector<std::string> args = {copy, out}, env;
    std::string options;
    recipe_options(recipe, SONG_MAX_BYTES - reserve, args, options);
    const char *user = std::getenv("VGMCOMP_OPTIONS");
    env.push_back("VGMCOMP_OPTIONS=" + (user != nullptr && user[0] != '\0' ? std::string(user) + " " : "") + options);
    int status = -1;
    if (write_file_atomic(copy, bytes, error)) status = run_program(kelvaro_path, "kelvaro", args, env, log_path);
    else error = "  " + error + "\n";
    if (status > 0)
        error = own_messages(read_text_file(log_path), copy, path);
    else if (status < 0 && error.empty())
        error = "  " + kelvaro_path + " could not be started\n";
    if (status == 0) song.listing = read_text_file(out);
    remove_private_folder(folder);
    if (status != 0) return false;
    VgmLog log;
    if (!parse_vgm(vgm, path, log, error)) {
        error = "  " + error + "\n";
        return false;
    }
    song.title = gd3_title(vgm);
    song.length_s = static_cast<double>(log.end_sample) / PREVIEW_RATE;
    // Rows end on whole frames: the last may reach past the VGM's end.
    song.kept_s = std::min(listing_seconds(song.listing, recipe), song.length_s);
    return true;
}
