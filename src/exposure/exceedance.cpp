#include "exposure/exceedance.h"

namespace fenwyd {

ExceedanceTracker::Crossing ExceedanceTracker::add(double percent, int64_t timeMs) {
    if (started_ && above_ && timeMs > lastMs_) msAbove_ += timeMs - lastMs_;
    // NaN compares false: below.
    const bool nowAbove = percent >= threshold_;
    const bool wasAbove = above_;
    above_ = nowAbove;
    started_ = true;
    lastMs_ = timeMs;
    ++count_;
    if (nowAbove) ++readingsAbove_;
    if (nowAbove == wasAbove) return Crossing::None;
    return nowAbove ? Crossing::Up : Crossing::Down;
}

int64_t ExceedanceTracker::msAbove(int64_t nowMs) const {
    if (above_ && nowMs > lastMs_) return msAbove_ + (nowMs - lastMs_);
    return msAbove_;
}

void ExceedanceTracker::reset(double thresholdPercent) {
    *this = ExceedanceTracker(thresholdPercent);
}

}  // namespace fenwyd
