// Running statistics against reference values, including the cases where a
// textbook sum-of-squares formula cancels itself away.
#include "datalog/statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace fenwyd {
namespace {

RunningStats Of(const std::vector<double>& values) {
    RunningStats s;
    int64_t at = 0;
    for (double v : values) s.add(v, ++at);
    return s;
}

// NIST StRD NumAcc2..4: the first value, then 500 pairs either side of it,
// 1001 values with certified mean `base` and standard deviation 0.1.
std::vector<double> NumAcc(double base) {
    std::vector<double> v{base};
    for (int i = 0; i < 500; ++i) {
        v.push_back(base - 0.1);
        v.push_back(base + 0.1);
    }
    return v;
}

TEST(RunningStats, ReferenceValues) {
    struct Case {
        const char* name;
        std::vector<double> values;
        double mean, stddev, tolerance;
    };
    const Case cases[] = {
        // Sample deviation (n - 1): sqrt(32 / 7).
        {"textbook", {2, 4, 4, 4, 5, 5, 7, 9}, 5.0, std::sqrt(32.0 / 7.0), 1e-15},
        {"NumAcc1", {10000001, 10000003, 10000002}, 10000002.0, 1.0, 1e-12},
        {"NumAcc2", NumAcc(1.2), 1.2, 0.1, 1e-13},
        {"NumAcc3", NumAcc(1000000.2), 1000000.2, 0.1, 1e-9},
        // The naive formula gives a negative variance here.
        {"NumAcc4", NumAcc(10000000.2), 10000000.2, 0.1, 1e-8},
        {"offset 1e9", {1e9 + 4, 1e9 + 7, 1e9 + 13, 1e9 + 16}, 1e9 + 10, std::sqrt(30.0), 1e-12},
        // Readings in tesla: tiny magnitudes, the same relative accuracy.
        {"tesla", {1.25e-6, 1.3e-6, 1.275e-6}, 1.275e-6, 0.025e-6, 1e-20},
        {"constant", std::vector<double>(1000, 19.99), 19.99, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        const RunningStats s = Of(c.values);
        EXPECT_EQ(s.count(), static_cast<int64_t>(c.values.size())) << c.name;
        EXPECT_NEAR(s.mean(), c.mean, std::abs(c.mean) * 1e-15) << c.name;
        EXPECT_NEAR(s.stddev(), c.stddev, c.tolerance) << c.name;
    }
}

TEST(RunningStats, ExtremesKeepTheirFirstTime) {
    RunningStats s;
    const double values[] = {5, 3, 9, 3, 9, 7};
    for (int i = 0; i < 6; ++i) s.add(values[i], 100 + i);
    EXPECT_EQ(s.min().value, 3);
    EXPECT_EQ(s.min().at, 101);
    EXPECT_EQ(s.max().value, 9);
    EXPECT_EQ(s.max().at, 102);
}

TEST(RunningStats, EmptyOneValueAndCleared) {
    RunningStats s;
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(s.stddev(), 0);
    s.add(-2.5, 7);
    EXPECT_EQ(s.count(), 1);
    EXPECT_EQ(s.mean(), -2.5);
    EXPECT_EQ(s.stddev(), 0);  // one value has no spread
    EXPECT_EQ(s.min().at, 7);
    EXPECT_EQ(s.max().at, 7);
    s.clear();
    EXPECT_TRUE(s.empty());
    s.add(4, 9);
    EXPECT_EQ(s.max().value, 4);  // nothing of the old peak survives
    EXPECT_EQ(s.mean(), 4);
}

TEST(RunningStats, NonFiniteValuesAreLeftOut) {
    RunningStats s;
    s.add(1, 1);
    s.add(std::numeric_limits<double>::quiet_NaN(), 2);
    s.add(std::numeric_limits<double>::infinity(), 3);
    s.add(3, 4);
    EXPECT_EQ(s.count(), 2);
    EXPECT_EQ(s.mean(), 2);
    EXPECT_EQ(s.max().value, 3);
}

}  // namespace
}  // namespace fenwyd
