// How soon the window answers while the probe is read: the lateness of a
// 10 ms timer on the window's event loop (the real MainWindow, offscreen,
// on the real serial path to probe-sim in its own process) while reading,
// during range steps and during an upload; and, from outside, how long a
// screen reader waits for an answer from the real program (AT-SPI, under
// Xvfb, bench/atspi_latency.py).
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sstream>

#include "bench.h"
#include "instrument/instrument.h"
#include "qt/qt_platform.h"
#include "qt/qt_serial_port.h"
#include "support/fakes.h"
#include "ui/main_window.h"

namespace fenwyd::bench {

namespace {
constexpr int16_t kPort = 2;
constexpr int kTimerMs = 10;
constexpr int kReadingS = 20;
constexpr int kRangeSteps = 6;
constexpr int kStored = 12;  // readings the simulated probe holds for the upload

// The nanoseconds this thread has waited on a run queue for a processor
// (/proc/thread-self/schedstat, second field): on a busy machine the timer
// is late because another process had the processor, not because our event
// loop was held up.
double QueuedMs() {
    std::FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
    if (f == nullptr) return 0;
    unsigned long long run = 0, wait = 0;
    const int got = std::fscanf(f, "%llu %llu", &run, &wait);
    std::fclose(f);
    return got == 2 ? static_cast<double>(wait) / 1e6 : 0;
}

// Page faults that had to wait for the disk, so far (a page of the program
// or a library the system had dropped while others needed the memory).
long MajorFaults() {
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return ru.ru_majflt;
}

// One phase's timer delays, in ms past the 10 ms asked for, and the same
// less the time spent waiting for a processor meanwhile.
struct Delays {
    std::vector<double> ms;
    std::vector<double> ownMs;
    long worstFaults = 0;  // disk waits of the page faults in the longest delay
    double quantile(double q) const {
        if (ms.empty()) return 0;
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        const auto at = static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
        return v[std::min(at, v.size() - 1)];
    }
    double max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

// Runs the event loop until done() or the deadline, timing a repeating
// 10 ms timer all the while.
Delays Measure(const std::function<bool()>& done, int deadlineS) {
    Delays d;
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(kTimerMs);
    QElapsedTimer since;
    double queued = QueuedMs();
    long faults = MajorFaults();
    double worst = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double ms = static_cast<double>(since.nsecsElapsed()) / 1e6;
        since.restart();
        const double nowQueued = QueuedMs();
        d.ms.push_back(std::max(0.0, ms - kTimerMs));
        d.ownMs.push_back(std::max(0.0, ms - kTimerMs - (nowQueued - queued)));
        queued = nowQueued;
        const long nowFaults = MajorFaults();
        if (d.ms.back() >= worst) {
            worst = d.ms.back();
            d.worstFaults = nowFaults - faults;
        }
        faults = nowFaults;
        if (done()) loop.quit();
    });
    QTimer::singleShot(deadlineS * 1000, &loop, &QEventLoop::quit);
    since.start();
    tick.start();
    loop.exec();
    return d;
}

std::string Summary(const Delays& d) {
    const double ownMax = d.ownMs.empty() ? 0 : *std::max_element(d.ownMs.begin(), d.ownMs.end());
    return Num(d.quantile(0.5), 2) + " " + Num(d.quantile(0.95), 2) + " " + Num(d.max(), 2) + " " +
           std::to_string(d.ms.size()) + " " + Num(ownMax, 2) + " " + std::to_string(d.worstFaults);
}
}  // namespace

int LatencyChild(int argc, char** argv) {
    QApplication app(argc, argv);
    ui::InstallFontSubstitutes();
    QTemporaryDir dir;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return 1;
    const pid_t sim = Spawn(FENWYD_BENCH_PROBE_SIM,
                            {"--model", "E", "--fixed", "--stored", std::to_string(kStored)},
                            EnvironmentWith({}), out[1], -1);
    close(out[1]);
    std::string device;
    const bool started = sim > 0 && ReadLine(out[0], device, 5000) && !device.empty();
    close(out[0]);
    if (!started) return 1;
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Fenwyd 8200"));
        s.setValue(QStringLiteral("Ports/Comm%1").arg(kPort), QString::fromStdString(device));
        s.sync();
    }

    QtSerialPort port;
    QtClock clock;
    testing::MemorySettings settings;
    testing::ScriptedDialogs dialogs;
    auto window =
        std::make_unique<ui::MainWindow>(port, clock, settings, dir.path().toStdString(), &dialogs);
    Instrument& in = window->instrument();
    window->show();
    Settle();
    in.OpenCommPort(kPort);
    if (in.st.CommPortOpenOk != 1) {
        Stop(sim, 1000);
        return 1;
    }
    in.HRTReadProbe().setEnabled(true);
    // Past the first readings and the battery reading they queue.
    Measure([] { return false; }, 5);

    const Delays reading = Measure([] { return false; }, kReadingS);

    // Range steps, one after another: each queued as the last one's reply
    // has been interpreted.
    int steps = 0;
    bool stepping = false;
    in.LabRange_Click();
    const Delays range = Measure(
        [&] {
            // The step is taken once the tick has sent it; it is over when
            // no transaction runs and nothing more is queued.
            if (!in.st.PendingCmnd.empty()) return false;
            if (in.Busy()) {
                stepping = true;
                return false;
            }
            if (!stepping) return false;
            stepping = false;
            if (++steps == kRangeSteps) return true;
            in.LabRange_Click();
            return false;
        },
        60);

    in.AfterReply([&in] { in.mnuProbeUploadData_Click(); });
    bool begun = false;
    const Delays upload = Measure(
        [&] {
            begun = begun || in.st.UploadActive != 0;
            return begun && in.st.UploadActive == 0;
        },
        120);
    const int uploaded = in.st.RecordCnt;

    in.HRTReadProbe().setEnabled(false);
    window.reset();
    Stop(sim, 2000);
    std::printf("%s %s %d %s %d\n", Summary(reading).c_str(), Summary(range).c_str(), steps,
                Summary(upload).c_str(), uploaded);
    std::fflush(stdout);
    return 0;
}

std::vector<Figure> BenchLatency() {
    const char* goal = "< 20 ms";
    Figure reading{"Event loop, reading: p95 / max", "n/a", goal, ""};
    Figure range{"Event loop, range steps: p95 / max", "n/a", goal, ""};
    Figure upload{"Event loop, upload: p95 / max", "n/a", goal, ""};
    std::string line;
    const bool got = RunChild("--latency-child", 300000, line);
    double r[6], g[6], u[6];
    int steps = 0, uploaded = 0;
    std::istringstream in(line);
    if (!got ||
        !(in >> r[0] >> r[1] >> r[2] >> r[3] >> r[4] >> r[5] >> g[0] >> g[1] >> g[2] >> g[3] >>
          g[4] >> g[5] >> steps >> u[0] >> u[1] >> u[2] >> u[3] >> u[4] >> u[5] >> uploaded)) {
        reading.raw = range.raw = upload.raw = "the child gave no figures";
        return {reading, range, upload};
    }
    auto fill = [](Figure& f, const double* v, const std::string& what) {
        f.value = Num(v[1], 1) + " / " + Num(v[2], 1) + " ms";
        f.raw = "a 10 ms timer's delay over " + std::to_string(static_cast<int>(v[3])) +
                " firings: median " + Num(v[0], 2) + " ms, 95th percentile " + Num(v[1], 2) +
                " ms, max " + Num(v[2], 2) + " ms (" + Num(v[4], 2) +
                " ms less its time waiting for a processor, /proc/thread-self/schedstat; " +
                std::to_string(static_cast<int>(v[5])) + " page faults read from disk in it); " +
                what + "; real MainWindow offscreen, probe-sim on a pseudo-terminal";
    };
    fill(reading, r, std::to_string(kReadingS) + " s of reading");
    fill(range, g, std::to_string(steps) + " range steps in a row, reading between them");
    fill(upload, u, "an upload of " + std::to_string(uploaded) + " stored readings");
    return {reading, range, upload};
}

}  // namespace fenwyd::bench

namespace fenwyd::bench {

std::vector<Figure> BenchScreenReader() {
    Figure reading{"Screen reader, reading: median / max", "n/a", "< 50 ms / < 150 ms", ""};
    Figure range{"Screen reader, range steps: median / max", "n/a", "< 50 ms / < 150 ms", ""};
    Figure upload{"Screen reader, upload: median / max", "n/a", "< 50 ms / < 150 ms", ""};
    QTemporaryDir dir;
    const std::string errPath = dir.filePath(QStringLiteral("gui.err")).toStdString();
    const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int out[2];
    if (errFd < 0 || pipe2(out, O_CLOEXEC) != 0) return {reading, range, upload};
    const pid_t runner =
        Spawn("/bin/bash", {FENWYD_BENCH_GUI_RUNNER, FENWYD_BENCH_PROGRAM, FENWYD_BENCH_PROBE_SIM},
              EnvironmentWith({{"FENWYD_GUI_SCRIPT", FENWYD_BENCH_ATSPI_SCRIPT}}), out[1], errFd);
    close(out[1]);
    close(errFd);
    std::string line;
    const double deadline = Now() + 300;
    bool got = false;
    // Each line as it comes: the measuring phases print nothing for a while.
    while (runner > 0 && Now() < deadline &&
           ReadLine(out[0], line, static_cast<int>((deadline - Now()) * 1000))) {
        if (line.rfind("ATSPI ", 0) == 0) {
            got = true;
            break;
        }
        if (line.rfind("SKIPPED", 0) == 0) break;
    }
    close(out[0]);
    Stop(runner, 10000);
    double r[3], g[3], u[3];
    int steps = 0;
    std::istringstream in(got ? line.substr(6) : std::string());
    if (!got ||
        !(in >> r[0] >> r[1] >> r[2] >> g[0] >> g[1] >> g[2] >> steps >> u[0] >> u[1] >> u[2])) {
        reading.raw = range.raw = upload.raw = "no figures from the AT-SPI run (" +
                                               (line.empty() ? std::string("no output") : line) +
                                               "; its errors in a temporary file)";
        return {reading, range, upload};
    }
    auto fill = [](Figure& f, const double* v, const std::string& what) {
        f.value = Num(v[0], 1) + " / " + Num(v[1], 1) + " ms";
        f.raw = std::to_string(static_cast<int>(v[2])) +
                " AT-SPI requests (the field value's extents), 20 ms apart: median " +
                Num(v[0], 2) + " ms, max " + Num(v[1], 2) + " ms; " + what +
                "; the real fenwyd8200 under Xvfb and openbox (bench/atspi_latency.py)";
    };
    fill(reading, r, "20 s of reading");
    fill(range, g, std::to_string(steps) + " range steps, each a click on the range label");
    fill(upload, u, "Probe > Upload Data of 12 stored readings");
    return {reading, range, upload};
}

}  // namespace fenwyd::bench
