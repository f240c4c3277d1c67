// Start-up: from launching the real program to the first "RD" at the
// simulator, less the 5 s splash. The program runs from a copy in a fresh
// folder with a configuration file that picks Comm2, and Comm2 is mapped to
// the simulator in a private settings store.
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
constexpr int kRepetitions = 3;
constexpr double kSplashS = 5.0;
constexpr double kTimeoutS = 30.0;

bool SawReading(const probesim::ProbeSim& sim) {
    const std::vector<std::string> commands = sim.commandsReceived();
    return std::find(commands.begin(), commands.end(), "RD") != commands.end();
}

// Seconds from launch to the first "RD"; negative on failure.
double OneStart(std::string& error) {
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
    // A home of its own in the folder: its settings are folder/config.
    const std::vector<std::string> env =
        EnvironmentInHome(folder, {{"QT_QPA_PLATFORM", "offscreen"}});
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
}  // namespace

Figure BenchStartup() {
    Figure f{"Start-up to first RD - splash", "n/a", "< 0.5 s", ""};
    std::vector<double> times;
    std::string list;
    for (int r = 0; r < kRepetitions; ++r) {
        std::string error;
        const double t = OneStart(error);
        if (t < 0) {
            f.raw = error;
            return f;
        }
        times.push_back(t);
        list += (list.empty() ? "" : " ") + Num(t, 3);
    }
    const double median = Median(times);
    f.value = Num(median - kSplashS, 3) + " s";
    f.raw = "launch to first RD at probe-sim [" + list + "] s, median " + Num(median, 3) +
            " s, less the " + Num(kSplashS, 0) + " s splash; " + std::to_string(kRepetitions) +
            " launches of a copied fenwyd8200, offscreen";
    return f;
}

}  // namespace fenwyd::bench
