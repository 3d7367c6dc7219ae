// The lister: token bytes back into the text the TI's LIST shows.
//
// LIST's blanks: the word keywords of statements (PRINT, THEN, TO, AND,
// ...) are followed by a blank, whatever comes next; functions and the
// words of clauses (TAB, AT, SIZE, BEEP, USING, ...) are not. What follows
// a name, a number, a string, a line number or a function or clause word
// gets a blank in front when it is one of those, a word keyword, "::" or
// "!" (CALL CLEAR :: X, BEEP SIZE(1), D ! X); after "::" comes a blank.
// Signs get none (SOUND(5):: X, A;B;:: X, INPUT ,). The text after REM
// and "!" follows them as stored.
#include <algorithm>

#include "xb/keywords.h"
#include "xb/tokenize.h"

namespace {

struct Lister {
    std::string out;
    bool after_word = false;      // out ends with a name, number, string or keyword without its blank
    bool blank_at_end = false;    // out ends with a blank put after a keyword or "::"

    // Appends a piece, with a blank in front when it is word-like (or "::",
    // "!") after a word-like piece, or a colon after a colon (two would read
    // as "::").
    void put(const std::string &piece, bool spaced_after_word, bool word)
    {
        if (piece.empty()) return;
        if ((spaced_after_word && after_word) || (out.back() == ':' && piece[0] == ':')) out += ' ';
        out += piece;
        after_word = word;
        blank_at_end = false;
    }

    void blank()
    {
        out += ' ';
        after_word = false;
        blank_at_end = true;
    }
};

// The string at t[i] (its length byte, then its characters), cut to what
// the tokens hold; i moves past it.
std::string string_at(const std::vector<uint8_t> &t, size_t &i)
{
    if (i >= t.size()) return std::string();
    const size_t n = std::min<size_t>(t[i], t.size() - i - 1);
    const char *s = reinterpret_cast<const char *>(t.data()) + i + 1;
    i += 1 + n;
    return std::string(s, n);
}

std::string quote(const std::string &s)
{
    std::string piece = "\"";
    for (char c : s) {
        if (c == '"') piece += '"';
        piece += c;
    }
    return piece + '"';
}

// One keyword or sign token.
void put_keyword(Lister &l, uint8_t code)
{
    const char *text = xb_keyword_text(code);
    if (code == XB_TOK_STATEMENT_SEP) {
        l.put(text, true, false);
        l.blank();
    } else if (xb_is_word_keyword(code)) {
        l.put(text, true, true);
        if (xb_blank_after(code)) l.blank();
    } else {
        l.put(text ? text : "?", false, false);
    }
}

}  // namespace

std::string xb_list_line(const XbLine &line)
{
    const std::vector<uint8_t> &t = line.tokens;
    Lister l;
    l.out = std::to_string(line.number);
    l.blank();
    for (size_t i = 0; i < t.size();) {
        const uint8_t code = t[i++];
        if (code == XB_TOK_QUOTED) {
            l.put(quote(string_at(t, i)), true, true);
        } else if (code == XB_TOK_UNQUOTED) {
            l.put(string_at(t, i), true, true);
        } else if (code == XB_TOK_LINE_NUMBER) {
            const unsigned n = i + 1 < t.size() ? (t[i] << 8u) | t[i + 1] : 0;
            i = std::min(t.size(), i + 2);
            l.put(std::to_string(n), true, true);
        } else if (code == XB_TOK_REM || code == XB_TOK_TAIL_REMARK) {
            l.put(xb_keyword_text(code), true, false);
            return l.out.append(reinterpret_cast<const char *>(t.data()) + i, t.size() - i);
        } else if (code >= 0x80) {
            put_keyword(l, code);
        } else {
            // A variable name: its characters up to the next token.
            std::string name(1, static_cast<char>(code));
            while (i < t.size() && t[i] < 0x80) name += static_cast<char>(t[i++]);
            l.put(name, true, true);
        }
    }
    if (l.blank_at_end) l.out.pop_back();
    return l.out;
}

std::string xb_listing_text(const std::vector<XbLine> &lines)
{
    std::string text;
    for (const XbLine &line : lines) {
        text += xb_list_line(line);
        text += '\n';
    }
    return text;
}
