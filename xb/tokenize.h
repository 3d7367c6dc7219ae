// The Extended BASIC tokenizer: turns the text of an XB listing into the
// token bytes a TI keeps in memory, and token bytes back into the text the
// TI's LIST shows. Keywords, punctuation and "::" become one byte each;
// numbers, DATA items and CALL names unquoted strings (0xC8), quoted strings
// 0xC7, line numbers after GOTO and its kind 0xC9 and a word; variable names
// stay their characters in capitals; REM and "!" keep the rest of the line.
#ifndef KELVARO_XB_TOKENIZE_H
#define KELVARO_XB_TOKENIZE_H

#include <cstdint>
#include <string>
#include <vector>

#include "xbsound/timing.h"  // XB_LINE_MAX: line numbers run from 1 to it

// A line holds at most this many token bytes.
constexpr size_t XB_MAX_LINE_TOKENS = 254;

// One program line: its number and its token bytes (without the length byte
// in front and the 0x00 after them).
struct XbLine {
    int number = 0;
    std::vector<uint8_t> tokens;
};

// Tokenizes the statements of one line (the text after its line number) and
// appends the bytes to tokens; false with error (no line named) when the
// text holds an unterminated string or a character XB does not know.
bool xb_tokenize_statements(const char *text, size_t size, std::vector<uint8_t> &tokens, std::string &error);

// A whole listing as program lines in ascending order. Blank lines, a
// carriage return before each line end and a UTF-8 byte order mark are
// skipped; a line number given twice keeps the later line and adds a
// warning. False with error naming the line (by its number, or by its place
// in the text when it has none) on the first line that cannot be tokenized.
bool xb_parse_listing(const std::string &text, std::vector<XbLine> &lines, std::vector<std::string> &warnings,
                      std::string &error);

// The text of one line as the TI's LIST shows it: the number, keywords in
// capitals, " :: " between statements. Tokenizing it again gives the same
// bytes for every line the tokenizer makes.
std::string xb_list_line(const XbLine &line);

// Every line listed, one per text line.
std::string xb_listing_text(const std::vector<XbLine> &lines);

#endif
