// Reading a whole file, up to a bound, shared by every program of the
// project.
#ifndef KELVARO_FILE_READ_H
#define KELVARO_FILE_READ_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Why a read failed: the file could not be opened, not be read, or holds
// more than the bound.
enum class ReadFailure { none, open, read, too_large };

// Reads the whole file at path into bytes, refusing one of more than
// max_bytes bytes (without reading much more of it). A regular file gets
// room for all of it at once. On failure bytes is empty and error_number
// holds errno for open and read (0 for too_large).
ReadFailure read_file_whole(const std::string &path, size_t max_bytes, std::vector<uint8_t> &bytes,
                            int &error_number);

#endif
