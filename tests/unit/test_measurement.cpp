// One reading, one measurement: what every follower gets from a reply,
// through every row of both unit tables.
#include <gtest/gtest.h>

#include <cmath>

#include "support/harness.h"

namespace fenwyd::testing {
namespace {

struct Taken : InstrumentObserver {
    std::vector<Measurement> shown;
    void readingShown(const Measurement& m, int32_t) override { shown.push_back(m); }
};

TEST(Measurement, EveryRowOfBothUnitTables) {
    struct Row {
        char model, units, range;
        const char* value;
        int exponent;
        const char* unitsText;
        const char* label;
        Quantity quantity;
    };
    const Quantity B = Quantity::FluxDensity, H = Quantity::MagneticField,
                   E = Quantity::ElectricField;
    // Raw 1999 on every range of every unit letter of both models.
    const Row rows[] = {
        {'E', 'G', '0', "1.999", -3, "Gauss", "mG", B},
        {'E', 'G', '1', "19.99", -3, "Gauss", "mG", B},
        {'E', 'G', '2', "199.9", -3, "Gauss", "mG", B},
        {'E', 'G', '3', "1.999", 0, "Gauss", "G", B},
        {'E', 'G', '4', "19.99", 0, "Gauss", "G", B},
        {'E', 'V', '0', "19.99", 0, "V/m", "V/m", E},
        {'E', 'V', '1', "199.9", 0, "V/m", "V/m", E},
        {'E', 'V', '2', "1.999", 3, "V/m", "k V/m", E},
        {'E', 'V', '3', "19.99", 3, "V/m", "k V/m", E},
        {'E', 'V', '4', "199.9", 3, "V/m", "k V/m", E},
        {'E', 'T', '0', "199.9", -9, "Tesla", "nT", B},
        {'E', 'T', '1', "1.999", -6, "Tesla", "uT", B},
        {'E', 'T', '2', "19.99", -6, "Tesla", "uT", B},
        {'E', 'T', '3', "199.9", -6, "Tesla", "uT", B},
        {'E', 'T', '4', "1999", -6, "Tesla", "uT", B},
        {'E', 'A', '0', "199.9", -3, "A/m", "m A/m", H},
        {'E', 'A', '1', "1.999", 0, "A/m", "A/m", H},
        {'E', 'A', '2', "19.99", 0, "A/m", "A/m", H},
        {'E', 'A', '3', "199.9", 0, "A/m", "A/m", H},
        {'E', 'A', '4', "1999", 0, "A/m", "A/m", H},
        {'V', 'V', '0', "19.99", 0, "V/m", "V/m", E},
        {'V', 'V', '1', "199.9", 0, "V/m", "V/m", E},
        {'V', 'V', '2', "1999", 0, "V/m", "V/m", E},
        {'V', 'A', '0', "19.99", 0, "m A/m", "m A/m", H},
        {'V', 'A', '1', "199.9", 0, "m A/m", "m A/m", H},
        {'V', 'A', '2', "1999", 0, "m A/m", "m A/m", H},
        {'V', 'G', '0', "1.999", 0, "mGauss", "mG", B},
        {'V', 'G', '1', "1.999", 0, "mGauss", "mG", B},
        {'V', 'G', '2', "19.99", 0, "mGauss", "mG", B},
        {'V', 'T', '0', "19.99", -9, "Tesla", "nT", B},
        {'V', 'T', '1', "199.9", -9, "Tesla", "nT", B},
        {'V', 'T', '2', "1.999", -6, "Tesla", "uT", B},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(1, r.model) + r.range + r.units);
        Harness h;
        Taken taken;
        h.in.addObserver(&taken);
        h.connect();
        h.answerReadings(Rd("1999", r.model, r.range, r.units, 'N', 'A', "20"));
        h.tick();
        ASSERT_EQ(taken.shown.size(), 1u);
        const Measurement& m = taken.shown[0];
        EXPECT_EQ(m.valueText, r.value);
        EXPECT_EQ(m.exponent, r.exponent);
        EXPECT_EQ(m.unitsText, r.unitsText);
        EXPECT_EQ(m.unitsLabel, r.label);
        EXPECT_EQ(m.quantity, r.quantity);
        EXPECT_EQ(m.model, r.model == 'E' ? 8204 : 8203);
        EXPECT_EQ(m.range, r.range - '0');
        EXPECT_TRUE(m.autoRange);
        EXPECT_EQ(m.percent, 100);
        EXPECT_TRUE(m.valid());
        // The label names the unit the value text is in, and the label is what
        // a row kept with its base unit alone is given back.
        const UnitScale label = LookUpUnitScale(m.unitsLabel);
        EXPECT_DOUBLE_EQ(ScaleByPowerOfTen(m.si(), -label.siExponent), std::stod(r.value));
        EXPECT_EQ(LabelOfValue(m.unitsText, m.exponent), r.label);
        // What the panel shows is the measurement, not the other way round.
        EXPECT_EQ(h.in.view.LabXYZField.caption, m.valueText);
        EXPECT_EQ(h.in.view.LabUnits.caption, m.unitsLabel);
    }
}

TEST(Measurement, FlagsTimeAndTheExactDecimal) {
    Harness h;
    Taken taken;
    h.in.addObserver(&taken);
    h.clock.offsetSeconds = 3600;
    h.clock.advance(250);
    h.connect();
    h.answerReadings(Rd("1999", 'E', '0', 'G', 'O', 'M', "15"));
    h.tick();
    ASSERT_EQ(taken.shown.size(), 1u);
    const Measurement& m = taken.shown[0];
    EXPECT_TRUE(m.overRange);
    EXPECT_FALSE(m.underRange);
    EXPECT_FALSE(m.valid());
    EXPECT_FALSE(m.autoRange);
    EXPECT_EQ(m.percent, 75);
    EXPECT_EQ(m.utcMs, h.clock.utcMs());
    EXPECT_EQ(m.utcOffsetSeconds, 3600);
    EXPECT_EQ(m.baseDecimal(), "0.001999");
    EXPECT_FALSE(m.stored);
}

TEST(Measurement, AnUnsupportedCodeOnTheThreeRangeModelHasNoLabel) {
    Harness h;
    Taken taken;
    h.in.addObserver(&taken);
    h.connect();
    h.dialogs.yesNoDefault = false;  // stay a QM-8203
    h.answerReadings(Rd("1999", 'V', '3', 'G'));
    h.tick();
    ASSERT_EQ(taken.shown.size(), 1u);
    EXPECT_EQ(taken.shown[0].unitsLabel, "");
    EXPECT_EQ(taken.shown[0].valueText, ".0");
    EXPECT_EQ(taken.shown[0].unitsText, "mGauss");
}

}  // namespace
}  // namespace fenwyd::testing
