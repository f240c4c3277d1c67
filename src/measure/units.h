// Value decoding and unit labels for the QM-8203 (three ranges) and the
// QM-8204 (five ranges).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace fenwyd {

// Turns a raw four-digit reading into its value text by the division of the
// probe model's range table. Sets unitsText (base unit name) and, where the
// table names one, readingExponent; both are left alone where the table says
// so. probeModel 8203 selects the three-range table, any other value the
// five-range one. A text shorter than 2 characters gets ".0" appended, so a
// range outside the table yields ".0".
std::string ConvertToNumber(int16_t probeModel, const std::string& probeUnits, int16_t locRange,
                            float locField, std::string& unitsText, int16_t& readingExponent);

struct UnitsLabel {
    std::string label;
    bool notSupported;  // code exists only on the QM-8204; label is empty
};

// Unit label for a range/unit code such as "2G". An unknown code gives an
// empty label with notSupported false.
UnitsLabel LookUpUnitsLabel(int16_t probeModel, const std::string& code);

// The display label of a value kept as mantissa x 10^exponent in a base unit,
// where only the base unit was kept: the label whose scale is the unit's
// times 10^exponent ("Gauss" with -3 is "mG", "Tesla" with -6 "uT"), as the
// unit tables pair them; empty when there is none.
std::string LabelOfValue(const std::string& unitsText, int exponent);

// What a unit measures: readings of different quantities are never compared,
// averaged or drawn on one axis.
enum class Quantity : uint8_t { Unknown, ElectricField, MagneticField, FluxDensity };

// Every unit here is a power of ten of V/m, A/m or T.
struct UnitScale {
    Quantity quantity = Quantity::Unknown;
    int siExponent = 0;  // a value in this unit times 10^siExponent is in V/m, A/m or T
};

// A base unit name (UnitsText: "V/m", "m A/m", "A/m", "mGauss", "Gauss",
// "Tesla") or a display label ("mG", "G", "nT", "uT", "m A/m", "A/m", "V/m",
// "k V/m"). Anything else is Quantity::Unknown.
UnitScale LookUpUnitScale(const std::string& unitName);

// The program's own name for a unit as an operator may type it: blanks
// around it dropped, "mA/m" and "kV/m" as "m A/m" and "k V/m", "T" as "Tesla", a micro sign
// (UTF-8 or Latin-1) or Greek mu before "T" as "uT". Any other text comes back
// trimmed; LookUpUnitScale then says whether it is known.
std::string CanonicalUnitName(const std::string& typed);

// value in the unit `from` expressed in the unit `to` (1.999 "Gauss" is
// 1999 "mG"); nothing when either is unknown or they measure different
// quantities.
std::optional<double> ConvertUnits(double value, const std::string& from, const std::string& to);

// value * 10^exponent, rounded once: 10^|exponent| is exact in a double for
// the exponents that occur here, and a division by it rounds correctly where
// a multiplication by 10^-n would not (1.999 / 1000 is the double nearest
// 0.001999).
double ScaleByPowerOfTen(double value, int exponent);

}  // namespace fenwyd
