#include "output/output.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>

#include "convert/rows.h"
#include "convert/settings.h"
#include "convert/song.h"
#include "output/player_line.h"
#include "base/file_write.h"

std::vector<int32_t> out_data_int;
int32_t out_data_size;
const int32_t values_per_line = 26;
int32_t line_num;

namespace {

void appendf(std::string &s, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

void appendf(std::string &s, const char *fmt, ...)
{
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0) s.append(buf, static_cast<size_t>(n) < sizeof buf ? static_cast<size_t>(n) : sizeof buf - 1);
}

// The first token ends at a comma, later ones at any of " ,.-".
bool is_delim(char c, bool first)
{
    return c == ',' || (!first && (c == ' ' || c == '.' || c == '-'));
}

// A token as a decimal number: its leading digits, 0 when there are none.
int32_t token_value(const char *start, const char *end)
{
    int32_t value = 0;
    std::from_chars(start, end, value);
    return value;
}

void append_int(std::string &s, int32_t value)
{
    char buf[16];
    char *end = std::to_chars(buf, buf + sizeof buf, value).ptr;
    s.append(buf, static_cast<size_t>(end - buf));
}

}  // namespace

void build_int_list()
{
    out_data_int.clear();
    out_data_int.push_back(tot_notes);
    // The first token ends at a comma, later ones at any of " ,.-": a minus
    // sign only delimits, so noise types -1 to -8 enter the list as 1 to 8.
    bool first = true;
    const char *p = out_data.data();
    const char *end = p + out_data.size();
    for (;;) {
        while (p < end && is_delim(*p, first)) p++;
        if (p >= end) break;
        const char *start = p;
        while (p < end && !is_delim(*p, first)) p++;
        out_data_int.push_back(token_value(start, p));
        first = false;
    }
    out_data_size = static_cast<int32_t>(out_data_int.size());
}

std::string format_output()
{
    std::string text;
    line_num = 1000;
    const bool with_noise = arg_noise == NOISE_ON;

    if (arg_output == OUTPUT_PROGRAM) appendf(text, "%d %s", line_num++, xb_player_line(with_noise));

    if (arg_output == OUTPUT_CALLSOUND) {
        // One statement per row; with the noise channel a row has 9 numbers
        // and the statement plays the noise voice too.
        const int32_t *e = out_data_int.data();
        if (with_noise) {
            for (int32_t i = 1; i + 8 < out_data_size; i += 9)
                appendf(text, "\n%d CALL SOUND(%d,%d,%d,%d,%d,%d,%d,-%d,%d)", line_num++, e[i], e[i + 1],
                        e[i + 2], e[i + 3], e[i + 4], e[i + 5], e[i + 6], e[i + 7], e[i + 8]);
        } else {
            for (int32_t i = 1; i + 6 < out_data_size; i += 7)
                appendf(text, "\n%d CALL SOUND(%d,%d,%d,%d,%d,%d,%d)", line_num++, e[i], e[i + 1], e[i + 2],
                        e[i + 3], e[i + 4], e[i + 5], e[i + 6]);
        }
    } else {
        int32_t counter = values_per_line;
        for (int32_t i = 0; i < out_data_size; i++) {
            if (counter == values_per_line) {
                if (arg_output == OUTPUT_PROGRAM)
                    appendf(text, "\n%d DATA ", line_num++);
                else
                    text += "\nDATA ";
            }
            append_int(text, out_data_int[i]);
            if (--counter == 0)
                counter = values_per_line;
            else if (i != out_data_size - 1)
                text += ',';
        }
    }
    text += '\n';
    return text;
}

bool convert_to_text(const uint8_t *data, uint32_t size, std::string &text)
{
    text.clear();
    if (!convert_rows(data, size)) return false;
    build_int_list();
    text = format_output();
    return true;
}

int write_output(const char *path, const char *clash)
{
    build_int_list();
    const std::string text = format_output();
    std::printf("\nTotal rows: %d\n", tot_notes);
    const int32_t past = line_num - 1 - XB_LINE_MAX;
    if (past > 0)
        std::printf("\nWARNING: %d %s numbered past %d, the highest line number XB accepts.\n", past,
                    past == 1 ? "line is" : "lines are", XB_LINE_MAX);
    std::vector<uint8_t>().swap(packed);
    packed_size = 0;

    if (path == nullptr) {
        std::printf("\nERROR: No OUTPUT file given.\n");
        return 1;
    }
    std::printf("\nOpening OUTPUT file: %s\n", path);
    if (clash != nullptr) {
        std::printf("\nERROR: Can't open OUTPUT file.\n%s\n", clash);
        return 1;
    }
    std::string error;
    WriteFailure failure;
    if (!write_file_atomic(path, std::vector<uint8_t>(text.begin(), text.end()), error, &failure)) {
        if (failure == WriteFailure::open) {
            // The system's reason, without the path that error begins with.
            const std::string named = std::string("cannot write ") + path + ": ";
            const std::string reason = error.compare(0, named.size(), named) == 0 ? error.substr(named.size()) : error;
            std::printf("\nERROR: Can't open OUTPUT file.\n%s\n", reason.c_str());
        } else {
            std::printf("\nERROR: Can't write OUTPUT file.\n");
        }
        return 1;
    }
    std::printf("\nDone.\n");
    return 0;
}
