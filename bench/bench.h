#pragma once
// Shared pieces of the benchmark: one row of the table, timing, child
// processes and /proc figures.
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace fenwyd::bench {

// One row of the printed table.
struct Figure {
    std::string name;
    std::string value;
    std::string goal;
    std::string raw;  // the numbers the value came from
};

// Seconds on the monotonic clock.
double Now();
// User plus system CPU time of this process, in seconds.
double CpuSeconds();
double Median(std::vector<double> values);
// printf-style number text.
std::string Num(double v, int decimals);

// The environment of this process with some variables replaced or added.
std::vector<std::string> EnvironmentWith(
    const std::vector<std::pair<std::string, std::string>>& overrides);

// Starts program with args (argv[0] is added) and env; the child's stdout
// and stderr go to the given descriptors (-1: inherited). -1 on failure.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& env, int stdoutFd, int stderrFd);
// SIGTERM, then SIGKILL if it has not ended after graceMs; reaps it.
void Stop(pid_t pid, int graceMs);
// One line from fd (without its '\n'), or false after timeoutMs.
bool ReadLine(int fd, std::string& line, int timeoutMs);

// VmHWM and VmRSS of this process in kB, from /proc/self/status.
struct MemoryStatus {
    long hwmKb = 0;
    long rssKb = 0;
};
MemoryStatus ReadMemoryStatus();

// The figures.
std::vector<Figure> BenchReading(int seconds);  // reading rate, CPU per minute
Figure BenchExport();
Figure BenchMemory();
Figure BenchStartup();
std::vector<Figure> BenchGraphCpu(int seconds);  // the real program, graph open vs closed
std::vector<Figure> BenchGraphDrawing();         // redraw and memory over a full log

// The child side of the memory figure (fenwyd_bench --memory-child).
int MemoryChild(int argc, char** argv);
// The child side of the graph's drawing and memory (fenwyd_bench --graph-child).
int GraphChild(int argc, char** argv);

}  // namespace fenwyd::bench
