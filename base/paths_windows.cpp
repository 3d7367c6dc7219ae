// Files, paths and the clock on Windows: UTF-8 paths through the wide
// functions (paths.cpp on POSIX systems).
#include "base/paths.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

std::wstring wide_from_utf8(const std::string &text)
{
    if (text.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string utf8_from_wide(const std::wstring &text)
{
    if (text.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], n, nullptr, nullptr);
    return utf8;
}

bool is_folder(const std::wstring &path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::string> program_arguments(int argc, char **argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    int n = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (wide == nullptr || n != argc) {
        if (wide != nullptr) LocalFree(wide);
        return std::vector<std::string>(argv + 1, argv + argc);
    }
    std::vector<std::string> args;
    for (int i = 1; i < n; i++) args.push_back(utf8_from_wide(wide[i]));
    LocalFree(wide);
    return args;
}

FILE *open_file(const std::string &path, const char *mode)
{
    const std::wstring wide = wide_from_utf8(path);
    FILE *f = _wfopen(wide.c_str(), wide_from_utf8(mode).c_str());
    // Windows refuses to open a folder as "access denied": say what it is.
    if (f == nullptr && errno == EACCES && is_folder(wide)) errno = EISDIR;
    return f;
}

size_t file_name_start(const std::string &path)
{
    const size_t separator = path.find_last_of("/\\:");
    return separator == std::string::npos ? 0 : separator + 1;
}

bool file_stamp(const std::string &path, FileStamp &stamp)
{
    const HANDLE h = CreateFileW(wide_from_utf8(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    const DWORD type = GetFileType(h);
    CloseHandle(h);
    if (!ok) return type != FILE_TYPE_UNKNOWN;
    stamp.regular = type == FILE_TYPE_DISK && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    stamp.size = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    // FILETIME counts 100 ns steps.
    const uint64_t ticks = static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32 |
                           info.ftLastWriteTime.dwLowDateTime;
    stamp.modified_ns = static_cast<int64_t>(ticks) * 100;
    stamp.device = info.dwVolumeSerialNumber;
    stamp.number = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    return true;
}

bool local_time_now(std::tm &t)
{
    const std::time_t now = std::time(nullptr);
    return localtime_s(&t, &now) == 0;
}
