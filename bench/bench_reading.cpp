// Routine reading: the logic on the real serial path (QtSerialPort, QtClock,
// QtTimer) against probe-sim running as its own process, so this process's
// CPU time is the program's alone.
#include <fcntl.h>
#include <unistd.h>

#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <map>

#include "bench.h"
#include "instrument/instrument.h"
#include "qt/qt_platform.h"
#include "qt/qt_serial_port.h"
#include "support/fakes.h"

namespace fenwyd::bench {

namespace {
constexpr double kReplyWaitS = 0.300;  // wait before an RD reply is read
constexpr double kTickS = 0.066;       // reading tick, restarted after each transaction
constexpr double kLimitPerS = 1.0 / (kReplyWaitS + kTickS);
constexpr double kWarmupLimitS = 15.0;
constexpr int16_t kPort = 2;

// Each accepted reading (ProcessData's valid "RD" branch, the one that
// counts st.ActualSamPerSec) asks for an immediate repaint.
class ReadingDisplay : public testing::RecordingDisplay {
public:
    std::function<void()> onReading;
    void repaintNow() override {
        RecordingDisplay::repaintNow();
        if (onReading) onReading();
    }
};

void MapPort(int portNo, const std::string& device) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Fenwyd 8200"));
    s.setValue(QStringLiteral("Ports/Comm%1").arg(portNo), QString::fromStdString(device));
    s.sync();
}

// Commands per name from the simulator's --verbose trace ("[ t] rx RD").
std::map<std::string, int> CommandsInTrace(const std::string& path) {
    std::map<std::string, int> counts;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const auto at = line.find("] rx ");
        if (at != std::string::npos) ++counts[line.substr(at + 5)];
    }
    return counts;
}

std::vector<Figure> Failed(const std::string& why) {
    return {{"Reading rate / limit", "n/a", ">= 0.99", why},
            {"CPU per minute of reading", "n/a", "<= 0.3 s/min", why}};
}
}  // namespace

std::vector<Figure> BenchReading(int seconds) {
    QTemporaryDir dir;
    const std::string tracePath = dir.filePath(QStringLiteral("probe-sim.log")).toStdString();
    const int traceFd = open(tracePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int out[2];
    if (traceFd < 0 || pipe2(out, O_CLOEXEC) != 0) return Failed("no pipe for probe-sim");
    const pid_t sim = Spawn(FENWYD_BENCH_PROBE_SIM, {"--model", "E", "--fixed", "--verbose"},
                            EnvironmentWith({}), out[1], traceFd);
    close(out[1]);
    close(traceFd);
    std::string device;
    const bool started = sim > 0 && ReadLine(out[0], device, 5000) && !device.empty();
    close(out[0]);
    if (!started) {
        Stop(sim, 1000);
        return Failed("probe-sim did not start");
    }
    MapPort(kPort, device);

    QtSerialPort port;
    QtClock clock;
    testing::ScriptedDialogs dialogs;
    testing::MemorySettings settings;
    ReadingDisplay display;
    auto in = std::make_unique<Instrument>(
        Platform{port, clock, dialogs, settings, display, dir.path().toStdString(), ""});

    // Warm-up: the fifth reply after the link comes back queues a battery
    // reading ("BT" and its "KR", 2.3 s). Counting starts at the first
    // reading after that one, and ends at the first reading N s later.
    enum class Phase { Warmup, Measuring, Done } phase = Phase::Warmup;
    int warmupReadings = 0, readings = 0;
    double tConnect = 0, tStart = 0, tEnd = 0, cpuStart = 0, cpuEnd = 0;
    bool batteryRead = false;
    QEventLoop loop;
    display.onReading = [&] {
        const double now = Now();
        if (phase == Phase::Warmup) {
            const std::string& battery = in->view.LabBattery.caption;
            batteryRead = battery.size() > 2 && battery.compare(battery.size() - 2, 2, " V") == 0;
            if (batteryRead || now - tConnect > kWarmupLimitS) {
                phase = Phase::Measuring;
                tStart = now;
                cpuStart = CpuSeconds();
            } else {
                ++warmupReadings;
            }
        } else if (phase == Phase::Measuring) {
            ++readings;
            if (now - tStart >= seconds) {
                tEnd = now;
                cpuEnd = CpuSeconds();
                phase = Phase::Done;
                loop.quit();
            }
        }
    };

    tConnect = Now();
    in->OpenCommPort(kPort);
    if (in->st.CommPortOpenOk != 1) {
        Stop(sim, 1000);
        return Failed("cannot open " + device);
    }
    in->HRTReadProbe().setEnabled(true);
    QTimer::singleShot((seconds + 60) * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    in->HRTReadProbe().setEnabled(false);
    in.reset();
    Stop(sim, 2000);

    if (phase != Phase::Done || readings == 0) return Failed("the run did not complete");

    const std::map<std::string, int> commands = CommandsInTrace(tracePath);
    std::string simText = "probe-sim received";
    for (const auto& [name, count] : commands) simText += " " + name + " " + std::to_string(count);

    const double wall = tEnd - tStart;
    const double rate = readings / wall;
    const double cpu = cpuEnd - cpuStart;
    Figure rateFigure{
        "Reading rate / limit", Num(rate / kLimitPerS, 4), ">= 0.99",
        std::to_string(readings) + " readings in " + Num(wall, 3) + " s = " + Num(rate, 4) +
            "/s; limit 1/(0.300+0.066) = " + Num(kLimitPerS, 4) + "/s; mean cycle " +
            Num(wall / readings * 1000, 2) + " ms vs 366 ms; counted: " +
            "accepted RD replies (ProcessData, st.ActualSamPerSec); warm-up " +
            Num(tStart - tConnect, 2) + " s, " + std::to_string(warmupReadings) + " readings" +
            (batteryRead ? " + BT/KR" : ", no battery reply") + "; " + simText};
    Figure cpuFigure{"CPU per minute of reading", Num(cpu / wall * 60.0, 3) + " s/min",
                     "<= 0.3 s/min",
                     "getrusage(RUSAGE_SELF) user+sys " + Num(cpu, 3) + " s over the same " +
                         Num(wall, 3) + " s (" + Num(cpu / readings * 1000.0, 3) +
                         " ms per reading); probe-sim in its own process, not counted"};
    return {rateFigure, cpuFigure};
}

}  // namespace fenwyd::bench
