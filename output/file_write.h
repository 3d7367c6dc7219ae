// Writing a file whole or not at all, shared by every program of the
// project: a failed run leaves what the user had.
#ifndef KELVARO_FILE_WRITE_H
#define KELVARO_FILE_WRITE_H

#include <cstdint>
#include <string>
#include <vector>

// Writes bytes to path through a temporary file in the same folder and a
// rename; on any failure path is left as it was and error names it.
bool write_file_atomic(const std::string &path, const std::vector<uint8_t> &bytes, std::string &error);

#endif
