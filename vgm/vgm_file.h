// Telling a VGM file by its content, so that a program about to write a
// file of another kind does not replace one by a slip of the output name.
#ifndef VGMCOMP_VGM_FILE_H
#define VGMCOMP_VGM_FILE_H

#include <string>

// Whether path is a regular file that holds a VGM file, plain or
// gzip-compressed: its bytes (unpacked) begin with "Vgm ". Only the first
// bytes are read; a missing or unreadable file, a device or a FIFO is none.
bool is_vgm_file(const std::string &path);

#endif
