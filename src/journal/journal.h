// The session journal: every row that enters the data log, on disk the
// moment it is stored, in an SQLite database (WAL, each row committed and
// synced before the next transaction with the probe starts). Logs that a
// crashed run left behind can be restored; every log can be opened again.
#pragma once

#include <QLockFile>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "datalog/data_file.h"
#include "instrument/instrument_state.h"
#include "instrument/observer.h"
#include "position/survey.h"

class QSqlQuery;

namespace fenwyd::journal {

constexpr int kSchemaVersion = 4;
constexpr int kKeepDays = 90;
constexpr int kKeepLogs = 200;
// How long opening waits for other programs that open or write the same
// journal at that moment. Only at start; the writing itself never waits.
constexpr int kOpenPatienceMs = 5000;

struct LogSummary {
    int64_t id = 0;
    int64_t startedUtcMs = 0;
    int32_t startedOffsetS = 0;
    int64_t endedUtcMs = 0;  // 0 while it runs (or when its run ended without saying)
    LogSource source = LogSource::Live;
    int16_t model = 0;
    std::string units;  // base unit name of its last row
    int32_t rows = 0;
    int32_t savedRows = 0;           // rows it had when it was last saved to a data file
    bool normalEnd = false;          // its run ended normally, or a newer log replaced it
    bool restoreOffered = false;     // offered after a crash and declined
    std::vector<std::string> files;  // data files it was saved as, oldest first
    int32_t points = 0;              // survey points marked with it
    bool unsaved() const { return rows > savedRows; }
};

// What the last failure was, for what to do next.
enum class Failure {
    None,
    Busy,     // another program holds the journal: try again later
    Full,     // the disk is full or will not take the write: try again later
    LogGone,  // the log written to is no longer in the journal (deleted elsewhere)
    Other,    // anything else (a damaged or vanished file): the journal is not usable
};

// A row of the data log as the journal keeps it: its number and time column
// as the data log holds them, and the reading itself.
struct JournalRow {
    int32_t row = 0;
    float logTime = 0;
    LogSource source = LogSource::Live;
    Measurement reading;
};

// A survey point as the journal keeps it: the point, and the place the
// operator typed for it, exactly as typed (the point's local position is
// read from it).
struct StoredPoint {
    SurveyPoint point;
    std::string place;
};

class Journal {
public:
    Journal();
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Opens or creates the database (and its folder), brings its schema up
    // to date, and starts this run. Other programs opening the same journal
    // at the same moment are waited for (kOpenPatienceMs at most). False,
    // with the reason, when it cannot.
    bool open(const std::string& path);
    void close();
    bool isOpen() const;
    const std::string& path() const { return path_; }
    // The reason of the last failure, and its kind.
    const std::string& error() const { return error_; }
    Failure failure() const { return failure_; }

    // Writing. Each is committed when it returns, or not done at all; false
    // on failure. None waits for a lock another program holds (Busy).
    bool beginLog(LogSource source, int64_t utcMs, int32_t offsetS, int64_t& id);
    // LogGone when the log is no longer in the journal: no row is kept
    // without its log.
    bool addRow(int64_t logId, const JournalRow& r);
    bool addRows(int64_t logId, const std::vector<JournalRow>& rows);
    bool endLog(int64_t logId, int64_t utcMs, int32_t offsetS);
    bool markSaved(int64_t logId, const std::vector<std::string>& files, int64_t utcMs);
    // The log ended its run normally: never offered for restoring.
    bool markNormalEnd(int64_t logId);
    // Offered for restoring and declined: not offered again.
    bool markRestoreOffered(int64_t logId);
    // The data log now holds this log (restored or opened), or, with 0, no
    // log of the journal: it belongs to this run from now on, so a crash
    // offers it again while it holds unsaved readings, and this run's other
    // logs were replaced.
    bool adoptLog(int64_t logId);
    // Refused for the log the data log holds (adopted, or named by holdLog).
    bool deleteLog(int64_t logId);
    void holdLog(int64_t logId) { held_ = logId; }
    int64_t heldLog() const { return held_; }
    // How long a write may wait for a lock: 0 while reading (the default);
    // longer when nothing else waits, as when the program ends.
    void setLockWait(int ms);

    // A log's survey points: one written whole (the point of that number
    // replaced), or dropped by its number. LogGone when the log is no
    // longer in the journal: no point is kept without its log.
    bool putPoint(int64_t logId, const StoredPoint& p);
    bool dropPoint(int64_t logId, int number);

    // Reading.
    std::vector<LogSummary> logs();  // newest first, all that can be read
    // What the last listing could not read; empty when it was whole.
    const std::string& listProblem() const { return listProblem_; }
    std::optional<LogSummary> log(int64_t logId);
    // False, with the rows that could be read, when the log cannot be read whole.
    bool rows(int64_t logId, std::vector<LoggedRow>& out);
    // A log's survey points by number; false, with those that could be
    // read, when they cannot be read whole.
    bool points(int64_t logId, std::vector<StoredPoint>& out);
    // The newest log a run that has ended without ending normally (a crash,
    // a kill, a power cut) left with readings not saved to a data file, and
    // not declined.
    std::optional<LogSummary> crashedLog();

    // Drops logs older than keepDays or beyond the newest keepLogs, oldest
    // first, never `keep` (the newest unsaved log) nor the held log; the
    // number dropped.
    int dropOld(int64_t nowUtcMs, int64_t keep, int keepDays = kKeepDays, int keepLogs = kKeepLogs);

    // The quick check of the whole file (SQLite's quick_check), on a thread
    // and a connection of its own: the program reads and logs meanwhile.
    void startCheck();
    // Its findings once it has ended: empty when the file is sound. Nothing
    // while it runs, or when none was started.
    std::optional<std::string> checkFindings();

private:
    bool fail(const QString& what, const QString& reason, Failure kind = Failure::Other);
    bool failQuery(const QString& what, const QSqlQuery& q);
    bool exec(const QString& sql);
    bool startUp(bool lastTry);
    bool migrate();
    bool begin();
    bool commit();
    void rollback();
    void noteEndedRuns();
    void stopCheck();
    // Appends the logs a query (its WHERE and ORDER) finds; false, with the
    // reason in listProblem_, when it could not read them all.
    bool listInto(const QString& tail, std::vector<LogSummary>& out);

    struct Impl;
    std::unique_ptr<Impl> d_;
    std::string path_;
    std::string error_;
    Failure failure_ = Failure::None;
    std::string listProblem_;
    int64_t held_ = 0;

    std::thread check_;
    std::atomic<bool> checkDone_{false};
    std::atomic<bool> checkStop_{false};
    std::string checkFindings_;
};

// The quick check of a journal file on a connection of its own (any thread):
// empty when it is sound, otherwise what SQLite found, a few lines. stop, when
// it becomes true, ends the check early (with no findings).
std::string QuickCheck(const std::string& path, const std::atomic<bool>* stop = nullptr);

}  // namespace fenwyd::journal
