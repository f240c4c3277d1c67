// Start-up: from launching the real program to the first "RD" at the
// simulator, less the 5 s splash, with an empty journal and with a full one.
// The program runs from a copy in a fresh folder with a configuration file
// that picks Comm2, Comm2 mapped to the simulator in a private settings store
// and the journal in a private data folder.
#include <fcntl.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "bench.h"
#include "probe_sim.h"

namespace fenwyd::bench {

namespace {
constexpr int kRepetitions = 5;
constexpr double kSplashS = 5.0;
constexpr double kTimeoutS = 30.0;

bool SawReading(const probesim::ProbeSim& sim) {
    const std::vector<std::string> commands = sim.commandsReceived();
    return std::find(commands.begin(), commands.end(), "RD") != commands.end();
}

// Seconds from launch to the first "RD" with the journal of dataHome;
// negative on failure.
double OneStart(const std::string& dataHome, std::string& error) {
    namespace fs = std::filesystem;
    probesim::Options options;
    options.model = 'E';
    options.fixedValue = true;
    options.excursionRate = 0;
    probesim::ProbeSim sim(options);
    if (!sim.start()) {
        error = "probe-sim: " + sim.lastError();
        return -1;
    }

    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    const fs::path program = folder / "fenwyd8200";
    const fs::path config = folder / "config";
    std::error_code ec;
    fs::copy_file(FENWYD_BENCH_PROGRAM, program, ec);
    fs::create_directories(config, ec);
    if (ec ||
        !WriteText(folder / "Fenwyd8200.cfg",
                   " 2 \r\nV/m\r\n" + folder.string() + "\r\n15\r\n 30 \r\n") ||
        !WriteText(config / "Fenwyd 8200.conf", "[Ports]\nComm2=" + sim.devicePath() + "\n")) {
        error = "cannot prepare " + folder.string();
        return -1;
    }
    fs::permissions(program, fs::perms::owner_all, fs::perm_options::add, ec);

    const std::string logPath = (folder / "program.log").string();
    const int logFd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    // A home of its own in the folder: its settings are folder/config, its
    // journal the one under dataHome.
    const std::vector<std::string> env =
        EnvironmentInHome(folder, {{"XDG_DATA_HOME", dataHome}, {"QT_QPA_PLATFORM", "offscreen"}});
    const double t0 = Now();
    const pid_t pid = Spawn(program.string(), {}, env, logFd, logFd);
    if (logFd >= 0) close(logFd);
    if (pid <= 0) {
        error = "cannot start " + program.string();
        return -1;
    }
    double t1 = -1;
    while (Now() - t0 < kTimeoutS) {
        if (SawReading(sim)) {
            t1 = Now();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Stop(pid, 2000);
    sim.stop();
    if (t1 < 0) {
        error = "no RD within " + Num(kTimeoutS, 0) + " s";
        return -1;
    }
    return t1 - t0;
}

// The median of a few launches against the journal of dataHome.
Figure Launches(const std::string& name, const std::string& dataHome, const std::string& note,
                double& median) {
    Figure f{name, "n/a", "", ""};
    std::vector<double> times;
    std::string list;
    for (int r = 0; r < kRepetitions; ++r) {
        std::string error;
        const double t = OneStart(dataHome, error);
        if (t < 0) {
            f.raw = error;
            median = -1;
            return f;
        }
        times.push_back(t);
        list += (list.empty() ? "" : " ") + Num(t, 3);
    }
    median = Median(times);
    f.value = Num(median - kSplashS, 3) + " s";
    f.raw = "launch to first RD at probe-sim [" + list + "] s, median " + Num(median, 3) +
            " s, less the " + Num(kSplashS, 0) + " s splash; " + std::to_string(kRepetitions) +
            " launches of a copied fenwyd8200, offscreen, " + note;
    return f;
}
}  // namespace

std::vector<Figure> BenchStartup() {
    QTemporaryDir emptyHome;
    double empty = 0, full = 0;
    Figure first = Launches("Start-up to first RD - splash", emptyHome.path().toStdString(),
                            "empty journal", empty);
    first.goal = "< 0.5 s";
    std::string error;
    double upgradeS = 0;
    const std::string home = FullJournalHome(error, upgradeS);
    if (home.empty()) return {first, {"Start-up, full journal - empty", "n/a", "<= 0.1 s", error}};
    Figure second =
        Launches("Start-up, full journal - empty", home, "200 logs of 32000 readings", full);
    second.goal = "<= 0.1 s";
    if (empty >= 0 && full >= 0) {
        second.raw = "full journal " + Num(full - kSplashS, 3) + " s less empty journal " +
                     Num(empty - kSplashS, 3) + " s; " + second.raw;
        second.value = Num(full - empty, 3) + " s";
    }
    return {first, second};
}

}  // namespace fenwyd::bench
