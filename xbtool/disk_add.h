// xbtool disk's work: listings, program files and VGM files made into
// programs and put on a disk image with the menu of songs. Every input is
// read and every song converted before the image changes: a name clash, a
// song that fails or files that do not fit leave the image byte-identical.
#ifndef XBTOOL_DISK_ADD_H
#define XBTOOL_DISK_ADD_H

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "disk/disk_image.h"
#include "xb/image.h"
#include "xbtool/disk_songs.h"

struct DiskRequest {
    std::string image_path;
    std::vector<std::string> inputs;
    std::string name;            // --name (one input)
    bool named = false;
    std::string disk_name;       // --disk-name
    bool disk_named = false;
    DiskGeometry geometry{};     // --format (default SSSD)
    bool formatted = false;
    SongRecipe recipe;           // --for, --statements, --noise
    bool replace = false;        // --replace
    bool menu = true;            // not --no-menu
};

// How the command reads a file (whole, with its messages) and tokenizes a
// listing into a program (with its warnings and errors).
struct DiskReaders {
    std::function<bool(const std::string &path, std::vector<uint8_t> &bytes, std::ostream &err)> file;
    std::function<bool(const std::string &path, XbProgram &program, size_t &lines, std::ostream &err)> listing;
};

// Does the request; messages to err; returns the exit status.
int disk_add(const DiskRequest &request, const DiskReaders &readers, std::ostream &err);

#endif
