// The graph's cost. CPU: the real program (a copied fenwyd8200, offscreen)
// reads from probe-sim with the graph closed and, in a second process at the
// same time, with it open, reopened at start from the settings store; its CPU time comes from
// the kernel's accounting of that process (/proc/<pid>/stat). Drawing and
// memory: a child process (fenwyd_bench --graph-child) fills a real window's
// data log, then opens the graph over it.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "bench.h"
#include "probe_sim.h"
#include "support/fakes.h"
#include "support/harness.h"
#include "ui/graph_window.h"
#include "ui/main_window.h"
#include "ui/session.h"

namespace fenwyd::bench {

namespace {
constexpr double kWarmupS = 12.0;  // splash, first replies, the battery reading
constexpr double kTimeoutS = 30.0;
constexpr int kRedraws = 21;
constexpr int kExtraReplies = 1500;
constexpr double kReadingMs = 366;

// User plus system CPU of a process (all its threads, ended ones too), in
// seconds; negative when it cannot be read.
double ProcessCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(in, text);
    const auto close = text.rfind(')');  // the name may hold blanks
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string f;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14) utime = std::stoull(f);
        if (i == 15) stime = std::stoull(f);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// CPU time in seconds of all live threads of a process, from the scheduler's
// own nanosecond count (/proc/<pid>/task/*/schedstat, first field).
double ThreadsCpuSeconds(pid_t pid) {
    namespace fs = std::filesystem;
    std::error_code ec;
    double total = 0;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream in(task.path() / "schedstat");
        unsigned long long ns = 0;
        if (in >> ns) total += static_cast<double>(ns) / 1e9;
    }
    return ec ? -1 : total;
}

int CountRd(const probesim::ProbeSim& sim) {
    const std::vector<std::string> c = sim.commandsReceived();
    return static_cast<int>(std::count(c.begin(), c.end(), std::string("RD")));
}

struct CpuRun {
    bool ok = false;
    std::string error;
    double cpuS = 0, wallS = 0;
    double ticksS = 0;  // the same from /proc/<pid>/stat, in 10 ms ticks
    int readings = 0;
    double perMinute() const { return wallS > 0 ? cpuS / wallS * 60.0 : 0; }
};

// The real program reading from its own probe-sim, in a home of its own.
struct Launched {
    std::unique_ptr<probesim::ProbeSim> sim;
    std::unique_ptr<QTemporaryDir> dir;
    pid_t pid = -1;
    std::string error;
    double cpu0 = 0, ticks0 = 0;
    int rd0 = 0;
    ~Launched() {
        if (pid > 0) Stop(pid, 2000);
        if (sim) sim->stop();
    }
};

void Launch(Launched& run, bool graphOpen) {
    namespace fs = std::filesystem;
    probesim::Options options;
    options.model = 'E';
    options.seed = 7;
    run.sim = std::make_unique<probesim::ProbeSim>(options);
    if (!run.sim->start()) {
        run.error = "probe-sim: " + run.sim->lastError();
        return;
    }
    run.dir = std::make_unique<QTemporaryDir>();
    const fs::path folder = run.dir->path().toStdString();
    const fs::path program = folder / "fenwyd8200";
    const fs::path config = folder / "config";
    std::error_code ec;
    fs::copy_file(FENWYD_BENCH_PROGRAM, program, ec);
    fs::create_directories(config, ec);
    std::string settings = "[Ports]\nComm2=" + run.sim->devicePath() + "\n";
    if (graphOpen) settings += "[Graph]\nOpen=1\nShow=1\n";  // the last 5 minutes
    if (ec ||
        !WriteText(folder / "Fenwyd8200.cfg",
                   " 2 \r\nV/m\r\n" + folder.string() + "\r\n15\r\n 30 \r\n") ||
        !WriteText(config / "Fenwyd 8200.conf", settings)) {
        run.error = "cannot prepare " + folder.string();
        return;
    }
    fs::permissions(program, fs::perms::owner_all, fs::perm_options::add, ec);
    const std::string logPath = (folder / "program.log").string();
    const int logFd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    // A home of its own in the folder: its settings are folder/config.
    run.pid =
        Spawn(program.string(), {}, EnvironmentInHome(folder, {{"QT_QPA_PLATFORM", "offscreen"}}),
              logFd, logFd);
    if (logFd >= 0) close(logFd);
    if (run.pid <= 0) run.error = "cannot start " + program.string();
}

// The graph closed and open, the two programs side by side over the same
// `seconds` of reading after their warm-up: the machine's speed changes from
// one minute to the next (other guests on its host), and both are measured
// in the same minute so that the ratio is the graph's alone.
std::pair<CpuRun, CpuRun> SideBySide(int seconds) {
    auto sleepS = [](double s) {
        std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(s * 1000)));
    };
    Launched runs[2];
    CpuRun result[2];
    for (int i = 0; i < 2; ++i) Launch(runs[i], i == 1);
    const double launched = Now();
    for (int i = 0; i < 2; ++i) {
        if (!runs[i].error.empty()) {
            result[0].error = result[1].error = runs[i].error;
            return {result[0], result[1]};
        }
        while (CountRd(*runs[i].sim) == 0 && Now() - launched < kTimeoutS) sleepS(0.01);
        if (CountRd(*runs[i].sim) == 0) {
            result[0].error = result[1].error = "no RD within " + Num(kTimeoutS, 0) + " s";
            return {result[0], result[1]};
        }
    }
    sleepS(kWarmupS);
    const double t0 = Now();
    for (Launched& r : runs) {
        r.cpu0 = ThreadsCpuSeconds(r.pid);
        r.ticks0 = ProcessCpuSeconds(r.pid);
        r.rd0 = CountRd(*r.sim);
    }
    sleepS(seconds);
    for (int i = 0; i < 2; ++i) {
        const double cpu1 = ThreadsCpuSeconds(runs[i].pid);
        const double ticks1 = ProcessCpuSeconds(runs[i].pid);
        CpuRun& out = result[i];
        out.wallS = Now() - t0;
        out.readings = CountRd(*runs[i].sim) - runs[i].rd0;
        if (runs[i].cpu0 < 0 || cpu1 < 0 || runs[i].ticks0 < 0 || ticks1 < 0) {
            out.error = "no /proc figures for the program";
            continue;
        }
        out.cpuS = cpu1 - runs[i].cpu0;
        out.ticksS = ticks1 - runs[i].ticks0;
        out.ok = true;
    }
    return {result[0], result[1]};
}

// Median ms of kRedraws redraws: the plot rebuilt, the window painted.
double TimeRedraws(ui::GraphWindow& graph, std::string& list) {
    std::vector<double> ms;
    for (int i = 0; i < kRedraws; ++i) {
        const double t = Now();
        graph.replot();
        QCoreApplication::sendPostedEvents();  // the chart's layout requests
        graph.repaint();
        ms.push_back((Now() - t) * 1000.0);
    }
    for (double m : ms) list += (list.empty() ? "" : " ") + Num(m, 2);
    return Median(ms);
}
}  // namespace

int GraphChild(int argc, char** argv) {
    QApplication app(argc, argv);
    ui::InstallFontSubstitutes();
    QTemporaryDir folder;
    testing::VirtualClock clock;
    testing::FakeSerialPort port{clock};
    testing::MemorySettings settings;
    testing::ScriptedDialogs dialogs;
    auto window = std::make_unique<ui::MainWindow>(port, clock, settings,
                                                   folder.path().toStdString(), &dialogs);
    auto session = std::make_unique<ui::Session>(*window, settings, clock);
    Instrument& in = window->instrument();
    in.Form_Load();
    window->show();
    Settle();

    in.SetUp57XX();
    in.ToggleRecordOn();
    for (int i = 0; i < kMaxRecords + kExtraReplies; ++i) {
        in.st.ProbeData = Reading(i, true);
        in.ProcessData(1);
        clock.wait(kReadingMs);  // readings 366 ms apart, as on the wire
        if (i % 256 == 0) QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    window->render();
    Settle();
    const MemoryStatus before = ReadMemoryStatus();

    session->showGraph();
    ui::GraphWindow& graph = *session->graphWindow();
    graph.resize(1000, 600);
    graph.setShow(ui::GraphWindow::Show::DataLog);
    Settle();
    const MemoryStatus after = ReadMemoryStatus();

    std::string logTimes, liveTimes;
    const double logMs = TimeRedraws(graph, logTimes);
    const std::size_t logDrawn = graph.plotted().readings;
    graph.setShow(ui::GraphWindow::Show::AllLive);
    Settle();
    const double liveMs = TimeRedraws(graph, liveTimes);
    const std::size_t liveDrawn = graph.plotted().readings;
    // What the graph does once a second while reading: the last 5 minutes.
    graph.setShow(ui::GraphWindow::Show::Last5);
    Settle();
    std::string followTimes;
    const double followMs = TimeRedraws(graph, followTimes);
    const std::size_t followDrawn = graph.plotted().readings;
    const int plotWidth = graph.plotWidth();

    std::printf("%ld %ld %ld %ld %d %zu %.3f %zu %.3f %zu %.3f %zu %d|%s|%s\n", before.hwmKb,
                before.rssKb, after.hwmKb, after.rssKb, static_cast<int>(in.st.RecordCnt),
                session->history().live().size(), logMs, logDrawn, liveMs, liveDrawn, followMs,
                followDrawn, plotWidth, logTimes.c_str(), liveTimes.c_str());
    std::fflush(stdout);
    return 0;
}

std::vector<Figure> BenchGraphDrawing() {
    Figure redraw{"Graph redraw, full log", "n/a", "< 16 ms", ""};
    Figure memory{"Memory, graph over full log", "n/a", "< 20 MB", ""};
    std::string line;
    const bool got = RunChild("--graph-child", 600000, line);

    long hwm0 = 0, rss0 = 0, hwm1 = 0, rss1 = 0;
    int rows = 0, width = 0;
    std::size_t live = 0, logDrawn = 0, liveDrawn = 0, followDrawn = 0;
    double logMs = 0, liveMs = 0, followMs = 0;
    const auto bar1 = line.find('|');
    const auto bar2 = line.find('|', bar1 + 1);
    std::istringstream fields(line.substr(0, bar1));
    if (!got || bar2 == std::string::npos ||
        !(fields >> hwm0 >> rss0 >> hwm1 >> rss1 >> rows >> live >> logMs >> logDrawn >> liveMs >>
          liveDrawn >> followMs >> followDrawn >> width)) {
        redraw.raw = memory.raw = "the child gave no figures";
        return {redraw, memory};
    }
    redraw.value = Num(logMs, 2) + " ms";
    redraw.raw = "data log of " + std::to_string(rows) + " rows, " + std::to_string(logDrawn) +
                 " points drawn over " + std::to_string(width) + " px: median of " +
                 std::to_string(kRedraws) + " [" + line.substr(bar1 + 1, bar2 - bar1 - 1) +
                 "] ms; all " + std::to_string(live) + " live readings, " +
                 std::to_string(liveDrawn) + " drawn: median " + Num(liveMs, 2) + " ms [" +
                 line.substr(bar2 + 1) + "]; the last 5 minutes (" + std::to_string(followDrawn) +
                 " drawn), as once a second while reading: median " + Num(followMs, 2) +
                 " ms; rebuild + full paint of the graph window, offscreen";
    memory.value = Num((hwm1 - hwm0) / 1024.0, 2) + " MB";
    memory.raw = "VmHWM " + std::to_string(hwm0) + " kB with a full log -> " +
                 std::to_string(hwm1) + " kB with the graph open on it; VmRSS " +
                 std::to_string(rss0) + " -> " + std::to_string(rss1) + " kB (" +
                 Num((rss1 - rss0) / 1024.0, 2) + " MB); real MainWindow offscreen";
    return {redraw, memory};
}

std::vector<Figure> BenchGraphCpu(int seconds) {
    Figure f{"CPU/min, graph open / closed", "n/a", "<= 1.5", ""};
    Figure abs{"CPU per minute, graph open", "n/a", "<= 0.3 s/min", ""};
    Figure alone{"CPU per minute, graph closed", "n/a", "", ""};
    const auto [closed, open] = SideBySide(seconds);
    if (!closed.ok || !open.ok) {
        f.raw = abs.raw = alone.raw = closed.ok ? open.error : closed.error;
        return {f, abs, alone};
    }
    auto describe = [](const CpuRun& r) {
        return Num(r.cpuS, 3) + " s over " + Num(r.wallS, 1) + " s (" + Num(r.perMinute(), 3) +
               " s/min, " + std::to_string(r.readings) + " readings; stat ticks " +
               Num(r.ticksS, 2) + " s)";
    };
    f.value = Num(open.perMinute() / std::max(closed.perMinute(), 1e-9), 2);
    f.raw =
        "whole fenwyd8200 processes, CPU of their threads from /proc/<pid>/task/*/schedstat "
        "(ns), the two side by side over the same minute: closed " +
        describe(closed) + "; open on the last 5 minutes " + describe(open) + "; after a " +
        Num(kWarmupS, 0) + " s warm-up past the first RD";
    abs.value = Num(open.perMinute(), 3) + " s/min";
    abs.raw = "the program with the graph open, in that run";
    alone.value = Num(closed.perMinute(), 3) + " s/min";
    alone.raw = "the program with the graph closed, in that run; each against its own probe-sim";
    return {f, abs, alone};
}

}  // namespace fenwyd::bench
