// The journal: CPU per reading kept (each one committed and synced on its
// own, as while logging), the database's size for a full log, and the time
// to restore a full log into the data log.
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

#include "bench.h"
#include "common/textconv.h"
#include "instrument/instrument.h"
#include "journal/journal.h"
#include "qt/qt_platform.h"
#include "support/fakes.h"

namespace fenwyd::bench {

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
    Measurement r;
    r.unitsText = "Gauss";
    r.unitsLabel = "mG";
    r.quantity = Quantity::FluxDensity;
    r.model = 8204;
    const double cpu0 = CpuSeconds(), t0 = Now();
    for (int32_t i = 1; i <= kMaxRecords; ++i) {
        r.utcMs = 1796551200000 + i * 366;
        const auto logTime = static_cast<float>((35000 + i * 0.366) / 86400.0);
        r.mantissa = static_cast<float>(1000 + (i * 7919) % 9000) / 1000.0f;
        r.valueText = FormatSingle(r.mantissa);
        r.exponent = -3;
        if (!j.addRow(id, i, logTime, r)) {
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
    return {cpu, size, restore};
}

}  // namespace fenwyd::bench
