// The tokenizer: the statements of one line as the TI crunches them.
#include <cstdlib>

#include "xb/keywords.h"
#include "xb/tokenize.h"

namespace {

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
    bool line_numbers = false;  // a number here is a line number
    uint8_t last_keyword = 0;   // the last token when it was a keyword, else 0
    size_t name_end = 0;        // the token count after the last name
    std::string last_name;

    Tokenizer(const char *text, size_t size, std::vector<uint8_t> &out, std::string &why)
        : p(text), end(text + size), tokens(out), error(why)
    {
    }

    bool run()
    {
        while (p < end) {
            if (*p == ' ') {
                p++;
                continue;
            }
            const bool in_line_numbers = line_numbers;
            const uint8_t before = last_keyword;
            line_numbers = false;
            last_keyword = 0;
            if (!token(in_line_numbers, before)) return false;
        }
        return true;
    }

    // One token from p on, which is no blank.
    bool token(bool in_line_numbers, uint8_t before)
    {
        const char c = *p;
        if (at_separator()) {
            tokens.push_back(XB_TOK_STATEMENT_SEP);
            p += 2;
            return true;
        }
        if (c == '"') return quoted();
        if (xb_is_digit(c) || (c == '.' && end - p >= 2 && xb_is_digit(p[1]))) return number(in_line_numbers);
        if (xb_is_letter(c)) return word(before);
        if (c == '!') {
            tokens.push_back(XB_TOK_TAIL_REMARK);
            p++;
            return remark();
        }
        if (c == ',' && in_line_numbers) {
            tokens.push_back(XB_TOK_COMMA);
            p++;
            line_numbers = true;
            return true;
        }
        return sign();
    }

    bool at_separator() const { return end - p >= 2 && p[0] == ':' && p[1] == ':'; }

    void skip_blanks()
    {
        while (p < end && *p == ' ') p++;
    }

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
                if (end - p < 2 || p[1] != '"') {
                    p++;
                    break;
                }
                p++;
            }
            s += *p;
        }
        if (s.size() > 255) {
            error = "a string of more than 255 characters";
            return false;
        }
        append_string(tokens, XB_TOK_QUOTED, s.data(), s.size());
        return true;
    }

    // A number as written: digits, a fraction, an exponent. A whole number
    // of 1 to 32767 where line numbers go is a line number.
    bool number(bool in_line_numbers)
    {
        const char *start = p;
        while (p < end && xb_is_digit(*p)) p++;
        const char *digits_end = p;
        if (p < end && *p == '.') {
            p++;
            while (p < end && xb_is_digit(*p)) p++;
        }
        if (p < end && (*p == 'E' || *p == 'e')) {
            const char *q = p + 1;
            if (q < end && (*q == '+' || *q == '-')) q++;
            if (q < end && xb_is_digit(*q)) {
                while (q < end && xb_is_digit(*q)) q++;
                p = q;
            }
        }
        if (in_line_numbers && p == digits_end && p - start <= 5) {
            const long n = std::strtol(std::string(start, p).c_str(), nullptr, 10);
            if (n >= 1 && n <= XB_LINE_MAX) {
                tokens.push_back(XB_TOK_LINE_NUMBER);
                tokens.push_back(static_cast<uint8_t>(n >> 8));
                tokens.push_back(static_cast<uint8_t>(n));
                line_numbers = true;
                return true;
            }
        }
        if (p - start > 255) {
            error = "a number of more than 255 characters";
            return false;
        }
        append_string(tokens, XB_TOK_UNQUOTED, start, static_cast<size_t>(p - start));
        return true;
    }

    // A word: a keyword in any case, or a variable name kept in capitals.
    bool word(uint8_t before)
    {
        const char *start = p;
        while (p < end && (xb_is_letter(*p) || xb_is_digit(*p))) p++;
        if (p < end && *p == '$') p++;
        char spelled[16];
        const size_t n = static_cast<size_t>(p - start);
        uint8_t code = 0;
        if (n < sizeof spelled) {
            for (size_t i = 0; i < n; i++) spelled[i] = xb_upper(start[i]);
            code = xb_keyword_code(spelled, n);
        }
        if (code != 0) return keyword(code, before);
        // Two names in a row would list as one (and "P RINT" as PRINT); XB
        // has no statement where one follows another.
        if (name_end == tokens.size() && !tokens.empty()) {
            error = "a name follows a name ('" + std::string(start, p) + "' after '" + last_name + "')";
            return false;
        }
        for (const char *q = start; q < p; q++) tokens.push_back(static_cast<uint8_t>(xb_upper(*q)));
        last_name.assign(start, p);
        name_end = tokens.size();
        return true;
    }

    // A keyword, and the text of the statements that keep their rest as
    // text: REM, DATA, IMAGE, and the name after CALL and SUB.
    bool keyword(uint8_t code, uint8_t before)
    {
        tokens.push_back(code);
        last_keyword = code;
        switch (code) {
        case XB_TOK_REM: return remark();
        case XB_TOK_DATA: return data_items();
        case XB_TOK_IMAGE: return image();
        case XB_TOK_CALL: subprogram_name(); return true;
        case XB_TOK_SUB:
            if (before == XB_TOK_GO) {
                line_numbers = true;
                return true;
            }
            subprogram_name();
            return true;
        default:
            line_numbers = xb_takes_line_numbers(code) || (before == XB_TOK_GO && code == XB_TOK_TO);
            return true;
        }
    }

    // The name after CALL or SUB, in capitals, as an unquoted string.
    void subprogram_name()
    {
        skip_blanks();
        if (p == end || !xb_is_letter(*p)) return;
        std::string s;
        for (; p < end && (xb_is_letter(*p) || xb_is_digit(*p)); p++) s += xb_upper(*p);
        append_string(tokens, XB_TOK_UNQUOTED, s.data(), s.size());
    }

    // A sign token (",", "(", "=", ...), or a character XB does not know.
    bool sign()
    {
        const char c = *p;
        const uint8_t code = xb_keyword_code(&c, 1);
        if (code == 0) {
            const unsigned char u = static_cast<unsigned char>(c);
            error = u >= 0x20 && u < 0x7F ? std::string("unexpected character '") + c + "'"
                                         : "unexpected character code " + std::to_string(u);
            return false;
        }
        tokens.push_back(code);
        p++;
        return true;
    }

    // The rest of the line after REM or "!", every blank included.
    bool remark()
    {
        if (!control_free(p, end)) return false;
        tokens.insert(tokens.end(), p, end);
        p = end;
        return true;
    }

    // DATA items up to the end of the statement: quoted strings, or the text
    // up to the next comma without its outer blanks; an empty item is the
    // comma alone.
    bool data_items()
    {
        for (;;) {
            skip_blanks();
            if (p < end && *p == '"') {
                if (!quoted()) return false;
                skip_blanks();
            } else if (!unquoted_text(true, "a DATA item")) {
                return false;
            }
            if (p < end && *p == ',') {
                tokens.push_back(XB_TOK_COMMA);
                p++;
                continue;
            }
            if (p == end || at_separator()) return true;
            error = std::string("unexpected '") + *p + "' after a quoted DATA item";
            return false;
        }
    }

    // IMAGE's format: a quoted string, or the text up to the end of the
    // statement without its outer blanks.
    bool image()
    {
        skip_blanks();
        if (p < end && *p == '"') return true;  // read as any quoted string
        return unquoted_text(false, "an IMAGE format");
    }

    // The text from p up to the end of the statement (or a comma) as an
    // unquoted string, without the blanks at its end; nothing when empty.
    bool unquoted_text(bool to_comma, const char *what)
    {
        const char *start = p;
        while (p < end && !(to_comma && *p == ',') && !at_separator()) p++;
        const char *stop = p;
        while (stop > start && stop[-1] == ' ') stop--;
        if (stop - start > 255) {
            error = std::string(what) + " of more than 255 characters";
            return false;
        }
        if (!control_free(start, stop)) return false;
        if (stop > start) append_string(tokens, XB_TOK_UNQUOTED, start, static_cast<size_t>(stop - start));
        return true;
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
};

}  // namespace

bool xb_tokenize_statements(const char *text, size_t size, std::vector<uint8_t> &tokens, std::string &error)
{
    return Tokenizer(text, size, tokens, error).run();
}
