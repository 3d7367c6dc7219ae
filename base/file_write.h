// Writing a file whole or not at all, shared by every program of the
// project: a failed run leaves what the user had.
#ifndef KELVARO_FILE_WRITE_H
#define KELVARO_FILE_WRITE_H

#include <cstdint>
#include <string>
#include <vector>

// Where a failed write stopped: the file could not be opened (or created),
// or its bytes could not be written.
enum class WriteFailure { none, open, write };

// Writes bytes to path. A regular file, or a new one, is written to a
// temporary file in its folder, synced and renamed over it, so that the
// path holds the old file or a whole new one (also when two runs write it
// at once); a symbolic link is followed and stays, an existing file keeps
// its permission bits and owner, and one the user may not write is refused
// as cp refuses it. A device, a FIFO or /dev/stdout is written directly, as
// is an existing file in a folder where no temporary file can be made. On
// failure error names path and the problem, *failure (when given) says
// where it stopped, and an existing regular file is left as it was (unless
// written directly).
bool write_file_atomic(const std::string &path, const std::vector<uint8_t> &bytes, std::string &error,
                       WriteFailure *failure = nullptr);

// Whether a and b name one existing file (the same device and inode).
bool same_file(const std::string &a, const std::string &b);

#endif
