// V9T9 disk images (.dsk): a TI floppy's 256-byte sectors in order, as
// MAME, js99er and Classic99 load them. Sector 0 names the disk and maps
// the sectors in use, sector 1 lists the files' descriptor sectors sorted
// by name, each descriptor gives its file's type and data sectors. Reading
// checks every field against the disk's size; writing a file replaces one
// of the same name and leaves every other file as it was.
#ifndef KELVARO_DISK_DISK_IMAGE_H
#define KELVARO_DISK_DISK_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "disk/tifiles.h"

// A disk's shape.
struct DiskGeometry {
    const char *name;  // SSSD, DSSD, DSDD
    uint16_t sectors;
    uint8_t sectors_per_track;
    uint8_t sides;
    uint8_t density;
};

// The geometry named (sssd, dssd or dsdd, in any case); false when none is.
bool disk_geometry_named(const std::string &name, DiskGeometry &geometry);

// An empty, formatted disk image named disk_name (a valid TI file name).
std::vector<uint8_t> disk_create(const DiskGeometry &geometry, const std::string &disk_name);

// One file of a disk: what its descriptor says and where its data lies.
struct DiskEntry {
    TiFileInfo info;
    uint16_t descriptor = 0;
    std::vector<uint16_t> data_sectors;
};

// What a disk holds.
struct DiskCatalog {
    std::string name;
    std::string geometry;  // SSSD, DSSD, DSDD, or "N sectors" for others
    uint16_t sectors = 0;
    uint16_t used = 0;     // sectors the bitmap marks in use
    std::vector<DiskEntry> files;  // in the index's order
};

// True when image looks like a V9T9 disk image ("DSK" in sector 0).
bool disk_detect(const std::vector<uint8_t> &image);

// The catalog of a disk image; false with error when the image is damaged
// (sector 0, the index or a descriptor pointing outside the disk).
bool disk_read_catalog(const std::vector<uint8_t> &image, DiskCatalog &catalog, std::string &error);

// The file named name (in any case) of a disk; false with error when there
// is none.
bool disk_read_file(const std::vector<uint8_t> &image, const std::string &name, TiFile &file, std::string &error);

// The file of a catalog entry, its data read from its sectors.
TiFile disk_entry_file(const std::vector<uint8_t> &image, const DiskEntry &entry);

// The catalog as a TI user knows it: the disk's name, size, sectors used
// and free, then per file its name, sectors (its descriptor included),
// type and size in bytes.
std::string disk_catalog_text(const std::vector<uint8_t> &image, const DiskCatalog &catalog);

// Adds file to the disk image, replacing a file of the same name. On any
// failure (damaged image, too little room, too many files) the image is
// left as it was and error says why.
bool disk_put_file(std::vector<uint8_t> &image, const TiFile &file, std::string &error);

// Renames the disk (a valid TI file name).
void disk_set_name(std::vector<uint8_t> &image, const std::string &disk_name);

#endif
