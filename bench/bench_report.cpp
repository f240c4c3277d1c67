// The report of a full log (32000 readings, the most a data log holds) by
// the real program: fenwyd8200 --report as a process, its wall time, CPU
// time and peak resident memory.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>
#include <memory>

#include "bench.h"
#include "datalog/export.h"

namespace fenwyd::bench {

namespace {
constexpr int kRuns = 5;

// A full log at one reading a second, in mG, wandering as a field does.
bool WriteFullLog(const std::string& path) {
    auto data = std::make_unique<float[][kLogColumns]>(kMaxRecords + 1);
    for (int32_t i = 1; i <= kMaxRecords; ++i) {
        data[i][kLogColTime] = static_cast<float>((8 * 3600.0 + i) / 86400.0);
        const int raw = 400 + static_cast<int>(300 * std::sin(i / 900.0)) + (i * 7919) % 97;
        data[i][kLogColValue] = static_cast<float>(raw) / 10.0f;
        data[i][kLogColExponent] = -3;
    }
    ExportInput in;
    in.recordData = data.get();
    in.recordCnt = kMaxRecords;
    in.unitsText = "Gauss";
    in.notes = {{"Site", "Substation 4, fence line"}, {"Operator", "R. Pryce"}};
    in.dateText = [] { return "12/6/2026"; };
    in.timeText = [] { return "5:10:00 PM"; };
    in.onTimeFormatError = [] {};
    return WriteDataPages(path, in).ok;
}
}  // namespace

std::vector<Figure> BenchReport() {
    QTemporaryDir dir;
    const std::string log = dir.filePath(QStringLiteral("full.csv")).toStdString();
    const std::string pdf = dir.filePath(QStringLiteral("full.pdf")).toStdString();
    const std::string home = dir.path().toStdString();
    if (!WriteFullLog(log)) return {{"Report of a full log", "n/a", "a few s", "no data file"}};
    const std::vector<std::string> env = EnvironmentWith({{"HOME", home},
                                                          {"XDG_CONFIG_HOME", home},
                                                          {"XDG_DATA_HOME", home},
                                                          {"XDG_CACHE_HOME", home},
                                                          {"XDG_RUNTIME_DIR", home},
                                                          {"QT_QPA_PLATFORM", "offscreen"}});
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    std::vector<double> wall, cpu;
    long peakKb = 0;
    for (int r = 0; r < kRuns; ++r) {
        const double t0 = Now();
        const pid_t pid =
            Spawn(FENWYD_BENCH_PROGRAM,
                  {"--report", log, "--output", pdf, "--exposure", "icnirp2010-public"}, env,
                  devNull, devNull);
        int status = 0;
        rusage ru{};
        if (pid <= 0 || wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            close(devNull);
            return {{"Report of a full log", "n/a", "a few s", "the program failed"}};
        }
        wall.push_back(Now() - t0);
        cpu.push_back(ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec +
                      ru.ru_stime.tv_usec / 1e6);
        peakKb = std::max(peakKb, ru.ru_maxrss);
    }
    close(devNull);
    const long bytes = QFileInfo(QString::fromStdString(pdf)).size();
    auto list = [](const std::vector<double>& v) {
        std::string s;
        for (double x : v) s += (s.empty() ? "" : " ") + Num(x, 2);
        return s;
    };
    return {{"Report of a full log (32000 readings)", Num(Median(wall), 2) + " s", "a few s",
             "fenwyd8200 --report, wall median of " + std::to_string(kRuns) + " [" + list(wall) +
                 "] s; CPU median " + Num(Median(cpu), 2) + " s [" + list(cpu) + "]; PDF " +
                 std::to_string(bytes / 1024) + " kB"},
            {"Report of a full log, peak memory", std::to_string(peakKb / 1024) + " MB", "",
             "largest VmHWM (ru_maxrss) of the " + std::to_string(kRuns) + " runs"}};
}

}  // namespace fenwyd::bench
