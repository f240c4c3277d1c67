#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "bench.h"
#include "journal/journal.h"
#include "support/harness.h"
#include "support/journal_fixtures.h"

namespace fenwyd::bench {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    auto seconds = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
    return seconds(ru.ru_utime) + seconds(ru.ru_stime);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Num(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

bool RunChild(const std::string& childFlag, int timeoutMs, std::string& line,
              const std::vector<std::string>& args) {
    QTemporaryDir dir;
    const std::string errPath = dir.filePath(QStringLiteral("child.err")).toStdString();
    const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int out[2];
    if (errFd < 0 || pipe2(out, O_CLOEXEC) != 0) return false;
    std::vector<std::string> all{childFlag};
    all.insert(all.end(), args.begin(), args.end());
    const pid_t child = Spawn("/proc/self/exe", all,
                              EnvironmentWith({{"QT_QPA_PLATFORM", "offscreen"}}), out[1], errFd);
    close(out[1]);
    close(errFd);
    const bool got = child > 0 && ReadLine(out[0], line, timeoutMs);
    close(out[0]);
    Stop(child, 5000);
    return got;
}

void Settle() {
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(5);
    }
}

std::string Reading(int i, bool excursions) {
    char raw[8], pct[4];
    std::snprintf(raw, sizeof raw, "%04d", 1000 + (i * 7919) % 9000);
    std::snprintf(pct, sizeof pct, "%02d", 5 + i % 15);
    return testing::Rd(raw, 'E', '1', 'G', excursions && i % 500 == 499 ? 'O' : 'N', 'M', pct);
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

std::string JournalIn(const std::string& dataHome) {
    return dataHome + "/Fenwyd 8200/journal.sqlite";
}

std::string FullJournalHome(std::string& error, double& upgradeS) {
    static std::unique_ptr<QTemporaryDir> home;  // removed when the benchmark ends
    static std::string made, failure;
    static double upgrade = 0;
    if (!home) {
        home = std::make_unique<QTemporaryDir>();
        std::fprintf(stderr, "fenwyd_bench: writing a full journal (200 x 32000 readings)...\n");
        const std::string folder = home->path().toStdString();
        std::filesystem::create_directories(folder + "/Fenwyd 8200");
        testing::OldJournal old;
        old.logs = journal::kKeepLogs;
        old.rowsPerLog = kMaxRecords;
        // Young enough that no start-up drops any of them.
        old.newestStartUtcMs = QDateTime::currentMSecsSinceEpoch() - 3600 * 1000;
        if (!testing::WriteVersion1Journal(JournalIn(folder), old, failure)) {
            failure = "cannot write the full journal: " + failure;
        } else {
            const double t0 = Now();
            journal::Journal j;
            if (j.open(JournalIn(folder))) {
                upgrade = Now() - t0;
                made = folder;
            } else {
                failure = "cannot open the full journal: " + j.error();
            }
        }
    }
    error = failure;
    upgradeS = upgrade;
    return made;
}

MemoryStatus ReadMemoryStatus() {
    MemoryStatus m;
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) m.hwmKb = std::stol(line.substr(6));
        if (line.rfind("VmRSS:", 0) == 0) m.rssKb = std::stol(line.substr(6));
    }
    return m;
}

}  // namespace fenwyd::bench
