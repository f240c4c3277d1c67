#include "ui/field_history.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "common/textconv.h"

namespace fenwyd::ui {

namespace {
// A single-precision value as the data file writes it (seven significant
// digits), so 1.999f counts as 1.999 and not as 1.99899995.
double AsWritten(float v) { return LeadingNumber(FormatSingle(v)); }
}  // namespace

DisplayUnit DisplayUnitOf(const Measurement& m) {
    const UnitScale base = LookUpUnitScale(m.unitsText);
    const UnitScale label = LookUpUnitScale(m.unitsLabel);
    if (label.quantity != Quantity::Unknown && label.quantity == base.quantity) {
        return {label.quantity, m.unitsLabel, label.siExponent};
    }
    return {base.quantity, m.unitsText, base.siExponent};
}

FieldHistory::FieldHistory(const InstrumentState& st) : st_(st) {
    scales_.reserve(kMaxUnitNames);
    levelSi_.fill(std::numeric_limits<double>::quiet_NaN());
}

void FieldHistory::addListener(HistoryListener* l) { listeners_.push_back(l); }

void FieldHistory::removeListener(HistoryListener* l) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), l), listeners_.end());
}

void FieldHistory::notify(unsigned changes) {
    for (HistoryListener* l : listeners_) l->historyChanged(changes);
}

void FieldHistory::push(const LivePoint& p) {
    live_.push_back(p);
    ++livePushed_;
    if (live_.size() > kLiveHistoryLimit) live_.pop_front();
    judge(liveAbove_, p.quantity, p.gap ? std::numeric_limits<double>::quiet_NaN() : p.si, p.utcMs);
}

void FieldHistory::takeCurrent(const Measurement& m) {
    current_ = m;
    hasReading_ = true;
    probeLost_ = false;
    // An over- or under-range reply says nothing about the unit of the figures.
    if (m.valid()) unit_ = DisplayUnitOf(m);
}

void FieldHistory::readingShown(const Measurement& m, int32_t row) {
    takeCurrent(m);
    LivePoint p;
    p.utcMs = m.utcMs;
    p.logged = row > 0;
    p.quantity = m.quantity;
    p.si = m.si();
    // An over- or under-range reply carries no value worth drawing.
    p.gap = !m.valid();
    push(p);
    if (m.overRange) ++overRange_;
    if (m.underRange) ++underRange_;
    if (!p.gap) liveStats_[Index(p.quantity)].add(p.si, m.utcMs);
    notify(kLiveChanged);
}

void FieldHistory::dataLogChanged(const DataLogChange& change) {
    switch (change.kind) {
        case DataLogChange::RowStored: rowStored(change); break;
        case DataLogChange::Started:
            uploading_ = change.source == LogSource::Upload;
            resetLog();
            break;
        case DataLogChange::Stopped:
            uploading_ = false;
            notify(kLogChanged);
            break;
        case DataLogChange::Erased:
        case DataLogChange::Loaded: resetLog(); break;
    }
}

void FieldHistory::rowStored(const DataLogChange& change) {
    const int32_t row = change.row;
    if (row < 1 || row > kMaxRecords) return;
    // An uploaded reading is what the panel shows while the upload runs.
    if (uploading_ && change.reading != nullptr) takeCurrent(*change.reading);
    if (!logDirty_ && row == logRowsCounted_ + 1) {
        countRow(row);
        logRowsCounted_ = row;
    } else {
        logDirty_ = true;
    }
    notify(kLogChanged);
}

void FieldHistory::linkLost(int64_t utcMs) {
    probeLost_ = true;
    LivePoint p;
    p.utcMs = utcMs;
    p.gap = true;
    push(p);
    notify(kLinkChanged | kLiveChanged);
}

void FieldHistory::linkBack(int64_t) {
    probeLost_ = false;
    notify(kLinkChanged);
}

void FieldHistory::resetLog() {
    for (RunningStats& s : logStats_) s.clear();
    for (ExceedanceTracker& t : logAbove_) t.reset(alarmPercent_);
    logTimesKnown_ = true;
    logRowsCounted_ = 0;
    logDirty_ = false;
    notify(kLogChanged);
}

void FieldHistory::clearPeak() {
    for (RunningStats& s : liveStats_) s.clear();
    for (ExceedanceTracker& t : liveAbove_) t.reset(alarmPercent_);
    clearedAt_ = livePushed_;
    overRange_ = underRange_ = 0;
    notify(kStatsChanged);
}

double FieldHistory::logValueSi(int32_t row, Quantity& quantity) const {
    return rowSi(row, false, quantity);
}

UnitScale FieldHistory::unitScale(uint8_t unit) const {
    // A row kept without a unit name is in the log's present units.
    if (unit == 0) return LookUpUnitScale(st_.UnitsText);
    while (scales_.size() < st_.RecordUnitNames.size()) {
        scales_.push_back(LookUpUnitScale(st_.RecordUnitNames[scales_.size()]));
    }
    return unit < scales_.size() ? scales_[unit] : UnitScale{};
}

double FieldHistory::rowSi(int32_t row, bool asWritten, Quantity& quantity) const {
    quantity = Quantity::Unknown;
    if (row < 1 || row > kMaxRecords) return std::numeric_limits<double>::quiet_NaN();
    const LogRowInfo& info = st_.RecordInfo[static_cast<std::size_t>(row)];
    // Stored readings the probe flagged are kept, but are not values.
    if ((info.flags & (kRowOverRange | kRowUnderRange)) != 0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const auto& cells = st_.RecordData[static_cast<std::size_t>(row)];
    const float exponent = cells[kLogColExponent];
    if (!std::isfinite(exponent) || std::fabs(exponent) > 1000) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const UnitScale scale = unitScale(info.unit);
    quantity = scale.quantity;
    if (quantity == Quantity::Unknown) return std::numeric_limits<double>::quiet_NaN();
    const float value = cells[kLogColValue];
    return ScaleByPowerOfTen(asWritten ? AsWritten(value) : value,
                             static_cast<int>(std::lround(exponent)) + scale.siExponent);
}

DisplayUnit FieldHistory::logDisplayUnit() const {
    for (int32_t row = std::min(st_.RecordCnt, kMaxRecords); row >= 1; --row) {
        Quantity q = Quantity::Unknown;
        rowSi(row, false, q);
        if (q == Quantity::Unknown) continue;
        const LogRowInfo& info = st_.RecordInfo[static_cast<std::size_t>(row)];
        Measurement m;
        m.unitsText = RowUnitName(st_, info.unit);
        m.unitsLabel = RowUnitName(st_, info.label);
        return DisplayUnitOf(m);
    }
    return unit_;
}

int32_t FieldHistory::logOutOfRangeCount() const {
    int32_t n = 0;
    for (int32_t row = 1; row <= std::min(st_.RecordCnt, kMaxRecords); ++row) {
        const uint8_t flags = st_.RecordInfo[static_cast<std::size_t>(row)].flags;
        if ((flags & (kRowOverRange | kRowUnderRange)) != 0) ++n;
    }
    return n;
}

void FieldHistory::countRow(int32_t row) const {
    Quantity q = Quantity::Unknown;
    const double si = rowSi(row, true, q);
    if (q != Quantity::Unknown) logStats_[Index(q)].add(si, row);
    const int64_t at = st_.RecordInfo[static_cast<std::size_t>(row)].utcMs;
    if (at == 0) logTimesKnown_ = false;
    judge(logAbove_, q, si, at);
}

void FieldHistory::countLog() const {
    if (!logDirty_ && logRowsCounted_ == st_.RecordCnt) return;
    for (RunningStats& s : logStats_) s.clear();
    for (ExceedanceTracker& t : logAbove_) t.reset(alarmPercent_);
    logTimesKnown_ = true;
    for (int32_t row = 1; row <= st_.RecordCnt && row <= kMaxRecords; ++row) countRow(row);
    logRowsCounted_ = st_.RecordCnt;
    logDirty_ = false;
}

const RunningStats& FieldHistory::logStats(Quantity q) const {
    countLog();
    return logStats_[Index(q)];
}

Readout LatestReadout(const FieldHistory& history) {
    if (!history.hasReading() || history.probeLost())
        return {QStringLiteral("No Probe"), {}, false};
    const Measurement& r = history.current();
    if (r.overRange) return {QStringLiteral("OVER"), {}, true};
    if (r.underRange) return {QStringLiteral("UNDER"), {}, true};
    return {QString::fromLatin1(r.valueText.c_str()), QString::fromLatin1(r.unitsLabel.c_str()),
            false};
}

const ExceedanceTracker& FieldHistory::logExceedance(Quantity q) const {
    countLog();
    return logAbove_[Index(q)];
}

bool FieldHistory::logTimesKnown() const {
    countLog();
    // An upload's rows carry the time they were read out, not taken.
    return logTimesKnown_ && st_.DataUploaded == 0;
}

// --------------------------------------------------------------- exposure

void FieldHistory::setExposure(const std::optional<Reference>& reference, double alarmPercent) {
    reference_ = reference;
    alarmPercent_ = alarmPercent;
    for (std::size_t i = 0; i < levelSi_.size(); ++i) {
        const std::optional<SiLevel> l = level(static_cast<Quantity>(i));
        levelSi_[i] = l ? l->value : std::numeric_limits<double>::quiet_NaN();
    }
    // The live readings since Clear Peak are all still here (or the newest
    // of them, past the history's limit); the log is counted on demand.
    for (ExceedanceTracker& t : liveAbove_) t.reset(alarmPercent_);
    const auto since = static_cast<std::size_t>(
        std::min<uint64_t>(livePushed_ - clearedAt_, static_cast<uint64_t>(live_.size())));
    for (auto it = live_.end() - static_cast<std::ptrdiff_t>(since); it != live_.end(); ++it) {
        judge(liveAbove_, it->quantity, it->gap ? std::numeric_limits<double>::quiet_NaN() : it->si,
              it->utcMs);
    }
    logDirty_ = true;
    notify(kExposureChanged);
}

std::optional<SiLevel> FieldHistory::level(Quantity q) const {
    if (!reference_ || q == Quantity::Unknown) return std::nullopt;
    return LevelFor(*reference_, q);
}

double FieldHistory::percentOf(double si, Quantity q) const {
    return 100 * si / levelSi_[Index(q)];
}

void FieldHistory::judge(Exceedances& trackers, Quantity q, double si, int64_t at) const {
    // Only the reading's own quantity can be above; the others see a gap.
    for (std::size_t i = 0; i < trackers.size(); ++i) {
        trackers[i].add(i == Index(q) ? percentOf(si, q) : std::numeric_limits<double>::quiet_NaN(),
                        at);
    }
}

}  // namespace fenwyd::ui
