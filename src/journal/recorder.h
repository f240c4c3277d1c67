// Follows the instrument and keeps every row of the data log in the journal,
// the moment it is stored. Reading and logging never wait for the journal:
// while it cannot be written (another program holds it, the disk is full)
// the rows are kept in memory and written as soon as it can take them; a
// journal that fails for good is reported once and then left alone.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "datalog/export.h"
#include "instrument/observer.h"
#include "instrument/seams.h"
#include "journal/journal.h"

namespace fenwyd {
class Instrument;
}

namespace fenwyd::journal {

// How often a journal that could not be written is tried again.
constexpr int kRetryMs = 1000;
// The rows kept in memory while it cannot: a data log's worth. Beyond, the
// oldest go (the data log itself holds no more either).
constexpr int32_t kMaxWaitingRows = kMaxRecords;

class Recorder : public InstrumentObserver {
public:
    Recorder(Journal& journal, Clock& clock, Dialogs& dialogs);
    ~Recorder() override;

    void dataLogChanged(const DataLogChange& change) override;
    void logSaved(const std::vector<std::string>& files) override;

    // A survey point of the data log's log, written whole (by its number), or
    // dropped. Points marked before the log has a row begin its journal
    // entry.
    void pointChanged(const StoredPoint& point);
    void pointDropped(int number);
    // Called right after a live log started: the points marked before it,
    // since the last log with rows, belong to it, so its rows go into the
    // log that holds them.
    void keepPointsLog();

    // The program ends normally: its log is never offered for restoring.
    // What is still waiting gets a last chance, with a short wait for locks.
    void programEnding();

    bool working() const { return journal_.isOpen(); }
    // The journal log the data log holds; 0 when none (or not written yet).
    int64_t currentLog() const;
    // Rows of the data log not yet saved to a data file.
    int32_t unsavedRows() const { return unsaved_; }
    // Rows kept in memory until the journal takes them.
    int32_t waitingRows() const { return waitingRows_; }
    // For the status bar: empty while all is written.
    std::string statusText() const;
    // Called once, after the notice, when the journal stops working.
    std::function<void()> onFailure;
    // Called when statusText() changes.
    std::function<void()> onStatus;

private:
    // What the journal is to be told, in order. A log is known by a key of
    // the recorder's until the journal has given it its id.
    struct Op {
        enum Kind { Begin, Row, End, Saved, Adopt, NormalEnd, Point, DropPoint };
        explicit Op(Kind k, int64_t logKey = 0) : kind(k), key(logKey) {}
        Kind kind;
        int64_t key = 0;
        JournalRow row;  // Row; Begin: source and start
        int64_t utcMs = 0;
        int32_t offsetS = 0;
        std::vector<std::string> files;
        StoredPoint point;  // Point; DropPoint: its number
    };
    // The data log's log gets its journal entry now, if it has none yet.
    void beginIfNone(int64_t utcMs, int32_t offsetS, LogSource source);
    void logStarted(LogSource source);
    void rowStored(const DataLogChange& change);
    void logStopped();
    void logErased();
    // The data log now holds this journal log (restored or opened), or, with
    // 0, rows that came from elsewhere (a data file).
    void adopt(int64_t logId, int32_t unsavedRows);
    void enqueue(Op op);
    // Writes what waits; false when the journal could not take it all.
    bool flush();
    bool apply(std::size_t& taken);
    void failed();
    void stalled();
    void setStatus();

    Journal& journal_;
    Clock& clock_;
    Dialogs& dialogs_;
    std::unique_ptr<Timer> retry_;
    std::deque<Op> ops_;
    std::map<int64_t, int64_t> ids_;  // key -> journal id
    int64_t nextKey_ = 0;
    int64_t key_ = 0;       // the data log's log; 0: none yet
    int64_t lastKey_ = 0;   // the log before the one that started last
    bool pending_ = false;  // a log began; its journal entry comes with its first row
    LogSource pendingSource_ = LogSource::Live;
    int64_t pendingUtcMs_ = 0;
    int32_t pendingOffsetS_ = 0;
    int32_t unsaved_ = 0;
    int32_t waitingRows_ = 0;
    int32_t droppedRows_ = 0;
    bool told_ = false;  // the present stall was reported
    std::string status_;
};

// Text for a log's start, in the local time it began: "2026-12-06 10:15:00".
std::string StartText(const LogSummary& log);

// At start-up, with the window shown and before the reading timer runs: the
// newest log a crashed run left with unsaved readings is offered for
// restoring into the data log. It is offered again after every crash until
// it is saved, or the question is answered No.
void OfferRestore(Journal& journal, Instrument& instrument, Dialogs& dialogs);

// Old logs dropped: never the newest unsaved one, nor the data log's.
void DropOldLogs(Journal& journal, Clock& clock);

// Loads a journal log into the data log (the recorder follows it there);
// false (with nothing changed) while a log or an upload runs, or when none of
// its readings can be read. A log that cannot be read whole is loaded with
// what can be read, and problem (when given) says so.
bool LoadLog(Journal& journal, Instrument& instrument, const LogSummary& log,
             std::string* problem = nullptr, LogOrigin origin = LogOrigin::Journal);

}  // namespace fenwyd::journal
