#include "headless/exposure_judge.h"

#include <algorithm>
#include <charconv>

#include "headless/options.h"

namespace fenwyd::headless {

namespace {
// The value as the records carry it: the exact decimal text, read back.
std::optional<double> ValueOf(const Measurement& m) {
    const std::string text = m.baseDecimal();
    double v = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || res.ec != std::errc() || res.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return v;
}
}  // namespace

ExposureJudge::ExposureJudge(const Reference& reference, double alarmPercent)
    : reference_(reference), standard_(StandardName(reference)), tracker_(alarmPercent) {}

Record ExposureJudge::event(const char* name, const Record& reading) const {
    Record e;
    e.kind = RecordKind::Event;
    e.event = name;
    e.utcMs = reading.utcMs;
    e.utcOffsetSeconds = reading.utcOffsetSeconds;
    e.reading.unitsText = reading.reading.unitsText;
    e.standard = standard_;
    e.referenceLevel = reading.referenceLevel;
    e.exposurePercent = reading.exposurePercent;
    e.thresholdPercent = tracker_.threshold();
    return e;
}

std::optional<Record> ExposureJudge::judge(Record& r) {
    const Measurement& m = r.reading;
    r.standard = standard_;
    // The level does not depend on the value: any value gives it.
    const std::optional<Comparison> c = Compare(reference_, 1.0, m.unitsText);
    if (!c || !(c->level > 0)) return std::nullopt;
    r.referenceLevel = c->level;
    const std::optional<double> value = ValueOf(m);
    if (!m.inRange() || !value) return std::nullopt;
    // Written so that value / reference_level * 100, computed from the two
    // numbers as the record carries them, gives this percent exactly.
    const double percent = *value / c->level * 100;
    r.exposurePercent = percent;

    const bool wasAbove = tracker_.above();
    const ExceedanceTracker::Crossing crossing = tracker_.add(percent, r.utcMs);
    lastMs_ = std::max(lastMs_, r.utcMs);
    lastUnit_ = m.unitsText;
    lastLevel_ = c->level;
    if (crossing == ExceedanceTracker::Crossing::Up) {
        startMs_ = r.utcMs;
        maxPercent_ = percent;
        return event(kEventExceedanceStart, r);
    }
    if (wasAbove && crossing == ExceedanceTracker::Crossing::None) {
        maxPercent_ = std::max(maxPercent_, percent);
    }
    if (crossing == ExceedanceTracker::Crossing::Down) {
        Record e = event(kEventExceedanceEnd, r);
        e.durationSeconds = static_cast<double>(std::max<int64_t>(0, r.utcMs - startMs_)) / 1000;
        e.maxPercent = maxPercent_;
        e.reason = kExceedanceEndBelow;
        return e;
    }
    return std::nullopt;
}

std::optional<Record> ExposureJudge::finish(int64_t utcMs, int32_t utcOffsetSeconds) {
    if (!tracker_.above()) return std::nullopt;
    Record e;
    e.kind = RecordKind::Event;
    e.event = kEventExceedanceEnd;
    e.utcMs = utcMs;
    e.utcOffsetSeconds = utcOffsetSeconds;
    e.standard = standard_;
    e.reading.unitsText = lastUnit_;
    e.referenceLevel = lastLevel_;
    e.thresholdPercent = tracker_.threshold();
    e.durationSeconds = static_cast<double>(std::max<int64_t>(0, lastMs_ - startMs_)) / 1000;
    e.maxPercent = maxPercent_;
    e.reason = kExceedanceEndStop;
    tracker_.reset(tracker_.threshold());
    return e;
}

}  // namespace fenwyd::headless
