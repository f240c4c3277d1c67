// A reading against a reference level: the level in the reading's own unit,
// the exposure in percent and the texts the screen and the report show.
#pragma once

#include <optional>
#include <string>

#include "exposure/reference_levels.h"
#include "measure/units.h"

namespace fenwyd {

// What a reading is compared with: a standard at a frequency, or a level the
// operator typed (for a national rule not in the list).
struct Reference {
    bool typed = false;
    StandardId standard = StandardId::Icnirp2010Public;
    double frequencyHz = kDefaultFrequencyHz;  // standards only
    double typedValue = 0;                     // typed only: the value as typed...
    std::string typedUnit;                     // ...and its unit, the program's own name
};

// A standard at a frequency; nothing (and the reason in *error) when the
// frequency is outside 1 Hz to 3 kHz.
std::optional<Reference> MakeStandardReference(StandardId id, double frequencyHz,
                                               std::string* error = nullptr);
// A typed level: a finite value above zero in a unit the program knows
// (CanonicalUnitName spellings); otherwise nothing and the reason.
std::optional<Reference> MakeTypedReference(double value, const std::string& unit,
                                            std::string* error = nullptr);
// The same from the two texts of an entry field; the number is read as
// ParseDecimal reads it.
std::optional<Reference> ParseTypedReference(const std::string& valueText,
                                             const std::string& unitText,
                                             std::string* error = nullptr);

// "ICNIRP 2010 general public, 50 Hz" or "Typed reference level".
std::string ReferenceName(const Reference& ref);

// The level for readings of a quantity, in V/m, A/m or T; throughMu0 when
// it was got from the other magnetic quantity (B = mu0 H). Nothing when the
// reference has none for that quantity (a typed V/m level and a magnetic
// reading, say).
struct SiLevel {
    double value = 0;
    bool throughMu0 = false;
};
std::optional<SiLevel> LevelFor(const Reference& ref, Quantity quantity);

extern const char* const kThroughMu0;  // "through B = mu0 H"

struct Comparison {
    double level = 0;    // the reference level in the reading's unit
    std::string unit;    // that unit as shown: "mG", "uT", "m A/m", "V/m", "T", ...
    double percent = 0;  // 100 * reading / level
    bool throughMu0 = false;
    std::string levelText;  // "ICNIRP 2010 general public, 50 Hz: 200 uT"
};

// A reading given in one of the program's units (base name or label, see
// LookUpUnitScale; typed spellings as CanonicalUnitName takes them).
std::optional<Comparison> Compare(const Reference& ref, double value, const std::string& unit,
                                  std::string* error = nullptr);
// A reading in V/m, A/m or T; the level is shown in V/m, A/m or uT.
std::optional<Comparison> CompareSi(const Reference& ref, double valueSi, Quantity quantity,
                                    std::string* error = nullptr);

// The verdict for the largest reading of a series, compared as above:
// "Maximum 125 % of the ICNIRP 2010 general public reference level (2 G at 50 Hz)".
std::string VerdictText(const Reference& ref, const Comparison& maximum);

// Up to `digits` significant digits, fixed notation, no trailing zeros, '.'
// whatever the locale: 200, 4167, 795.8, 0.0002, 795800.
std::string FormatSignificant(double v, int digits = 4);
// "47.9 %", "125 %", "0.043 %".
std::string FormatPercent(double percent);
// "50 Hz", "16.67 Hz".
std::string FormatFrequency(double hz);

// A decimal number as typed: blanks around it, an optional sign, digits with
// at most one '.', an optional exponent. Nothing for anything else,
// including "inf", "nan", "1,5", an empty text and values beyond a double.
std::optional<double> ParseDecimal(const std::string& text);

}  // namespace fenwyd
