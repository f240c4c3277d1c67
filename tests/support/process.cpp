#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "support/home.h"

extern char** environ;

namespace fenwyd::testing {

namespace {
double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

std::vector<std::string> EnvironmentWith(
    const std::vector<std::pair<std::string, std::string>>& overrides) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const auto& [key, value] : overrides) {
            replaced = replaced || entry.rfind(key + "=", 0) == 0;
        }
        if (!replaced) env.push_back(entry);
    }
    for (const auto& [key, value] : overrides) env.push_back(key + "=" + value);
    return env;
}

std::vector<std::string> EnvironmentInHome(
    const std::filesystem::path& root,
    const std::vector<std::pair<std::string, std::string>>& overrides) {
    MakeHome(root);
    std::vector<std::pair<std::string, std::string>> all = HomeVariables(root);
    for (const auto& o : overrides) {
        bool replaced = false;
        for (auto& a : all) {
            if (a.first == o.first) {
                a.second = o.second;
                replaced = true;
            }
        }
        if (!replaced) all.push_back(o);
    }
    return EnvironmentWith(all);
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& env, int stdoutFd, int stderrFd) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    if (stderrFd >= 0) posix_spawn_file_actions_adddup2(&actions, stderrFd, STDERR_FILENO);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int WaitExit(pid_t pid, int timeoutMs) {
    int status = 0;
    for (int waited = 0; waited <= timeoutMs; waited += 5) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

void Stop(pid_t pid, int graceMs) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    for (int waited = 0; waited < graceMs; waited += 5) {
        if (waitpid(pid, &status, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
}

bool ReadLine(int fd, std::string& line, int timeoutMs) {
    line.clear();
    const double end = Now() + timeoutMs / 1000.0;
    for (;;) {
        const int left = static_cast<int>((end - Now()) * 1000.0);
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int r = poll(&p, 1, left);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        char c = 0;
        const ssize_t n = read(fd, &c, 1);
        if (n <= 0) return false;
        if (c == '\n') return true;
        line += c;
    }
}

int Child::wait(int timeoutMs) {
    if (pid_ <= 0) return -1;
    const int code = WaitExit(pid_, timeoutMs);
    if (code >= 0) pid_ = -1;  // reaped
    return code;
}

void Child::signal(int sig) {
    if (pid_ > 0) ::kill(pid_, sig);
}

void Child::stop() {
    if (pid_ <= 0) return;
    Stop(pid_, graceMs_);
    pid_ = -1;
}

}  // namespace fenwyd::testing
