#include "xb/tokenize.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

enum : uint8_t {
    TOK_ELSE = 0x81,
    TOK_STATEMENT_SEP = 0x82,
    TOK_TAIL_REMARK = 0x83,
    TOK_GO = 0x85,
    TOK_GOTO = 0x86,
    TOK_GOSUB = 0x87,
    TOK_BREAK = 0x8E,
    TOK_UNBREAK = 0x8F,
    TOK_DATA = 0x93,
    TOK_RESTORE = 0x94,
    TOK_REM = 0x9A,
    TOK_CALL = 0x9D,
    TOK_SUB = 0xA1,
    TOK_ERROR = 0xA5,
    TOK_RUN = 0xA9,
    TOK_THEN = 0xB0,
    TOK_TO = 0xB1,
    TOK_COMMA = 0xB3,
    TOK_QUOTED = 0xC7,
    TOK_UNQUOTED = 0xC8,
    TOK_LINE_NUMBER = 0xC9,
};

struct Keyword {
    uint8_t code;
    const char *text;
};

// Every keyword and punctuation token, by code.
const Keyword keywords[] = {
    {0x81, "ELSE"}, {0x82, "::"}, {0x83, "!"}, {0x84, "IF"}, {0x85, "GO"}, {0x86, "GOTO"}, {0x87, "GOSUB"},
    {0x88, "RETURN"}, {0x89, "DEF"}, {0x8A, "DIM"}, {0x8B, "END"}, {0x8C, "FOR"}, {0x8D, "LET"},
    {0x8E, "BREAK"}, {0x8F, "UNBREAK"}, {0x90, "TRACE"}, {0x91, "UNTRACE"}, {0x92, "INPUT"}, {0x93, "DATA"},
    {0x94, "RESTORE"}, {0x95, "RANDOMIZE"}, {0x96, "NEXT"}, {0x97, "READ"}, {0x98, "STOP"}, {0x99, "DELETE"},
    {0x9A, "REM"}, {0x9B, "ON"}, {0x9C, "PRINT"}, {0x9D, "CALL"}, {0x9E, "OPTION"}, {0x9F, "OPEN"},
    {0xA0, "CLOSE"}, {0xA1, "SUB"}, {0xA2, "DISPLAY"}, {0xA3, "IMAGE"}, {0xA4, "ACCEPT"}, {0xA5, "ERROR"},
    {0xA6, "WARNING"}, {0xA7, "SUBEXIT"}, {0xA8, "SUBEND"}, {0xA9, "RUN"}, {0xAA, "LINPUT"}, {0xB0, "THEN"},
    {0xB1, "TO"}, {0xB2, "STEP"}, {0xB3, ","}, {0xB4, ";"}, {0xB5, ":"}, {0xB6, ")"}, {0xB7, "("},
    {0xB8, "&"}, {0xBA, "OR"}, {0xBB, "AND"}, {0xBC, "XOR"}, {0xBD, "NOT"}, {0xBE, "="}, {0xBF, "<"},
    {0xC0, ">"}, {0xC1, "+"}, {0xC2, "-"}, {0xC3, "*"}, {0xC4, "/"}, {0xC5, "^"}, {0xCA, "EOF"},
    {0xCB, "ABS"}, {0xCC, "ATN"}, {0xCD, "COS"}, {0xCE, "EXP"}, {0xCF, "INT"}, {0xD0, "LOG"}, {0xD1, "SGN"},
    {0xD2, "SIN"}, {0xD3, "SQR"}, {0xD4, "TAN"}, {0xD5, "LEN"}, {0xD6, "CHR$"}, {0xD7, "RND"},
    {0xD8, "SEG$"}, {0xD9, "POS"}, {0xDA, "VAL"}, {0xDB, "STR$"}, {0xDC, "ASC"}, {0xDD, "PI"}, {0xDE, "REC"},
    {0xDF, "MAX"}, {0xE0, "MIN"}, {0xE1, "RPT$"}, {0xE8, "NUMERIC"}, {0xE9, "DIGIT"}, {0xEA, "UALPHA"},
    {0xEB, "SIZE"}, {0xEC, "ALL"}, {0xED, "USING"}, {0xEE, "BEEP"}, {0xEF, "ERASE"}, {0xF0, "AT"},
    {0xF1, "BASE"}, {0xF3, "VARIABLE"}, {0xF4, "RELATIVE"}, {0xF5, "INTERNAL"}, {0xF6, "SEQUENTIAL"},
    {0xF7, "OUTPUT"}, {0xF8, "UPDATE"}, {0xF9, "APPEND"}, {0xFA, "FIXED"}, {0xFB, "PERMANENT"}, {0xFC, "TAB"},
    {0xFD, "#"}, {0xFE, "VALIDATE"},
};

// The text of each token code, null for codes that are no keyword.
struct KeywordTable {
    const char *by_code[256] = {};
    KeywordTable()
    {
        for (const Keyword &k : keywords) by_code[k.code] = k.text;
    }
};

const KeywordTable &keyword_table()
{
    static const KeywordTable table;
    return table;
}

// The code of a keyword spelled in capitals, 0 when it is none.
uint8_t keyword_code(const char *word, size_t size)
{
    for (const Keyword &k : keywords)
        if (std::strlen(k.text) == size && std::memcmp(k.text, word, size) == 0) return k.code;
    return 0;
}

bool is_letter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '@' || c == '_';
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Keywords after which a number is a line number (and so are the numbers of
// a comma list that follows, as in ON ... GOTO).
bool takes_line_numbers(uint8_t code)
{
    switch (code) {
    case TOK_ELSE: case TOK_GOTO: case TOK_GOSUB: case TOK_BREAK: case TOK_UNBREAK:
    case TOK_RESTORE: case TOK_ERROR: case TOK_RUN: case TOK_THEN:
        return true;
    default:
        return false;
    }
}

void append_string(std::vector<uint8_t> &tokens, uint8_t kind, const char *s, size_t n)
{
    tokens.push_back(kind);
    tokens.push_back(static_cast<uint8_t>(n));
    tokens.insert(tokens.end(), s, s + n);
}

struct Tokenizer {
    const char *p;
    const char *end;
    std::vector<uint8_t> &tokens;
    std::string &error;

    void skip_blanks()
    {
        while (p < end && *p == ' ') p++;
    }

    bool at_separator() const { return end - p >= 2 && p[0] == ':' && p[1] == ':'; }

    // A quoted string from its opening quote; a doubled quote is one.
    bool quoted()
    {
        std::string s;
        for (p++;; p++) {
            if (p == end) {
                error = "unterminated string";
                return false;
            }
            if (*p == '"') {
                if (end - p >= 2 && p[1] == '"') {
                    p++;
                } else {
                    p++;
                    break;
                }
            }
            s += *p;
        }
        if (s.size() > 255) {
            error = "a string of more than 255 characters";
            return false;
        }
        append_string(tokens, TOK_QUOTED, s.data(), s.size());
        return true;
    }

    // DATA items up to the end of the statement: quoted strings or the text
    // up to the next comma without its outer blanks.
    bool data_items()
    {
        for (;;) {
            skip_blanks();
            if (p < end && *p == '"') {
                if (!quoted()) return false;
                skip_blanks();
            } else {
                const char *start = p;
                while (p < end && *p != ',' && !at_separator()) p++;
                const char *stop = p;
                while (stop > start && stop[-1] == ' ') stop--;
                if (stop - start > 255) {
                    error = "a DATA item of more than 255 characters";
                    return false;
                }
                if (!control_free(start, stop)) return false;
                append_string(tokens, TOK_UNQUOTED, start, static_cast<size_t>(stop - start));
            }
            if (p < end && *p == ',') {
                tokens.push_back(TOK_COMMA);
                p++;
                continue;
            }
            if (p == end || at_separator()) return true;
            error = std::string("unexpected '") + *p + "' after a quoted DATA item";
            return false;
        }
    }

    // A control character where text is kept as written: a TI cannot type
    // one, and a listing would not keep it.
    bool control_free(const char *from, const char *to)
    {
        for (const char *q = from; q < to; q++)
            if (static_cast<unsigned char>(*q) < 0x20 || *q == 0x7F) {
                error = "unexpected character code " + std::to_string(static_cast<unsigned char>(*q));
                return false;
            }
        return true;
    }

    // The rest of the line, after REM or "!" and one blank.
    bool remark()
    {
        if (p < end && *p == ' ') p++;
        if (!control_free(p, end)) return false;
        tokens.insert(tokens.end(), p, end);
        p = end;
        return true;
    }

    bool run()
    {
        bool line_numbers = false;  // numbers are line numbers here
        size_t name_end = 0;        // the token count after the last name
        std::string last_name;
        uint8_t last = 0;           // the last keyword token, 0 after anything else
        while (p < end) {
            const char c = *p;
            if (c == ' ') {
                p++;
                continue;
            }
            const bool was_line_numbers = line_numbers;
            line_numbers = false;
            const uint8_t before = last;
            last = 0;
            if (at_separator()) {
                tokens.push_back(TOK_STATEMENT_SEP);
                p += 2;
            } else if (c == '"') {
                if (!quoted()) return false;
            } else if (is_digit(c) || (c == '.' && end - p >= 2 && is_digit(p[1]))) {
                const char *start = p;
                while (p < end && is_digit(*p)) p++;
                const char *digits_end = p;
                if (p < end && *p == '.') {
                    p++;
                    while (p < end && is_digit(*p)) p++;
                }
                if (p < end && (*p == 'E' || *p == 'e')) {
                    const char *q = p + 1;
                    if (q < end && (*q == '+' || *q == '-')) q++;
                    if (q < end && is_digit(*q)) {
                        while (q < end && is_digit(*q)) q++;
                        p = q;
                    }
                }
                // A whole number where line numbers go is one.
                if (was_line_numbers && p == digits_end && p - start <= 5) {
                    const long n = std::strtol(std::string(start, p).c_str(), nullptr, 10);
                    if (n >= 1 && n <= XB_LINE_MAX) {
                        tokens.push_back(TOK_LINE_NUMBER);
                        tokens.push_back(static_cast<uint8_t>(n >> 8));
                        tokens.push_back(static_cast<uint8_t>(n));
                        line_numbers = true;
                        continue;
                    }
                }
                if (p - start > 255) {
                    error = "a number of more than 255 characters";
                    return false;
                }
                append_string(tokens, TOK_UNQUOTED, start, static_cast<size_t>(p - start));
            } else if (is_letter(c)) {
                const char *start = p;
                while (p < end && (is_letter(*p) || is_digit(*p))) p++;
                if (p < end && *p == '$') p++;
                char word[16];
                const size_t n = static_cast<size_t>(p - start);
                uint8_t code = 0;
                if (n < sizeof word) {
                    for (size_t i = 0; i < n; i++) word[i] = upper(start[i]);
                    code = keyword_code(word, n);
                }
                if (code == 0) {
                    // Two names in a row would list as one (and "P RINT" as
                    // PRINT); XB has no statement where one follows another.
                    if (name_end == tokens.size() && !tokens.empty()) {
                        error = "a name follows a name ('" + std::string(start, p) + "' after '" + last_name + "')";
                        return false;
                    }
                    for (const char *q = start; q < p; q++) tokens.push_back(static_cast<uint8_t>(upper(*q)));
                    last_name.assign(start, p);
                    name_end = tokens.size();
                    continue;
                }
                tokens.push_back(code);
                last = code;
                if (code == TOK_REM) {
                    if (!remark()) return false;
                } else if (code == TOK_DATA) {
                    if (!data_items()) return false;
                } else if (code == TOK_CALL || (code == TOK_SUB && before != TOK_GO)) {
                    skip_blanks();
                    if (p < end && is_letter(*p)) {
                        const char *name = p;
                        while (p < end && (is_letter(*p) || is_digit(*p))) p++;
                        std::string s;
                        for (const char *q = name; q < p; q++) s += upper(*q);
                        append_string(tokens, TOK_UNQUOTED, s.data(), s.size());
                    }
                } else {
                    line_numbers = takes_line_numbers(code) ||
                                   (before == TOK_GO && (code == TOK_TO || code == TOK_SUB));
                }
            } else if (c == '!') {
                tokens.push_back(TOK_TAIL_REMARK);
                p++;
                if (!remark()) return false;
            } else if (c == ',' && was_line_numbers) {
                tokens.push_back(TOK_COMMA);
                p++;
                line_numbers = true;
            } else {
                const uint8_t code = c == ':' ? 0xB5 : keyword_code(&c, 1);
                if (code == 0) {
                    const unsigned char u = static_cast<unsigned char>(c);
                    error = u >= 0x20 && u < 0x7F ? std::string("unexpected character '") + c + "'"
                                                 : "unexpected character code " + std::to_string(u);
                    return false;
                }
                tokens.push_back(code);
                p++;
            }
        }
        return true;
    }
};

}  // namespace

bool xb_tokenize_statements(const char *text, size_t size, std::vector<uint8_t> &tokens, std::string &error)
{
    Tokenizer t{text, text + size, tokens, error};
    return t.run();
}

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
        while (p < end && *p == ' ') p++;
        if (p == end) continue;

        const char *digits = p;
        while (p < end && is_digit(*p)) p++;
        if (p == digits) {
            error = "line " + std::to_string(text_line) + " of the text has no line number";
            return false;
        }
        const std::string number_text(digits, p);
        const long number = number_text.size() > 5 ? 99999 : std::strtol(number_text.c_str(), nullptr, 10);
        if (number < 1 || number > XB_LINE_MAX) {
            error = "line number " + number_text + " (line " + std::to_string(text_line) +
                    " of the text) is outside 1 to 32767";
            return false;
        }
        const std::string where = "line " + std::to_string(number);
        XbLine line;
        line.number = static_cast<int>(number);
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
        auto found = by_number.find(line.number);
        if (found != by_number.end()) {
            warnings.push_back(where + " is given twice: the later one is kept");
            found->second = std::move(line);
        } else {
            by_number.emplace(line.number, std::move(line));
        }
    }
    lines.clear();
    for (auto &entry : by_number) lines.push_back(std::move(entry.second));
    return true;
}

namespace {

bool is_word_char(char c)
{
    return is_letter(c) || is_digit(c) || c == '$' || c == '.';
}

// Keywords written as words that LIST sets off with blanks: the statements
// and operators. Functions and the words of clauses (AT, TAB, VALIDATE,
// BEEP, ...) go straight against their neighbours.
bool is_spaced_keyword(uint8_t code)
{
    const char *text = keyword_table().by_code[code];
    return text != nullptr && is_letter(text[0]) && code < 0xCA;
}

// Appends a piece of a listed line with the blank it needs in front: one
// between two word characters, two quotes or two colons (so that the
// tokenizer reads them apart again) and around the keywords LIST sets off.
void put(std::string &out, const std::string &piece, bool spaced_before)
{
    if (piece.empty()) return;
    const char last = out.empty() ? ' ' : out.back();
    if (last != ' ' && last != '(' && (spaced_before || (is_word_char(last) && is_word_char(piece[0])) ||
                                       (last == '"' && piece[0] == '"') || (last == ':' && piece[0] == ':')))
        out += ' ';
    out += piece;
}

}  // namespace

std::string xb_list_line(const XbLine &line)
{
    const std::vector<uint8_t> &t = line.tokens;
    const KeywordTable &table = keyword_table();
    std::string out = std::to_string(line.number);
    out += ' ';
    bool after_keyword = false;  // the last piece was a keyword set off with blanks
    for (size_t i = 0; i < t.size();) {
        const uint8_t code = t[i++];
        std::string piece;
        bool spaced = after_keyword;
        after_keyword = false;
        if (code == TOK_QUOTED || code == TOK_UNQUOTED) {
            const size_t n = i < t.size() ? std::min<size_t>(t[i], t.size() - i - 1) : 0;
            const char *s = reinterpret_cast<const char *>(t.data()) + i + 1;
            if (code == TOK_QUOTED) {
                piece = "\"";
                for (size_t k = 0; k < n; k++) {
                    if (s[k] == '"') piece += '"';
                    piece += s[k];
                }
                piece += '"';
            } else {
                piece.assign(s, n);
            }
            i += 1 + n;
            if (i > t.size()) i = t.size();
        } else if (code == TOK_LINE_NUMBER) {
            const unsigned n = i + 1 < t.size() ? (t[i] << 8u) | t[i + 1] : 0;
            piece = std::to_string(n);
            i += 2;
            if (i > t.size()) i = t.size();
        } else if (code == TOK_REM || code == TOK_TAIL_REMARK) {
            put(out, table.by_code[code], code == TOK_REM || (!out.empty() && out.back() != ' '));
            if (i < t.size()) {
                out += ' ';
                out.append(reinterpret_cast<const char *>(t.data()) + i, t.size() - i);
            }
            return out;
        } else if (code == TOK_STATEMENT_SEP) {
            put(out, "::", true);
            after_keyword = true;
            continue;
        } else if (code >= 0x80) {
            const char *text = table.by_code[code];
            piece = text ? text : "?";
            if (is_spaced_keyword(code)) {
                spaced = true;
                after_keyword = true;
            }
        } else {
            // A variable name: its characters up to the next token.
            piece += static_cast<char>(code);
            while (i < t.size() && t[i] < 0x80) piece += static_cast<char>(t[i++]);
        }
        if (!piece.empty() && (piece[0] == ')' || piece[0] == ',' || piece[0] == ';')) spaced = false;
        put(out, piece, spaced);
    }
    if (t.empty()) out.pop_back();
    return out;
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
