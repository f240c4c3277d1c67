#include "measure/units.h"

#include <algorithm>

#include "common/textconv.h"
#include "measure/probe_model.h"

namespace fenwyd {

namespace {

// One range cell: divisor and the exponent it implies. setsExponent false
// means the row leaves ReadingExponent as the group step left it.
struct RangeCell {
    float divisor;
    int16_t exponent;
    bool setsExponent;
};

struct UnitGroup {
    const char* letter;  // nullptr: the row for every other letter
    const char* unitsText;
    bool zeroExponentFirst;  // exponent reset to 0 before the range is looked at
    int rangeCount;
    RangeCell cells[5];
};

// Keep: the cell does not touch the exponent; WithExp: it sets it.
constexpr RangeCell Keep(float d) { return {d, 0, false}; }
constexpr RangeCell WithExp(float d, int16_t e) { return {d, e, true}; }

// QM-8203. "G" ranges 0 and 1 both divide by 1000 on purpose (range 0 is
// not 10000). V/A/G reset the exponent to 0; "T" only sets it with a value.
const UnitGroup kThreeRange[] = {
    {"V", "V/m", true, 3, {Keep(100), Keep(10), Keep(1)}},
    {"A", "m A/m", true, 3, {Keep(100), Keep(10), Keep(1)}},
    {"G", "mGauss", true, 3, {Keep(1000), Keep(1000), Keep(100)}},
    {"T", "Tesla", false, 3, {WithExp(100, -9), WithExp(10, -9), WithExp(1000, -6)}},
};

// QM-8204. Every letter not listed (including "A") uses the A/m row.
const UnitGroup kFiveRange[] = {
    {"G",
     "Gauss",
     false,
     5,
     {WithExp(1000, -3), WithExp(100, -3), WithExp(10, -3), WithExp(1000, 0), WithExp(100, 0)}},
    {"V",
     "V/m",
     false,
     5,
     {WithExp(100, 0), WithExp(10, 0), WithExp(1000, 3), WithExp(100, 3), WithExp(10, 3)}},
    {"T",
     "Tesla",
     false,
     5,
     {WithExp(10, -9), WithExp(1000, -6), WithExp(100, -6), WithExp(10, -6), WithExp(1, -6)}},
    {nullptr,
     "A/m",
     false,
     5,
     {WithExp(10, -3), WithExp(1000, 0), WithExp(100, 0), WithExp(10, 0), WithExp(1, 0)}},
};

template <std::size_t N>
const UnitGroup* FindGroup(const UnitGroup (&table)[N], const std::string& letter) {
    for (const UnitGroup& g : table) {
        if (g.letter == nullptr || letter == g.letter) return &g;
    }
    return nullptr;
}

struct LabelRow {
    const char* code;
    const char* threeRange;  // nullptr: not supported on the QM-8203
    const char* fiveRange;
};

const LabelRow kLabels[] = {
    {"0G", "mG", "mG"},     {"1G", "mG", "mG"},       {"2G", "mG", "mG"},
    {"3G", nullptr, "G"},   {"4G", nullptr, "G"},     {"0A", "m A/m", "m A/m"},
    {"1A", "m A/m", "A/m"}, {"2A", "m A/m", "A/m"},   {"3A", nullptr, "A/m"},
    {"4A", nullptr, "A/m"}, {"0V", "V/m", "V/m"},     {"1V", "V/m", "V/m"},
    {"2V", "V/m", "k V/m"}, {"3V", nullptr, "k V/m"}, {"4V", nullptr, "k V/m"},
    {"0T", "nT", "nT"},     {"1T", "nT", "uT"},       {"2T", "uT", "uT"},
    {"3T", nullptr, "uT"},  {"4T", nullptr, "uT"},
};

}  // namespace

std::string ConvertToNumber(int16_t probeModel, const std::string& probeUnits, int16_t locRange,
                            float locField, std::string& unitsText, int16_t& readingExponent) {
    const UnitGroup* group = probeModel == kModel8203 ? FindGroup(kThreeRange, probeUnits)
                                                      : FindGroup(kFiveRange, probeUnits);
    std::string text;
    if (group != nullptr) {
        unitsText = group->unitsText;
        if (group->zeroExponentFirst) readingExponent = 0;
        if (locRange >= 0 && locRange < group->rangeCount) {
            const RangeCell& cell = group->cells[locRange];
            const float quotient = locField / cell.divisor;
            text = FormatSingle(quotient);
            if (cell.setsExponent) readingExponent = cell.exponent;
        }
    }
    if (text.size() < 2) text += ".0";
    return text;
}

namespace {
struct NamedScale {
    const char* name;
    UnitScale scale;
};

// Base unit names and display labels alike; 1 G = 1e-4 T.
const NamedScale kUnitScales[] = {
    {"V/m", {Quantity::ElectricField, 0}},    {"k V/m", {Quantity::ElectricField, 3}},
    {"m A/m", {Quantity::MagneticField, -3}}, {"A/m", {Quantity::MagneticField, 0}},
    {"Tesla", {Quantity::FluxDensity, 0}},    {"uT", {Quantity::FluxDensity, -6}},
    {"nT", {Quantity::FluxDensity, -9}},      {"Gauss", {Quantity::FluxDensity, -4}},
    {"G", {Quantity::FluxDensity, -4}},       {"mGauss", {Quantity::FluxDensity, -7}},
    {"mG", {Quantity::FluxDensity, -7}},
};
}  // namespace

double ScaleByPowerOfTen(double value, int exponent) {
    // Past 10^308 the power is infinite anyway: no longer loop than that.
    constexpr int kLargest = 309;
    double p = 1;
    for (int i = std::min(exponent < 0 ? -exponent : exponent, kLargest); i > 0; --i) p *= 10;
    return exponent < 0 ? value / p : value * p;
}

std::string LabelOfValue(const std::string& unitsText, int exponent) {
    static const char* const kLabels[] = {"mG", "G", "nT", "uT", "m A/m", "A/m", "V/m", "k V/m"};
    const UnitScale base = LookUpUnitScale(unitsText);
    if (base.quantity == Quantity::Unknown) return {};
    for (const char* label : kLabels) {
        const UnitScale l = LookUpUnitScale(label);
        if (l.quantity == base.quantity && l.siExponent == base.siExponent + exponent) return label;
    }
    return {};
}

UnitScale LookUpUnitScale(const std::string& unitName) {
    for (const NamedScale& u : kUnitScales) {
        if (unitName == u.name) return u.scale;
    }
    return {};
}

std::string CanonicalUnitName(const std::string& typed) {
    std::size_t b = 0, e = typed.size();
    while (b < e && (typed[b] == ' ' || typed[b] == '\t')) ++b;
    while (e > b && (typed[e - 1] == ' ' || typed[e - 1] == '\t')) --e;
    const std::string name = typed.substr(b, e - b);
    struct Spelling {
        const char* typed;
        const char* name;
    };
    static const Spelling kSpellings[] = {
        {"mA/m", "m A/m"},   {"kV/m", "k V/m"},   {"T", "Tesla"},
        {"\xC2\xB5T", "uT"}, {"\xCE\xBCT", "uT"}, {"\xB5T", "uT"},
    };
    for (const Spelling& s : kSpellings) {
        if (name == s.typed) return s.name;
    }
    return name;
}

std::optional<double> ConvertUnits(double value, const std::string& from, const std::string& to) {
    const UnitScale a = LookUpUnitScale(from);
    const UnitScale b = LookUpUnitScale(to);
    if (a.quantity == Quantity::Unknown || a.quantity != b.quantity) return std::nullopt;
    return ScaleByPowerOfTen(value, a.siExponent - b.siExponent);
}

UnitsLabel LookUpUnitsLabel(int16_t probeModel, const std::string& code) {
    for (const LabelRow& row : kLabels) {
        if (code != row.code) continue;
        if (probeModel != kModel8203) return {row.fiveRange, false};
        if (row.threeRange == nullptr) return {std::string(), true};
        return {row.threeRange, false};
    }
    return {std::string(), false};
}

}  // namespace fenwyd
