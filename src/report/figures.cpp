#include "report/figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/textconv.h"
#include "measure/units.h"

namespace fenwyd::report {

namespace {

constexpr int64_t kMsPerDay = 86400000;

struct Civil {
    int year, month, day;
};

// The proleptic Gregorian date of a day number (days since 1970-01-01).
Civil CivilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0)), static_cast<int>(m),
            static_cast<int>(d)};
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

std::string ClockText(int64_t msOfDay) {
    const int64_t s = msOfDay / 1000;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(s / 3600),
                  static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
    return buf;
}

std::string DateText(int64_t day) {
    const Civil c = CivilFromDays(day);
    char buf[24];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
    return buf;
}

std::string OffsetText(int32_t seconds) {
    const int32_t a = seconds < 0 ? -seconds : seconds;
    char buf[24];
    std::snprintf(buf, sizeof buf, "UTC%c%02d:%02d", seconds < 0 ? '-' : '+',
                  static_cast<int>(a / 3600), static_cast<int>(a / 60 % 60));
    return buf;
}

bool IsMagnetic(Quantity q) { return q == Quantity::FluxDensity || q == Quantity::MagneticField; }

}  // namespace

RowTimes::RowTimes(const ReportInput& in) {
    const std::vector<LoggedRow>& rows = in.rows;
    at_.reserve(rows.size());
    const bool allUtc =
        !rows.empty() && std::all_of(rows.begin(), rows.end(),
                                     [](const LoggedRow& r) { return r.reading.utcMs != 0; });
    if (in.uploaded) {
        base_ = Base::Samples;
        for (const LoggedRow& r : rows) at_.push_back(r.logTime);
    } else if (allUtc) {
        base_ = Base::UtcTimes;
        offsetMs_ = rows.front().reading.utcOffsetSeconds * 1000.0;
        offsets_.reserve(rows.size());
        int64_t firstDay = 0, lastDay = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const Measurement& m = rows[i].reading;
            at_.push_back(static_cast<double>(m.utcMs));
            offsets_.push_back(m.utcOffsetSeconds);
            const int64_t day = FloorDiv(m.utcMs + m.utcOffsetSeconds * int64_t{1000}, kMsPerDay);
            if (i == 0 || day < firstDay) firstDay = day;
            if (i == 0 || day > lastDay) lastDay = day;
        }
        spansDates_ = firstDay != lastDay;
    } else {
        // A time running back by more than half a day has passed midnight.
        base_ = Base::TimesOfDay;
        int64_t day = 0;
        double previous = 0;
        for (const LoggedRow& r : rows) {
            const double t = std::nearbyint(static_cast<double>(r.logTime) * 86400.0) * 1000.0;
            if (!at_.empty() && t + kMsPerDay / 2 < previous - day * kMsPerDay) ++day;
            previous = t + static_cast<double>(day * kMsPerDay);
            at_.push_back(previous);
        }
        spansDates_ = day > 0;
    }
}

std::string RowTimes::text(std::size_t row) const {
    const double at = at_[row];
    switch (base_) {
        case Base::Samples: return FormatSingle(static_cast<float>(at));
        case Base::UtcTimes: {
            const int64_t local = static_cast<int64_t>(at) + offsets_[row] * int64_t{1000};
            const int64_t day = FloorDiv(local, kMsPerDay);
            const std::string clock = ClockText(local - day * kMsPerDay);
            return spansDates_ ? DateText(day) + " " + clock : clock;
        }
        case Base::TimesOfDay: {
            const auto ms = static_cast<int64_t>(at);
            const int64_t day = ms / kMsPerDay;
            const std::string clock = ClockText(ms - day * kMsPerDay);
            return spansDates_ ? "day " + std::to_string(day + 1) + " " + clock : clock;
        }
    }
    return {};
}

std::string RowTimes::atText(std::size_t row) const {
    return base_ == Base::Samples ? "at sample " + text(row) : "at " + text(row);
}

std::string RowTimes::spanText(const ReportInput& in) const {
    if (at_.empty()) return "No readings";
    std::size_t first = 0, last = 0;
    for (std::size_t i = 1; i < at_.size(); ++i) {
        if (at_[i] < at_[first]) first = i;
        if (at_[i] >= at_[last]) last = i;
    }
    const std::string saved =
        in.savedDate.empty() ? std::string()
                             : "; the data file was saved on " + in.savedDate +
                                   (in.savedTime.empty() ? std::string() : " at " + in.savedTime);
    switch (base_) {
        case Base::Samples: {
            std::string text = "Samples " + this->text(first) + " to " + this->text(last) +
                               ", uploaded from the probe's memory";
            const Measurement& m = in.rows.front().reading;
            if (m.utcMs != 0) {
                const int64_t local = m.utcMs + m.utcOffsetSeconds * int64_t{1000};
                const int64_t day = FloorDiv(local, kMsPerDay);
                text += " on " + DateText(day) + " at " + ClockText(local - day * kMsPerDay) +
                        " (" + OffsetText(m.utcOffsetSeconds) + ")";
            }
            return text + saved;
        }
        case Base::UtcTimes: {
            // The date once, or on both ends when the log passes midnight.
            const int64_t local =
                static_cast<int64_t>(at_[first]) + offsets_[first] * int64_t{1000};
            const int64_t day = FloorDiv(local, kMsPerDay);
            std::string text = DateText(day) + " " + ClockText(local - day * kMsPerDay) + " to " +
                               this->text(last) + " (" + OffsetText(offsets_[first]) + ")";
            return text;
        }
        case Base::TimesOfDay: {
            const auto lastMs = static_cast<int64_t>(at_[last]);
            const int64_t days = lastMs / kMsPerDay;
            std::string text = ClockText(static_cast<int64_t>(at_[first])) + " to " +
                               ClockText(lastMs - days * kMsPerDay);
            if (days == 1) text += " on the next day";
            if (days > 1) text += " on day " + std::to_string(days + 1);
            return text + " (times of day" + saved + ")";
        }
    }
    return {};
}

double ValueIn(const Measurement& m, const std::string& label) {
    const UnitScale base = LookUpUnitScale(m.unitsText);
    const UnitScale to = LookUpUnitScale(label);
    if (base.quantity == Quantity::Unknown || base.quantity != to.quantity) return std::nan("");
    // One scaling from the probe's digits, so 1.999 mG stays exactly 1.999.
    return ScaleByPowerOfTen(LeadingNumber(m.valueText),
                             m.exponent + base.siExponent - to.siExponent);
}

std::string ValueText(const Measurement& m) {
    const UnitScale base = LookUpUnitScale(m.unitsText);
    const UnitScale label = LookUpUnitScale(m.unitsLabel);
    if (m.unitsLabel.empty() || label.quantity != base.quantity ||
        base.quantity == Quantity::Unknown) {
        return m.baseDecimal() + " " + m.unitsText;
    }
    return ScaledDecimal(m.valueText, m.exponent + base.siExponent - label.siExponent) + " " +
           m.unitsLabel;
}

std::string QuantityName(Quantity q) {
    switch (q) {
        case Quantity::ElectricField: return "Electric field strength";
        case Quantity::MagneticField: return "Magnetic field strength";
        case Quantity::FluxDensity: return "Magnetic flux density";
        case Quantity::Unknown: break;
    }
    return "Unknown quantity";
}

std::string ProbeModelText(const ReportInput& in) {
    if (!in.probeModel.empty()) return in.probeModel;
    for (const LoggedRow& r : in.rows) {
        if (r.reading.model != 0) return "QM-" + std::to_string(r.reading.model);
    }
    return {};
}

std::vector<UnitFigures> FiguresOf(const ReportInput& in) {
    std::vector<UnitFigures> out;
    std::vector<std::vector<std::pair<std::string, int64_t>>> labelCounts;
    std::vector<std::size_t> groupOf(in.rows.size());
    for (std::size_t i = 0; i < in.rows.size(); ++i) {
        const Measurement& m = in.rows[i].reading;
        std::size_t g = 0;
        while (g < out.size() && out[g].unitsText != m.unitsText) ++g;
        if (g == out.size()) {
            UnitFigures f;
            f.unitsText = m.unitsText;
            f.quantity = LookUpUnitScale(m.unitsText).quantity;
            out.push_back(std::move(f));
            labelCounts.emplace_back();
        }
        groupOf[i] = g;
        UnitFigures& f = out[g];
        ++f.rows;
        if (m.overRange) ++f.overRange;
        if (m.underRange) ++f.underRange;
        if (!m.valid() || m.unitsLabel.empty()) continue;
        auto& counts = labelCounts[g];
        auto it = std::find_if(counts.begin(), counts.end(),
                               [&](const auto& c) { return c.first == m.unitsLabel; });
        if (it == counts.end()) {
            counts.emplace_back(m.unitsLabel, 1);
        } else {
            ++it->second;
        }
    }
    // Figures in the label most rows were shown in.
    for (std::size_t g = 0; g < out.size(); ++g) {
        const auto& counts = labelCounts[g];
        const auto best =
            std::max_element(counts.begin(), counts.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        out[g].label = best == counts.end() ? out[g].unitsText : best->first;
    }
    for (std::size_t i = 0; i < in.rows.size(); ++i) {
        const Measurement& m = in.rows[i].reading;
        if (!m.valid()) continue;
        UnitFigures& f = out[groupOf[i]];
        f.stats.add(ValueIn(m, f.label), static_cast<int64_t>(i));
    }
    if (!in.reference) return out;
    for (std::size_t g = 0; g < out.size(); ++g) {
        UnitFigures& f = out[g];
        if (f.quantity == Quantity::Unknown) continue;
        f.level = Compare(*in.reference, f.stats.empty() ? 0.0 : f.stats.max().value, f.label);
        if (!f.level || f.stats.empty()) continue;
        f.maxPercent = f.level->percent;
        f.meanPercent = 100 * f.stats.mean() / f.level->level;
    }
    for (std::size_t i = 0; i < in.rows.size(); ++i) {
        const Measurement& m = in.rows[i].reading;
        UnitFigures& f = out[groupOf[i]];
        if (!m.valid() || !f.level) continue;
        if (100 * ValueIn(m, f.label) / f.level->level >= in.alarmPercent) ++f.atOrAboveAlarm;
    }
    return out;
}

std::string Verdict(const ReportInput& in, const std::vector<UnitFigures>& figures) {
    if (!in.reference) return "No reference level chosen";
    const UnitFigures* worst = nullptr;
    bool anyReadings = false;
    for (const UnitFigures& f : figures) {
        anyReadings = anyReadings || !f.stats.empty();
        if (!f.level || f.stats.empty()) continue;
        if (worst == nullptr || f.maxPercent > worst->maxPercent) worst = &f;
    }
    if (worst != nullptr) return VerdictText(*in.reference, *worst->level);
    if (!anyReadings) return "No readings to compare with the reference level";
    std::string what;
    for (const UnitFigures& f : figures) {
        if (f.stats.empty()) continue;
        if (!what.empty()) what += ", ";
        what += f.label;
    }
    // Only a typed level can lack a quantity that was measured.
    const bool magneticLevel = IsMagnetic(LookUpUnitScale(in.reference->typedUnit).quantity);
    return "No reading could be compared with the typed reference level (" +
           std::string(magneticLevel ? "a magnetic" : "an electric") +
           " field level; readings in " + what + ")";
}

std::string Number(double v) { return FormatSignificant(v, 4); }

}  // namespace fenwyd::report
