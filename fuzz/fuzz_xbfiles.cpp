// Any bytes through the readers of XB program files and disk images, and a
// disk image that reads through adding a program
// (fuzzcheck::xbfile_input in fuzz/checks.h says what is checked).
#include <cstdio>
#include <cstdlib>

#include "fuzz/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string failed = fuzzcheck::xbfile_input(data, size);
    if (!failed.empty()) {
        std::fprintf(stderr, "fuzz_xbfiles: %s\n", failed.c_str());
        std::abort();
    }
    return 0;
}
