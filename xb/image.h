// The program image of an XB program: the line-number table and the token
// table as they end at the top of the TI's memory, with the header the TI
// reads them back by. Short format (file type PROGRAM, video memory) or
// long format (INT/VAR 254 records, the 32K memory expansion), the plain PC
// file of either, and the reverse of each for listing a program file.
#ifndef KELVARO_XB_IMAGE_H
#define KELVARO_XB_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "xb/tokenize.h"

enum class XbFormat { Short, Long };

// The TI's words are big-endian, in memory and in every file.
inline unsigned ti_word(const uint8_t *b)
{
    return static_cast<unsigned>(b[0] << 8 | b[1]);
}

inline void ti_put_word(uint8_t *b, unsigned w)
{
    b[0] = static_cast<uint8_t>(w >> 8);
    b[1] = static_cast<uint8_t>(w);
}

// The last byte of the tables in each format.
constexpr uint16_t XB_SHORT_TOP = 0x37D7;
constexpr uint16_t XB_LONG_TOP = 0xFFE7;
// The largest short-format file that runs: larger ones load but do not.
constexpr size_t XB_SHORT_FILE_LIMIT = 11800;
// The most bytes of tables the memory expansion holds (0xA000 to the top).
constexpr size_t XB_LONG_TABLES_LIMIT = XB_LONG_TOP + 1u - 0xA000u;
// The largest long-format file (records with their length bytes) measured
// to load; one of 24,615 bytes failed at OLD.
constexpr size_t XB_LONG_FILE_LOADS = 24467;
// The long format's records hold at most this many bytes.
constexpr size_t XB_RECORD_SIZE = 254;

// A program as it is stored: for the short format the image (8-byte header
// and the tables), for the long format the 10-byte header and the tables as
// one byte string (xb_long_records cuts it into records).
struct XbProgram {
    XbFormat format = XbFormat::Short;
    std::vector<uint8_t> bytes;
};

// Bytes a line of `tokens` token bytes takes in memory: its entry in the
// token table (a length byte, the tokens and a 0x00 end byte), and with the
// 4 of its entry in the line-number table.
constexpr size_t xb_token_entry_size(size_t tokens)
{
    return 1 + tokens + 1;
}
constexpr size_t xb_line_memory_size(size_t tokens)
{
    return 4 + xb_token_entry_size(tokens);
}

// Bytes the lines take in memory: the sum of their xb_line_memory_size.
size_t xb_tables_size(const std::vector<XbLine> &lines);

// The size of the short-format file of these lines.
inline size_t xb_short_file_size(const std::vector<XbLine> &lines)
{
    return 8 + xb_tables_size(lines);
}

// The format kelvaro's users want by default: short when its file takes at
// most XB_SHORT_FILE_LIMIT bytes, else long.
XbFormat xb_default_format(const std::vector<XbLine> &lines);

// The stored program of lines (ascending, as xb_parse_listing gives them)
// in a format; false with error when the lines do not fit the format's
// memory or a small long-format program cannot be padded.
bool xb_build_program(const std::vector<XbLine> &lines, XbFormat format, XbProgram &program, std::string &error);

// The long format's records: the 10-byte header, then the tables in pieces
// of XB_RECORD_SIZE bytes.
std::vector<std::vector<uint8_t>> xb_long_records(const XbProgram &program);

// The plain PC file: the short image as it is, the long format's records
// each preceded by its length byte.
std::vector<uint8_t> xb_raw_file(const XbProgram &program);

// Reads a plain PC file (short image, or long records with length bytes).
bool xb_read_raw_file(const std::vector<uint8_t> &file, XbProgram &program, std::string &error);

// The lines of a stored program, in ascending order. The padding line a
// small long-format program is given is left out, as it is added again when
// the listing is made into a long-format program. False with error when the
// header or the tables are inconsistent.
bool xb_read_program(const XbProgram &program, std::vector<XbLine> &lines, std::string &error);

#endif
