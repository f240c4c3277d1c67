// The journal: CPU per reading kept (each one committed and synced on its
// own, as while logging), the database's size for a full log, the time to
// restore a full log into the data log, and the "Open" list over an empty
// and a full journal (in a child process: it is a window).
#include <QApplication>
#include <QFileInfo>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <sstream>

#include "bench.h"
#include "common/textconv.h"
#include "instrument/instrument.h"
#include "journal/journal.h"
#include "qt/qt_platform.h"
#include "support/fakes.h"
#include "ui/open_dialog.h"

namespace fenwyd::bench {

namespace {
constexpr int kOpenRepetitions = 7;

// "Open" over the journal at path, as the program shows it: the dialog made,
// its list filled, shown and painted. The median and each time, in ms.
Figure OpenList(const std::string& name, const std::string& path, const std::string& note) {
    Figure f{name, "n/a", "< 200 ms", ""};
    std::string line;
    if (!RunChild("--open-child", 300000, line, {path})) {
        f.raw = "the child gave no figures";
        return f;
    }
    std::istringstream in(line);
    std::string word;
    double median = 0;
    int logs = 0;
    in >> word >> median >> logs;
    if (word != "open") {
        f.raw = "child: " + line;
        return f;
    }
    std::string times;
    std::getline(in, times);
    f.value = Num(median, 1) + " ms";
    f.raw = "median of " + std::to_string(kOpenRepetitions) + " [" + times.substr(1) +
            "] ms from making the dialog to its list shown and painted, " + std::to_string(logs) +
            " logs listed; " + note;
    return f;
}
}  // namespace

int OpenListChild(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) return 2;
    journal::Journal j;
    if (!j.open(argv[2])) {
        std::printf("error %s\n", j.error().c_str());
        return 1;
    }
    auto load = [](const journal::LogSummary&) { return false; };
    auto file = [](const QString&) { return false; };
    {
        // The first dialog of a process also loads styles and fonts.
        ui::OpenDialog warm(nullptr, nullptr, load, file);
        warm.show();
        QCoreApplication::processEvents();
    }
    std::vector<double> times;
    int logs = 0;
    for (int i = 0; i < kOpenRepetitions; ++i) {
        const double t0 = Now();
        ui::OpenDialog dialog(nullptr, &j, load, file);
        dialog.show();
        QCoreApplication::processEvents();
        dialog.repaint();
        times.push_back((Now() - t0) * 1000);
        logs = dialog.table()->rowCount();
    }
    std::string list;
    for (double t : times) list += " " + Num(t, 1);
    std::printf("open %s %d%s\n", Num(Median(times), 2).c_str(), logs, list.c_str());
    std::fflush(stdout);
    return 0;
}

std::vector<Figure> BenchJournal() {
    Figure cpu{"Journal CPU per reading", "n/a", "< 0.5 ms", ""};
    Figure size{"Journal size, full log", "n/a", "", ""};
    Figure restore{"Restore a full log", "n/a", "", ""};
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("journal.sqlite")).toStdString();
    journal::Journal j;
    if (!j.open(path)) {
        cpu.raw = size.raw = restore.raw = "cannot open: " + j.error();
        return {cpu, size, restore};
    }
    int64_t id = 0;
    j.beginLog(LogSource::Live, 1796551200000, 0, id);
    journal::JournalRow row;
    Measurement& r = row.reading;
    r.unitsText = "Gauss";
    r.unitsLabel = "mG";
    r.quantity = Quantity::FluxDensity;
    r.model = 8204;
    const double cpu0 = CpuSeconds(), t0 = Now();
    for (int32_t i = 1; i <= kMaxRecords; ++i) {
        row.row = i;
        row.logTime = static_cast<float>((35000 + i * 0.366) / 86400.0);
        r.utcMs = 1796551200000 + i * 366;
        r.mantissa = static_cast<float>(1000 + (i * 7919) % 9000) / 1000.0f;
        r.valueText = FormatSingle(r.mantissa);
        r.exponent = -3;
        if (!j.addRow(id, row)) {
            cpu.raw = "write failed: " + j.error();
            return {cpu, size, restore};
        }
    }
    const double cpuS = CpuSeconds() - cpu0, wallS = Now() - t0;
    cpu.value = Num(cpuS * 1000 / kMaxRecords, 3) + " ms";
    cpu.raw = std::to_string(kMaxRecords) + " rows, each its own synced commit: CPU " +
              Num(cpuS, 2) + " s (getrusage, user+sys), wall " + Num(wallS, 2) + " s (" +
              Num(wallS * 1000 / kMaxRecords, 3) + " ms a row, the disk's sync included)";

    const qint64 db = QFileInfo(QString::fromStdString(path)).size();
    const qint64 wal = QFileInfo(QString::fromStdString(path + "-wal")).size();
    size.value = Num(db / 1048576.0, 2) + " MB";
    size.raw = "database " + std::to_string(db) + " bytes for " + std::to_string(kMaxRecords) +
               " readings (" + Num(static_cast<double>(db) / kMaxRecords, 1) +
               " bytes each), beside a write-ahead log of " + std::to_string(wal) +
               " bytes, reused, emptied when the program ends";

    testing::VirtualClock clock;
    testing::FakeSerialPort port{clock};
    testing::ScriptedDialogs dialogs;
    testing::MemorySettings settings;
    testing::RecordingDisplay display;
    auto in = std::make_unique<Instrument>(
        Platform{port, clock, dialogs, settings, display, dir.path().toStdString(), ""});
    const double t1 = Now();
    std::vector<LoggedRow> rows;
    const bool ok = j.rows(id, rows) && in->LoadDataLog(rows, false, "Gauss", DataLogChange{});
    const double t2 = Now();
    restore.value = ok ? Num((t2 - t1) * 1000, 1) + " ms" : "failed";
    restore.raw = "read " + std::to_string(rows.size()) +
                  " rows from the journal and load them into the data log";
    j.close();

    std::vector<Figure> out{cpu, size, restore};
    QTemporaryDir emptyDir;
    const std::string empty = emptyDir.filePath(QStringLiteral("journal.sqlite")).toStdString();
    {
        journal::Journal e;
        e.open(empty);
    }
    out.push_back(OpenList("Open list, empty journal", empty, "no logs"));
    std::string error;
    double upgradeS = 0;
    const std::string home = FullJournalHome(error, upgradeS);
    if (home.empty()) {
        out.push_back({"Open list, full journal", "n/a", "< 200 ms", error});
    } else {
        out.push_back(OpenList(
            "Open list, full journal", JournalIn(home),
            "200 logs of 32000 readings (its retention bound), " +
                Num(QFileInfo(QString::fromStdString(JournalIn(home))).size() / 1048576.0, 0) +
                " MB, first opened by this version in " + Num(upgradeS, 2) + " s"));
    }
    return out;
}

}  // namespace fenwyd::bench
