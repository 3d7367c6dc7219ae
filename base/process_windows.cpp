// Finding and running another program, and a private temporary folder, on
// Windows (process.cpp on POSIX systems). Programs are started without a
// shell; each argument is quoted by the rules the C runtime reads them back
// with, so blanks, "&", "^", "%" and letters such as "λ" arrive whole.
#include "base/process.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "base/paths.h"

namespace {

bool is_program_file(const std::wstring &path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// name as a Windows program file: with ".exe" unless it has it already.
std::wstring exe_name(const std::string &name)
{
    std::wstring wide = wide_from_utf8(name);
    const size_t n = wide.size();
    if (n < 4 || _wcsicmp(wide.c_str() + n - 4, L".exe") != 0) wide += L".exe";
    return wide;
}

// One argument of a command line, quoted when it needs it: backslashes
// count only before a double quote, where they are doubled.
void append_quoted(std::wstring &line, const std::wstring &arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            backslashes++;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

// The variable's name in "NAME=value", with its "=", in capitals: Windows
// compares names without case.
std::wstring variable_key(const std::wstring &entry)
{
    const size_t eq = entry.find(L'=', 1);
    std::wstring key = eq == std::wstring::npos ? entry + L"=" : entry.substr(0, eq + 1);
    for (wchar_t &c : key) c = static_cast<wchar_t>(towupper(c));
    return key;
}

// This program's environment with each of env replacing or adding its
// variable, as a block for CreateProcessW.
std::wstring environment_block(const std::vector<std::string> &env)
{
    std::vector<std::wstring> set;
    for (const std::string &e : env) set.push_back(wide_from_utf8(e));
    std::wstring block;
    wchar_t *own = GetEnvironmentStringsW();
    for (const wchar_t *e = own; e != nullptr && *e != L'\0'; e += std::wcslen(e) + 1) {
        const std::wstring entry = e;
        bool replaced = false;
        for (const std::wstring &s : set) replaced = replaced || variable_key(s) == variable_key(entry);
        if (!replaced) block += entry + L'\0';
    }
    if (own != nullptr) FreeEnvironmentStringsW(own);
    for (const std::wstring &s : set) block += s + L'\0';
    block += L'\0';
    return block;
}

}  // namespace

std::string find_program(const std::string &name)
{
    const std::wstring file = exe_name(name);
    const DWORD needed = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (needed > 0) {
        std::wstring list(needed, L'\0');
        list.resize(GetEnvironmentVariableW(L"PATH", &list[0], needed));
        size_t start = 0;
        for (;;) {
            const size_t end = list.find(L';', start);
            std::wstring dir = list.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
            if (dir.size() >= 2 && dir.front() == L'"' && dir.back() == L'"') dir = dir.substr(1, dir.size() - 2);
            if (dir.empty()) dir = L".";
            const std::wstring candidate = dir + L"\\" + file;
            if (is_program_file(candidate)) return utf8_from_wide(candidate);
            if (end == std::wstring::npos) break;
            start = end + 1;
        }
    }
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, &self[0], static_cast<DWORD>(self.size())));
    const size_t slash = self.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
        const std::wstring candidate = self.substr(0, slash + 1) + file;
        if (is_program_file(candidate)) return utf8_from_wide(candidate);
    }
    return std::string();
}

std::wstring windows_command_line(const std::string &name, const std::vector<std::string> &args)
{
    std::wstring line;
    append_quoted(line, wide_from_utf8(name));
    for (const std::string &a : args) {
        line += L' ';
        append_quoted(line, wide_from_utf8(a));
    }
    return line;
}

int run_program(const std::string &program, const std::string &name, const std::vector<std::string> &args,
                const std::vector<std::string> &env, const std::string &log)
{
    std::wstring line = windows_command_line(name, args);
    std::wstring block = environment_block(env);
    STARTUPINFOW start = {};
    start.cb = sizeof start;
    HANDLE out = INVALID_HANDLE_VALUE;
    if (!log.empty()) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        out = CreateFileW(wide_from_utf8(log).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE) return -1;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        start.hStdOutput = out;
        start.hStdError = out;
    }
    std::fflush(stdout);
    PROCESS_INFORMATION child = {};
    const BOOL started = CreateProcessW(wide_from_utf8(program).c_str(), &line[0], nullptr, nullptr, TRUE,
                                        CREATE_UNICODE_ENVIRONMENT, &block[0], nullptr, &start, &child);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (!started) return -1;
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 128;
    if (!GetExitCodeProcess(child.hProcess, &status)) status = 128;
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    // A program ended by an exception leaves its code (0xC0000005 ...).
    return status > 255 ? 128 : static_cast<int>(status);
}

bool make_private_folder(const std::string &prefix, std::string &path, std::string &error)
{
    wchar_t base[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, base);
    const std::wstring folder = n > 0 ? std::wstring(base, n) : L".\\";
    for (unsigned attempt = 0; attempt < 100; attempt++) {
        const unsigned long long tag = GetTickCount64() * 1000003ULL + GetCurrentProcessId() * 131ULL + attempt;
        wchar_t name[32];
        std::swprintf(name, 32, L"-%06llx", tag & 0xFFFFFFULL);
        const std::wstring candidate = folder + wide_from_utf8(prefix) + name;
        // A folder under the user's own temporary folder, which only the
        // user may enter.
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            path = utf8_from_wide(candidate);
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    error = "cannot make a temporary folder in " + utf8_from_wide(folder);
    return false;
}

void remove_private_folder(const std::string &path)
{
    const std::wstring folder = wide_from_utf8(path);
    WIN32_FIND_DATAW found;
    const HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    RemoveDirectoryW(folder.c_str());
}
