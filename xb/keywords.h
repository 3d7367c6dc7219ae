// Extended BASIC's words and signs and their token codes, the characters
// names and numbers are made of, and how LIST sets each keyword off: what
// the tokenizer and the lister share.
#ifndef KELVARO_XB_KEYWORDS_H
#define KELVARO_XB_KEYWORDS_H

#include <cstddef>
#include <cstdint>

// The token codes the tokenizer and the lister treat on their own.
enum XbToken : uint8_t {
    XB_TOK_ELSE = 0x81,
    XB_TOK_STATEMENT_SEP = 0x82,
    XB_TOK_TAIL_REMARK = 0x83,
    XB_TOK_GO = 0x85,
    XB_TOK_GOTO = 0x86,
    XB_TOK_GOSUB = 0x87,
    XB_TOK_RETURN = 0x88,
    XB_TOK_BREAK = 0x8E,
    XB_TOK_UNBREAK = 0x8F,
    XB_TOK_DATA = 0x93,
    XB_TOK_RESTORE = 0x94,
    XB_TOK_REM = 0x9A,
    XB_TOK_CALL = 0x9D,
    XB_TOK_SUB = 0xA1,
    XB_TOK_IMAGE = 0xA3,
    XB_TOK_ERROR = 0xA5,
    XB_TOK_RUN = 0xA9,
    XB_TOK_THEN = 0xB0,
    XB_TOK_TO = 0xB1,
    XB_TOK_COMMA = 0xB3,
    XB_TOK_QUOTED = 0xC7,
    XB_TOK_UNQUOTED = 0xC8,
    XB_TOK_LINE_NUMBER = 0xC9,
    XB_TOK_USING = 0xED,
};

// The text of a keyword or sign token, null for a code that is none.
const char *xb_keyword_text(uint8_t code);

// The code of a keyword or sign spelled in capitals, 0 when it is none.
uint8_t xb_keyword_code(const char *word, size_t size);

// Keywords after which a number is a line number (and so are the numbers
// of a comma list that follows, as in ON ... GOTO): every place a program
// names a line, RETURN of an error handler and USING of an IMAGE line too.
bool xb_takes_line_numbers(uint8_t code);

// The keywords LIST follows with a blank: the statements, their words
// (THEN, TO, STEP, ELSE) and the logical operators. Functions and the words
// of clauses (AT, TAB, SIZE, BEEP, USING, ...) get none.
bool xb_blank_after(uint8_t code);

// A keyword spelled with letters, which LIST keeps apart from a name, a
// number or a string before it.
bool xb_is_word_keyword(uint8_t code);

inline bool xb_is_letter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '@' || c == '_';
}

inline bool xb_is_digit(char c)
{
    return c >= '0' && c <= '9';
}

inline char xb_upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

#endif
