// Output writer: turns the row text into a list of integers and writes it as
// an XB program, bare DATA lines or numbered CALL SOUND statements.
#ifndef KELVARO_OUTPUT_H
#define KELVARO_OUTPUT_H

#include <cstdint>
#include <string>
#include <vector>

#include "xbsound/timing.h"  // XB_LINE_MAX

extern std::vector<int32_t> out_data_int;  // entry 0: row count, then the rows' numbers
extern int32_t out_data_size;
extern const int32_t values_per_line;      // 26 integers per DATA line
extern int32_t line_num;

// Fills out_data_int from tot_notes and out_data.
void build_int_list();

// The text of the output file for the current settings, from out_data_int.
std::string format_output();

// Writes the output file (path may be null when none was given) whole or
// not at all. Returns the program's exit status: 0 after "Done.", 1 on an
// output error. clash, when not null, says why path may not be written.
int write_output(const char *path, const char *clash = nullptr);

// convert_rows (convert/song.h) followed by the integer list and the text,
// for the current settings; the text is empty when convert_rows fails.
bool convert_to_text(const uint8_t *data, uint32_t size, std::string &text);

#endif
