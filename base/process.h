// Starting another program of the project and the private folder it works
// in: finding a program as the user's shell would (the search path) or
// beside the running one, running it without a shell and waiting for it,
// and a temporary folder only this user can read, removed with its files.
#ifndef KELVARO_BASE_PROCESS_H
#define KELVARO_BASE_PROCESS_H

#include <string>
#include <vector>

// The program named name: the first executable regular file of that name in
// a folder of PATH (an empty entry is the current folder), else the one
// beside the running program. Empty when neither has it.
std::string find_program(const std::string &name);

// Runs program with args (argv[0] is name), without a shell, and waits for
// it. Each of env ("NAME=value") replaces or adds that variable in the
// program's environment; the caller's own environment stays as it was.
// With log not empty, the program's standard output and standard error go
// to the file log (created or emptied). Returns its exit status (128 when a
// signal ended it), or -1 when it could not be started.
int run_program(const std::string &program, const std::string &name, const std::vector<std::string> &args,
                const std::vector<std::string> &env, const std::string &log);

// A new empty folder under $TMPDIR (else /tmp) that only this user may
// enter; false with error naming the problem.
bool make_private_folder(const std::string &prefix, std::string &path, std::string &error);

// Removes the files of folder path (not subfolders' contents) and the
// folder itself; what cannot be removed stays.
void remove_private_folder(const std::string &path);

#ifdef _WIN32
// The command line that starts name with args, each argument quoted where it
// needs it by the rules the C runtime reads it back with.
std::wstring windows_command_line(const std::string &name, const std::vector<std::string> &args);
#endif

#endif
