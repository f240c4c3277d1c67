// Follows the instrument and keeps every row of the data log in the journal,
// the moment it is stored. A journal that fails is reported once and then
// left alone: reading and logging never stop for it.
#pragma once

#include <functional>
#include <string>

#include "instrument/observer.h"
#include "instrument/seams.h"
#include "journal/journal.h"

namespace fenwyd {
class Instrument;
}

namespace fenwyd::journal {

class Recorder : public InstrumentObserver {
public:
    Recorder(Journal& journal, Clock& clock, Dialogs& dialogs);

    void dataLogChanged(const DataLogChange& change) override;
    void logSaved(const std::vector<std::string>& files) override;

    // The program ends normally: its log is never offered for restoring.
    void programEnding();

    bool working() const { return journal_.isOpen(); }
    int64_t currentLog() const { return logId_; }
    // Rows of the data log not yet saved to a data file.
    int32_t unsavedRows() const { return unsaved_; }
    // Called once, after the message, when the journal stops working.
    std::function<void()> onFailure;

private:
    void failed(const char* what);
    void logStarted(LogSource source);
    void rowStored(const DataLogChange& change);
    void logStopped();
    void logErased();
    // The data log now holds this journal log (restored or opened), or, with
    // 0, rows that came from elsewhere (a data file).
    void adopt(int64_t logId, int32_t unsavedRows);

    Journal& journal_;
    Clock& clock_;
    Dialogs& dialogs_;
    int64_t logId_ = 0;
    bool pending_ = false;  // a log began; its journal entry comes with its first row
    LogSource pendingSource_ = LogSource::Live;
    int64_t pendingUtcMs_ = 0;
    int32_t pendingOffsetS_ = 0;
    int32_t unsaved_ = 0;
};

// Text for a log's start, in the local time it began: "2026-12-06 10:15:00".
std::string StartText(const LogSummary& log);

// At start-up, with the window shown and before the reading timer runs: the
// newest log a crashed run left with unsaved readings is offered for
// restoring into the data log (asked once). Then old logs are dropped.
void OfferRestore(Journal& journal, Instrument& instrument, Dialogs& dialogs, Clock& clock);

// Loads a journal log into the data log (the recorder follows it there);
// false (with nothing changed) while a log or an upload runs.
bool LoadLog(Journal& journal, Instrument& instrument, const LogSummary& log,
             LogOrigin origin = LogOrigin::Journal);

}  // namespace fenwyd::journal
