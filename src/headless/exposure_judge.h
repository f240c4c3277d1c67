// Each reading against the reference level of the command line: the level
// in the reading's base unit, the exposure in percent, and the events when
// the alarm threshold is crossed upward and back.
#pragma once

#include <optional>
#include <string>

#include "exposure/comparison.h"
#include "exposure/exceedance.h"
#include "headless/records.h"

namespace fenwyd::headless {

class ExposureJudge {
public:
    ExposureJudge(const Reference& reference, double alarmPercent);

    // Fills a reading record's standard, reference level and percent; the
    // exceedance event this reading makes, if any, to be kept after it. A
    // reading without a percent (over or under range, or a quantity the
    // reference has no level for) leaves an exceedance as it was.
    std::optional<Record> judge(Record& reading);
    // At the end of the run: the end of an exceedance still open, stamped
    // utcMs, lasting up to the last reading.
    std::optional<Record> finish(int64_t utcMs, int32_t utcOffsetSeconds);

private:
    Record event(const char* name, const Record& reading) const;
    Reference reference_;
    std::string standard_;
    ExceedanceTracker tracker_;
    int64_t startMs_ = 0;  // the first reading of the exceedance in progress
    int64_t lastMs_ = 0;   // the last reading with a percent
    double maxPercent_ = 0;
    // The unit and level of the last reading with a percent, for an end at
    // the end of the run.
    std::string lastUnit_;
    std::optional<double> lastLevel_;
};

}  // namespace fenwyd::headless
