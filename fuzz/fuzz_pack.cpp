// Pack then unpack any byte streams, asserting the round trip
// (fuzzcheck::pack_input in fuzz/checks.h says what is checked).
#include <cstdio>
#include <cstdlib>

#include "fuzz/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string failed = fuzzcheck::pack_input(data, size);
    if (!failed.empty()) {
        std::fprintf(stderr, "fuzz_pack: %s\n", failed.c_str());
        std::abort();
    }
    return 0;
}
