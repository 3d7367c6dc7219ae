// A whole listing, line by line, into program lines.
#include <cstdlib>
#include <map>

#include "xb/keywords.h"
#include "xb/tokenize.h"

namespace {

// The line number at the start of a text line (blanks before it skipped),
// moving p past it; false with error naming the text line when it is
// missing or outside 1 to 32767.
bool line_number(const char *&p, const char *end, size_t text_line, int &number, std::string &error)
{
    while (p < end && *p == ' ') p++;
    const char *digits = p;
    while (p < end && xb_is_digit(*p)) p++;
    if (p == digits) {
        error = "line " + std::to_string(text_line) + " of the text has no line number";
        return false;
    }
    const std::string text(digits, p);
    const long n = text.size() > 5 ? 99999 : std::strtol(text.c_str(), nullptr, 10);
    if (n < 1 || n > XB_LINE_MAX) {
        error = "line number " + text + " (line " + std::to_string(text_line) + " of the text) is outside 1 to 32767";
        return false;
    }
    number = static_cast<int>(n);
    return true;
}

// One text line that holds more than blanks into a program line.
bool parse_line(const char *p, const char *end, size_t text_line, XbLine &line, std::string &error)
{
    if (!line_number(p, end, text_line, line.number, error)) return false;
    const std::string where = "line " + std::to_string(line.number);
    std::string why;
    if (!xb_tokenize_statements(p, static_cast<size_t>(end - p), line.tokens, why)) {
        error = where + ": " + why;
        return false;
    }
    if (line.tokens.empty()) {
        error = where + " has no statement";
        return false;
    }
    if (line.tokens.size() > XB_MAX_LINE_TOKENS) {
        error = where + " takes " + std::to_string(line.tokens.size()) + " token bytes, more than the " +
                std::to_string(XB_MAX_LINE_TOKENS) + " a line may hold";
        return false;
    }
    return true;
}

}  // namespace

bool xb_parse_listing(const std::string &text, std::vector<XbLine> &lines, std::vector<std::string> &warnings,
                      std::string &error)
{
    std::map<int, XbLine> by_number;
    size_t start = 0, text_line = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;  // a byte order mark some editors write
    while (start < text.size()) {
        size_t stop = text.find('\n', start);
        if (stop == std::string::npos) stop = text.size();
        text_line++;
        const char *p = text.data() + start;
        const char *end = text.data() + stop;
        start = stop + 1;
        if (end > p && end[-1] == '\r') end--;
        const char *first = p;
        while (first < end && *first == ' ') first++;
        if (first == end) continue;

        XbLine line;
        if (!parse_line(p, end, text_line, line, error)) return false;
        auto found = by_number.find(line.number);
        if (found != by_number.end()) {
            warnings.push_back("line " + std::to_string(line.number) + " is given twice: the later one is kept");
            found->second = std::move(line);
        } else {
            by_number.emplace(line.number, std::move(line));
        }
    }
    lines.clear();
    for (auto &entry : by_number) lines.push_back(std::move(entry.second));
    return true;
}
