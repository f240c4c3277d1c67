#include "measure/units.h"

#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace fenwyd {
namespace {

constexpr int16_t k8203 = 8203;
constexpr int16_t k8204 = 8204;
constexpr int16_t kStale = 99;  // exponent left over from an earlier reading
const char* const kStaleUnits = "stale";

struct ConvertCase {
    int16_t model;
    const char* letter;
    int16_t range;
    float raw;
    const char* text;
    const char* units;
    int16_t exponent;
};

void Check(const ConvertCase& c) {
    std::string units = kStaleUnits;
    int16_t exponent = kStale;
    const std::string text = ConvertToNumber(c.model, c.letter, c.range, c.raw, units, exponent);
    const std::string where = std::to_string(c.model) + " " + c.letter + " range " +
                              std::to_string(c.range) + " raw " + std::to_string(c.raw);
    EXPECT_EQ(text, c.text) << where;
    EXPECT_EQ(units, c.units) << where;
    EXPECT_EQ(exponent, c.exponent) << where;
}

// Raw 1999 makes each divisor visible in the text.
TEST(ConvertToNumber, ThreeRangeTable) {
    const ConvertCase cases[] = {
        {k8203, "V", 0, 1999, "19.99", "V/m", 0},    {k8203, "V", 1, 1999, "199.9", "V/m", 0},
        {k8203, "V", 2, 1999, "1999", "V/m", 0},     {k8203, "A", 0, 1999, "19.99", "m A/m", 0},
        {k8203, "A", 1, 1999, "199.9", "m A/m", 0},  {k8203, "A", 2, 1999, "1999", "m A/m", 0},
        {k8203, "G", 0, 1999, "1.999", "mGauss", 0}, {k8203, "G", 1, 1999, "1.999", "mGauss", 0},
        {k8203, "G", 2, 1999, "19.99", "mGauss", 0}, {k8203, "T", 0, 1999, "19.99", "Tesla", -9},
        {k8203, "T", 1, 1999, "199.9", "Tesla", -9}, {k8203, "T", 2, 1999, "1.999", "Tesla", -6},
    };
    for (const ConvertCase& c : cases) Check(c);
}

TEST(ConvertToNumber, FiveRangeTable) {
    const ConvertCase cases[] = {
        {k8204, "G", 0, 1999, "1.999", "Gauss", -3}, {k8204, "G", 1, 1999, "19.99", "Gauss", -3},
        {k8204, "G", 2, 1999, "199.9", "Gauss", -3}, {k8204, "G", 3, 1999, "1.999", "Gauss", 0},
        {k8204, "G", 4, 1999, "19.99", "Gauss", 0},  {k8204, "V", 0, 1999, "19.99", "V/m", 0},
        {k8204, "V", 1, 1999, "199.9", "V/m", 0},    {k8204, "V", 2, 1999, "1.999", "V/m", 3},
        {k8204, "V", 3, 1999, "19.99", "V/m", 3},    {k8204, "V", 4, 1999, "199.9", "V/m", 3},
        {k8204, "T", 0, 1999, "199.9", "Tesla", -9}, {k8204, "T", 1, 1999, "1.999", "Tesla", -6},
        {k8204, "T", 2, 1999, "19.99", "Tesla", -6}, {k8204, "T", 3, 1999, "199.9", "Tesla", -6},
        {k8204, "T", 4, 1999, "1999", "Tesla", -6},  {k8204, "A", 0, 1999, "199.9", "A/m", -3},
        {k8204, "A", 1, 1999, "1.999", "A/m", 0},    {k8204, "A", 2, 1999, "19.99", "A/m", 0},
        {k8204, "A", 3, 1999, "199.9", "A/m", 0},    {k8204, "A", 4, 1999, "1999", "A/m", 0},
    };
    for (const ConvertCase& c : cases) Check(c);
}

TEST(ConvertToNumber, OddCells) {
    const ConvertCase cases[] = {
        // Text shorter than two characters gets ".0".
        {k8204, "A", 0, 0, "0.0", "A/m", -3},
        {k8203, "V", 2, 5, "5.0", "V/m", 0},
        {k8203, "V", 2, 0, "0.0", "V/m", 0},
        {k8203, "V", 0, 1900, "19", "V/m", 0},
        {k8203, "G", 0, 1900, "1.9", "mGauss", 0},
        // Any model but 8203 (0 = not yet identified) uses the five-range table.
        {0, "G", 0, 1999, "1.999", "Gauss", -3},
        {-1, "V", 4, 1999, "199.9", "V/m", 3},
        // Five-range: every other letter is A/m, case-sensitive.
        {k8204, "X", 2, 1999, "19.99", "A/m", 0},
        {k8204, "g", 0, 1999, "199.9", "A/m", -3},
        {k8204, "", 1, 1999, "1.999", "A/m", 0},
        // Five-range: range outside the table sets the units only.
        {k8204, "G", 5, 1999, ".0", "Gauss", kStale},
        {k8204, "V", -1, 1999, ".0", "V/m", kStale},
        // Three-range V/A/G zero the exponent even without a range row.
        {k8203, "V", 3, 1999, ".0", "V/m", 0},
        {k8203, "A", 4, 1999, ".0", "m A/m", 0},
        {k8203, "G", -1, 1999, ".0", "mGauss", 0},
        // Three-range T sets the exponent only with a value.
        {k8203, "T", 3, 1999, ".0", "Tesla", kStale},
        // Three-range unknown letter: nothing set.
        {k8203, "X", 0, 1999, ".0", kStaleUnits, kStale},
        {k8203, "v", 0, 1999, ".0", kStaleUnits, kStale},
        {k8203, "VV", 0, 1999, ".0", kStaleUnits, kStale},
    };
    for (const ConvertCase& c : cases) Check(c);
}

TEST(LookUpUnitsLabel, EveryCodeOnBothModels) {
    struct Case {
        const char* code;
        const char* three;
        const char* five;
    };
    const char* const no = nullptr;  // not supported on the QM-8203
    const Case cases[] = {
        {"0G", "mG", "mG"},     {"1G", "mG", "mG"},     {"2G", "mG", "mG"},
        {"3G", no, "G"},        {"4G", no, "G"},        {"0A", "m A/m", "m A/m"},
        {"1A", "m A/m", "A/m"}, {"2A", "m A/m", "A/m"}, {"3A", no, "A/m"},
        {"4A", no, "A/m"},      {"0V", "V/m", "V/m"},   {"1V", "V/m", "V/m"},
        {"2V", "V/m", "k V/m"}, {"3V", no, "k V/m"},    {"4V", no, "k V/m"},
        {"0T", "nT", "nT"},     {"1T", "nT", "uT"},     {"2T", "uT", "uT"},
        {"3T", no, "uT"},       {"4T", no, "uT"},
    };
    for (const Case& c : cases) {
        const UnitsLabel three = LookUpUnitsLabel(k8203, c.code);
        EXPECT_EQ(three.notSupported, c.three == nullptr) << c.code;
        EXPECT_EQ(three.label, c.three ? c.three : "") << c.code;
        for (int16_t model : {k8204, int16_t{0}}) {
            const UnitsLabel five = LookUpUnitsLabel(model, c.code);
            EXPECT_FALSE(five.notSupported) << c.code;
            EXPECT_EQ(five.label, c.five) << c.code << " model " << model;
        }
    }
}

TEST(LookUpUnitsLabel, UnknownCodesGiveAnEmptyLabel) {
    for (const char* code : {"2X", "5G", "0g", "", "G", "00G", " 0G", "-1V"}) {
        for (int16_t model : {k8203, k8204}) {
            const UnitsLabel l = LookUpUnitsLabel(model, code);
            EXPECT_EQ(l.label, "") << '"' << code << '"';
            EXPECT_FALSE(l.notSupported) << '"' << code << '"';
        }
    }
}

TEST(ConvertUnits, BaseUnitsToDisplayLabels) {
    struct Case {
        double value;
        const char* from;
        const char* to;
        double expected;
    };
    const Case cases[] = {
        // What each reading's base unit shows as on the panel.
        {1.999e-3, "Gauss", "mG", 1.999},
        {19.99, "Gauss", "G", 19.99},
        {1.999, "mGauss", "mG", 1.999},
        {199.9e-9, "Tesla", "nT", 199.9},
        {1.999e-6, "Tesla", "uT", 1.999},
        {19.99, "V/m", "V/m", 19.99},
        {199.9e3, "V/m", "k V/m", 199.9},
        {199.9e-3, "A/m", "m A/m", 199.9},
        {19.99, "m A/m", "m A/m", 19.99},
        {1999, "A/m", "A/m", 1999},
        // Gauss and tesla measure the same thing: 1 G = 100 uT.
        {1, "Gauss", "uT", 100},
        {250, "nT", "mG", 2.5},
        {1.5, "k V/m", "V/m", 1500},
        {0, "Tesla", "mG", 0},
    };
    for (const Case& c : cases) {
        const std::optional<double> v = ConvertUnits(c.value, c.from, c.to);
        ASSERT_TRUE(v.has_value()) << c.from << " -> " << c.to;
        EXPECT_DOUBLE_EQ(*v, c.expected) << c.from << " -> " << c.to;
    }
}

TEST(ConvertUnits, DifferentQuantitiesAndUnknownNamesDoNotConvert) {
    const char* const pairs[][2] = {{"Gauss", "V/m"}, {"V/m", "A/m"}, {"m A/m", "uT"},
                                    {"mG", ""},       {"", "mG"},     {"units", "units"},
                                    {"mg", "mG"},     {"kV/m", "V/m"}};
    for (const auto& p : pairs) EXPECT_FALSE(ConvertUnits(1, p[0], p[1])) << p[0] << " " << p[1];
}

TEST(ConvertUnits, EveryLabelOfTheLabelTableHasAScale) {
    for (const char* code : {"0G", "3G", "0A", "1A", "0V", "2V", "0T", "1T"}) {
        const std::string label = LookUpUnitsLabel(k8204, code).label;
        EXPECT_NE(LookUpUnitScale(label).quantity, Quantity::Unknown) << label;
    }
    EXPECT_EQ(LookUpUnitScale("Tesla").quantity, Quantity::FluxDensity);
    EXPECT_EQ(LookUpUnitScale("m A/m").quantity, Quantity::MagneticField);
    EXPECT_EQ(LookUpUnitScale("k V/m").quantity, Quantity::ElectricField);
}

TEST(ScaleByPowerOfTen, RoundsOnceAndSaturates) {
    EXPECT_EQ(ScaleByPowerOfTen(1.999, -3), 0.001999);
    EXPECT_EQ(ScaleByPowerOfTen(1.25, -6), 1.25e-6);
    EXPECT_EQ(ScaleByPowerOfTen(199.9, 3), 199900.0);
    EXPECT_EQ(ScaleByPowerOfTen(7, 0), 7);
    EXPECT_EQ(ScaleByPowerOfTen(1, 400), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ScaleByPowerOfTen(1, -400), 0);
}

}  // namespace
}  // namespace fenwyd
