// Finding and running another program, and a private temporary folder.
#include "base/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char **environ;

namespace {

bool is_executable(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The variable's name in "NAME=value", with its "=".
std::string variable_name(const std::string &entry)
{
    const size_t eq = entry.find('=');
    return eq == std::string::npos ? entry + "=" : entry.substr(0, eq + 1);
}

}  // namespace

std::string find_program(const std::string &name)
{
    const char *path = std::getenv("PATH");
    if (path != nullptr) {
        const std::string list = path;
        size_t start = 0;
        for (;;) {
            const size_t end = list.find(':', start);
            std::string dir = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (dir.empty()) dir = ".";
            const std::string candidate = dir + "/" + name;
            if (is_executable(candidate)) return candidate;
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        const std::string exe(self, static_cast<size_t>(n));
        const size_t slash = exe.rfind('/');
        if (slash != std::string::npos) {
            const std::string candidate = exe.substr(0, slash + 1) + name;
            if (is_executable(candidate)) return candidate;
        }
    }
    return std::string();
}

int run_program(const std::string &program, const std::string &name, const std::vector<std::string> &args,
                const std::vector<std::string> &env, const std::string &log)
{
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(name.c_str()));
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (char **e = environ; *e != nullptr; e++) {
        bool replaced = false;
        for (const std::string &set : env) {
            const std::string var = variable_name(set);
            replaced = replaced || std::strncmp(*e, var.c_str(), var.size()) == 0;
        }
        if (!replaced) envp.push_back(*e);
    }
    for (const std::string &set : env) envp.push_back(const_cast<char *>(set.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!log.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    std::fflush(stdout);
    pid_t pid;
    const int started = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

bool make_private_folder(const std::string &prefix, std::string &path, std::string &error)
{
    const char *tmp = std::getenv("TMPDIR");
    std::string base = tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
    std::string pattern = base + "/" + prefix + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
        error = "cannot make a temporary folder in " + base + ": " + std::strerror(errno);
        return false;
    }
    path = buf.data();
    return true;
}

void remove_private_folder(const std::string &path)
{
    DIR *dir = opendir(path.c_str());
    if (dir != nullptr) {
        std::vector<std::string> names;
        while (const dirent *e = readdir(dir))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
        closedir(dir);
        for (const std::string &n : names) unlink((path + "/" + n).c_str());
    }
    rmdir(path.c_str());
}
