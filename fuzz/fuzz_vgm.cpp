// Any bytes as a VGM file through the compressor's reader and writer, in
// memory, with options read from the input's header (fuzzcheck::vgm_input
// in fuzz/checks.h says what is checked).
#include <cstdio>
#include <cstdlib>

#include "fuzz/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string failed = fuzzcheck::vgm_input(data, size);
    if (!failed.empty()) {
        std::fprintf(stderr, "fuzz_vgm: %s\n", failed.c_str());
        std::abort();
    }
    return 0;
}
