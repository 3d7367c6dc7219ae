// Reading kelvaro's listings: lines, statements, numbers, then rows checked
// against the ranges that CALL SOUND accepts.
#include "output/listing.h"

#include <cctype>
#include <cstdlib>
#include <string_view>

#include "output/player_line.h"
#include "xbsound/timing.h"

namespace {

constexpr int32_t MIN_HZ = 110;
constexpr int32_t MAX_HZ = 44733;
constexpr int32_t MAX_VOLUME = 30;
constexpr int32_t MAX_DURATION = static_cast<int32_t>(CALL_SOUND_MAX_MS);

struct Number {
    int64_t value;
    uint32_t line;
};

// Lower case, blanks removed: how two spellings of a statement compare.
std::string squeeze(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (c != ' ' && c != '\t') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool starts_with(const std::string &s, const char *prefix)
{
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::string where(const std::string &name, uint32_t line)
{
    return name + ", line " + std::to_string(line) + ": ";
}

// Comma-separated whole numbers (a sign allowed). False on an empty item or
// anything that is not a number of at most nine digits.
bool parse_numbers(const std::string &list, uint32_t line, std::vector<Number> &out, std::string &bad)
{
    size_t pos = 0;
    for (;;) {
        size_t comma = list.find(',', pos);
        std::string item = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        size_t digits = (!item.empty() && (item[0] == '-' || item[0] == '+')) ? 1 : 0;
        bool ok = item.size() > digits && item.size() - digits <= 9;
        for (size_t i = digits; ok && i < item.size(); i++) ok = std::isdigit(static_cast<unsigned char>(item[i])) != 0;
        if (!ok) {
            bad = item.empty() ? "an empty item" : "'" + item + "', which is not a whole number";
            return false;
        }
        out.push_back(Number{std::strtoll(item.c_str(), nullptr, 10), line});
        if (comma == std::string::npos) return true;
        pos = comma + 1;
    }
}

struct RowChecker {
    const std::string &name;
    std::string &error;

    bool in_range(int64_t value, int64_t lo, int64_t hi, const char *what, uint32_t line)
    {
        if (value >= lo && value <= hi) return true;
        error = where(name, line) + what + " " + std::to_string(value) + " is out of range (" + std::to_string(lo) +
                " to " + std::to_string(hi) + ")";
        return false;
    }

    // A duration as CALL SOUND takes it: not 0; a negative one cuts the sound
    // before it instead of waiting, which in a sequence of rows plays the same.
    bool duration(int64_t value, uint32_t line, ListingRow &row, std::vector<std::string> &warnings)
    {
        if (!in_range(value < 0 ? -value : value, 1, 999999, "duration", line)) return false;
        row.duration = static_cast<int32_t>(value < 0 ? -value : value);
        row.line = line;
        if (row.duration > MAX_DURATION)
            warnings.push_back(where(name, line) + "a row of " + std::to_string(row.duration) +
                               " ms is longer than CALL SOUND accepts (" + std::to_string(MAX_DURATION) +
                               " ms): the TI stops there with"
                               " * BAD VALUE; it is played as written");
        return true;
    }

    bool tone(int64_t hz, int64_t volume, uint32_t line, ListingRow &row, int voice)
    {
        if (!in_range(hz, MIN_HZ, MAX_HZ, "frequency", line) || !in_range(volume, 0, MAX_VOLUME, "volume", line))
            return false;
        row.hz[voice] = static_cast<int32_t>(hz);
        row.volume[voice] = static_cast<int32_t>(volume);
        return true;
    }

    bool noise(int64_t type, int64_t volume, uint32_t line, ListingRow &row)
    {
        if (!in_range(type, 1, 8, "noise type", line) || !in_range(volume, 0, MAX_VOLUME, "volume", line))
            return false;
        row.noise = static_cast<int32_t>(type);
        row.noise_volume = static_cast<int32_t>(volume);
        return true;
    }
};

// CALL SOUND(d, f1, v1 [, f2, v2 [, f3, v3]] [, noise, vn]) with numbers:
// tones have positive frequencies, the noise voice a type -1 to -8.
bool statement_row(const std::vector<Number> &args, uint32_t line, RowChecker &check, ListingRow &row,
                   std::vector<std::string> &warnings)
{
    if (args.size() < 3 || args.size() % 2 == 0) {
        check.error = where(check.name, line) + "CALL SOUND needs a duration and pairs of frequency and volume";
        return false;
    }
    if (!check.duration(args[0].value, line, row, warnings)) return false;
    int tones = 0;
    bool noise = false;
    for (size_t i = 1; i < args.size(); i += 2) {
        const int64_t f = args[i].value, v = args[i + 1].value;
        if (f < 0) {
            if (noise) {
                check.error = where(check.name, line) + "CALL SOUND plays one noise voice at most";
                return false;
            }
            if (!check.noise(-f, v, line, row)) return false;
            noise = true;
        } else {
            if (tones == 3 || noise) {
                check.error = where(check.name, line) + "CALL SOUND plays three tones at most, before the noise";
                return false;
            }
            if (!check.tone(f, v, line, row, tones++)) return false;
        }
    }
    return true;
}

// What the lines read so far hold: rows of CALL SOUND statements (in the
// listing), the numbers of DATA lines, the player line.
struct ListingText {
    ListingText(const std::string &name_, std::string &error_, Listing &listing_)
        : name(name_), error(error_), listing(listing_), check{name_, error_}
    {
    }
    const std::string &name;
    std::string &error;
    Listing &listing;
    RowChecker check;
    std::vector<Number> numbers;
    uint32_t player_line = 0;
    bool player_noise_voice = false;
};

// One statement of line `line` (lower case, blanks removed). False at the
// end of the line's statements (a remark) or, with the error set, on a fault.
bool read_statement(const std::string &st, uint32_t line, ListingText &t, bool &remark)
{
    // A remark, and RUN "DSK1.LOAD", which ends a song on a disk with a
    // menu (the song is over; what it runs next is another program): the
    // rest of the line plays nothing.
    if (starts_with(st, "rem") || st[0] == '!' || starts_with(st, "run\"")) {
        remark = true;
        return true;
    }
    std::string bad;
    if (starts_with(st, "data")) {
        if (parse_numbers(st.substr(4), line, t.numbers, bad)) return true;
        t.error = where(t.name, line) + "DATA holds " + bad;
        return false;
    }
    if (starts_with(st, "callsound(") && st.back() == ')') {
        std::vector<Number> args;
        if (!parse_numbers(st.substr(10, st.size() - 11), line, args, bad)) {
            t.error = where(t.name, line) + "CALL SOUND holds " + bad;
            return false;
        }
        ListingRow row;
        if (!statement_row(args, line, t.check, row, t.listing.warnings)) return false;
        t.listing.noise = t.listing.noise || row.noise != 0;
        t.listing.rows.push_back(row);
        return true;
    }
    t.error = where(t.name, line) + "not a line that kelvaro writes (DATA, CALL SOUND or its player line)";
    return false;
}

// One line of the file (without its end of line): its XB line number, when
// there is one, then the player line or statements separated by "::".
bool read_line(std::string_view raw, uint32_t line, ListingText &t)
{
    static const std::string plain = squeeze(xb_player_line(false));
    static const std::string with_noise = squeeze(xb_player_line(true));
    size_t i = 0;
    while (i < raw.size() && std::isspace(static_cast<unsigned char>(raw[i]))) i++;
    const size_t digits = i;
    while (i < raw.size() && std::isdigit(static_cast<unsigned char>(raw[i]))) i++;
    if (i > digits) t.listing.program_lines++;
    const std::string body = squeeze(raw.substr(i));
    if (body.empty() || body == "\r") return true;
    const std::string stripped = body.back() == '\r' ? body.substr(0, body.size() - 1) : body;
    if (stripped == plain || stripped == with_noise) {
        t.player_line = line;
        t.player_noise_voice = stripped == with_noise;
        return true;
    }
    size_t start = 0;
    while (start <= stripped.size()) {
        size_t end = stripped.find("::", start);
        const std::string st = stripped.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? stripped.size() + 1 : end + 2;
        if (st.empty()) continue;
        bool remark = false;
        if (!read_statement(st, line, t, remark)) return false;
        if (remark) break;
    }
    return true;
}

// The listing of CALL SOUND statements: nothing else may be in it.
bool finish_statements(ListingText &t)
{
    if (!t.numbers.empty() || t.player_line != 0) {
        t.error = t.name + ": mixes CALL SOUND statements with DATA lines or a player line";
        return false;
    }
    t.listing.form = XbForm::statements;
    return true;
}

// The numbers a row takes in the DATA (7, or 9 with the noise voice), told
// by the player line or, without one, by the row count; 0 with the error
// set when the DATA does not hold the rows.
size_t numbers_per_row(const ListingText &t, int64_t count)
{
    const size_t rest = t.numbers.size() - 1;
    const uint32_t count_line = t.numbers[0].line;
    if (t.player_line != 0) {
        const size_t per_row = t.player_noise_voice ? 9 : 7;
        if (rest < per_row * static_cast<size_t>(count)) {
            t.error = where(t.name, t.numbers.back().line) + "the DATA ends after " + std::to_string(rest / per_row) +
                      " whole rows but the row count on line " + std::to_string(count_line) + " is " +
                      std::to_string(count) + " (the TI stops with * DATA ERROR)";
            return 0;
        }
        return per_row;
    }
    if (count > 0 && rest == 9 * static_cast<size_t>(count)) return 9;
    if (rest != 7 * static_cast<size_t>(count) && count > 0) {
        t.error = where(t.name, count_line) + "the row count " + std::to_string(count) + " does not match the " +
                  std::to_string(rest) + " numbers after it (7 or 9 a row)";
        return 0;
    }
    return 7;
}

// The rows of the DATA lines: the row count, then 7 or 9 numbers a row.
bool finish_data(ListingText &t)
{
    Listing &listing = t.listing;
    if (t.numbers.empty()) {
        t.error = t.name + (t.player_line != 0 ? ": has the player line but no DATA lines"
                                               : ": holds no DATA lines nor CALL SOUND statements: not a listing kelvaro writes");
        return false;
    }
    listing.form = t.player_line != 0 ? XbForm::program : XbForm::data;
    const int64_t count = t.numbers[0].value;
    if (count < 0) {
        t.error = where(t.name, t.numbers[0].line) + "the row count " + std::to_string(count) + " is negative";
        return false;
    }
    const size_t per_row = numbers_per_row(t, count);
    if (per_row == 0) return false;
    if (t.numbers.size() - 1 > per_row * static_cast<size_t>(count))
        listing.warnings.push_back(where(t.name, t.numbers[1 + per_row * static_cast<size_t>(count)].line) +
                                   "numbers after the last row are not played");
    listing.noise = per_row == 9;
    listing.rows.reserve(static_cast<size_t>(count));
    for (size_t r = 0; r < static_cast<size_t>(count); r++) {
        const Number *n = &t.numbers[1 + r * per_row];
        ListingRow row;
        if (!t.check.duration(n[0].value, n[0].line, row, listing.warnings)) return false;
        for (int v = 0; v < 3; v++)
            if (!t.check.tone(n[1 + 2 * v].value, n[2 + 2 * v].value, n[1 + 2 * v].line, row, v)) return false;
        if (per_row == 9 && !t.check.noise(n[7].value, n[8].value, n[7].line, row)) return false;
        listing.rows.push_back(row);
    }
    return true;
}

}  // namespace

bool looks_like_text(const std::vector<uint8_t> &bytes)
{
    size_t control = 0;
    for (uint8_t b : bytes) {
        if (b == 0) return false;
        if (b < 0x20 && b != '\n' && b != '\r' && b != '\t') control++;
    }
    return control * 100 <= bytes.size();
}

bool read_listing(const std::string &text, const std::string &name, Listing &listing, std::string &error)
{
    listing = Listing();
    ListingText t(name, error, listing);
    uint32_t line = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string_view raw(text.data() + pos, eol - pos);
        pos = eol + 1;
        line++;
        if (!read_line(raw, line, t)) return false;
    }
    return listing.rows.empty() ? finish_data(t) : finish_statements(t);
}
