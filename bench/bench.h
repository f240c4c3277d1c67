#pragma once
// Shared pieces of the benchmark: one row of the table, timing, child
// processes and /proc figures.
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "support/process.h"

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

using testing::EnvironmentInHome;
using testing::EnvironmentWith;
using testing::ReadLine;
using testing::Spawn;
using testing::Stop;

// Runs this benchmark program again with childFlag and args (offscreen) and
// reads the one line of figures the child prints; false when it gave none in
// time.
bool RunChild(const std::string& childFlag, int timeoutMs, std::string& line,
              const std::vector<std::string>& args = {});
// Lets an offscreen window settle: layout, paint, deferred deletes.
void Settle();
// A reading reply as the probe sends it, the value varying with i; with
// excursions, every 500th is over range.
std::string Reading(int i, bool excursions = false);

// Writes a whole file; false on failure.
bool WriteText(const std::string& path, const std::string& text);

// VmHWM and VmRSS of this process in kB, from /proc/self/status.
struct MemoryStatus {
    long hwmKb = 0;
    long rssKb = 0;
};
MemoryStatus ReadMemoryStatus();

// A per-user data folder (XDG_DATA_HOME) whose journal is full: 200 logs of
// 32000 readings, the journal's retention bound, as an earlier version left
// it, then opened once by this version (which brings it up to date; the
// seconds that took in upgradeS). Made at the first call; empty on failure.
std::string FullJournalHome(std::string& error, double& upgradeS);
// The journal in such a folder.
std::string JournalIn(const std::string& dataHome);

// The figures.
std::vector<Figure> BenchReading(int seconds);  // reading rate, CPU per minute
Figure BenchExport();
std::vector<Figure> BenchJournal();  // CPU per reading, size, restore, Open list
std::vector<Figure> BenchMemory();   // full log; flooded line
std::vector<Figure> BenchStartup();  // empty journal, full journal
// The unattended logger's process: CPU per minute, resident memory, and
// the time from a reading to an MQTT subscriber.
std::vector<Figure> BenchHeadless(int seconds);
std::vector<Figure> BenchGraphCpu(int seconds);  // the real program, graph open vs closed
std::vector<Figure> BenchGraphDrawing();         // redraw and memory over a full log
// The window's event loop while reading, during range steps and an upload
// (a child process); a screen reader's requests to the real program.
std::vector<Figure> BenchLatency();
std::vector<Figure> BenchScreenReader();
int LatencyChild(int argc, char** argv);
std::vector<Figure> BenchReport();  // fenwyd8200 --report of a full log: time and memory

// The child side of the memory figure (fenwyd_bench --memory-child).
int MemoryChild(int argc, char** argv);
// The child side of the graph's drawing and memory (fenwyd_bench --graph-child).
int GraphChild(int argc, char** argv);
// The child side of the Open list (fenwyd_bench --open-child JOURNAL).
int OpenListChild(int argc, char** argv);

}  // namespace fenwyd::bench
