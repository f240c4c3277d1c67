// The session journal: every row that enters the data log, on disk the
// moment it is stored, in an SQLite database (WAL, each row committed and
// synced before the next transaction with the probe starts). Logs that a
// crashed run left behind can be restored; every log can be opened again.
#pragma once

#include <QLockFile>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "datalog/data_file.h"
#include "instrument/instrument_state.h"
#include "instrument/observer.h"

namespace fenwyd::journal {

constexpr int kSchemaVersion = 1;
constexpr int kKeepDays = 90;
constexpr int kKeepLogs = 200;

struct LogSummary {
    int64_t id = 0;
    int64_t startedUtcMs = 0;
    int32_t startedOffsetS = 0;
    int64_t endedUtcMs = 0;  // 0 while it runs (or when its run ended without saying)
    LogSource source = LogSource::Live;
    int16_t model = 0;
    std::string units;  // base unit name of its last row
    int32_t rows = 0;
    int32_t savedRows = 0;   // rows it had when it was last saved to a data file
    bool normalEnd = false;  // its run ended normally, or a newer log replaced it
    bool restoreOffered = false;
    std::vector<std::string> files;  // data files it was saved as, oldest first
    bool unsaved() const { return rows > savedRows; }
};

class Journal {
public:
    Journal();
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Opens or creates the database (and its folder), brings its schema up
    // to date, and starts this run. False, with the reason, when it cannot.
    bool open(const std::string& path);
    void close();
    bool isOpen() const;
    const std::string& path() const { return path_; }
    // The reason of the last failure.
    const std::string& error() const { return error_; }

    // Writing. Each is committed when it returns; false on failure.
    bool beginLog(LogSource source, int64_t utcMs, int32_t offsetS, int64_t& id);
    bool addRow(int64_t logId, int32_t row, float logTime, const Measurement& r);
    bool endLog(int64_t logId, int64_t utcMs, int32_t offsetS);
    bool markSaved(int64_t logId, const std::vector<std::string>& files, int64_t utcMs);
    // The log ended its run normally: never offered for restoring.
    bool markNormalEnd(int64_t logId);
    bool markRestoreOffered(int64_t logId);
    bool deleteLog(int64_t logId);

    // Reading.
    std::vector<LogSummary> logs();  // newest first
    std::optional<LogSummary> log(int64_t logId);
    bool rows(int64_t logId, std::vector<LoggedRow>& out);
    // The newest log a run that has ended without ending normally (a crash,
    // a kill, a power cut) left with readings not saved to a data file, and
    // not offered for restoring yet.
    std::optional<LogSummary> crashedLog();

    // Drops logs older than keepDays or beyond the newest keepLogs, oldest
    // first, never `keep` (the newest unsaved log); the number dropped.
    int dropOld(int64_t nowUtcMs, int64_t keep, int keepDays = kKeepDays, int keepLogs = kKeepLogs);

private:
    bool fail(const QString& what, const QString& reason);
    bool exec(const QString& sql);
    bool migrate();
    void noteEndedRuns();

    struct Impl;
    std::unique_ptr<Impl> d_;
    std::string path_;
    std::string error_;
};

}  // namespace fenwyd::journal
