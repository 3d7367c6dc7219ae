// The size of an XB program as it occupies memory once tokenized, measured
// on the text the output writer produces, by the project's tokenizer.
#ifndef KELVARO_XB_SIZE_H
#define KELVARO_XB_SIZE_H

#include <cstddef>
#include <string>

// XB with the 32K memory expansion holds this many bytes of program.
constexpr size_t XB_PROGRAM_SPACE = 24488;
// What the tools aim at, leaving room for the variables.
constexpr size_t XB_BUDGET = 24000;

// Bytes one line costs in the program image (xb_line_memory_size of its
// tokens, xb/image.h). An empty line costs nothing;
// a line without a number (DATA mode) costs the same as one with a number,
// since it gets one when merged into a program.
size_t xb_line_size(const std::string &line);

// The sum over all lines of text.
size_t xb_program_size(const std::string &text);

#endif
