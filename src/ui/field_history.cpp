#include "ui/field_history.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "common/textconv.h"

namespace fenwyd::ui {

namespace {
// The base unit names a row can carry (UnitsText); index 0: not known.
const char* const kBaseUnits[] = {"", "V/m", "m A/m", "A/m", "mGauss", "Gauss", "Tesla"};

uint8_t BaseUnitIndex(const std::string& unitsText) {
    for (std::size_t i = 1; i < std::size(kBaseUnits); ++i) {
        if (unitsText == kBaseUnits[i]) return static_cast<uint8_t>(i);
    }
    return 0;
}

// A single-precision value as the data file writes it (seven significant
// digits), so 1.999f counts as 1.999 and not as 1.99899995.
double AsWritten(float v) { return LeadingNumber(FormatSingle(v)); }

// The scale of each base unit name, looked up once: rows are read by the
// thousand.
UnitScale BaseScale(uint8_t index) {
    static const auto scales = [] {
        std::array<UnitScale, std::size(kBaseUnits)> a{};
        for (std::size_t i = 0; i < a.size(); ++i) a[i] = LookUpUnitScale(kBaseUnits[i]);
        return a;
    }();
    return index < scales.size() ? scales[index] : UnitScale{};
}

// mantissa x 10^exponent in a unit of that scale, in V/m, A/m or T.
double ToSi(double mantissa, int exponent, UnitScale scale, Quantity& quantity) {
    quantity = scale.quantity;
    if (quantity == Quantity::Unknown) return std::numeric_limits<double>::quiet_NaN();
    return ScaleByPowerOfTen(mantissa, exponent + scale.siExponent);
}

// The unit a reading is shown in: its label where that is a unit of the same
// quantity, else its base unit name.
DisplayUnit DisplayUnitOf(const ReadingRecord& r) {
    const UnitScale base = LookUpUnitScale(r.unitsText);
    const UnitScale label = LookUpUnitScale(r.unitsLabel);
    if (label.quantity != Quantity::Unknown && label.quantity == base.quantity) {
        return {label.quantity, r.unitsLabel, label.siExponent};
    }
    return {base.quantity, r.unitsText, base.siExponent};
}
}  // namespace

FieldHistory::FieldHistory(const InstrumentState& st)
    : st_(st), rowUnits_(static_cast<std::size_t>(kMaxRecords) + 1, 0) {}

void FieldHistory::addListener(HistoryListener* l) { listeners_.push_back(l); }

void FieldHistory::removeListener(HistoryListener* l) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), l), listeners_.end());
}

void FieldHistory::notify(unsigned changes) {
    for (HistoryListener* l : listeners_) l->historyChanged(changes);
}

void FieldHistory::push(const LivePoint& p) {
    live_.push_back(p);
    if (live_.size() > kLiveHistoryLimit) live_.pop_front();
}

void FieldHistory::takeCurrent(const ReadingRecord& r) {
    current_ = r;
    hasReading_ = true;
    probeLost_ = false;
    const DisplayUnit unit = DisplayUnitOf(r);
    if (unit.quantity != Quantity::Unknown) unit_ = unit;
}

void FieldHistory::readingShown(const ReadingRecord& r) {
    takeCurrent(r);
    LivePoint p;
    p.utcMs = r.utcMs;
    p.logged = r.row > 0;
    p.si = ToSi(AsWritten(r.mantissa), r.exponent, LookUpUnitScale(r.unitsText), p.quantity);
    // An over- or under-range reply carries no value worth drawing.
    p.gap = r.overRange || r.underRange || p.quantity == Quantity::Unknown;
    push(p);
    if (r.overRange) ++overRange_;
    if (r.underRange) ++underRange_;
    if (!p.gap) liveStats_[Index(p.quantity)].add(p.si, r.utcMs);
    notify(kLiveChanged);
}

void FieldHistory::rowStored(const ReadingRecord& r) {
    if (r.row < 1 || r.row > kMaxRecords) return;
    rowUnits_[static_cast<std::size_t>(r.row)] = BaseUnitIndex(r.unitsText);
    // An uploaded reading is what the panel shows while the upload runs.
    if (uploading_) takeCurrent(r);
    if (!logDirty_ && r.row == logRowsCounted_ + 1) {
        Quantity q = Quantity::Unknown;
        const double si = rowSi(r.row, true, q);
        if (q != Quantity::Unknown) logStats_[Index(q)].add(si, r.row);
        logRowsCounted_ = r.row;
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

void FieldHistory::logStarted(LogSource source) {
    uploading_ = source == LogSource::Upload;
    resetLog();
}

void FieldHistory::logStopped() { uploading_ = false; }

void FieldHistory::logErased() { resetLog(); }

void FieldHistory::resetLog() {
    for (RunningStats& s : logStats_) s.clear();
    logRowsCounted_ = 0;
    logDirty_ = false;
    notify(kLogChanged);
}

void FieldHistory::clearPeak() {
    for (RunningStats& s : liveStats_) s.clear();
    overRange_ = underRange_ = 0;
    notify(kStatsChanged);
}

double FieldHistory::logValueSi(int32_t row, Quantity& quantity) const {
    return rowSi(row, false, quantity);
}

double FieldHistory::rowSi(int32_t row, bool asWritten, Quantity& quantity) const {
    quantity = Quantity::Unknown;
    if (row < 1 || row > kMaxRecords) return std::numeric_limits<double>::quiet_NaN();
    const auto& cells = st_.RecordData[static_cast<std::size_t>(row)];
    const float exponent = cells[kLogColExponent];
    if (!std::isfinite(exponent) || std::fabs(exponent) > 1000) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const uint8_t unit = rowUnits_[static_cast<std::size_t>(row)];
    const float value = cells[kLogColValue];
    return ToSi(asWritten ? AsWritten(value) : value, static_cast<int>(std::lround(exponent)),
                unit != 0 ? BaseScale(unit) : LookUpUnitScale(st_.UnitsText), quantity);
}

const RunningStats& FieldHistory::logStats(Quantity q) const {
    if (logDirty_ || logRowsCounted_ != st_.RecordCnt) {
        for (RunningStats& s : logStats_) s.clear();
        for (int32_t row = 1; row <= st_.RecordCnt && row <= kMaxRecords; ++row) {
            Quantity rq = Quantity::Unknown;
            const double si = rowSi(row, true, rq);
            if (rq != Quantity::Unknown) logStats_[Index(rq)].add(si, row);
        }
        logRowsCounted_ = st_.RecordCnt;
        logDirty_ = false;
    }
    return logStats_[Index(q)];
}

}  // namespace fenwyd::ui
