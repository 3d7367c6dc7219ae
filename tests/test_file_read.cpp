// The bounded whole-file reader: a file read whole, one over the bound
// refused, a missing file and a folder named as failures.
#include <gtest/gtest.h>

#include <cerrno>

#include "base/file_read.h"
#include "tests/test_support.h"

TEST(FileRead, ReadsWholeFilesUpToTheBound)
{
    TempDir dir;
    std::vector<uint8_t> big(200000);
    for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<uint8_t>(i * 7);
    write_file(dir.file("big"), big);
    write_file(dir.file("empty"), {});
    struct Case {
        const char *name;
        size_t bound;
        ReadFailure failure;
        size_t size;
        int error_number;
    } cases[] = {
        {"big", big.size(), ReadFailure::none, big.size(), 0},
        {"big", big.size() - 1, ReadFailure::too_large, 0, 0},
        {"empty", 0, ReadFailure::none, 0, 0},
        {"missing", 100, ReadFailure::open, 0, ENOENT},
#ifdef _WIN32
        {"", 100, ReadFailure::open, 0, EISDIR},  // the folder itself: Windows opens none
#else
        {"", 100, ReadFailure::read, 0, EISDIR},  // the folder itself
#endif
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " within " + std::to_string(c.bound));
        std::vector<uint8_t> bytes = {1, 2, 3};
        int why = -1;
        EXPECT_EQ(read_file_whole(dir.file(c.name), c.bound, bytes, why), c.failure);
        EXPECT_EQ(bytes.size(), c.size);
        EXPECT_EQ(why, c.error_number);
        if (c.failure == ReadFailure::none && c.size > 0) {
            EXPECT_EQ(bytes, big);
        }
    }
}
