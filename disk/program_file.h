// Reading an XB program from whatever holds one: a TIFILES file, a plain PC
// program file (short image or long-format records) or a program on a V9T9
// disk image. For every caller that takes program files as input.
#ifndef KELVARO_DISK_PROGRAM_FILE_H
#define KELVARO_DISK_PROGRAM_FILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "xb/image.h"

// The program in file. On a disk image name picks the file (empty: the
// disk's only program); elsewhere name must be empty. False with error
// naming the problem otherwise.
bool read_program(const std::vector<uint8_t> &file, const std::string &name, XbProgram &program,
                  std::string &error);

// The listing of the program in file, as xb_listing_text writes it.
bool read_program_listing(const std::vector<uint8_t> &file, const std::string &name, std::string &listing,
                          std::string &error);

#endif
