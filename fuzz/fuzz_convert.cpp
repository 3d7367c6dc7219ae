// Any bytes as a song file through the converter's whole conversion into
// memory (fuzzcheck::convert_input in fuzz/checks.h says what is checked).
#include <cstdio>
#include <cstdlib>

#include "fuzz/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string failed = fuzzcheck::convert_input(data, size);
    if (!failed.empty()) {
        std::fprintf(stderr, "fuzz_convert: %s\n", failed.c_str());
        std::abort();
    }
    return 0;
}
