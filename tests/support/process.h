#pragma once
// Child processes for the tests and benchmarks that run the real program
// (POSIX only).
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace fenwyd::testing {

// The environment of this process with some variables replaced or added.
// (Every test program has a private home already: see support/home.h.)
std::vector<std::string> EnvironmentWith(
    const std::vector<std::pair<std::string, std::string>>& overrides);
// The same for a child with a home of its own in root (made here): HOME and
// the XDG folders point there, then the overrides apply.
std::vector<std::string> EnvironmentInHome(
    const std::filesystem::path& root,
    const std::vector<std::pair<std::string, std::string>>& overrides = {});

// Starts program with args (argv[0] is added) and env; the child's stdout
// and stderr go to the given descriptors (-1: inherited). -1 on failure.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& env, int stdoutFd, int stderrFd);
// SIGTERM, then SIGKILL if it has not ended after graceMs; reaps it.
void Stop(pid_t pid, int graceMs);
// Waits up to timeoutMs for the child to end: its exit code, 128 + the
// signal that ended it, or -1 when it is still running.
int WaitExit(pid_t pid, int timeoutMs);
// One line from fd (without its '\n'), or false after timeoutMs.
bool ReadLine(int fd, std::string& line, int timeoutMs);

// A started child that is ended whatever the test's outcome: when the guard
// goes (an assertion returned early, the test is over) a child still running
// is stopped (SIGTERM, then SIGKILL after graceMs) and reaped.
class Child {
public:
    explicit Child(pid_t pid = -1, int graceMs = 2000) : pid_(pid), graceMs_(graceMs) {}
    ~Child() { stop(); }
    Child(Child&& other) noexcept : pid_(other.pid_), graceMs_(other.graceMs_) { other.pid_ = -1; }
    Child& operator=(Child&& other) noexcept {
        if (this != &other) {
            stop();
            pid_ = other.pid_;
            graceMs_ = other.graceMs_;
            other.pid_ = -1;
        }
        return *this;
    }

    pid_t pid() const { return pid_; }
    bool started() const { return pid_ > 0; }
    // As WaitExit; once it has returned a code the child is reaped and the
    // guard has nothing left to do.
    int wait(int timeoutMs);
    // Sends a signal to the child while it runs.
    void signal(int sig);
    void stop();

private:
    pid_t pid_;
    int graceMs_;
};

}  // namespace fenwyd::testing
