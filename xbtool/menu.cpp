// The menu program of a disk of songs (see menu.h).
#include "xbtool/menu.h"

#include <cmath>

const char MENU_NAME[] = "LOAD";

namespace {

const char keys[] = "123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
// The first line, a remark by which a later run knows the menu as its own
// (whatever blanks the remark keeps).
constexpr int marker_line = 100;
const char marker_text[] = "MENU OF SONGS MADE BY XBTOOL";
constexpr int first_data_line = 200;
constexpr int first_run_line = 1001;
// Room a line of the menu keeps for the key ("1 ") and the length (" 12:34").
constexpr size_t title_width = MENU_WIDTH - 8;

std::string squeezed(const std::string &text)
{
    std::string out;
    for (char c : text)
        if (c != ' ') out += c;
    return out;
}

std::string quoted(const std::string &text)
{
    std::string q = "\"";
    for (char c : text) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

// The strings of a DATA line's tokens; false when it holds anything else.
bool data_strings(const std::vector<uint8_t> &t, std::vector<std::string> &items)
{
    if (t.empty() || t[0] != 0x93) return false;
    size_t i = 1;
    while (i < t.size()) {
        if ((t[i] != 0xC7 && t[i] != 0xC8) || i + 1 >= t.size() || i + 2 + t[i + 1] > t.size()) return false;
        items.emplace_back(t.begin() + static_cast<long>(i) + 2, t.begin() + static_cast<long>(i) + 2 + t[i + 1]);
        i += 2 + t[i + 1];
        if (i < t.size() && t[i++] != 0xB3) return false;
    }
    return true;
}

}  // namespace

std::string menu_listing(const std::vector<MenuSong> &all)
{
    const std::vector<MenuSong> songs(all.begin(), all.begin() + static_cast<long>(std::min(all.size(), MENU_MAX_SONGS)));
    const std::string count = std::to_string(songs.size());
    std::string text = std::to_string(marker_line) + " ! " + marker_text + "\n";
    text += "110 CALL CLEAR :: PRINT \"SONGS ON THIS DISK\" :: PRINT\n";
    text += "120 RESTORE " + std::to_string(first_data_line) + " :: READ N :: FOR I=1 TO N :: READ F$,T$,L$ :: "
            "PRINT SEG$(\"" + std::string(keys) + "\",I,1);\" \";T$;TAB(" + std::to_string(MENU_WIDTH - 5) +
            ");L$ :: NEXT I\n";
    text += "130 PRINT :: PRINT \"PRESS A SONG'S KEY\"\n";
    text += "140 CALL KEY(0,K,S) :: IF S<1 THEN 140\n";
    text += "150 IF K>96 THEN K=K-32\n";
    text += "160 P=POS(\"" + std::string(keys, songs.size()) + "\",CHR$(K),1) :: IF P=0 THEN 140\n";
    text += "170 ON P GOTO ";
    for (size_t i = 0; i < songs.size(); i++) text += (i ? "," : "") + std::to_string(first_run_line + static_cast<int>(i));
    text += "\n" + std::to_string(first_data_line) + " DATA " + count + "\n";
    for (size_t i = 0; i < songs.size(); i++)
        text += std::to_string(first_data_line + 1 + static_cast<int>(i)) + " DATA " + quoted(songs[i].name) + "," +
                quoted(songs[i].title) + "," + quoted(songs[i].length) + "\n";
    for (size_t i = 0; i < songs.size(); i++)
        text += std::to_string(first_run_line + static_cast<int>(i)) + " RUN \"DSK1." + songs[i].name + "\"\n";
    return text;
}

bool menu_read(const std::vector<XbLine> &lines, std::vector<MenuSong> &songs)
{
    songs.clear();
    if (lines.empty() || lines[0].number != marker_line || lines[0].tokens.empty() || lines[0].tokens[0] != 0x83 ||
        squeezed(std::string(lines[0].tokens.begin() + 1, lines[0].tokens.end())) != squeezed(marker_text))
        return false;
    for (const XbLine &line : lines) {
        std::vector<std::string> items;
        if (line.number <= first_data_line || line.number >= first_run_line || !data_strings(line.tokens, items) ||
            items.size() != 3)
            continue;
        songs.push_back(MenuSong{items[0], items[1], items[2]});
    }
    return true;
}

std::string menu_return_line(int number)
{
    return std::to_string(number) + " RUN \"DSK1." + std::string(MENU_NAME) + "\"\n";
}

std::string menu_length(double seconds)
{
    const long whole = std::lround(seconds);
    const long s = whole % 60;
    return std::to_string(whole / 60) + (s < 10 ? ":0" : ":") + std::to_string(s);
}

std::string menu_title(const std::string &title)
{
    std::string shown;
    for (char c : title)
        if (c >= 32 && c < 127 && shown.size() < title_width) shown += c;
    return shown;
}
