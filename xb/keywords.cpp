#include "xb/keywords.h"

#include <cstring>

namespace {

struct Keyword {
    uint8_t code;
    const char *text;
};

// Every keyword and sign token, by code.
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

}  // namespace

const char *xb_keyword_text(uint8_t code)
{
    static const KeywordTable table;
    return table.by_code[code];
}

uint8_t xb_keyword_code(const char *word, size_t size)
{
    for (const Keyword &k : keywords)
        if (std::strlen(k.text) == size && std::memcmp(k.text, word, size) == 0) return k.code;
    return 0;
}

bool xb_takes_line_numbers(uint8_t code)
{
    switch (code) {
    case XB_TOK_ELSE: case XB_TOK_GOTO: case XB_TOK_GOSUB: case XB_TOK_BREAK: case XB_TOK_UNBREAK:
    case XB_TOK_RESTORE: case XB_TOK_ERROR: case XB_TOK_RUN: case XB_TOK_THEN: case XB_TOK_RETURN:
    case XB_TOK_USING:
        return true;
    default:
        return false;
    }
}

bool xb_is_word_keyword(uint8_t code)
{
    const char *text = xb_keyword_text(code);
    return text != nullptr && xb_is_letter(text[0]);
}

bool xb_blank_after(uint8_t code)
{
    // REM is followed by its text as stored; the statement range ends at
    // the logical operators, where the functions and the sign tokens begin.
    return xb_is_word_keyword(code) && code != XB_TOK_REM && code < 0xC6;
}
