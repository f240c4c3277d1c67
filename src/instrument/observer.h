// What the instrument tells the windows and writers that follow it: each
// reading as it is shown, each row that enters the data log, battery
// readings, the link going and coming back, and the life of a log. Observers
// are called on the user-interface thread, inside the transaction; they must
// be quick and must not talk to the probe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fenwyd {

enum class LogSource { Live, Upload };

// One measurement, as the panel shows it.
struct ReadingRecord {
    int64_t utcMs = 0;             // when it was interpreted, ms since 1970 (UTC)
    int32_t utcOffsetSeconds = 0;  // local time minus UTC at that moment
    int16_t model = 0;             // 8203, 8204; 0 before identification
    std::string valueText;         // as shown ("1.999")
    float mantissa = 0;            // ReadingMantissa
    int16_t exponent = 0;          // ReadingExponent
    std::string unitsText;         // base unit name ("Gauss")
    std::string unitsLabel;        // display label ("mG")
    int16_t range = 0;
    bool autoRange = false;
    int percent = 0;  // percent of range
    bool overRange = false;
    bool underRange = false;
    int32_t row = 0;    // row of the data log it went into; 0: not logged
    float logTime = 0;  // the row's time column as stored: fraction of a day, or the
                        // sample number of an uploaded reading
    LogSource source = LogSource::Live;
};

class InstrumentObserver {
public:
    virtual ~InstrumentObserver() = default;
    // A reading reply interpreted and shown (over and under range included).
    virtual void readingShown(const ReadingRecord&) {}
    // A row of the data log written: a live reading or an uploaded one.
    virtual void rowStored(const ReadingRecord&) {}
    virtual void batteryRead(int64_t /*utcMs*/, double /*volts*/) {}
    // The fifth silent transaction in a row, and the first reply after it.
    virtual void linkLost(int64_t /*utcMs*/) {}
    virtual void linkBack(int64_t /*utcMs*/) {}
    // A new log begins (the data log emptied), is stopped, or its count is
    // erased by the operator; a save wrote these files.
    virtual void logStarted(LogSource) {}
    virtual void logStopped() {}
    virtual void logErased() {}
    virtual void logSaved(const std::vector<std::string>& /*files*/) {}
};

}  // namespace fenwyd
