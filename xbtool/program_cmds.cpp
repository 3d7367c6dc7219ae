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
    "Usage: xbtool disk IMAGE LISTING... [--disk-name NAME] [--format sssd|dssd|dsdd]\n"
    "Adds each listing as a program file to a V9T9 disk image (.dsk), creating\n"
    "the image when it does not exist. A file of the same name is replaced; every\n"
    "other file stays as it was. The file names come from the listings' names.\n\n"
    "  --disk-name NAME  name the disk (default for a new image: the image's name)\n"
    "  --format F        sssd (360 sectors, default), dssd (720) or dsdd (1,440),\n"
    "                    for a new image\n"
    "  -h, --help        show this help and exit\n\n"
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

// The disk image to add to: the one at image_path, renamed when named, or a
// new one of geometry; false after a message.
bool open_image(const std::string &image_path, const DiskGeometry &geometry, bool formatted, bool named,
                const std::string &disk_name, std::vector<uint8_t> &image, std::ostream &err)
{
    std::string error;
    FileStamp st;
    if (file_stamp(image_path, st)) {
        DiskCatalog catalog;
        if (!read_input(image_path, image, "disk", err)) return false;
        if (!disk_read_catalog(image, catalog, error)) {
            say(err, "disk") << image_path << ": " << error << '\n';
            return false;
        }
        if (formatted && catalog.geometry != geometry.name) {
            say(err, "disk") << image_path << ": the disk is " << catalog.geometry << ", not " << geometry.name
                             << "; --format applies to a new image only\n";
            return false;
        }
        if (named) disk_set_name(image, disk_name);
        return true;
    }
    const std::string name = named ? disk_name : ti_name_from_path(image_path);
    if (name.empty()) {
        say(err, "disk") << image_path << ": no disk name can be made of this name; give one with --disk-name\n";
        return false;
    }
    image = disk_create(geometry, name);
    return true;
}

// Puts each listing into image as a program file, with a line for each in
// report; false after a message.
bool add_listings(const std::string &image_path, const std::vector<std::string> &listings,
                  std::vector<uint8_t> &image, std::ostream &report, std::ostream &err)
{
    std::vector<std::string> names;
    std::string error;
    const TiStamp now = ti_stamp_now();
    for (const std::string &listing : listings) {
        const std::string name = ti_name_from_path(listing);
        if (name.empty()) {
            say(err, "disk") << listing << ": no TI file name can be made of this name; rename the listing\n";
            return false;
        }
        for (const std::string &n : names)
            if (n == name) {
                say(err, "disk") << listing << ": another listing also makes the file " << name << '\n';
                return false;
            }
        names.push_back(name);
        XbProgram program;
        size_t lines = 0;
        if (!listing_program(listing, nullptr, program, lines, "disk", err)) return false;
        DiskCatalog catalog;
        bool replaces = false;
        if (disk_read_catalog(image, catalog, error))
            for (const DiskEntry &e : catalog.files) replaces = replaces || e.info.name == name;
        const TiFile file = ti_program_file(name, program, now);
        if (!disk_put_file(image, file, error)) {
            say(err, "disk") << image_path << ": " << error << '\n';
            return false;
        }
        say(report, "disk") << image_path << ": " << name << (replaces ? " replaced" : " added") << ", "
                            << format_name(program.format) << ", " << lines << (lines == 1 ? " line, " : " lines, ")
                            << file.info.sectors + 1 << " sectors\n";
    }
    return true;
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
    if (!parse_args(args, {}, {{"--disk-name"}, {"--format"}}, "disk", p, err)) return XBTOOL_EXIT_USAGE;
    if (p.help) {
        out << disk_help;
        return XBTOOL_EXIT_OK;
    }
    if (p.positional.size() < 2)
        return usage(err, "disk", p.positional.empty() ? "no disk image given" : "no listing given");
    bool named = false, formatted = false;
    const std::string disk_name = option(p, "--disk-name", &named);
    const std::string format = option(p, "--format", &formatted);
    DiskGeometry geometry;
    disk_geometry_named("sssd", geometry);
    if (formatted && !disk_geometry_named(format, geometry))
        return usage(err, "disk", "unknown format '" + format + "' (sssd, dssd or dsdd)");
    if (named && !ti_name_valid(disk_name))
        return usage(err, "disk", "'" + disk_name + "' is no disk name (1 to 10 characters, no blank or period)");
    const std::string image_path = p.positional[0];

    std::vector<uint8_t> image;
    if (!open_image(image_path, geometry, formatted, named, disk_name, image, err)) return XBTOOL_EXIT_ERROR;
    std::ostringstream report;
    const std::vector<std::string> listings(p.positional.begin() + 1, p.positional.end());
    if (!add_listings(image_path, listings, image, report, err)) return XBTOOL_EXIT_ERROR;
    std::string error;
    if (!write_file_atomic(image_path, image, error)) {
        say(err, "disk") << error << '\n';
        return XBTOOL_EXIT_ERROR;
    }
    DiskCatalog catalog;
    disk_read_catalog(image, catalog, error);
    err << report.str();
    say(err, "disk") << image_path << ": " << catalog.sectors - catalog.used << " of " << catalog.sectors
                     << " sectors free\n";
    return XBTOOL_EXIT_OK;
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
