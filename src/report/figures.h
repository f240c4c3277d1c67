// The figures a report prints, worked out from its input: when each row was
// taken, the statistics of each unit against the reference level, and the
// one verdict. No drawing here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "datalog/statistics.h"
#include "report/report_input.h"

namespace fenwyd::report {

// Where each row lies on the time axis: sample numbers, full times, or times
// of day (a data file's rows) counted on past midnight where they run back.
class RowTimes {
public:
    enum class Base : uint8_t { Samples, UtcTimes, TimesOfDay };

    explicit RowTimes(const ReportInput& in);

    Base base() const { return base_; }
    std::size_t size() const { return at_.size(); }
    // The row's place on the axis: its sample number, or ms (UTC ms since
    // 1970 for full times; ms since the first row's midnight for times of day).
    double at(std::size_t row) const { return at_[row]; }
    // Local time minus the axis' time in ms (0 for times of day).
    double offsetMs() const { return offsetMs_; }
    // The row's time as a table shows it: "17", "10:15:03", with the date
    // ("2026-06-12 10:15:03", "day 2 00:10:00") where the log spans dates.
    std::string text(std::size_t row) const;
    // "at sample 17", "at 10:15:03".
    std::string atText(std::size_t row) const;
    // The date and time span of the rows, in words.
    std::string spanText(const ReportInput& in) const;
    bool spansDates() const { return spansDates_; }

private:
    Base base_ = Base::Samples;
    std::vector<double> at_;
    std::vector<int32_t> offsets_;  // seconds, full times only
    double offsetMs_ = 0;
    bool spansDates_ = false;
};

// The figures of the rows of one unit.
struct UnitFigures {
    std::string unitsText;  // the rows' base unit ("Gauss")
    std::string label;      // the unit the figures are given in ("mG")
    Quantity quantity = Quantity::Unknown;
    int64_t rows = 0;  // rows in this unit
    int64_t overRange = 0, underRange = 0;
    RunningStats stats;  // the valid rows in `label`; `at` is the row index
    // The reference level in `label`, when the reference has one for the
    // quantity; then the percents and the count at or above the alarm.
    std::optional<Comparison> level;
    double maxPercent = 0, meanPercent = 0;
    int64_t atOrAboveAlarm = 0;
};

// Per unit, in the order the units first appear in the rows.
std::vector<UnitFigures> FiguresOf(const ReportInput& in);

// The value of a row in `label` (NaN when it is not that quantity).
double ValueIn(const Measurement& m, const std::string& label);
// The row's value as the probe gave it, in its own label: "1.999 mG".
std::string ValueText(const Measurement& m);
// "Magnetic flux density", "Magnetic field strength", "Electric field strength".
std::string QuantityName(Quantity q);
// "QM-8204" from the rows' model, or the input's; empty when not known.
std::string ProbeModelText(const ReportInput& in);

// The verdict: for the unit whose maximum is the highest percent of its
// level, VerdictText of that maximum; otherwise why there is none.
std::string Verdict(const ReportInput& in, const std::vector<UnitFigures>& figures);

// Figures as the report prints them: four significant digits, '.' always.
std::string Number(double v);

}  // namespace fenwyd::report
