// One TI file as the TI's disk system stores it (its descriptor: name,
// type, record layout, sectors, dates, and the data sectors), the TIFILES
// form emulators and TIPI keep such a file in on a PC, and the mapping
// between XB programs and TI files (PROGRAM for the short format,
// INT/VAR 254 for the long one).
#ifndef KELVARO_DISK_TIFILES_H
#define KELVARO_DISK_TIFILES_H

#include <cstdint>
#include <string>
#include <vector>

#include "xb/image.h"

constexpr size_t TI_SECTOR = 256;
constexpr size_t TI_NAME_SIZE = 10;

// File type flags.
enum : uint8_t {
    TI_FLAG_PROGRAM = 0x01,
    TI_FLAG_INTERNAL = 0x02,
    TI_FLAG_PROTECTED = 0x08,
    TI_FLAG_VARIABLE = 0x80,
};

// A time stamp as the TI keeps it: hours << 11 | minutes << 5 | seconds / 2,
// and (year mod 100) << 9 | month << 5 | day.
struct TiStamp {
    uint16_t time = 0;
    uint16_t date = 0;
};

// What a file descriptor says of a file.
struct TiFileInfo {
    std::string name;              // without the padding blanks
    uint8_t flags = 0;
    uint8_t records_per_sector = 0;
    uint8_t eof_offset = 0;        // bytes used in the last sector, 0 for all
    uint8_t record_length = 0;
    uint16_t sectors = 0;          // data sectors
    uint16_t level3_records = 0;
    TiStamp created, updated;
};

// A whole file: its descriptor and its data sectors (sectors * 256 bytes).
struct TiFile {
    TiFileInfo info;
    std::vector<uint8_t> data;
};

// The local time now as a TI time stamp.
TiStamp ti_stamp_now();

// True when name may name a TI file: 1 to 10 characters, none of them a
// blank, a period or a control character.
bool ti_name_valid(const std::string &name);

// The TI file name made from a path: the base name without its extension,
// in capitals, without the characters a name may not hold, cut to 10
// characters (empty when nothing is left).
std::string ti_name_from_path(const std::string &path);

// The type as a TI catalog shows it: PROGRAM, DIS/VAR 80, INT/FIX 128, ...
std::string ti_file_type(const TiFileInfo &info);

// The file's size in bytes: a program's image, a variable file's records
// with their length bytes, a fixed file's records.
size_t ti_file_bytes(const TiFile &file);

// An XB program as a TI file named name, dated stamp.
TiFile ti_program_file(const std::string &name, const XbProgram &program, TiStamp stamp);

// The XB program a TI file holds; false with error when it is neither a
// PROGRAM file nor INT/VAR 254, or its records are damaged.
bool ti_file_program(const TiFile &file, XbProgram &program, std::string &error);

// The TIFILES form of a file: the 128-byte header and the data sectors.
std::vector<uint8_t> tifiles_encode(const TiFile &file);

// True when bytes start with a TIFILES header.
bool tifiles_detect(const std::vector<uint8_t> &bytes);

// Reads a TIFILES file; false with error when the header is damaged or the
// data is shorter than it says.
bool tifiles_decode(const std::vector<uint8_t> &bytes, TiFile &file, std::string &error);

#endif
