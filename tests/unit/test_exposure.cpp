#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exposure/comparison.h"
#include "exposure/exceedance.h"
#include "exposure/exposure_settings.h"
#include "exposure/reference_levels.h"

namespace fenwyd {
namespace {

using Id = StandardId;
constexpr Id P10 = Id::Icnirp2010Public, O10 = Id::Icnirp2010Occupational;
constexpr Id P98 = Id::Icnirp1998Public, O98 = Id::Icnirp1998Occupational;
constexpr Id Low = Id::Eu2013Low, High = Id::Eu2013High;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The level of every quantity at one frequency, in V/m, A/m and uT as
// EXPOSURE.md works them out; 0: no level (outside 1 Hz to 3 kHz, or no H).
struct LevelRow {
    Id id;
    double hz;
    double e, h, b;
};

void ExpectLevel(const LevelRow& r, Quantity q, double expected, int exponent) {
    const std::optional<TableLevel> l = StandardLevel(r.id, q, r.hz);
    const std::string where = std::string(InfoOf(r.id).key) + " at " + std::to_string(r.hz) +
                              " Hz, quantity " + std::to_string(static_cast<int>(q));
    if (expected == 0) {
        EXPECT_FALSE(l.has_value()) << where;
        return;
    }
    ASSERT_TRUE(l.has_value()) << where;
    const double got = ScaleByPowerOfTen(l->value, l->exponent - exponent);
    EXPECT_NEAR(got, expected, expected * 3e-5) << where;
}

template <std::size_t N>
void Check(const LevelRow (&rows)[N]) {
    for (const LevelRow& r : rows) {
        ExpectLevel(r, Quantity::ElectricField, r.e, 0);
        ExpectLevel(r, Quantity::MagneticField, r.h, 0);
        ExpectLevel(r, Quantity::FluxDensity, r.b, -6);
    }
}

// Both edges of every band, and 50 and 60 Hz (the check rows); a failure row
// ends each standard. Where two ICNIRP rows meet with different values the
// lower one holds (8 Hz H, 820 Hz, 3 kHz); the directive's rows own their
// lower edges (1640 Hz high E, 3 kHz low E).
TEST(ReferenceLevels, Icnirp2010) {
    const LevelRow rows[] = {
        {O10, 1, 20000, 1.63e5, 2e5},  {O10, 8, 20000, 2500, 3125},
        {O10, 25, 20000, 800, 1000},   {O10, 50, 10000, 800, 1000},
        {O10, 60, 8333.33, 800, 1000}, {O10, 300, 1666.67, 800, 1000},
        {O10, 3000, 166.667, 80, 100}, {O10, 3000.001, 0, 0, 0},
        {P10, 1, 5000, 3.2e4, 4e4},    {P10, 8, 5000, 500, 625},
        {P10, 25, 5000, 160, 200},     {P10, 50, 5000, 160, 200},
        {P10, 60, 4166.67, 160, 200},  {P10, 400, 625, 160, 200},
        {P10, 3000, 83, 21, 26.6667},  {P10, 0.999, 0, 0, 0},
    };
    Check(rows);
}

TEST(ReferenceLevels, Icnirp1998) {
    const LevelRow rows[] = {
        {P98, 1, 10000, 32000, 40000},        {P98, 8, 10000, 500, 625},
        {P98, 25, 10000, 160, 200},           {P98, 50, 5000, 80, 100},
        {P98, 60, 4166.67, 66.6667, 83.3333}, {P98, 800, 312.5, 5, 6.25},
        {P98, 3000, 83.3333, 5, 6.25},        {P98, kNaN, 0, 0, 0},
        {O98, 1, 20000, 163000, 200000},      {O98, 8, 20000, 2500, 3125},
        {O98, 25, 20000, 800, 1000},          {O98, 50, 10000, 400, 500},
        {O98, 60, 8333.33, 333.333, 416.667}, {O98, 820, 609.756, 24.3902, 30.4878},
        {O98, 3000, 610, 24.4, 30.7},         {O98, 0, 0, 0, 0},
    };
    Check(rows);
}

TEST(ReferenceLevels, Eu2013ActionLevels) {
    const LevelRow low[] = {
        {Low, 1, 20000, 0, 2e5},          {Low, 8, 20000, 0, 3125},
        {Low, 25, 20000, 0, 1000},        {Low, 50, 10000, 0, 1000},
        {Low, 60, 8333.33, 0, 1000},      {Low, 300, 1666.67, 0, 1000},
        {Low, 1640, 304.878, 0, 182.927}, {Low, 2999.9, 166.672, 0, 100.003},
        {Low, 3000, 170, 0, 100},         {Low, 0.9999, 0, 0, 0},
    };
    const LevelRow high[] = {
        {High, 1, 20000, 0, 3e5},
        {High, 8, 20000, 0, 37500},
        {High, 25, 20000, 0, 12000},
        {High, 50, 20000, 0, 6000},
        {High, 60, 16666.7, 0, 5000},
        {High, 300, 3333.33, 0, 1000},
        {High, 1639.9, 609.793, 0, 182.938},
        {High, 1640, 610, 0, 182.927},
        {High, 3000, 610, 0, 100},
        {High, 3000.01, 0, 0, 0},
    };
    Check(low);
    Check(high);
}

TEST(ReferenceLevels, KeysNamesAndFrequencyRange) {
    const char* const keys[] = {"icnirp2010-public", "icnirp2010-occupational",
                                "icnirp1998-public", "icnirp1998-occupational",
                                "eu2013-low",        "eu2013-high"};
    for (std::size_t i = 0; i < kStandardCount; ++i) {
        EXPECT_EQ(std::string(Standards()[i].key), keys[i]);
        EXPECT_EQ(StandardFromKey(keys[i]), Standards()[i].id);
    }
    EXPECT_FALSE(StandardFromKey("ICNIRP2010-public"));
    EXPECT_FALSE(StandardFromKey(""));
    std::string error;
    EXPECT_TRUE(MakeStandardReference(Id::Eu2013Low, 1, &error));
    EXPECT_TRUE(MakeStandardReference(Id::Eu2013Low, 3000, &error));
    for (double hz : {0.99, 3000.5, 0.0, -60.0, kNaN, std::numeric_limits<double>::infinity()}) {
        error.clear();
        EXPECT_FALSE(MakeStandardReference(Id::Icnirp2010Public, hz, &error)) << hz;
        EXPECT_EQ(error, kFrequencyRangeError) << hz;
    }
    Reference bad;  // made by hand, past the check
    bad.frequencyHz = 5000;
    EXPECT_FALSE(Compare(bad, 1, "uT", &error));
    EXPECT_EQ(error, kFrequencyRangeError);
}

struct UnitRow {
    const char* unit;  // as given
    double reading;
    double level;  // in the reading's unit
    const char* shown;
    double percent;
};

// ICNIRP 2010 general public at 50 Hz: 5 kV/m, 160 A/m, 200 uT.
TEST(Comparison, EveryUnitAgainstItsOwnQuantity) {
    const Reference ref = *MakeStandardReference(Id::Icnirp2010Public, 50);
    const UnitRow rows[] = {
        {"mG", 2000, 2000, "mG", 100},
        {"mGauss", 1000, 2000, "mG", 50},
        {"G", 2.5, 2, "G", 125},
        {"Gauss", 0.5, 2, "G", 25},
        {"uT", 200, 200, "uT", 100},
        {"\xC2\xB5T", 50, 200, "uT", 25},
        {"nT", 100000, 200000, "nT", 50},
        {"T", 0.0001, 0.0002, "T", 50},
        {"Tesla", 0.0002, 0.0002, "T", 100},
        {"mA/m", 80000, 160000, "m A/m", 50},
        {"m A/m", 160000, 160000, "m A/m", 100},
        {"A/m", 40, 160, "A/m", 25},
        {"V/m", 2500, 5000, "V/m", 50},
        {"kV/m", 5, 5, "k V/m", 100},
        {" k V/m ", 10, 5, "k V/m", 200},
    };
    for (const UnitRow& r : rows) {
        const std::optional<Comparison> c = Compare(ref, r.reading, r.unit);
        ASSERT_TRUE(c.has_value()) << r.unit;
        EXPECT_DOUBLE_EQ(c->level, r.level) << r.unit;
        EXPECT_EQ(c->unit, r.shown) << r.unit;
        EXPECT_DOUBLE_EQ(c->percent, r.percent) << r.unit;
        EXPECT_FALSE(c->throughMu0) << r.unit;
    }
    // At the level exactly: exactly 100 %, so the alarm's ">=" holds.
    EXPECT_EQ(Compare(ref, 2000, "mG")->percent, 100.0);
    EXPECT_EQ(Compare(ref, 200, "uT")->levelText, "ICNIRP 2010 general public, 50 Hz: 200 uT");
    EXPECT_EQ(VerdictText(ref, *Compare(ref, 2.5, "G")),
              "Maximum 125 % of the ICNIRP 2010 general public reference level (2 G at 50 Hz)");
    EXPECT_EQ(CompareSi(ref, 1e-4, Quantity::FluxDensity)->levelText,
              "ICNIRP 2010 general public, 50 Hz: 200 uT");
    std::string error;
    for (const char* unit : {"furlong", "", "mg", "mT"}) {
        EXPECT_FALSE(Compare(ref, 1, unit, &error)) << unit;
        EXPECT_NE(error.find("Unknown unit"), std::string::npos) << unit;
    }
    EXPECT_FALSE(Compare(ref, kNaN, "uT"));
}

TEST(Comparison, HThroughMu0WhereTheStandardGivesNone) {
    const Reference eu = *MakeStandardReference(Id::Eu2013Low, 50);
    const Comparison h = *Compare(eu, 795.7747, "A/m");  // 1000 uT / mu0
    EXPECT_TRUE(h.throughMu0);
    EXPECT_NEAR(h.level, 795.7747, 1e-3);
    EXPECT_NEAR(h.percent, 100, 1e-4);
    EXPECT_EQ(h.levelText,
              "Directive 2013/35/EU low action level, 50 Hz: 795.8 A/m (through B = mu0 H)");
    EXPECT_EQ(VerdictText(eu, h),
              "Maximum 99.9 % of the Directive 2013/35/EU low action level (795.8 A/m at 50 Hz, "
              "through B = mu0 H)");
    EXPECT_NEAR(Compare(eu, 795774.7, "m A/m")->level, 795774.7, 0.1);
    EXPECT_FALSE(Compare(eu, 1, "uT")->throughMu0);
    // ICNIRP gives H: no mu0, even where B = mu0 H would give another value.
    const Reference icnirp = *MakeStandardReference(Id::Icnirp1998Public, 50);
    EXPECT_FALSE(Compare(icnirp, 80, "A/m")->throughMu0);
    EXPECT_DOUBLE_EQ(Compare(icnirp, 80, "A/m")->percent, 100);
    EXPECT_FALSE(LevelFor(icnirp, Quantity::Unknown));
}

TEST(Comparison, TypedLevels) {
    const Reference b = *ParseTypedReference(" 400 ", "uT");
    EXPECT_EQ(Compare(b, 2000, "mG")->percent, 50.0);
    EXPECT_EQ(Compare(b, 2000, "mG")->levelText, "Typed reference level: 4000 mG");
    EXPECT_EQ(VerdictText(b, *Compare(b, 200, "uT")),
              "Maximum 50 % of the typed reference level (400 uT)");
    const Comparison h = *Compare(b, 1, "A/m");  // 400 uT / mu0 = 318.3 A/m
    EXPECT_TRUE(h.throughMu0);
    EXPECT_NEAR(h.level, 318.31, 0.01);
    const Reference a = *ParseTypedReference("160", "mA/m");
    EXPECT_EQ(a.typedUnit, "m A/m");
    EXPECT_NEAR(Compare(a, 1, "nT")->level, 201.06, 0.01);  // 0.16 A/m * mu0
    const Reference e = *ParseTypedReference("1.5e3", "kV/m");
    EXPECT_EQ(Compare(e, 750, "k V/m")->percent, 50.0);
    std::string error;
    EXPECT_FALSE(Compare(e, 1, "mG", &error));
    EXPECT_EQ(error,
              "The typed reference level is in k V/m; a reading in mG measures something else and "
              "cannot be compared with it.");

    struct Bad {
        const char* value;
        const char* unit;
    };
    const Bad bad[] = {{"0", "uT"},     {"-1", "uT"},  {"nan", "uT"}, {"inf", "uT"},
                       {"1e999", "uT"}, {"1,5", "uT"}, {"", "uT"},    {"12abc", "uT"},
                       {"1e", "uT"},    {"+-1", "uT"}, {"200", "Tx"}, {"200", ""}};
    for (const Bad& x : bad) {
        EXPECT_FALSE(ParseTypedReference(x.value, x.unit)) << x.value << " " << x.unit;
    }
    EXPECT_FALSE(MakeTypedReference(kNaN, "uT"));
}

TEST(Comparison, NumbersAsShownAndAsTyped) {
    const std::pair<double, const char*> significant[] = {
        {200, "200"},      {4166.6667, "4167"},  {795.7747, "795.8"},
        {2e-4, "0.0002"},  {795774.7, "795800"}, {1.23456e-4, "0.0001235"},
        {9999.6, "10000"}, {-2.5, "-2.5"},       {0, "0"}};
    for (const auto& [v, text] : significant) EXPECT_EQ(FormatSignificant(v), text) << v;
    // Cut, not rounded: "100 %" only from 100 on.
    const std::pair<double, const char*> percents[] = {
        {47.93, "47.9 %"},   {125, "125 %"}, {99.96, "99.9 %"}, {57.3, "57.3 %"},
        {0.0437, "0.043 %"}, {0, "0 %"},     {100, "100 %"}};
    for (const auto& [v, text] : percents) EXPECT_EQ(FormatPercent(v), text) << v;
    EXPECT_EQ(FormatFrequency(16.7), "16.7 Hz");
    const std::pair<const char*, double> good[] = {
        {"50", 50}, {" 16.7\t", 16.7}, {"+1e3", 1000}, {"-2.5", -2.5}, {".5", 0.5}, {"5.", 5}};
    for (const auto& [text, v] : good) EXPECT_EQ(ParseDecimal(text), v) << text;
    for (const char* text : {"", " ", "1,5", "1 000", "0x10", "infinity", "NaN", "1e+", "--1"}) {
        EXPECT_FALSE(ParseDecimal(text)) << text;
    }
}

std::function<std::string(const std::string&)> From(
    const std::map<std::string, std::string>& values) {
    return [values](const std::string& key) {
        const auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    };
}

TEST(ExposureSettings, RoundTripAndGarbage) {
    ExposureSettings s;
    s.choice = ExposureSettings::Choice::Standard;
    s.standard = Id::Eu2013High;
    s.frequencyHz = 50.0 / 3;  // 16 2/3 Hz, exactly as held
    s.typedValue = 0.1;
    s.typedUnit = "k V/m";
    s.alarmPercent = 80.5;
    s.beep = false;
    const auto pairs = SaveExposureSettings(s);
    const std::map<std::string, std::string> saved(pairs.begin(), pairs.end());
    EXPECT_EQ(saved.at("Standard"), "eu2013-high");
    std::vector<std::string> rejected;
    const ExposureSettings back = LoadExposureSettings(From(saved), &rejected);
    EXPECT_TRUE(rejected.empty());
    EXPECT_EQ(SaveExposureSettings(back), pairs);  // every field back as it was
    EXPECT_EQ(back.frequencyHz, s.frequencyHz);
    EXPECT_EQ(ReferenceName(*ReferenceFromSettings(back)),
              "Directive 2013/35/EU high action level, 16.667 Hz");

    // Nothing stored: the defaults, nothing rejected, no reference.
    const ExposureSettings fresh = LoadExposureSettings(From({}), &rejected);
    EXPECT_TRUE(rejected.empty());
    EXPECT_EQ(fresh.choice, ExposureSettings::Choice::None);
    EXPECT_EQ(fresh.frequencyHz, 50);
    EXPECT_EQ(fresh.alarmPercent, 100);
    EXPECT_TRUE(fresh.beep);
    std::string error;
    EXPECT_FALSE(ReferenceFromSettings(fresh, &error));

    for (const char* frequency : {"abc", "nan", "inf", "0", "3001", "50,0"}) {
        rejected.clear();
        const ExposureSettings g = LoadExposureSettings(From({{"Standard", "icnirp2020"},
                                                              {"Frequency", frequency},
                                                              {"TypedValue", "-1"},
                                                              {"TypedUnit", "furlong"},
                                                              {"AlarmPercent", "0"},
                                                              {"Beep", "yes"}}),
                                                        &rejected);
        EXPECT_EQ(rejected, (std::vector<std::string>{"Standard", "Frequency", "TypedValue",
                                                      "TypedUnit", "AlarmPercent", "Beep"}))
            << frequency;
        EXPECT_EQ(g.choice, ExposureSettings::Choice::None);
        EXPECT_EQ(g.frequencyHz, 50);
        EXPECT_EQ(g.alarmPercent, 100);
        EXPECT_TRUE(g.beep);
    }
    // A typed choice without a level yet is no reference.
    const ExposureSettings typed = LoadExposureSettings(From({{"Standard", "typed"}}));
    EXPECT_FALSE(ReferenceFromSettings(typed, &error));
    EXPECT_EQ(error, "The reference level must be a number above zero.");
}

TEST(ExceedanceTracker, CrossingsCountAndTimeAbove) {
    using C = ExceedanceTracker::Crossing;
    ExceedanceTracker t(100);
    const struct {
        double percent;
        int64_t ms;
        C crossing;
    } steps[] = {{50, 0, C::None},      {100, 1000, C::Up},    {120, 2000, C::None},
                 {99.9, 3000, C::Down}, {kNaN, 4000, C::None}, {100, 5000, C::Up},
                 {150, 4500, C::None},  {80, 6000, C::Down}};
    for (const auto& s : steps) EXPECT_EQ(t.add(s.percent, s.ms), s.crossing) << s.ms;
    EXPECT_EQ(t.readingCount(), 8);
    EXPECT_EQ(t.readingsAbove(), 4);
    // 1000-3000, then 5000 back to 4500 (nothing) and on to 6000 (1500).
    EXPECT_EQ(t.msAbove(), 3500);
    EXPECT_FALSE(t.above());
    EXPECT_EQ(t.add(300, 7000), C::Up);
    EXPECT_EQ(t.msAbove(), 3500);
    EXPECT_EQ(t.msAbove(7250), 3750);
    t.reset(50);
    EXPECT_EQ(t.add(50, 0), C::Up);
    EXPECT_EQ(t.readingsAbove(), 1);
    EXPECT_EQ(t.msAbove(), 0);
}

}  // namespace
}  // namespace fenwyd
