// Value decoding and unit labels for the QM-8203 (three ranges) and the
// QM-8204 (five ranges).
#pragma once

#include <cstdint>
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

}  // namespace fenwyd
