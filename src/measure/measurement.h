// One reading as a typed value: what the probe said (its decimal digits and
// exponent exactly as decoded), what it measures and in which unit, its range
// and flags, the probe model and when it was taken. It is made once, from the
// cut reply, for live and for stored readings alike; the panel, the data log,
// the journal, the graph, the statistics, the headless records and MQTT all
// format from it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "measure/units.h"
#include "position/position.h"

namespace fenwyd {

struct Measurement {
    // The value text as decoded ("1.999", "19", ".0"): the probe's digits
    // with the decimal point in place. Files and records write exactly this.
    std::string valueText;
    float mantissa = 0;    // valueText read as a single (what the data log stores)
    int16_t exponent = 0;  // value = valueText x 10^exponent in unitsText
    Quantity quantity = Quantity::Unknown;
    std::string unitsText;   // base unit name ("Gauss", "Tesla", "V/m", ...)
    std::string unitsLabel;  // display label ("mG", "uT", ...); empty where there is none
    int16_t range = 0;
    bool autoRange = false;
    int percent = 0;  // percent of range
    bool overRange = false;
    bool underRange = false;
    bool stored = false;           // read back from the probe's memory, not taken live
    int16_t model = 0;             // 8203, 8204; 0 before identification
    int64_t utcMs = 0;             // ms since 1970 (UTC); 0: not known
    int32_t utcOffsetSeconds = 0;  // local time minus UTC at that moment
    // Where it was taken: the fix that counted for it (never invented).
    std::optional<Position> position;

    // Over- and under-range readings carry no value worth counting.
    bool inRange() const { return !overRange && !underRange; }
    // A value that can be counted, compared and drawn.
    bool valid() const { return inRange() && quantity != Quantity::Unknown; }
    // The value in V/m, A/m or T; NaN when the unit is not known.
    double si() const;
    // The exact decimal text of the value in its base unit, without an
    // exponent ("0.001999" for 1.999 x 10^-3 Gauss).
    std::string baseDecimal() const;
};

// The exact decimal text of valueText x 10^exponent, without an exponent:
// ("1.999", -3) gives "0.001999", ("199.9", 3) gives "199900". Empty when
// valueText holds no digits.
std::string ScaledDecimal(const std::string& valueText, int exponent);

// The measurement of a cut reply whose value the unit tables have decoded
// into valueText x 10^exponent in unitsText, labelled unitsLabel. Times are
// the caller's to set.
struct ProbeReading;
Measurement MakeMeasurement(const ProbeReading& cut, const std::string& valueText, int16_t exponent,
                            const std::string& unitsText, const std::string& unitsLabel,
                            int16_t model, bool stored);

}  // namespace fenwyd
