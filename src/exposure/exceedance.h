// Follows the exposure percents of a series of readings against the alarm
// threshold: when it is crossed upward and back, how many readings were at
// or above it and for how long.
#pragma once

#include <cstdint>

namespace fenwyd {

class ExceedanceTracker {
public:
    enum class Crossing : uint8_t { None, Up, Down };

    explicit ExceedanceTracker(double thresholdPercent = 100) : threshold_(thresholdPercent) {}

    // One reading's percent at timeMs (readings in time order). At or above
    // the threshold is above; a NaN percent (a reading without a level) is
    // below. Up when this reading went above, Down when it came back.
    Crossing add(double percent, int64_t timeMs);

    bool above() const { return above_; }
    int64_t readingsAbove() const { return readingsAbove_; }
    int64_t readingCount() const { return count_; }
    // Time spent above: each reading that was above counts until the next
    // reading's time; the open stretch counts up to the last reading, or up
    // to nowMs when later. A time running backwards adds nothing.
    int64_t msAbove() const { return msAbove_; }
    int64_t msAbove(int64_t nowMs) const;

    double threshold() const { return threshold_; }
    // Starts over (a cleared peak, a new log); a new threshold with it.
    void reset(double thresholdPercent);

private:
    double threshold_;
    bool above_ = false;
    bool started_ = false;
    int64_t lastMs_ = 0;
    int64_t readingsAbove_ = 0;
    int64_t count_ = 0;
    int64_t msAbove_ = 0;
};

}  // namespace fenwyd
