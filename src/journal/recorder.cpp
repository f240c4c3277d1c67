#include "journal/recorder.h"

#include <QDateTime>

#include "instrument/instrument.h"

namespace fenwyd::journal {

Recorder::Recorder(Journal& journal, Clock& clock, Dialogs& dialogs)
    : journal_(journal), clock_(clock), dialogs_(dialogs) {}

void Recorder::failed(const char* what) {
    const std::string reason = journal_.error();
    journal_.close();
    logId_ = 0;
    dialogs_.message("The journal " + journal_.path() + " " + what + ": " + reason +
                         ".\n\nReading and logging go on, but the data log is kept in memory "
                         "only: save it before you close the program.",
                     MsgIcon::Exclamation);
    if (onFailure) onFailure();
}

void Recorder::logStarted(LogSource source) {
    pending_ = true;
    pendingSource_ = source;
    pendingUtcMs_ = clock_.utcMs();
    pendingOffsetS_ = clock_.utcOffsetSeconds();
    logId_ = 0;
    unsaved_ = 0;
}

void Recorder::rowStored(const ReadingRecord& r) {
    ++unsaved_;
    if (!journal_.isOpen()) return;
    if (logId_ == 0) {
        // The first row of a log, or the first after the count was erased.
        if (!pending_) {
            pendingSource_ = r.source;
            pendingUtcMs_ = r.utcMs;
            pendingOffsetS_ = r.utcOffsetSeconds;
        }
        pending_ = false;
        if (!journal_.beginLog(pendingSource_, pendingUtcMs_, pendingOffsetS_, logId_)) {
            failed("cannot be written");
            return;
        }
    }
    if (!journal_.addRow(logId_, r)) failed("cannot be written");
}

void Recorder::logStopped() {
    if (journal_.isOpen() && logId_ != 0 &&
        !journal_.endLog(logId_, clock_.utcMs(), clock_.utcOffsetSeconds())) {
        failed("cannot be written");
    }
}

void Recorder::logErased() {
    // The rows logged so far stay in the journal as a log of their own; the
    // rows that follow start a new one.
    logStopped();
    logId_ = 0;
    unsaved_ = 0;
}

void Recorder::logSaved(const std::vector<std::string>& files) {
    unsaved_ = 0;
    if (journal_.isOpen() && logId_ != 0 && !journal_.markSaved(logId_, files, clock_.utcMs())) {
        failed("cannot be written");
    }
}

void Recorder::adopt(int64_t logId, int32_t rows) {
    pending_ = false;
    logId_ = logId;
    unsaved_ = logId == 0 ? 0 : rows;
}

void Recorder::programEnding() {
    if (journal_.isOpen() && logId_ != 0) journal_.markNormalEnd(logId_);
}

std::string StartText(const LogSummary& log) {
    const QDateTime local =
        QDateTime::fromMSecsSinceEpoch(log.startedUtcMs, Qt::OffsetFromUTC, log.startedOffsetS);
    return local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
}

bool LoadLog(Journal& journal, Recorder& recorder, Instrument& instrument, const LogSummary& log) {
    std::vector<LogRow> rows;
    if (!journal.rows(log.id, rows)) return false;
    if (!instrument.LoadDataLog(rows, log.source == LogSource::Upload, log.units)) return false;
    recorder.adopt(log.id, log.rows - log.savedRows);
    return true;
}

void OfferRestore(Journal& journal, Recorder& recorder, Instrument& instrument, Dialogs& dialogs,
                  Clock& clock) {
    if (!journal.isOpen()) return;
    const std::optional<LogSummary> crashed = journal.crashedLog();
    if (crashed) {
        // No reading may start while the question is open.
        Timer& reading = instrument.HRTReadProbe();
        const bool wasReading = reading.isEnabled();
        reading.setEnabled(false);
        const std::string what = crashed->source == LogSource::Upload ? "upload" : "log";
        const bool yes =
            dialogs.askYesNo("The " + what + " started " + StartText(*crashed) + " holds " +
                                 std::to_string(crashed->rows - crashed->savedRows) +
                                 " readings that were not saved to a data file when the program "
                                 "last ended.\n\nRestore them into the data log?",
                             MsgIcon::Question);
        // Asked once it was answered: closed by the program's end, or by a
        // crash while it was open, it is asked again at the next start.
        if (!dialogs.programEnding()) {
            journal.markRestoreOffered(crashed->id);
            if (yes) LoadLog(journal, recorder, instrument, *crashed);
        }
        reading.setEnabled(wasReading);
    }
    // Retention, never the newest log with unsaved readings.
    int64_t keep = 0;
    for (const LogSummary& s : journal.logs()) {
        if (s.unsaved()) {
            keep = s.id;
            break;
        }
    }
    journal.dropOld(clock.utcMs(), keep);
}

}  // namespace fenwyd::journal
