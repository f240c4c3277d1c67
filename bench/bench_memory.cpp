// Resident memory with a full log and the raw-reply list at its bound,
// against the same window idle just after start-up. The window runs in a
// child process (fenwyd_bench --memory-child) so nothing else of the
// benchmark is in its figures.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QListWidget>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <sstream>

#include "bench.h"
#include "support/fakes.h"
#include "support/harness.h"
#include "ui/main_window.h"

namespace fenwyd::bench {

namespace {
constexpr int kExtraReplies = 1500;  // beyond the full log: List1 stays at its bound
constexpr int kFloodReplies = 2000;  // 64 kB each

}  // namespace

int MemoryChild(int argc, char** argv) {
    QApplication app(argc, argv);
    ui::InstallFontSubstitutes();
    QTemporaryDir folder;
    testing::VirtualClock clock;  // fixed time of day; waits take no time
    testing::FakeSerialPort port{clock};
    testing::MemorySettings settings;
    testing::ScriptedDialogs dialogs;
    auto window = std::make_unique<ui::MainWindow>(port, clock, settings,
                                                   folder.path().toStdString(), &dialogs);
    Instrument& in = window->instrument();
    in.Form_Load();
    window->show();
    Settle();
    const MemoryStatus idle = ReadMemoryStatus();

    const double t0 = Now();
    in.SetUp57XX();
    in.ToggleRecordOn();
    for (int i = 0; i < kMaxRecords + kExtraReplies; ++i) {
        in.st.ProbeData = Reading(i);
        in.ProcessData(1);
        if (i % 256 == 0) QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    window->render();
    Settle();
    const double t1 = Now();
    const MemoryStatus loaded = ReadMemoryStatus();

    // Then a device that floods the line: each read brings 64 kB.
    const std::string flood(64 * 1024, '#');
    for (int i = 0; i < kFloodReplies; ++i) {
        in.st.ProbeData = flood;
        in.ProcessData(1);
        if (i % 64 == 0) QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    window->render();
    Settle();
    const MemoryStatus flooded = ReadMemoryStatus();

    auto* list = qobject_cast<QListWidget*>(window->element(QStringLiteral("List1")));
    std::printf("%ld %ld %ld %ld %d %zu %d %.3f %ld\n", idle.hwmKb, idle.rssKb, loaded.hwmKb,
                loaded.rssKb, static_cast<int>(in.st.RecordCnt), in.view.List1.size(),
                list != nullptr ? list->count() : -1, t1 - t0, flooded.hwmKb);
    std::fflush(stdout);
    return 0;
}

std::vector<Figure> BenchMemory() {
    Figure f{"Memory growth, full log", "n/a", "< 5 MB", ""};
    Figure flood{"Memory, flooded line", "n/a", "< 60 MB", ""};
    std::string line;
    const bool got = RunChild("--memory-child", 300000, line);

    long idleHwm = 0, idleRss = 0, hwm = 0, rss = 0, floodHwm = 0;
    int recordCnt = 0, listWidget = 0;
    std::size_t list1 = 0;
    double feedS = 0;
    std::istringstream fields(line);
    if (!got || !(fields >> idleHwm >> idleRss >> hwm >> rss >> recordCnt >> list1 >> listWidget >>
                  feedS >> floodHwm)) {
        f.raw = flood.raw = "the child gave no figures";
        return {f, flood};
    }
    const double growthMb = (hwm - idleHwm) / 1024.0;
    f.value = Num(growthMb, 2) + " MB";
    f.raw = "VmHWM idle " + std::to_string(idleHwm) + " kB -> loaded " + std::to_string(hwm) +
            " kB; VmRSS idle " + std::to_string(idleRss) + " kB -> loaded " + std::to_string(rss) +
            " kB (" + Num((rss - idleRss) / 1024.0, 2) + " MB); RecordCnt " +
            std::to_string(recordCnt) + ", List1 " + std::to_string(list1) + " (widget " +
            std::to_string(listWidget) + ") after " + std::to_string(kMaxRecords + kExtraReplies) +
            " replies in " + Num(feedS, 1) + " s; real MainWindow offscreen";
    flood.value = Num(floodHwm / 1024.0, 1) + " MB";
    flood.raw = "VmHWM of the whole process after the full log and then " +
                std::to_string(kFloodReplies) +
                " replies of 64 kB each (List1 keeps 1000 items of at most 256 characters)";
    return {f, flood};
}

}  // namespace fenwyd::bench
