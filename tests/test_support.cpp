#include "tests/test_support.h"

#include "base/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "base/paths.h"
#include "convert/settings.h"

#ifndef _WIN32
extern char **environ;
#endif

std::string convert_with_settings(const std::vector<uint8_t> &song, int32_t output, int32_t noise,
                                  int32_t timing)
{
    const Conversion c =
        convert_song(song.data(), static_cast<uint32_t>(song.size()), target_of_settings(output, noise, timing));
    return c.ok ? c.text : "";
}

const std::vector<uint8_t> example_song = {
    0x00, 0x04, 0x00, 0x1C,                          // song table, tone table
    0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // note streams
    0x00, 0x23, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // volume streams
    0x00, 0x27, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // time streams
    0x0C, 0x1A, 0x03, 0x15,                          // tone table: C4, E4
    0x02, 0x00, 0x01,                                // note stream
    0x03, 0x00, 0x00, 0x0F,                          // volume stream
    0x04, 0x01, 0xC3, 0xC2, 0x41, 0x00,              // time stream
};

const std::string kelvaro_usage =
    "\nKELVARO converter by Dorimund - v1.1\n\n"
    "Syntax: KELVARO.EXE <input.vgm> <output.txt> [options]\n\n"
    "Options are as follows:\n\n"
    "  -p or -d or -x : select output mode between:\n"
    "                   - full XB PROGRAM [-p]\n"
    "                   - DATA statements [-d]\n"
    "                   - non-compiled XB SOUND statements [-x]\n"
    "                   (default is [-p] PROGRAM)\n\n"
    "  -n             : include noise channel, experimental (default is excluded)\n\n"
    "  -r or -e       : change timing and output type for playing in:\n"
    "                   - Real hardware (as a compiled XB program) [-r]\n"
    "                   - in emulated Classic99 CPU Overdrive [-e]\n"
    "                   (Default is Real hardware. Does not apply to \"XB SOUND Statements\" output type [-x]).\n\n";

namespace {

void remove_tree(const std::string &path)
{
    DIR *d = opendir(path.c_str());
    if (d != nullptr) {
        while (dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            std::string child = path + "/" + name;
            struct stat st;
            if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                remove_tree(child);
            else
                unlink(child.c_str());
        }
        closedir(d);
    }
    rmdir(path.c_str());
}

#ifndef _WIN32
std::string read_fd(int fd)
{
    std::string s;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
    return s;
}
#endif

}  // namespace

#ifdef _WIN32
TempDir::TempDir()
{
    // Under Wine the build machine's /tmp is at the root of the drive that
    // maps its files, and test paths stay as on Linux.
    const char *base = std::getenv("TMPDIR");
    struct stat st;
    std::string root = base && *base ? base : stat("/tmp", &st) == 0 ? "/tmp" : ".";
    for (unsigned attempt = 0;; attempt++) {
        const std::string candidate = root + "/kelvaro-test-" +
                                      std::to_string(GetCurrentProcessId()) + "-" +
                                      std::to_string(GetTickCount64() % 100000) + "-" + std::to_string(attempt);
        if (_mkdir(candidate.c_str()) == 0) {
            path = candidate;
            return;
        }
        if (errno != EEXIST || attempt > 1000) throw std::runtime_error("cannot make a folder in " + root);
    }
}
#else
TempDir::TempDir()
{
    const char *base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/kelvaro-test-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = buf.data();
}
#endif

TempDir::~TempDir()
{
    remove_tree(path);
}

void write_file(const std::string &path, const std::vector<uint8_t> &bytes)
{
    FILE *f = open_file(path, "wb");
    const bool ok = f != nullptr && (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    if (f == nullptr || std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
}

void write_text(const std::string &path, const std::string &text)
{
    write_file(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> read_file(const std::string &path)
{
    std::vector<uint8_t> bytes;
    FILE *f = open_file(path, "rb");
    if (f == nullptr) return bytes;
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    return bytes;
}

std::string read_text(const std::string &path)
{
    std::vector<uint8_t> b = read_file(path);
    return std::string(b.begin(), b.end());
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

void write_standin(const std::string &path, const std::string &body)
{
    write_text(path, "#!/bin/sh\n" + body);
#ifdef _WIN32
    write_file(path + ".exe", read_file(STANDIN_BIN));
#else
    if (chmod(path.c_str(), 0755) != 0) throw std::runtime_error("cannot make " + path + " executable");
#endif
}

void write_not_a_program(const std::string &path)
{
    write_text(path, "not a program\n");
#ifdef _WIN32
    write_text(path + ".exe", "not a program\n");
#else
    chmod(path.c_str(), 0755);
#endif
}

std::string program_in(const std::string &folder, const std::string &name)
{
#ifdef _WIN32
    return folder + "\\" + name + ".exe";
#else
    return folder + "/" + name;
#endif
}

std::vector<std::string> folder_entries(const std::string &path)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(path.c_str())) {
        while (dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

#ifdef _WIN32
namespace {

HANDLE inheritable_file(const std::string &path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(wide_from_utf8(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ProcessResult run_process(const std::string &program, const std::vector<std::string> &args,
                          const std::string &cwd, const char *path_env, const std::vector<std::string> &extra_env)
{
    TempDir io;
    const std::string out_path = io.file("out"), err_path = io.file("err");
    std::wstring line = windows_command_line(program, args);
    std::vector<std::pair<std::string, std::string>> set;
    if (path_env != nullptr) {
        std::string list = path_env;
        std::replace(list.begin(), list.end(), ':', ';');
        set.emplace_back("PATH", list);
    }
    for (const std::string &kv : extra_env) {
        const size_t eq = kv.find('=');
        set.emplace_back(kv.substr(0, eq), eq == std::string::npos ? "" : kv.substr(eq + 1));
    }
    // The child's environment: this one's with the changes, put back after.
    std::vector<std::pair<std::string, std::string>> saved;
    for (const auto &kv : set) {
        const char *old = std::getenv(kv.first.c_str());
        saved.emplace_back(kv.first, old ? old : "");
        _putenv_s(kv.first.c_str(), kv.second.c_str());
    }
    STARTUPINFOW start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = inheritable_file("NUL", GENERIC_READ, OPEN_EXISTING);
    start.hStdOutput = inheritable_file(out_path, GENERIC_WRITE, CREATE_ALWAYS);
    start.hStdError = inheritable_file(err_path, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION child = {};
    const std::wstring dir = wide_from_utf8(cwd);
    const BOOL started = CreateProcessW(wide_from_utf8(program).c_str(), &line[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, cwd.empty() ? nullptr : dir.c_str(), &start, &child);
    for (const auto &kv : saved) _putenv_s(kv.first.c_str(), kv.second.c_str());
    CloseHandle(start.hStdInput);
    CloseHandle(start.hStdOutput);
    CloseHandle(start.hStdError);
    ProcessResult r;
    if (started) {
        WaitForSingleObject(child.hProcess, INFINITE);
        DWORD status = 0;
        if (GetExitCodeProcess(child.hProcess, &status) && status < 256) r.status = static_cast<int>(status);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
    r.out = read_text(out_path);
    r.err = read_text(err_path);
    return r;
}

std::string read_fifo_during(const std::string &, const std::function<void()> &)
{
    throw std::runtime_error("no FIFOs on Windows");
}
#else
ProcessResult run_process(const std::string &program, const std::vector<std::string> &args,
                          const std::string &cwd, const char *path_env, const std::vector<std::string> &extra_env)
{
    // Outputs go to temporary files, so that large outputs cannot block.
    TempDir io;
    std::string out_path = io.file("out"), err_path = io.file("err");
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        if (path_env != nullptr) setenv("PATH", path_env, 1);
        for (const std::string &kv : extra_env) putenv(strdup(kv.c_str()));
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(program.c_str()));
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    ProcessResult r;
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.status = WEXITSTATUS(status);
    int fd = open(out_path.c_str(), O_RDONLY);
    r.out = read_fd(fd);
    close(fd);
    fd = open(err_path.c_str(), O_RDONLY);
    r.err = read_fd(fd);
    close(fd);
    return r;
}

std::string read_fifo_during(const std::string &path, const std::function<void()> &run)
{
    // A write end of our own keeps the reader from seeing the end before
    // the writer has even opened the FIFO.
    const int in = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    const int hold = open(path.c_str(), O_WRONLY);
    if (in < 0 || hold < 0) throw std::runtime_error("cannot open the FIFO " + path);
    fcntl(in, F_SETFL, fcntl(in, F_GETFL) & ~O_NONBLOCK);
    std::string got;
    std::thread reader([&] { got = read_fd(in); });
    run();
    close(hold);
    reader.join();
    close(in);
    return got;
}
#endif

std::string shared_vgm_dir()
{
    const char *env = std::getenv("KELVARO_VGM_DIR");
    std::string dir = env && *env ? env : SHARED_VGM_DIR;
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::string();
    return dir;
}

std::vector<std::string> shared_vgm_files()
{
    std::vector<std::string> files;
    std::string dir = shared_vgm_dir();
    if (dir.empty()) return files;
    DIR *d = opendir(dir.c_str());
    if (d == nullptr) return files;
    while (dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() > 4 && (name.compare(name.size() - 4, 4, ".vgm") == 0 ||
                                name.compare(name.size() - 4, 4, ".vgz") == 0))
            files.push_back(dir + "/" + name);
    }
    closedir(d);
    std::sort(files.begin(), files.end());
    return files;
}

bool read_real_vgm(const std::string &path, VgmLog &log, std::vector<uint8_t> *bytes)
{
    std::vector<uint8_t> read;
    std::string error;
    if (!load_vgm_bytes(path, read, error) || !parse_vgm(read, path, log, error)) {
        ADD_FAILURE() << error;
        return false;
    }
    if (bytes) *bytes = std::move(read);
    return true;
}
