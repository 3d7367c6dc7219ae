// What the tests take from POSIX, on Windows: the few calls they make on
// files and the environment, mapped to the C runtime's. Tests that need
// more (fork, resource limits, permissions, FIFOs, symbolic links, /proc
// and /dev) are left out there and say why (skip_on_windows).
#ifndef KELVARO_TEST_WINDOWS_H
#define KELVARO_TEST_WINDOWS_H

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

inline int mkdir(const char *path, int)
{
    return _mkdir(path);
}

inline int setenv(const char *name, const char *value, int)
{
    return _putenv_s(name, value);
}

inline int lstat(const char *path, struct stat *st)
{
    return stat(path, st);
}

inline int symlink(const char *, const char *)
{
    return -1;
}

#define SKIP_ON_WINDOWS(why) GTEST_SKIP() << "not on Windows: " << why
#else
#define SKIP_ON_WINDOWS(why) static_cast<void>(0)
#endif

#endif
