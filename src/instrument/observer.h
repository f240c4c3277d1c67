// What the instrument tells the windows and writers that follow it: each
// reading as it is shown, every change of the data log, battery readings, the
// link going and coming back, and saves. Observers are called on the
// user-interface thread, inside the transaction; they must be quick and must
// not talk to the probe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "measure/measurement.h"

namespace fenwyd {

enum class LogSource { Live, Upload };

// Where the rows of a loaded data log came from.
enum class LogOrigin { Journal, Restore, DataFile };

// One change of the data log. Every change reaches every follower through
// this one notification; the followers read the rows from the instrument
// state and keep no table of their own.
struct DataLogChange {
    enum Kind {
        RowStored,  // row `row` written: a live reading, or a stored one uploaded
        Started,    // a new log begins (live logging, or an upload)
        Stopped,    // logging or the upload ended; the rows stay
        Erased,     // the operator erased the count: the log is empty
        Loaded,     // the whole log replaced: from the journal, a restore or data files
    };
    Kind kind = RowStored;
    LogSource source = LogSource::Live;      // Started, RowStored, Loaded: live or uploaded rows
    int32_t row = 0;                         // RowStored
    float logTime = 0;                       // RowStored: the row's time column as stored
    const Measurement* reading = nullptr;    // RowStored
    LogOrigin origin = LogOrigin::DataFile;  // Loaded
    int64_t journalLogId = 0;                // Loaded from the journal (or restored): which log
    int32_t unsavedRows = 0;  // Loaded from the journal: rows not yet saved to a data file
};

class InstrumentObserver {
public:
    virtual ~InstrumentObserver() = default;
    // A reading reply interpreted and shown (over and under range included);
    // row: the data-log row it went into, 0 when it was not logged.
    virtual void readingShown(const Measurement&, int32_t /*row*/) {}
    virtual void dataLogChanged(const DataLogChange&) {}
    virtual void batteryRead(int64_t /*utcMs*/, double /*volts*/) {}
    // The fifth silent transaction in a row, and the first reply after it.
    virtual void linkLost(int64_t /*utcMs*/) {}
    virtual void linkBack(int64_t /*utcMs*/) {}
    // A save wrote these files.
    virtual void logSaved(const std::vector<std::string>& /*files*/) {}
};

}  // namespace fenwyd
