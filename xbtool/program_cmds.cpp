// xbtool program, disk, dir and list: the command lines over the tokenizer
// and program image (xb/) and the TI file and disk image units (disk/).
#include <cerrno>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <sstream>

#include "disk/disk_image.h"
#include "disk/program_file.h"
#include "disk/tifiles.h"
#include "base/file_read.h"
#include "base/paths.h"
#include "base/file_write.h"
#include "xb/image.h"
#include "xb/tokenize.h"
#include "xbtool/args.h"
#include "xbtool/commands.h"
#include "xbtool/disk_add.h"

namespace {

// No listing, program file or disk image comes near this.
constexpr long MAX_INPUT = 16 << 20;

const char program_help[] =
    "Usage: xbtool program LISTING [-o OUT] [--name NAME] [--raw] [--long|--short]\n"
    "Tokenizes an XB listing (kelvaro's output, or a program of your own) into a\n"
    "program file that a TI loads with OLD.\n\n"
    "  -o OUT       write to OUT (default: the TI file name, in the listing's folder)\n"
    "  --name NAME  the TI file name (default: the listing's name without its\n"
    "               extension, in capitals, without blanks and periods, 10 characters)\n"
    "  --raw        write the plain PC file (what an emulator's import expects)\n"
    "               instead of a TIFILES file\n"
    "  --long       long format (INT/VAR 254, needs the 32K memory expansion)\n"
    "  --short      short format (PROGRAM); warns above 11,800 bytes\n"
    "  -h, --help   show this help and exit\n\n"
    "Without --long or --short the format is short up to 11,800 bytes, long above.\n"
    "Exit status: 0 success, 1 error, 2 usage error.\n";

const char disk_help[] =
    "Usage: xbtool disk IMAGE INPUT... [--for xb|compiled|classic99] [--statements] [--noise]\n"
    "                   [--name NAME] [--replace] [--no-menu] [--disk-name NAME] [--format sssd|dssd|dsdd]\n"
    "Puts songs on a V9T9 disk image (.dsk), creating the image when it does not exist.\n"
    "An INPUT is a VGM file (plain or gzip-compressed), which kelvaro converts in a\n"
    "private folder, an XB listing, or a program file (TIFILES or plain). With VGM\n"
    "files the disk also gets the program LOAD, a menu of its songs that Extended BASIC\n"
    "runs when it starts with the disk in drive 1; each song returns to it.\n"
    "Every song is converted before the image changes; if one fails, or they do not\n"
    "all fit, the image stays as it was.\n\n"
    "  --for xb          XB without the compiler, with the 32K memory expansion: the whole\n"
    "                    song in time, coarsely (default)\n"
    "  --for compiled    for the XB compiler: every change, at the compiled program's timing\n"
    "  --for classic99   Classic99 in CPU Overdrive: every change\n"
    "  --statements      the CALL SOUND form (finer steps in XB, a shorter excerpt)\n"
    "  --noise           play the noise voice too\n"
    "  --name NAME       the program's name (one input; default: the file's name)\n"
    "  --replace         replace a program of the same name, or a LOAD xbtool did not write\n"
    "  --no-menu         leave the menu out (songs then do not return to it)\n"
    "  --disk-name NAME  name the disk (default for a new image: the image's name)\n"
    "  --format F        sssd (360 sectors, default), dssd (720) or dsdd (1,440, needs a\n"
    "                    double-density controller), for a new image\n"
    "  -h, --help        show this help and exit\n\n"
    "Every program takes at most 24,000 bytes. VGMCOMP_OPTIONS, when set, goes to\n"
    "vgmcomp.x before the recipe's own options.\n"
    "Exit status: 0 success, 1 error, 2 usage error.\n";

const char dir_help[] =
    "Usage: xbtool dir IMAGE\n"
    "Shows the catalog of a V9T9 disk image: the disk's name, size, sectors used\n"
    "and free, and per file its name, sectors, type and size in bytes.\n\n"
    "  -h, --help   show this help and exit\n\n"
    "Exit status: 0 success, 1 error, 2 usage error.\n";

const char list_help[] =
    "Usage: xbtool list FILE [NAME]\n"
    "Shows the listing of an XB program file (TIFILES or plain, short or long\n"
    "format), or of program NAME on a disk image, as the TI's LIST shows it.\n"
    "'xbtool program' makes the same program file from that listing again.\n\n"
    "  -h, --help   show this help and exit\n\n"
    "Exit status: 0 success, 1 error, 2 usage error.\n";

bool read_input(const std::string &path, std::vector<uint8_t> &bytes, const char *command, std::ostream &err)
{
    int why = 0;
    switch (read_file_whole(path, static_cast<size_t>(MAX_INPUT), bytes, why)) {
    case ReadFailure::open:
    case ReadFailure::read:
        say(err, command) << "cannot read " << path << ": " << std::strerror(why) << '\n';
        return false;
    case ReadFailure::too_large:
        say(err, command) << path << ": too large for a listing, program file or disk image\n";
        return false;
    case ReadFailure::none: break;
    }
    return true;
}

bool is_data_form(const std::string &text)
{
    size_t i = text.find_first_not_of(" \r\n\xEF\xBB\xBF");
    if (i == std::string::npos || text.size() - i < 4) return false;
    std::string word = text.substr(i, 4);
    for (char &c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return word == "DATA";
}

// Reads and tokenizes a listing into a stored program (format: the one
// forced, or the default by size); warnings and errors go to err.
bool listing_program(const std::string &path, const XbFormat *forced, XbProgram &program, size_t &lines_count,
                     const char *command, std::ostream &err)
{
    std::vector<uint8_t> bytes;
    if (!read_input(path, bytes, command, err)) return false;
    const std::string text(bytes.begin(), bytes.end());
    std::vector<XbLine> lines;
    std::vector<std::string> warnings;
    std::string error;
    if (is_data_form(text)) {
        say(err, command) << path << ": bare DATA lines without line numbers (kelvaro's -d form); "
            << "convert with -p for a whole program\n";
        return false;
    }
    const bool parsed = xb_parse_listing(text, lines, warnings, error);
    for (const std::string &w : warnings) say(err, command) << path << ": warning: " << w << '\n';
    if (!parsed) {
        say(err, command) << path << ": " << error << '\n';
        return false;
    }
    if (lines.empty()) {
        say(err, command) << path << ": no program lines\n";
        return false;
    }
    const XbFormat format = forced ? *forced : xb_default_format(lines);
    if (format == XbFormat::Short && xb_short_file_size(lines) > XB_SHORT_FILE_LIMIT)
        say(err, command) << path << ": warning: the short-format file takes " << xb_short_file_size(lines)
            << " bytes; above " << XB_SHORT_FILE_LIMIT << " a TI loads it but does not run it (use --long)\n";
    if (!xb_build_program(lines, format, program, error)) {
        say(err, command) << path << ": " << error << '\n';
        return false;
    }
    const size_t file_size = xb_raw_file(program).size();
    if (format == XbFormat::Long && file_size > XB_LONG_FILE_LOADS)
        say(err, command) << path << ": warning: the long-format file takes " << file_size << " bytes; the largest "
            << "seen to load took " << XB_LONG_FILE_LOADS << " (one of 24615 failed at OLD with I/O ERROR 20)\n";
    lines_count = lines.size();
    return true;
}

std::string format_name(XbFormat f)
{
    return f == XbFormat::Short ? "PROGRAM" : "INT/VAR 254";
}

std::string folder_of(const std::string &path)
{
    return path.substr(0, file_name_start(path));
}

}  // namespace

int xbtool_program(const XbtoolArgs &args, std::ostream &out, std::ostream &err)
{
    Parsed p;
    if (!parse_args(args, {"--raw", "--long", "--short"}, {{"-o"}, {"--name"}}, "program", p, err))
        return XBTOOL_EXIT_USAGE;
    if (p.help) {
        out << program_help;
        return XBTOOL_EXIT_OK;
    }
    if (p.positional.size() != 1)
        return usage(err, "program", p.positional.empty() ? "no listing given" : "give one listing");
    bool is_long = false, is_short = false, raw = false, named = false, has_out = false;
    option(p, "--long", &is_long);
    option(p, "--short", &is_short);
    option(p, "--raw", &raw);
    if (is_long && is_short) return usage(err, "program", "--long and --short exclude each other");
    const std::string listing = p.positional[0];
    std::string name = option(p, "--name", &named);
    if (named && !ti_name_valid(name))
        return usage(err, "program", "'" + name + "' is no TI file name (1 to 10 characters, no blank or period)");
    if (!named) name = ti_name_from_path(listing);
    if (name.empty()) {
        say(err, "program") << listing << ": no TI file name can be made of this name; give one with --name\n";
        return XBTOOL_EXIT_ERROR;
    }
    std::string path = option(p, "-o", &has_out);
    if (!has_out) path = folder_of(listing) + name;
    if (path.empty()) return usage(err, "program", "-o needs a file name");

    const XbFormat long_format = XbFormat::Long, short_format = XbFormat::Short;
    const XbFormat *forced = is_long ? &long_format : is_short ? &short_format : nullptr;
    XbProgram program;
    size_t lines = 0;
    if (!listing_program(listing, forced, program, lines, "program", err)) return XBTOOL_EXIT_ERROR;
    if (same_file(path, listing)) {
        say(err, "program") << path << " is the listing itself; give another output with -o\n";
        return XBTOOL_EXIT_ERROR;
    }
    const std::vector<uint8_t> file =
        raw ? xb_raw_file(program) : tifiles_encode(ti_program_file(name, program, ti_stamp_now()));
    std::string error;
    if (!write_file_atomic(path, file, error)) {
        say(err, "program") << error << '\n';
        return XBTOOL_EXIT_ERROR;
    }
    say(err, "program") << path << ": " << name << ", " << format_name(program.format) << ", " << lines
                        << (lines == 1 ? " line, " : " lines, ") << xb_raw_file(program).size() << " bytes"
                        << (raw ? " (plain file)" : "") << '\n';
    return XBTOOL_EXIT_OK;
}

int xbtool_disk(const XbtoolArgs &args, std::ostream &out, std::ostream &err)
{
    Parsed p;
    if (!parse_args(args, {"--statements", "--noise", "--replace", "--no-menu"},
                    {{"--disk-name"}, {"--format"}, {"--for", "xb, compiled or classic99"}, {"--name"}}, "disk", p, err))
        return XBTOOL_EXIT_USAGE;
    if (p.help) {
        out << disk_help;
        return XBTOOL_EXIT_OK;
    }
    if (p.positional.size() < 2)
        return usage(err, "disk", p.positional.empty() ? "no disk image given" : "no listing or VGM file given");
    DiskRequest r;
    bool no_menu = false, target_given = false;
    r.disk_name = option(p, "--disk-name", &r.disk_named);
    const std::string format = option(p, "--format", &r.formatted);
    const std::string target = option(p, "--for", &target_given);
    r.name = option(p, "--name", &r.named);
    option(p, "--statements", &r.recipe.statements);
    option(p, "--noise", &r.recipe.noise);
    option(p, "--replace", &r.replace);
    option(p, "--no-menu", &no_menu);
    r.menu = !no_menu;
    disk_geometry_named("sssd", r.geometry);
    if (r.formatted && !disk_geometry_named(format, r.geometry))
        return usage(err, "disk", "unknown format '" + format + "' (sssd, dssd or dsdd)");
    if (r.disk_named && !ti_name_valid(r.disk_name))
        return usage(err, "disk", "'" + r.disk_name + "' is no disk name (1 to 10 characters, no blank or period)");
    if (target_given && !song_target_named(target, r.recipe.target))
        return usage(err, "disk", "--for takes xb, compiled or classic99, not '" + target + "'");
    if (r.named && !ti_name_valid(r.name))
        return usage(err, "disk", "'" + r.name + "' is no TI file name (1 to 10 characters, no blank or period)");
    if (r.named && p.positional.size() > 2) return usage(err, "disk", "--name names one input; give one with it");
    r.image_path = p.positional[0];
    r.inputs.assign(p.positional.begin() + 1, p.positional.end());
    DiskReaders readers;
    readers.file = [](const std::string &path, std::vector<uint8_t> &bytes, std::ostream &e) {
        return read_input(path, bytes, "disk", e);
    };
    readers.listing = [](const std::string &path, XbProgram &program, size_t &lines, std::ostream &e) {
        return listing_program(path, nullptr, program, lines, "disk", e);
    };
    return disk_add(r, readers, err);
}

int xbtool_dir(const XbtoolArgs &args, std::ostream &out, std::ostream &err)
{
    Parsed p;
    if (!parse_args(args, {}, {}, "dir", p, err)) return XBTOOL_EXIT_USAGE;
    if (p.help) {
        out << dir_help;
        return XBTOOL_EXIT_OK;
    }
    if (p.positional.size() != 1)
        return usage(err, "dir", p.positional.empty() ? "no disk image given" : "give one disk image");
    const std::string &path = p.positional[0];
    std::vector<uint8_t> image;
    if (!read_input(path, image, "dir", err)) return XBTOOL_EXIT_ERROR;
    DiskCatalog catalog;
    std::string error;
    if (!disk_read_catalog(image, catalog, error)) {
        say(err, "dir") << path << ": " << error << '\n';
        return XBTOOL_EXIT_ERROR;
    }
    out << disk_catalog_text(image, catalog);
    return XBTOOL_EXIT_OK;
}

int xbtool_list(const XbtoolArgs &args, std::ostream &out, std::ostream &err)
{
    Parsed p;
    if (!parse_args(args, {}, {}, "list", p, err)) return XBTOOL_EXIT_USAGE;
    if (p.help) {
        out << list_help;
        return XBTOOL_EXIT_OK;
    }
    if (p.positional.empty() || p.positional.size() > 2)
        return usage(err, "list", p.positional.empty() ? "no program file given" : "give a file and at most one name");
    const std::string &path = p.positional[0];
    const std::string name = p.positional.size() == 2 ? p.positional[1] : std::string();
    std::vector<uint8_t> bytes;
    if (!read_input(path, bytes, "list", err)) return XBTOOL_EXIT_ERROR;
    std::string listing, error;
    if (!read_program_listing(bytes, name, listing, error)) {
        say(err, "list") << path << ": " << error << '\n';
        return XBTOOL_EXIT_ERROR;
    }
    out << listing;
    return XBTOOL_EXIT_OK;
}
