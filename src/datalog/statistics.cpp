#include "datalog/statistics.h"

#include <cmath>

namespace fenwyd {

void RunningStats::add(double value, int64_t at) {
    if (!std::isfinite(value)) return;
    ++count_;
    if (count_ == 1) {
        min_ = max_ = {value, at};
    } else {
        if (value < min_.value) min_ = {value, at};
        if (value > max_.value) max_ = {value, at};
    }
    // Welford: the mean moves by a fraction of the difference, and m2 grows
    // by the product of the differences before and after, so nothing large
    // is ever subtracted from something nearly as large.
    const double delta = value - mean_;
    mean_ += delta / static_cast<double>(count_);
    m2_ += delta * (value - mean_);
}

double RunningStats::variance() const {
    return count_ < 2 ? 0.0 : m2_ / static_cast<double>(count_ - 1);
}

double RunningStats::stddev() const { return std::sqrt(variance()); }

}  // namespace fenwyd
