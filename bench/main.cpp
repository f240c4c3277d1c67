// fenwyd_bench [seconds]: measures the program against the probe simulator
// on a pseudo-terminal and prints one table of figures. Nothing passes or
// fails here; the goals are printed beside the figures.
#include <sys/utsname.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include "bench.h"
#include "support/home.h"

namespace {

std::string CpuModel() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            if (colon != std::string::npos)
                return line.substr(line.find_first_not_of(" \t", colon + 1));
        }
    }
    return "unknown CPU";
}

std::string Kernel() {
    utsname u{};
    if (uname(&u) != 0) return "unknown kernel";
    return std::string(u.sysname) + " " + u.release + " " + u.machine;
}

// The 1, 5 and 15 minute load averages: other work on the machine shows in
// the timings.
std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::string Today() {
    const std::time_t now = std::time(nullptr);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S %Z", std::localtime(&now));
    return buf;
}

void PrintTable(const std::vector<fenwyd::bench::Figure>& figures, int seconds,
                const std::string& loadBefore) {
    std::printf("Fenwyd 8200 benchmark, %s\n", Today().c_str());
    std::printf("Machine: %s, %ld cores, %s\n", CpuModel().c_str(), sysconf(_SC_NPROCESSORS_ONLN),
                Kernel().c_str());
    std::printf("Load average: %s before, %s after\n", loadBefore.c_str(), LoadAverage().c_str());
    if (seconds > 0) {
        std::printf("Reading run: %d s against probe-sim on a pseudo-terminal\n", seconds);
    }
    std::printf("\n");

    std::size_t w[3] = {6, 8, 4};
    for (const auto& f : figures) {
        w[0] = std::max(w[0], f.name.size());
        w[1] = std::max(w[1], f.value.size());
        w[2] = std::max(w[2], f.goal.size());
    }
    auto row = [&](const std::string& a, const std::string& b, const std::string& c,
                   const std::string& d) {
        std::printf("%-*s  %-*s  %-*s  %s\n", static_cast<int>(w[0]), a.c_str(),
                    static_cast<int>(w[1]), b.c_str(), static_cast<int>(w[2]), c.c_str(),
                    d.c_str());
    };
    row("Figure", "Measured", "Goal", "Raw numbers");
    row(std::string(w[0], '-'), std::string(w[1], '-'), std::string(w[2], '-'),
        std::string(11, '-'));
    for (const auto& f : figures) row(f.name, f.value, f.goal, f.raw);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace fenwyd::bench;
    if (argc > 1 && std::string(argv[1]) == "--memory-child") return MemoryChild(argc, argv);
    if (argc > 1 && std::string(argv[1]) == "--graph-child") return GraphChild(argc, argv);
    if (argc > 1 && std::string(argv[1]) == "--open-child") return OpenListChild(argc, argv);
    if (argc > 1 && std::string(argv[1]) == "--latency-child") return LatencyChild(argc, argv);

    // --graph: the graph's figures alone; --journal: the journal's and the
    // start-up's alone; --report: the report's alone.
    const std::string only = argc > 1 ? std::string(argv[argc - 1]) : std::string();
    const bool graphOnly = only == "--graph";
    const bool journalOnly = only == "--journal";
    const bool reportOnly = only == "--report";
    const bool latencyOnly = only == "--latency";
    if (graphOnly || journalOnly || reportOnly || latencyOnly) --argc;
    int seconds = 60;
    if (argc > 1) {
        seconds = std::atoi(argv[1]);
        if (seconds < 1) {
            std::fprintf(stderr,
                         "usage: fenwyd_bench [seconds] [--graph | --journal | --report | "
                         "--latency]   (reading run, "
                         "default 60)\n");
            return 2;
        }
    }

    // A home of its own, for the benchmark and every child it starts: the
    // user's port mapping and journal stay untouched.
    const fenwyd::testing::PrivateHome home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);

    const std::string loadBefore = LoadAverage();
    std::vector<Figure> figures;
    if (journalOnly) {
        std::fprintf(stderr, "fenwyd_bench: journal...\n");
        for (Figure& f : BenchJournal()) figures.push_back(f);
        std::fprintf(stderr, "fenwyd_bench: start-up...\n");
        for (Figure& f : BenchStartup()) figures.push_back(f);
        PrintTable(figures, 0, loadBefore);
        return 0;
    }
    if (latencyOnly) {
        std::fprintf(stderr, "fenwyd_bench: the event loop's latency...\n");
        for (Figure& f : BenchLatency()) figures.push_back(f);
        std::fprintf(stderr, "fenwyd_bench: a screen reader's requests...\n");
        for (Figure& f : BenchScreenReader()) figures.push_back(f);
        PrintTable(figures, 0, loadBefore);
        return 0;
    }
    if (!graphOnly && !reportOnly) {
        std::fprintf(stderr, "fenwyd_bench: routine reading for %d s...\n", seconds);
        for (Figure& f : BenchReading(seconds)) figures.push_back(f);
        std::fprintf(stderr, "fenwyd_bench: export...\n");
        figures.push_back(BenchExport());
        std::fprintf(stderr, "fenwyd_bench: journal...\n");
        for (Figure& f : BenchJournal()) figures.push_back(f);
        std::fprintf(stderr, "fenwyd_bench: memory...\n");
        for (Figure& f : BenchMemory()) figures.push_back(f);
        std::fprintf(stderr, "fenwyd_bench: start-up...\n");
        for (Figure& f : BenchStartup()) figures.push_back(f);
        std::fprintf(stderr, "fenwyd_bench: headless logger for %d s, and through a broker...\n",
                     seconds);
        for (Figure& f : BenchHeadless(seconds)) figures.push_back(f);
        std::fprintf(stderr, "fenwyd_bench: the event loop's latency...\n");
        for (Figure& f : BenchLatency()) figures.push_back(f);
        std::fprintf(stderr, "fenwyd_bench: a screen reader's requests...\n");
        for (Figure& f : BenchScreenReader()) figures.push_back(f);
    }
    if (reportOnly) {
        std::fprintf(stderr, "fenwyd_bench: the report of a full log...\n");
        for (Figure& f : BenchReport()) figures.push_back(f);
        PrintTable(figures, seconds, loadBefore);
        return 0;
    }
    if (!graphOnly) {
        std::fprintf(stderr, "fenwyd_bench: the report of a full log...\n");
        for (Figure& f : BenchReport()) figures.push_back(f);
    }
    std::fprintf(stderr, "fenwyd_bench: graph, drawing and memory...\n");
    for (Figure& f : BenchGraphDrawing()) figures.push_back(f);
    std::fprintf(stderr,
                 "fenwyd_bench: graph, CPU: the program closed and open, side by side for %d s...\n",
                 seconds);
    for (Figure& f : BenchGraphCpu(seconds)) figures.push_back(f);

    PrintTable(figures, seconds, loadBefore);
    return 0;
}
