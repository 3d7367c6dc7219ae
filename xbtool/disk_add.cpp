// xbtool disk: inputs read and converted first, then the image changed in
// memory and written whole (see disk_add.h).
#include "xbtool/disk_add.h"


#include <algorithm>
#include <cstdio>
#include <ostream>
#include <sstream>

#include "base/paths.h"
#include "base/file_write.h"
#include "base/process.h"
#include "disk/program_file.h"
#include "disk/tifiles.h"
#include "xbsound/timing.h"
#include "xbtool/args.h"
#include "xbtool/commands.h"
#include "xbtool/menu.h"

namespace {

enum class InputKind { listing, program, vgm };

// One input on its way to the disk.
struct Item {
    std::string path, name;
    InputKind kind = InputKind::listing;
    std::vector<uint8_t> bytes, vgm;
    VgmSong song;
    XbProgram program;
    size_t lines = 0;
    size_t bytes_in_xb = 0;  // the program's size in XB's memory
    bool replaces = false;
};

// The disk as it was and what the run does with it.
struct Disk {
    std::vector<uint8_t> image;
    DiskCatalog catalog;
    bool exists = false;
    bool our_menu = false;          // a LOAD xbtool wrote
    std::vector<MenuSong> old_menu;  // its entries
};

std::string with_commas(size_t n)
{
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string seconds_text(double s)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", s);
    return buf;
}

bool is_program(const TiFileInfo &info)
{
    const std::string type = ti_file_type(info);
    return type == "PROGRAM" || type == "INT/VAR 254";
}

const DiskEntry *find_entry(const DiskCatalog &catalog, const std::string &name)
{
    for (const DiskEntry &e : catalog.files)
        if (e.info.name == name) return &e;
    return nullptr;
}

// The image as it is, or a new one; false after the message.
bool open_disk(const DiskRequest &r, const DiskReaders &readers, Disk &disk, std::ostream &err)
{
    std::string error;
    FileStamp st;
    disk.exists = file_stamp(r.image_path, st);
    if (disk.exists) {
        if (!readers.file(r.image_path, disk.image, err)) return false;
        if (!disk_read_catalog(disk.image, disk.catalog, error)) {
            say(err, "disk") << r.image_path << ": " << error << '\n';
            return false;
        }
        if (r.formatted && disk.catalog.geometry != r.geometry.name) {
            say(err, "disk") << r.image_path << ": the disk is " << disk.catalog.geometry << ", not "
                << r.geometry.name << "; --format applies to a new image only\n";
            return false;
        }
        if (r.disk_named) disk_set_name(disk.image, r.disk_name);
    } else {
        const std::string name = r.disk_named ? r.disk_name : ti_name_from_path(r.image_path);
        if (name.empty()) {
            say(err, "disk") << r.image_path << ": no disk name can be made of this name; give one with --disk-name\n";
            return false;
        }
        disk.image = disk_create(r.geometry, name);
    }
    disk_read_catalog(disk.image, disk.catalog, error);
    TiFile load;
    XbProgram menu;
    std::vector<XbLine> lines;
    disk.our_menu = disk_read_file(disk.image, MENU_NAME, load, error) && ti_file_program(load, menu, error) &&
                    xb_read_program(menu, lines, error) && menu_read(lines, disk.old_menu);
    return true;
}

// Reads each input and tells what it is; false after the message.
bool read_inputs(const DiskRequest &r, const DiskReaders &readers, std::vector<Item> &items, std::ostream &err)
{
    for (const std::string &path : r.inputs) {
        Item item;
        item.path = path;
        item.name = r.named ? r.name : ti_name_from_path(path);
        if (item.name.empty()) {
            say(err, "disk") << path << ": no TI file name can be made of this name; give one with --name\n";
            return false;
        }
        for (const Item &other : items)
            if (other.name == item.name) {
                say(err, "disk") << path << ": " << other.path << " also makes the program " << item.name
                    << "; rename one of them\n";
                return false;
            }
        if (!readers.file(path, item.bytes, err)) return false;
        std::string error;
        std::vector<XbLine> lines;
        if (vgm_content(path, item.bytes, item.vgm)) {
            item.kind = InputKind::vgm;
        } else if (read_program(item.bytes, "", item.program, error) && xb_read_program(item.program, lines, error)) {
            item.kind = InputKind::program;
            item.lines = lines.size();
        }
        items.push_back(std::move(item));
    }
    return true;
}

// The names already on the disk that the run would replace, and the menu's
// own: false after the message when one may not be replaced.
bool check_names(const DiskRequest &r, const Disk &disk, bool menu, std::vector<Item> &items, std::ostream &err)
{
    for (Item &item : items) {
        if (menu && item.name == MENU_NAME) {
            say(err, "disk") << item.path << ": makes the program " << MENU_NAME << ", the name of the disk's menu; "
                << "choose another name with --name, or give --no-menu\n";
            return false;
        }
        const DiskEntry *e = find_entry(disk.catalog, item.name);
        item.replaces = e != nullptr;
        if (e == nullptr || r.replace) continue;
        TiFile old = disk_entry_file(disk.image, *e);
        say(err, "disk") << r.image_path << ": already holds " << item.name << " (" << ti_file_type(e->info) << ", "
            << with_commas(ti_file_bytes(old)) << " bytes); give --replace to replace it with " << item.path
            << ", or choose another name: --name NAME (with one input) or rename " << item.path << '\n';
        return false;
    }
    if (menu && !disk.our_menu && find_entry(disk.catalog, MENU_NAME) != nullptr && !r.replace) {
        say(err, "disk") << r.image_path << ": holds a " << MENU_NAME << " that xbtool did not write (Extended BASIC "
            << "runs it when it starts); give --replace to replace it with the menu of songs, or --no-menu\n";
        return false;
    }
    return true;
}

// kelvaro's listing of a song as its program, ending with the return to the
// menu when there is one; false with error when it does not fit XB.
bool song_program(Item &item, bool menu, std::string &error)
{
    std::vector<XbLine> lines;
    std::vector<std::string> warnings;
    if (!xb_parse_listing(item.song.listing, lines, warnings, error) || lines.empty()) {
        error = "  kelvaro's listing does not tokenize: " + error + "\n";
        return false;
    }
    if (menu) {
        std::vector<XbLine> back;
        if (lines.back().number >= XB_LINE_MAX ||
            !xb_parse_listing(menu_return_line(lines.back().number + 1), back, warnings, error)) {
            error = "  no line number is left for the return to the menu\n";
            return false;
        }
        lines.push_back(back[0]);
    }
    const size_t bytes = xb_tables_size(lines);
    if (bytes > SONG_MAX_BYTES) {
        error = "  the program takes " + with_commas(bytes) + " bytes, more than the " +
                with_commas(SONG_MAX_BYTES) + " that fit in XB\n";
        return false;
    }
    item.lines = lines.size();
    item.bytes_in_xb = bytes;
    return xb_build_program(lines, xb_default_format(lines), item.program, error);
}

// Converts every VGM of the run; false after naming each one that failed.
bool convert_songs(const DiskRequest &r, bool menu, std::vector<Item> &items, std::ostream &err)
{
    std::vector<std::string> failed;
    size_t songs = 0;
    std::string kelvaro;
    std::vector<XbLine> back;
    std::vector<std::string> warnings;
    std::string error;
    size_t reserve = 0;
    if (menu && xb_parse_listing(menu_return_line(XB_LINE_MAX), back, warnings, error))
        reserve = xb_tables_size(back);
    for (Item &item : items) {
        if (item.kind != InputKind::vgm) continue;
        songs++;
        if (kelvaro.empty()) kelvaro = find_program("kelvaro");
        if (kelvaro.empty()) {
            say(err, "disk") << "no kelvaro on PATH or beside xbtool: it converts the VGM files\n";
            return false;
        }
        error.clear();
        if (!convert_vgm(item.path, item.bytes, item.vgm, r.recipe, reserve, kelvaro, item.song, error) ||
            !song_program(item, menu, error)) {
            say(err, "disk") << item.path << ": kelvaro could not convert it:\n" << error;
            failed.push_back(item.path);
        }
    }
    if (failed.empty()) return true;
    say(err, "disk") << r.image_path << ": not changed; " << failed.size() << " of " << songs
        << (songs == 1 ? " song" : " songs") << " could not be converted:";
    for (const std::string &f : failed) err << ' ' << f;
    err << '\n';
    return false;
}

// The menu of the disk once the items are on it: every program but the
// menu, in the disk's order (by name), with the titles and lengths known.
std::string menu_text(const Disk &disk, const std::vector<Item> &items, size_t &count)
{
    std::vector<std::string> names;
    for (const DiskEntry &e : disk.catalog.files)
        if (is_program(e.info) && e.info.name != MENU_NAME) names.push_back(e.info.name);
    for (const Item &item : items) names.push_back(item.name);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::vector<MenuSong> songs;
    for (const std::string &name : names) {
        MenuSong song{name, name, ""};
        for (const MenuSong &old : disk.old_menu)
            if (old.name == name) song = old;
        for (const Item &item : items)
            if (item.name == name) {
                song.title = menu_title(item.song.title.empty() ? name : item.song.title);
                song.length = item.kind == InputKind::vgm ? menu_length(item.song.kept_s) : "";
            }
        songs.push_back(song);
    }
    count = songs.size();
    return menu_listing(songs);
}

// The files of the run, the menu last; the sectors they need and those free
// for them. False after the message when they do not fit.
bool files_fit(const DiskRequest &r, const Disk &disk, const std::vector<TiFile> &files, std::ostream &err)
{
    size_t needed = 0, freed = 0;
    std::ostringstream each;
    for (const TiFile &f : files) {
        needed += f.info.sectors + 1u;
        each << (each.tellp() > 0 ? ", " : "") << f.info.name << (f.info.name == MENU_NAME ? " (the menu) " : " ")
             << f.info.sectors + 1u << (&f == &files.front() ? " sectors" : "");
        if (const DiskEntry *e = find_entry(disk.catalog, f.info.name)) freed += e->data_sectors.size() + 1;
    }
    const size_t free_now = disk.catalog.sectors - disk.catalog.used + freed;
    if (needed <= free_now) return true;
    say(err, "disk") << r.image_path << ": not changed; the files do not fit: " << each.str() << ", " << needed
        << " in all, and " << free_now << " are free; give --format dssd for a new image of 720 sectors "
        << "(seven songs of 24,000 bytes and the menu), or put some songs on a second image\n";
    return false;
}

std::string song_report(const DiskRequest &r, const Item &item, const TiFile &file)
{
    std::ostringstream line;
    say(line, "disk") << r.image_path << ": " << item.name << (item.replaces ? " replaced" : "");
    if (item.kind == InputKind::vgm)
        line << " from " << item.path << ": " << recipe_text(r.recipe) << ", "
             << with_commas(item.bytes_in_xb) << " bytes, " << seconds_text(item.song.kept_s)
             << " of " << seconds_text(item.song.length_s) << '\n';
    else
        line << (item.replaces ? ", " : " added, ") << (item.program.format == XbFormat::Short ? "PROGRAM" : "INT/VAR 254")
             << ", " << item.lines << (item.lines == 1 ? " line, " : " lines, ") << file.info.sectors + 1
             << " sectors\n";
    return line.str();
}

// The programs of the listings; false after the message.
bool read_listings(const DiskReaders &readers, std::vector<Item> &items, std::ostream &err)
{
    for (Item &item : items)
        if (item.kind == InputKind::listing && !readers.listing(item.path, item.program, item.lines, err))
            return false;
    return true;
}

}  // namespace

int disk_add(const DiskRequest &r, const DiskReaders &readers, std::ostream &err)
{
    Disk disk;
    std::vector<Item> items;
    if (!open_disk(r, readers, disk, err) || !read_inputs(r, readers, items, err)) return XBTOOL_EXIT_ERROR;
    bool menu = r.menu && disk.our_menu;
    for (const Item &item : items) menu = menu || (r.menu && item.kind == InputKind::vgm);
    if (!check_names(r, disk, menu, items, err) || !convert_songs(r, menu, items, err) ||
        !read_listings(readers, items, err))
        return XBTOOL_EXIT_ERROR;

    const TiStamp now = ti_stamp_now();
    std::vector<TiFile> files;
    for (const Item &item : items) files.push_back(ti_program_file(item.name, item.program, now));
    size_t menu_songs = 0;
    std::string error;
    if (menu) {
        std::vector<XbLine> lines;
        std::vector<std::string> warnings;
        XbProgram program;
        if (!xb_parse_listing(menu_text(disk, items, menu_songs), lines, warnings, error) ||
            !xb_build_program(lines, XbFormat::Short, program, error)) {
            say(err, "disk") << r.image_path << ": the menu cannot be made: " << error << '\n';
            return XBTOOL_EXIT_ERROR;
        }
        files.push_back(ti_program_file(MENU_NAME, program, now));
    }
    if (!files_fit(r, disk, files, err)) return XBTOOL_EXIT_ERROR;
    std::vector<uint8_t> image = disk.image;
    for (const TiFile &file : files)
        if (!disk_put_file(image, file, error)) {
            say(err, "disk") << r.image_path << ": not changed; " << error << '\n';
            return XBTOOL_EXIT_ERROR;
        }
    if (!write_file_atomic(r.image_path, image, error)) {
        say(err, "disk") << error << '\n';
        return XBTOOL_EXIT_ERROR;
    }
    for (size_t i = 0; i < items.size(); i++) err << song_report(r, items[i], files[i]);
    if (menu)
        say(err, "disk") << r.image_path << ": " << MENU_NAME << ", the menu of " << menu_songs
            << (menu_songs == 1 ? " song" : " songs") << " that Extended BASIC runs from drive 1"
            << (menu_songs > MENU_MAX_SONGS ? " (it lists the first 35)" : "") << '\n';
    DiskCatalog catalog;
    disk_read_catalog(image, catalog, error);
    say(err, "disk") << r.image_path << ": " << catalog.sectors - catalog.used << " of " << catalog.sectors
        << " sectors free\n";
    if (!disk.exists && r.geometry.density > 1)
        say(err, "disk") << r.image_path << ": note: a double-density image; the TI's own disk controller reads "
            << "single density only (sssd, dssd) and fails on it with * I/O ERROR 20\n";
    return XBTOOL_EXIT_OK;
}
