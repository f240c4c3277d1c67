#pragma once
// Child processes for the tests and benchmarks that run the real program
// (POSIX only).
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace fenwyd::testing {

// The environment of this process with some variables replaced or added.
std::vector<std::string> EnvironmentWith(
    const std::vector<std::pair<std::string, std::string>>& overrides);

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

}  // namespace fenwyd::testing
