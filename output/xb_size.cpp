#include "output/xb_size.h"

#include <cctype>

namespace {

bool is_keyword(const std::string &word)
{
    static const char *const keywords[] = {"READ", "FOR", "TO", "NEXT", "CALL", "DATA"};
    std::string upper;
    for (char c : word) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char *k : keywords)
        if (upper == k) return true;
    return false;
}

bool is_word(const std::string &word, const char *upper_name)
{
    if (word.size() != std::char_traits<char>::length(upper_name)) return false;
    for (size_t i = 0; i < word.size(); i++)
        if (std::toupper(static_cast<unsigned char>(word[i])) != upper_name[i]) return false;
    return true;
}

}  // namespace

size_t xb_line_size(const std::string &line)
{
    size_t i = 0, n = line.size();
    while (i < n && line[i] == ' ') i++;
    if (i == n) return 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(line[i]))) i++;  // the line number

    size_t tokens = 0;
    bool after_call = false;
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == ' ') {
            i++;
        } else if (c == ':' && i + 1 < n && line[i + 1] == ':') {
            tokens += 1;
            i += 2;
        } else if (std::isdigit(c)) {
            size_t start = i;
            while (i < n && std::isdigit(static_cast<unsigned char>(line[i]))) i++;
            tokens += 2 + (i - start);
        } else if (std::isalpha(c)) {
            size_t start = i;
            while (i < n && std::isalnum(static_cast<unsigned char>(line[i]))) i++;
            std::string word = line.substr(start, i - start);
            if (after_call) {
                tokens += 2 + word.size();  // the subprogram name
                after_call = false;
            } else if (is_word(word, "DATA")) {
                // Values up to each comma are unquoted strings.
                tokens += 1;
                while (i < n) {
                    while (i < n && line[i] == ' ') i++;
                    size_t vstart = i;
                    while (i < n && line[i] != ',') i++;
                    size_t vend = i;
                    while (vend > vstart && line[vend - 1] == ' ') vend--;
                    tokens += 2 + (vend - vstart);
                    if (i < n) {
                        tokens += 1;  // the comma
                        i++;
                    }
                }
            } else if (is_keyword(word)) {
                tokens += 1;
                after_call = is_word(word, "CALL");
            } else {
                tokens += word.size();
            }
        } else {
            tokens += 1;  // ( ) , = - and the like
            i++;
        }
    }
    return 4 + 1 + tokens + 1;
}

size_t xb_program_size(const std::string &text)
{
    size_t total = 0, start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        total += xb_line_size(text.substr(start, end - start));
        start = end + 1;
    }
    return total;
}
