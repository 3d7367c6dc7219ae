#include "xb/xb_size.h"

#include <vector>

#include "xb/image.h"
#include "xb/tokenize.h"

namespace {

size_t line_size(const char *p, const char *end, std::vector<uint8_t> &tokens)
{
    if (end > p && end[-1] == '\r') end--;
    while (p < end && *p == ' ') p++;
    if (p == end) return 0;
    while (p < end && *p >= '0' && *p <= '9') p++;  // the line number
    tokens.clear();
    std::string error;
    // A line that does not tokenize counts what it holds up to the fault.
    xb_tokenize_statements(p, static_cast<size_t>(end - p), tokens, error);
    return xb_line_memory_size(tokens.size());
}

}  // namespace

size_t xb_line_size(const std::string &line)
{
    std::vector<uint8_t> tokens;
    return line_size(line.data(), line.data() + line.size(), tokens);
}

size_t xb_program_size(const std::string &text)
{
    std::vector<uint8_t> tokens;
    size_t total = 0, start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        total += line_size(text.data() + start, text.data() + end, tokens);
        start = end + 1;
    }
    return total;
}
