#include "disk/disk_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t VIB_BITMAP = 0x38;
constexpr size_t MAX_SECTORS = (TI_SECTOR - VIB_BITMAP) * 8;
constexpr size_t MAX_FILES = 127;
constexpr uint16_t FIRST_DATA_SECTOR = 34;
constexpr size_t CHAIN = 0x1C;
constexpr size_t MAX_RUNS = (TI_SECTOR - CHAIN) / 3;
constexpr uint8_t UNUSED_FILL = 0xE5;

const DiskGeometry geometries[] = {
    {"SSSD", 360, 9, 1, 1},
    {"DSSD", 720, 9, 2, 1},
    {"DSDD", 1440, 18, 2, 2},
};

void put_name(uint8_t *b, const std::string &name)
{
    for (size_t i = 0; i < TI_NAME_SIZE; i++) b[i] = i < name.size() ? static_cast<uint8_t>(name[i]) : ' ';
}

std::string name_at(const uint8_t *b)
{
    std::string name(reinterpret_cast<const char *>(b), TI_NAME_SIZE);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
    return name;
}

std::string upper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

uint8_t *sector(std::vector<uint8_t> &image, size_t n)
{
    return image.data() + n * TI_SECTOR;
}

const uint8_t *sector(const std::vector<uint8_t> &image, size_t n)
{
    return image.data() + n * TI_SECTOR;
}

bool in_use(const std::vector<uint8_t> &image, size_t n)
{
    return image[VIB_BITMAP + n / 8] >> (n % 8) & 1;
}

void set_use(std::vector<uint8_t> &image, size_t n, bool used)
{
    uint8_t &byte = image[VIB_BITMAP + n / 8];
    const uint8_t bit = static_cast<uint8_t>(1u << (n % 8));
    byte = used ? static_cast<uint8_t>(byte | bit) : static_cast<uint8_t>(byte & ~bit);
}

// The descriptor in sector n: the file's fields and its data sectors.
bool read_descriptor(const std::vector<uint8_t> &image, uint16_t n, uint16_t total, DiskEntry &entry,
                     std::string &error)
{
    const uint8_t *d = sector(image, n);
    TiFileInfo &info = entry.info;
    entry.descriptor = n;
    info.name = name_at(d);
    info.flags = d[0x0C];
    info.records_per_sector = d[0x0D];
    info.sectors = static_cast<uint16_t>(ti_word(d + 0x0E));
    info.eof_offset = d[0x10];
    info.record_length = d[0x11];
    info.level3_records = static_cast<uint16_t>(d[0x12] | d[0x13] << 8);
    info.created = {static_cast<uint16_t>(ti_word(d + 0x14)), static_cast<uint16_t>(ti_word(d + 0x16))};
    info.updated = {static_cast<uint16_t>(ti_word(d + 0x18)), static_cast<uint16_t>(ti_word(d + 0x1A))};
    const std::string which = "file " + info.name + " (descriptor in sector " + std::to_string(n) + ")";
    if (info.sectors >= total) {
        error = which + " claims " + std::to_string(info.sectors) + " sectors on a disk of " + std::to_string(total);
        return false;
    }
    int last = -1;  // the file-relative number of the last sector so far
    for (size_t run = 0; entry.data_sectors.size() < info.sectors; run++) {
        if (run == MAX_RUNS) {
            error = which + ": its data chain ends before its " + std::to_string(info.sectors) + " sectors";
            return false;
        }
        const uint8_t *r = d + CHAIN + 3 * run;
        const unsigned start = r[0] | (r[1] & 0x0Fu) << 8;
        const int end = static_cast<int>(r[1] >> 4 | r[2] << 4);
        if (end <= last || end >= info.sectors || start < 2 ||
            start + static_cast<unsigned>(end - last) > total) {
            error = which + ": its data chain points outside the disk or repeats sectors";
            return false;
        }
        for (int k = 0; k < end - last; k++)
            entry.data_sectors.push_back(static_cast<uint16_t>(start + static_cast<unsigned>(k)));
        last = end;
    }
    return true;
}

// The runs of consecutive sectors, as chain entries.
bool write_chain(uint8_t *d, const std::vector<uint16_t> &sectors)
{
    size_t run = 0;
    for (size_t i = 0; i < sectors.size(); run++) {
        size_t j = i + 1;
        while (j < sectors.size() && sectors[j] == sectors[j - 1] + 1) j++;
        if (run == MAX_RUNS) return false;
        const unsigned start = sectors[i], end = static_cast<unsigned>(j - 1);
        uint8_t *r = d + CHAIN + 3 * run;
        r[0] = static_cast<uint8_t>(start);
        r[1] = static_cast<uint8_t>(start >> 8 | (end & 0x0F) << 4);
        r[2] = static_cast<uint8_t>(end >> 4);
        i = j;
    }
    return true;
}

// The first free sector from from upward to the end, then from 2; 0 when
// none is free. Marks it in use.
uint16_t allocate(std::vector<uint8_t> &image, uint16_t total, uint16_t from)
{
    for (int pass = 0; pass < 2; pass++, from = 2)
        for (uint16_t n = from; n < total; n++)
            if (!in_use(image, n)) {
                set_use(image, n, true);
                return n;
            }
    return 0;
}

}  // namespace

bool disk_geometry_named(const std::string &name, DiskGeometry &geometry)
{
    for (const DiskGeometry &g : geometries)
        if (upper(name) == g.name) {
            geometry = g;
            return true;
        }
    return false;
}

std::vector<uint8_t> disk_create(const DiskGeometry &g, const std::string &disk_name)
{
    std::vector<uint8_t> image(g.sectors * TI_SECTOR, UNUSED_FILL);
    std::memset(image.data(), 0, 2 * TI_SECTOR);
    uint8_t *vib = image.data();
    put_name(vib, disk_name);
    ti_put_word(vib + 0x0A, g.sectors);
    vib[0x0C] = g.sectors_per_track;
    std::memcpy(vib + 0x0D, "DSK", 3);
    vib[0x10] = 0x20;
    vib[0x11] = 40;
    vib[0x12] = g.sides;
    vib[0x13] = g.density;
    std::memset(vib + VIB_BITMAP + g.sectors / 8, 0xFF, TI_SECTOR - VIB_BITMAP - g.sectors / 8);
    set_use(image, 0, true);
    set_use(image, 1, true);
    return image;
}

bool disk_detect(const std::vector<uint8_t> &image)
{
    return image.size() >= 2 * TI_SECTOR && std::memcmp(image.data() + 0x0D, "DSK", 3) == 0;
}

bool disk_read_catalog(const std::vector<uint8_t> &image, DiskCatalog &catalog, std::string &error)
{
    catalog = DiskCatalog();
    if (!disk_detect(image)) {
        error = "not a disk image (no \"DSK\" mark in sector 0)";
        return false;
    }
    const uint8_t *vib = image.data();
    const unsigned total = ti_word(vib + 0x0A);
    const size_t have = image.size() / TI_SECTOR;
    if (total < 2 || total > MAX_SECTORS || total > have) {
        error = "sector 0 gives " + std::to_string(total) + " sectors, the image holds " + std::to_string(have);
        return false;
    }
    catalog.name = name_at(vib);
    catalog.sectors = static_cast<uint16_t>(total);
    catalog.geometry = std::to_string(total) + " sectors";
    for (const DiskGeometry &g : geometries)
        if (g.sectors == total && g.sides == vib[0x12] && g.sectors_per_track == vib[0x0C]) catalog.geometry = g.name;
    for (unsigned n = 0; n < total; n++) catalog.used = static_cast<uint16_t>(catalog.used + in_use(image, n));

    const uint8_t *index = sector(image, 1);
    for (size_t k = 0; k < MAX_FILES; k++) {
        const unsigned n = ti_word(index + 2 * k);
        if (n == 0) break;
        if (n < 2 || n >= total) {
            error = "the file index points to sector " + std::to_string(n) + ", outside the disk";
            return false;
        }
        DiskEntry entry;
        if (!read_descriptor(image, static_cast<uint16_t>(n), static_cast<uint16_t>(total), entry, error))
            return false;
        catalog.files.push_back(std::move(entry));
    }
    return true;
}

bool disk_read_file(const std::vector<uint8_t> &image, const std::string &name, TiFile &file, std::string &error)
{
    DiskCatalog catalog;
    if (!disk_read_catalog(image, catalog, error)) return false;
    // The name as given first, then in any case.
    for (int exact = 1; exact >= 0; exact--)
        for (const DiskEntry &e : catalog.files) {
            if (exact ? e.info.name != name : upper(e.info.name) != upper(name)) continue;
            file = disk_entry_file(image, e);
            return true;
        }
    error = "no file " + name + " on the disk";
    return false;
}

TiFile disk_entry_file(const std::vector<uint8_t> &image, const DiskEntry &entry)
{
    TiFile file;
    file.info = entry.info;
    for (uint16_t s : entry.data_sectors)
        file.data.insert(file.data.end(), sector(image, s), sector(image, s) + TI_SECTOR);
    return file;
}

std::string disk_catalog_text(const std::vector<uint8_t> &image, const DiskCatalog &catalog)
{
    char line[96];
    std::string text;
    std::snprintf(line, sizeof line, "Disk %-10s  %s, %u sectors: %u used, %u free\n\n", catalog.name.c_str(),
                  catalog.geometry.c_str(), catalog.sectors, catalog.used,
                  catalog.sectors > catalog.used ? catalog.sectors - catalog.used : 0u);
    text += line;
    text += "Name        Sectors  Type            Bytes\n";
    for (const DiskEntry &e : catalog.files) {
        std::snprintf(line, sizeof line, "%-10s  %7u  %-12s  %7zu\n", e.info.name.c_str(), e.info.sectors + 1u,
                      ti_file_type(e.info).c_str(), ti_file_bytes(disk_entry_file(image, e)));
        text += line;
    }
    return text;
}

bool disk_put_file(std::vector<uint8_t> &image, const TiFile &file, std::string &error)
{
    DiskCatalog catalog;
    if (!disk_read_catalog(image, catalog, error)) return false;
    std::vector<uint8_t> out = image;
    const uint16_t total = catalog.sectors;

    // The replaced file's sectors become free; every other file's are in
    // use, whatever a damaged bitmap says, so that no file is overwritten.
    std::vector<std::pair<std::string, uint16_t>> index;
    for (const DiskEntry &e : catalog.files) {
        if (e.info.name != file.info.name) continue;
        set_use(out, e.descriptor, false);
        for (uint16_t s : e.data_sectors) set_use(out, s, false);
    }
    for (const DiskEntry &e : catalog.files) {
        if (e.info.name == file.info.name) continue;
        index.emplace_back(e.info.name, e.descriptor);
        set_use(out, e.descriptor, true);
        for (uint16_t s : e.data_sectors) set_use(out, s, true);
    }
    set_use(out, 0, true);
    set_use(out, 1, true);
    if (index.size() >= MAX_FILES) {
        error = "the disk holds " + std::to_string(MAX_FILES) + " files, the most it can";
        return false;
    }
    size_t free = 0;
    for (uint16_t n = 2; n < total; n++) free += !in_use(out, n);
    const size_t needed = file.info.sectors + 1u;
    if (needed > free) {
        error = "no room for " + file.info.name + ": it needs " + std::to_string(needed) + " sectors, " +
                std::to_string(free) + " are free";
        return false;
    }

    const uint16_t descriptor = allocate(out, total, 2);
    std::vector<uint16_t> data;
    for (size_t k = 0; k < file.info.sectors; k++) data.push_back(allocate(out, total, FIRST_DATA_SECTOR));
    uint8_t *d = sector(out, descriptor);
    std::memset(d, 0, TI_SECTOR);
    if (!write_chain(d, data)) {
        error = "the free sectors are too scattered for " + file.info.name + " (more than " +
                std::to_string(MAX_RUNS) + " runs)";
        return false;
    }
    const TiFileInfo &info = file.info;
    put_name(d, info.name);
    d[0x0C] = info.flags;
    d[0x0D] = info.records_per_sector;
    ti_put_word(d + 0x0E, info.sectors);
    d[0x10] = info.eof_offset;
    d[0x11] = info.record_length;
    d[0x12] = static_cast<uint8_t>(info.level3_records);
    d[0x13] = static_cast<uint8_t>(info.level3_records >> 8);
    ti_put_word(d + 0x14, info.created.time);
    ti_put_word(d + 0x16, info.created.date);
    ti_put_word(d + 0x18, info.updated.time);
    ti_put_word(d + 0x1A, info.updated.date);
    for (size_t k = 0; k < data.size(); k++) {
        uint8_t *s = sector(out, data[k]);
        std::memset(s, 0, TI_SECTOR);
        const size_t from = k * TI_SECTOR;
        if (from < file.data.size())
            std::memcpy(s, file.data.data() + from, std::min(TI_SECTOR, file.data.size() - from));
    }

    index.emplace_back(info.name, descriptor);
    std::sort(index.begin(), index.end());
    uint8_t *x = sector(out, 1);
    std::memset(x, 0, TI_SECTOR);
    for (size_t k = 0; k < index.size(); k++) ti_put_word(x + 2 * k, index[k].second);
    image.swap(out);
    return true;
}

void disk_set_name(std::vector<uint8_t> &image, const std::string &disk_name)
{
    put_name(image.data(), disk_name);
}
