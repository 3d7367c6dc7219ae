// Reading kelvaro's listings: lines, statements, numbers, then rows checked
// against the ranges that CALL SOUND accepts.
#include "output/listing.h"

#include <cctype>
#include <cstdlib>
#include <string_view>

#include "xbsound/timing.h"

namespace {

// The two player lines the PROGRAM form starts with, without the line number.
const char *const player_plain =
    "read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3::call sound(d,s1,v1,s2,v2,s3,v3)::next c";
const char *const player_noise =
    "read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3,s4,v4::call sound(d,s1,v1,s2,v2,s3,v3,-s4,v4)::next c";

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

const char *listing_form_name(ListingForm form)
{
    switch (form) {
    case ListingForm::program: return "PROGRAM";
    case ListingForm::data: return "DATA";
    case ListingForm::statements: return "CALL SOUND";
    }
    return "";
}

bool read_listing(const std::string &text, const std::string &name, Listing &listing, std::string &error)
{
    listing = Listing();
    RowChecker check{name, error};
    std::vector<Number> numbers;
    uint32_t player_line = 0;
    bool player_noise_voice = false;
    uint32_t line = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string_view raw(text.data() + pos, eol - pos);
        pos = eol + 1;
        line++;
        // The XB line number, when there is one.
        size_t i = 0;
        while (i < raw.size() && std::isspace(static_cast<unsigned char>(raw[i]))) i++;
        const size_t digits = i;
        while (i < raw.size() && std::isdigit(static_cast<unsigned char>(raw[i]))) i++;
        if (i > digits) listing.program_lines++;
        const std::string body = squeeze(raw.substr(i));
        if (body.empty() || body == "\r") continue;
        const std::string stripped = body.back() == '\r' ? body.substr(0, body.size() - 1) : body;
        if (stripped == squeeze(player_plain) || stripped == squeeze(player_noise)) {
            player_line = line;
            player_noise_voice = stripped == squeeze(player_noise);
            continue;
        }
        size_t start = 0;
        while (start <= stripped.size()) {
            size_t end = stripped.find("::", start);
            const std::string st = stripped.substr(start, end == std::string::npos ? std::string::npos : end - start);
            start = end == std::string::npos ? stripped.size() + 1 : end + 2;
            if (st.empty()) continue;
            if (starts_with(st, "rem") || st[0] == '!') break;  // the rest of the line is a remark
            // RUN "DSK1.LOAD", which ends a song on a disk with a menu: the
            // song is over, what it runs next is another program.
            if (starts_with(st, "run\"")) break;
            std::string bad;
            if (starts_with(st, "data")) {
                if (!parse_numbers(st.substr(4), line, numbers, bad)) {
                    error = where(name, line) + "DATA holds " + bad;
                    return false;
                }
            } else if (starts_with(st, "callsound(") && st.back() == ')') {
                std::vector<Number> args;
                if (!parse_numbers(st.substr(10, st.size() - 11), line, args, bad)) {
                    error = where(name, line) + "CALL SOUND holds " + bad;
                    return false;
                }
                ListingRow row;
                if (!statement_row(args, line, check, row, listing.warnings)) return false;
                listing.noise = listing.noise || row.noise != 0;
                listing.rows.push_back(row);
            } else {
                error = where(name, line) + "not a line that kelvaro writes (DATA, CALL SOUND or its player line)";
                return false;
            }
        }
    }

    if (!listing.rows.empty()) {
        if (!numbers.empty() || player_line != 0) {
            error = name + ": mixes CALL SOUND statements with DATA lines or a player line";
            return false;
        }
        listing.form = ListingForm::statements;
        return true;
    }
    if (numbers.empty()) {
        error = name + (player_line != 0 ? ": has the player line but no DATA lines"
                                         : ": holds no DATA lines nor CALL SOUND statements: not a listing kelvaro writes");
        return false;
    }
    listing.form = player_line != 0 ? ListingForm::program : ListingForm::data;
    const int64_t count = numbers[0].value;
    const uint32_t count_line = numbers[0].line;
    if (count < 0) {
        error = where(name, count_line) + "the row count " + std::to_string(count) + " is negative";
        return false;
    }
    const size_t rest = numbers.size() - 1;
    size_t per_row = 7;
    if (player_line != 0) {
        per_row = player_noise_voice ? 9 : 7;
        if (rest < per_row * static_cast<size_t>(count)) {
            error = where(name, numbers.back().line) + "the DATA ends after " + std::to_string(rest / per_row) +
                    " whole rows but the row count on line " + std::to_string(count_line) + " is " +
                    std::to_string(count) + " (the TI stops with * DATA ERROR)";
            return false;
        }
    } else if (count > 0 && rest == 9 * static_cast<size_t>(count)) {
        per_row = 9;
    } else if (rest != 7 * static_cast<size_t>(count) && count > 0) {
        error = where(name, count_line) + "the row count " + std::to_string(count) + " does not match the " +
                std::to_string(rest) + " numbers after it (7 or 9 a row)";
        return false;
    }
    if (rest > per_row * static_cast<size_t>(count))
        listing.warnings.push_back(where(name, numbers[1 + per_row * static_cast<size_t>(count)].line) +
                                   "numbers after the last row are not played");
    listing.noise = per_row == 9;
    listing.rows.reserve(static_cast<size_t>(count));
    for (size_t r = 0; r < static_cast<size_t>(count); r++) {
        const Number *n = &numbers[1 + r * per_row];
        ListingRow row;
        if (!check.duration(n[0].value, n[0].line, row, listing.warnings)) return false;
        for (int v = 0; v < 3; v++)
            if (!check.tone(n[1 + 2 * v].value, n[2 + 2 * v].value, n[1 + 2 * v].line, row, v)) return false;
        if (per_row == 9 && !check.noise(n[7].value, n[8].value, n[7].line, row)) return false;
        listing.rows.push_back(row);
    }
    return true;
}
