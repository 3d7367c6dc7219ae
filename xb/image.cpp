#include "xb/image.h"

#include <algorithm>

namespace {

constexpr uint16_t LONG_MAGIC = 0xABCD;
constexpr uint8_t PAD_REMARK = 0x83;  // "!"
constexpr uint8_t PAD_FILL = 0x21;
constexpr size_t PADDED_TOKEN_TABLE = 254;

void put_word(std::vector<uint8_t> &b, unsigned w)
{
    b.resize(b.size() + 2);
    ti_put_word(&b[b.size() - 2], w);
}

size_t token_table_size(const std::vector<XbLine> &lines)
{
    size_t size = 0;
    for (const XbLine &line : lines) size += line.tokens.size() + 2;
    return size;
}

// The padding line 32767 that brings a token table of table bytes up to
// the padded size.
XbLine padding_line(size_t table)
{
    XbLine pad;
    pad.number = XB_LINE_MAX;
    pad.tokens.push_back(PAD_REMARK);
    if (table + 3 < PADDED_TOKEN_TABLE) pad.tokens.resize(PADDED_TOKEN_TABLE - table - 2, PAD_FILL);
    return pad;
}

bool is_padding(const XbLine &line, size_t rest_table)
{
    if (rest_table >= PADDED_TOKEN_TABLE) return false;
    const XbLine expected = padding_line(rest_table);
    return line.number == expected.number && line.tokens == expected.tokens;
}

// The tables of lines (descending by number) ending at top, from the
// line-number table's first byte.
std::vector<uint8_t> tables(const std::vector<XbLine> &descending, unsigned top, unsigned &lnt, unsigned &tok)
{
    const unsigned end = top + 1;
    tok = end - static_cast<unsigned>(token_table_size(descending));
    lnt = tok - 4 * static_cast<unsigned>(descending.size());
    std::vector<uint8_t> out;
    out.reserve(end - lnt);
    unsigned at = tok;
    for (const XbLine &line : descending) {
        put_word(out, static_cast<unsigned>(line.number));
        put_word(out, at + 1);
        at += static_cast<unsigned>(line.tokens.size()) + 2;
    }
    for (const XbLine &line : descending) {
        out.push_back(static_cast<uint8_t>(line.tokens.size() + 1));
        out.insert(out.end(), line.tokens.begin(), line.tokens.end());
        out.push_back(0);
    }
    return out;
}

}  // namespace

size_t xb_tables_size(const std::vector<XbLine> &lines)
{
    return 4 * lines.size() + token_table_size(lines);
}

XbFormat xb_default_format(const std::vector<XbLine> &lines)
{
    return xb_short_file_size(lines) <= XB_SHORT_FILE_LIMIT ? XbFormat::Short : XbFormat::Long;
}

bool xb_build_program(const std::vector<XbLine> &lines, XbFormat format, XbProgram &program, std::string &error)
{
    std::vector<XbLine> descending(lines.rbegin(), lines.rend());
    const size_t size = xb_tables_size(lines);
    program.format = format;
    program.bytes.clear();
    unsigned lnt = 0, tok = 0;
    if (format == XbFormat::Short) {
        if (size > XB_SHORT_TOP + 1u - 8u) {
            error = "the program takes " + std::to_string(size) + " bytes, more than the short format holds";
            return false;
        }
        const std::vector<uint8_t> t = tables(descending, XB_SHORT_TOP, lnt, tok);
        put_word(program.bytes, (tok - 1) ^ lnt);
        put_word(program.bytes, tok - 1);
        put_word(program.bytes, lnt);
        put_word(program.bytes, XB_SHORT_TOP);
        program.bytes.insert(program.bytes.end(), t.begin(), t.end());
        return true;
    }
    const size_t table = token_table_size(lines);
    if (table < PADDED_TOKEN_TABLE) {
        if (!descending.empty() && descending.front().number == XB_LINE_MAX) {
            error = "a long-format program this small gets a padding line 32767, which the program already has";
            return false;
        }
        descending.insert(descending.begin(), padding_line(table));
    }
    const size_t padded = xb_tables_size(descending);
    if (padded > XB_LONG_TABLES_LIMIT) {
        error = "the program takes " + std::to_string(padded) + " bytes, more than the " +
                std::to_string(XB_LONG_TABLES_LIMIT) + " bytes XB holds with the memory expansion";
        return false;
    }
    const std::vector<uint8_t> t = tables(descending, XB_LONG_TOP, lnt, tok);
    put_word(program.bytes, LONG_MAGIC);
    put_word(program.bytes, lnt);
    put_word(program.bytes, tok - 1);
    put_word(program.bytes, (tok - 1) ^ lnt);
    put_word(program.bytes, XB_LONG_TOP);
    program.bytes.insert(program.bytes.end(), t.begin(), t.end());
    return true;
}

std::vector<std::vector<uint8_t>> xb_long_records(const XbProgram &program)
{
    std::vector<std::vector<uint8_t>> records;
    const std::vector<uint8_t> &b = program.bytes;
    const size_t header = std::min<size_t>(10, b.size());
    records.emplace_back(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(header));
    for (size_t at = header; at < b.size(); at += XB_RECORD_SIZE) {
        const size_t n = std::min(XB_RECORD_SIZE, b.size() - at);
        records.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(at),
                             b.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    return records;
}

std::vector<uint8_t> xb_raw_file(const XbProgram &program)
{
    if (program.format == XbFormat::Short) return program.bytes;
    std::vector<uint8_t> file;
    for (const std::vector<uint8_t> &record : xb_long_records(program)) {
        file.push_back(static_cast<uint8_t>(record.size()));
        file.insert(file.end(), record.begin(), record.end());
    }
    return file;
}

bool xb_read_raw_file(const std::vector<uint8_t> &file, XbProgram &program, std::string &error)
{
    program.bytes.clear();
    if (file.size() >= 3 && file[0] == 10 && ti_word(&file[1]) == LONG_MAGIC) {
        program.format = XbFormat::Long;
        for (size_t at = 0; at < file.size();) {
            const size_t n = file[at];
            if (at + 1 + n > file.size()) {
                error = "a record runs past the end of the file";
                return false;
            }
            program.bytes.insert(program.bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at + 1),
                                 file.begin() + static_cast<std::ptrdiff_t>(at + 1 + n));
            at += 1 + n;
        }
        return true;
    }
    program.format = XbFormat::Short;
    program.bytes = file;
    return true;
}

bool xb_read_program(const XbProgram &program, std::vector<XbLine> &lines, std::string &error)
{
    lines.clear();
    const std::vector<uint8_t> &b = program.bytes;
    const bool is_long = program.format == XbFormat::Long;
    const size_t header = is_long ? 10 : 8;
    if (b.size() < header) {
        error = "too short for an XB program";
        return false;
    }
    unsigned check, last, lnt, top;
    if (is_long) {
        if (ti_word(&b[0]) != LONG_MAGIC) {
            error = "not an XB program (no long-format header)";
            return false;
        }
        lnt = ti_word(&b[2]);
        last = ti_word(&b[4]);
        check = ti_word(&b[6]);
        top = ti_word(&b[8]);
    } else {
        check = ti_word(&b[0]);
        last = ti_word(&b[2]);
        lnt = ti_word(&b[4]);
        top = ti_word(&b[6]);
    }
    if (check != (last ^ lnt) || lnt > last + 1 || last > top || (last + 1 - lnt) % 4 != 0) {
        error = "not an XB program (its header does not check)";
        return false;
    }
    const size_t size = top + 1 - lnt;
    if (b.size() - header < size) {
        error = "the program is cut short: its header gives " + std::to_string(size) +
                " bytes of tables, the file holds " +
                std::to_string(b.size() - header);
        return false;
    }
    const unsigned tok = last + 1;
    const size_t count = (tok - lnt) / 4;
    size_t table_bytes = 0;
    for (size_t k = 0; k < count; k++) {
        const size_t entry = header + 4 * k;
        XbLine line;
        line.number = static_cast<int>(ti_word(&b[entry]));
        const unsigned address = ti_word(&b[entry + 2]);
        if (address <= tok || address > top) {
            error = "line " + std::to_string(line.number) + " points outside the token table";
            return false;
        }
        const size_t at = header + (address - lnt);  // the first token byte
        const size_t length = b[at - 1];
        if (length == 0 || address + length - 1 > top) {
            error = "line " + std::to_string(line.number) + " runs past the end of the token table";
            return false;
        }
        // The length counts the closing 0x00, which the listing leaves out.
        line.tokens.assign(b.begin() + static_cast<std::ptrdiff_t>(at),
                           b.begin() + static_cast<std::ptrdiff_t>(at + length - 1));
        table_bytes += line.tokens.size() + 2;
        lines.push_back(std::move(line));
    }
    std::stable_sort(lines.begin(), lines.end(), [](const XbLine &a, const XbLine &c) { return a.number < c.number; });
    if (is_long && !lines.empty()) {
        const XbLine &highest = lines.back();
        if (is_padding(highest, table_bytes - highest.tokens.size() - 2)) lines.pop_back();
    }
    return true;
}
