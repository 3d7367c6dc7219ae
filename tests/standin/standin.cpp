// A stand-in for a program of the project in the tests on Windows, where a
// shell script cannot be started as a program. Copied as NAME.exe beside
// the script NAME that the test wrote for POSIX systems, it runs that
// script's few commands itself: printf, echo, cp, mv, exit, kill -9 $$ and
// `for a in "$@"; do ...; done`, with '...' and "..." quoting, $1, $#, $@,
// $$ and $a, the redirections >, >> and >&2, and &&.
#include <windows.h>

#include "base/paths.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Script {
    std::vector<std::string> args;  // the program's own arguments
    std::string loop;               // $a inside the for loop
};

// Reads "$..." at s[i] (i at the '$'), appending its value; "$@" yields
// several words, appended to words with the current one closed.
void expand(const std::string &s, size_t &i, const Script &sc, std::string &word, std::vector<std::string> &words,
            bool &any)
{
    const char c = i + 1 < s.size() ? s[i + 1] : '\0';
    i += 2;
    if (c == '#') word += std::to_string(sc.args.size());
    else if (c == '$') word += std::to_string(GetCurrentProcessId());
    else if (c == 'a') word += sc.loop;
    else if (c >= '1' && c <= '9') word += static_cast<size_t>(c - '1') < sc.args.size() ? sc.args[c - '1'] : "";
    else if (c == '@') {
        for (size_t k = 0; k < sc.args.size(); k++) {
            word += sc.args[k];
            if (k + 1 < sc.args.size()) {
                words.push_back(word);
                word.clear();
            }
        }
        any = any || !sc.args.empty();
    } else {
        word += '$';
        i -= 1;
    }
}

// The words of one command, quotes removed and variables expanded.
std::vector<std::string> split_words(const std::string &s, const Script &sc)
{
    std::vector<std::string> words;
    std::string word;
    bool any = false;
    for (size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (c == ' ' || c == '\t') {
            if (any) words.push_back(word);
            word.clear();
            any = false;
            i++;
        } else if (c == '\'') {
            const size_t end = s.find('\'', i + 1);
            word += s.substr(i + 1, end - i - 1);
            any = true;
            i = end == std::string::npos ? s.size() : end + 1;
        } else if (c == '"') {
            any = true;
            for (i++; i < s.size() && s[i] != '"';) {
                if (s[i] == '$') expand(s, i, sc, word, words, any);
                else if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '"' || s[i + 1] == '\\')) {
                    word += s[i + 1];
                    i += 2;
                } else word += s[i++];
            }
            i++;
        } else if (c == '$') {
            any = true;
            expand(s, i, sc, word, words, any);
        } else if (c == '\\' && i + 1 < s.size()) {
            word += s[i + 1];
            any = true;
            i += 2;
        } else {
            word += c;
            any = true;
            i++;
        }
    }
    if (any) words.push_back(word);
    return words;
}

std::string unescape(const std::string &format)
{
    std::string out;
    for (size_t i = 0; i < format.size(); i++) {
        if (format[i] == '\\' && i + 1 < format.size() && format[i + 1] == 'n') {
            out += '\n';
            i++;
        } else out += format[i];
    }
    return out;
}

// printf FORMAT ARGS: %s takes the next argument; the format is used again
// while arguments remain.
std::string printf_text(const std::vector<std::string> &w)
{
    const std::string format = w.size() > 1 ? unescape(w[1]) : "";
    std::string out;
    size_t next = 2;
    do {
        for (size_t i = 0; i < format.size(); i++) {
            if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
                out += next < w.size() ? w[next++] : "";
                i++;
            } else out += format[i];
        }
    } while (next < w.size());
    return out;
}

// Runs one command; its exit status.
int run_command(const std::string &line, const Script &sc)
{
    std::vector<std::string> all = split_words(line, sc), w;
    std::string to_file;
    bool append = false, to_err = false;
    for (size_t i = 0; i < all.size(); i++) {
        if (all[i] == ">&2") to_err = true;
        else if ((all[i] == ">" || all[i] == ">>") && i + 1 < all.size()) {
            append = all[i] == ">>";
            to_file = all[++i];
        } else w.push_back(all[i]);
    }
    if (w.empty()) return 0;
    const std::string cmd = w[0].substr(w[0].find_last_of('/') + 1);
    std::string out;
    if (cmd == "exit") std::exit(w.size() > 1 ? std::atoi(w[1].c_str()) : 0);
    if (cmd == "kill") TerminateProcess(GetCurrentProcess(), 0xC000013A);
    if (cmd == "cp" && w.size() == 3)
        return CopyFileW(wide_from_utf8(w[1]).c_str(), wide_from_utf8(w[2]).c_str(), FALSE) ? 0 : 1;
    if (cmd == "mv" && w.size() == 3)
        return MoveFileExW(wide_from_utf8(w[1]).c_str(), wide_from_utf8(w[2]).c_str(), MOVEFILE_REPLACE_EXISTING) ? 0
                                                                                                                  : 1;
    if (cmd == "printf") out = printf_text(w);
    else if (cmd == "echo") {
        for (size_t i = 1; i < w.size(); i++) out += (i > 1 ? " " : "") + w[i];
        out += '\n';
    } else {
        std::fprintf(stderr, "standin: %s: not understood\n", cmd.c_str());
        return 127;
    }
    if (!to_file.empty()) {
        FILE *f = open_file(to_file, append ? "ab" : "wb");
        if (f == nullptr) return 1;
        const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
        return std::fclose(f) == 0 && ok ? 0 : 1;
    }
    std::fputs(out.c_str(), to_err ? stderr : stdout);
    return 0;
}

// Runs the commands of a line joined by &&.
int run_line(const std::string &line, const Script &sc)
{
    size_t start = 0;
    for (;;) {
        const size_t amp = line.find("&&", start);
        const int status = run_command(line.substr(start, amp - start), sc);
        if (status != 0 || amp == std::string::npos) return status;
        start = amp + 2;
    }
}

}  // namespace

int main(int argc, char **argv)
{
    Script sc;
    sc.args = program_arguments(argc, argv);
    std::string self(argv[0]);
    wchar_t module[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (n > 0) self = utf8_from_wide(std::wstring(module, n));
    if (self.size() > 4 && self.compare(self.size() - 4, 4, ".exe") == 0) self.resize(self.size() - 4);
    std::ifstream f(wide_from_utf8(self).c_str(), std::ios::binary);
    std::string line;
    int status = 0;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::string loop_head = "for a in \"$@\"; do ";
        if (line.compare(0, loop_head.size(), loop_head) == 0) {
            const std::string body = line.substr(loop_head.size(), line.rfind("; done") - loop_head.size());
            for (const std::string &a : sc.args) {
                sc.loop = a;
                status = run_line(body, sc);
            }
            continue;
        }
        status = run_line(line, sc);
    }
    return status;
}
