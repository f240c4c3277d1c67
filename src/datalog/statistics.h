// Running statistics of a stream of readings: count, minimum and maximum with
// when they occurred, mean and standard deviation. One pass, constant memory,
// numerically stable (Welford's update), so a day of readings with a large
// offset and a tiny spread keeps its spread.
#pragma once

#include <cstdint>

namespace fenwyd {

// A value and when it was taken (whatever the caller counts in: ms since
// 1970, or a sample number).
struct Extreme {
    double value = 0;
    int64_t at = 0;
};

class RunningStats {
public:
    // Values that are not finite are not readings: they are left out.
    void add(double value, int64_t at);
    void clear() { *this = RunningStats(); }

    int64_t count() const { return count_; }
    bool empty() const { return count_ == 0; }
    // The first time the smallest and the largest value occurred; {0, 0}
    // while empty. The largest is the peak.
    Extreme min() const { return min_; }
    Extreme max() const { return max_; }
    double mean() const { return mean_; }
    // Sample variance (divided by count - 1); 0 below two values.
    double variance() const;
    double stddev() const;

private:
    int64_t count_ = 0;
    double mean_ = 0;
    double m2_ = 0;  // sum of squared differences from the running mean
    Extreme min_, max_;
};

}  // namespace fenwyd
