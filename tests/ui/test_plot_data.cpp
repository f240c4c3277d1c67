// What the graph draws from a run of readings: segments broken by gaps,
// thinning that keeps every column's extremes, and round axis ticks.
#include "datalog/plot_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace fenwyd::ui {
namespace {

// 'v' a value, 'L' a logged value, 'g' a gap; x = index, y = index * 10.
std::vector<TracePoint> Trace(const std::string& pattern) {
    std::vector<TracePoint> t;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        TracePoint p;
        p.x = static_cast<double>(i);
        p.y = static_cast<double>(i) * 10;
        p.gap = pattern[i] == 'g';
        p.logged = pattern[i] == 'L';
        t.push_back(p);
    }
    return t;
}

std::string Shape(const PlotData& d) {
    std::string s;
    for (const auto& seg : d.segments) s += (s.empty() ? "" : "|") + std::to_string(seg.size());
    return s;
}

TEST(BuildPlot, EveryReadingWhileThereIsRoom) {
    struct Case {
        const char* pattern;
        const char* segments;  // points per segment
        std::size_t readings, logged;
    };
    const Case cases[] = {
        {"vvvvv", "5", 5, 0},
        {"vvvggvvvv", "3|4", 7, 0},
        {"gvvgggvgvv", "2|2|2", 5, 0},  // a lone reading is drawn twice: a dot
        {"LLvLg", "4", 4, 3},
        {"ggg", "", 0, 0},
        {"", "", 0, 0},
    };
    for (const Case& c : cases) {
        const std::vector<TracePoint> t = Trace(c.pattern);
        const PlotData d = BuildPlot(t, 0, std::max<double>(1, t.size()), 100);
        EXPECT_FALSE(d.thinned) << c.pattern;
        EXPECT_EQ(Shape(d), c.segments) << c.pattern;
        EXPECT_EQ(d.readings, c.readings) << c.pattern;
        EXPECT_EQ(d.logged.size(), c.logged) << c.pattern;
    }
}

TEST(BuildPlot, NeighboursOutsideTheRangeDrawButDoNotScale) {
    // Points 0 and 9 lie outside [1, 8]: the line reaches the edges, the
    // value range and the markers come from 1..8 only.
    const PlotData d = BuildPlot(Trace("LvvvvvvvvL"), 1, 8, 100);
    ASSERT_EQ(d.segments.size(), 1u);
    EXPECT_EQ(d.segments[0].size(), 10u);
    EXPECT_TRUE(d.logged.empty());
    EXPECT_EQ(d.yMin, 10);
    EXPECT_EQ(d.yMax, 80);
}

TEST(BuildPlot, ThinningKeepsTheExtremesOfEachColumn) {
    // 20000 readings over 100 columns, with a one-reading spike and a dip.
    std::vector<TracePoint> t;
    for (int i = 0; i < 20000; ++i) {
        TracePoint p;
        p.x = i;
        p.y = 5 + std::sin(i * 0.01);
        if (i == 12345) p.y = 100;
        if (i == 777) p.y = -50;
        p.logged = i == 4242;
        t.push_back(p);
    }
    const PlotData d = BuildPlot(t, 0, 19999, 100);
    EXPECT_TRUE(d.thinned);
    ASSERT_EQ(d.segments.size(), 1u);
    EXPECT_LE(d.segments[0].size(), 2u * 100u);
    EXPECT_EQ(d.yMax, 100);
    EXPECT_EQ(d.yMin, -50);
    const auto& s = d.segments[0];
    EXPECT_TRUE(std::find(s.begin(), s.end(), XY{12345, 100}) != s.end());
    EXPECT_TRUE(std::is_sorted(s.begin(), s.end(), [](XY a, XY b) { return a.x < b.x; }));
    ASSERT_EQ(d.logged.size(), 1u);  // a lone logged reading keeps its marker
    EXPECT_EQ(d.logged[0].x, 4242);
}

TEST(BuildPlot, ThinnedColumnsWithoutReadingsAreGaps) {
    std::vector<TracePoint> t;
    for (int i = 0; i < 1000; ++i) {
        TracePoint p;
        p.x = i;
        p.y = 1;
        p.gap = i >= 400 && i < 600;  // 20 columns of 10 readings each
        t.push_back(p);
    }
    PlotData d = BuildPlot(t, 0, 1000, 100);
    EXPECT_TRUE(d.thinned);
    EXPECT_EQ(d.segments.size(), 2u);
    // A gap inside a column is not drawn when the column has readings.
    for (int i = 0; i < 1000; ++i) t[i].gap = i % 10 == 3;
    d = BuildPlot(t, 0, 1000, 100);
    EXPECT_EQ(d.segments.size(), 1u);
}

TEST(BuildPlot, SegmentsAreCapped) {
    std::string pattern;
    for (std::size_t i = 0; i < kMaxSegments + 50; ++i) pattern += "vg";
    const PlotData d = BuildPlot(Trace(pattern), 0, static_cast<double>(pattern.size()), 10000);
    EXPECT_EQ(d.segments.size(), kMaxSegments);
    EXPECT_EQ(d.readings, kMaxSegments + 50);
}

TEST(AxisTicks, NiceStepsAndClockTicks) {
    const struct {
        double span;
        int ticks;
        double step;
    } steps[] = {{1, 5, 0.2}, {0.3, 5, 0.1}, {32000, 8, 5000}, {7, 7, 1}, {0.021, 5, 0.005}};
    for (const auto& c : steps) EXPECT_DOUBLE_EQ(NiceStep(c.span, c.ticks), c.step) << c.span;

    constexpr double kMin = 60000;
    // 10:14:51.5 to 10:19:51.5 UTC: ticks on whole minutes.
    const double t0 = 1796551200000.0 + 14 * kMin + 51500;
    TimeTicks t = ClockTicks(t0, t0 + 5 * kMin, 7, 0);
    EXPECT_EQ(t.stepMs, kMin);
    ASSERT_EQ(t.at.size(), 5u);
    EXPECT_EQ(t.at[0], 1796551200000.0 + 15 * kMin);
    // Local time 5:30 ahead of UTC: an hour's ticks fall on local hours.
    t = ClockTicks(t0, t0 + 6 * 60 * kMin, 7, 330 * kMin);
    EXPECT_EQ(t.stepMs, 60 * kMin);
    ASSERT_FALSE(t.at.empty());
    EXPECT_EQ(std::fmod(t.at[0] + 330 * kMin, 60 * kMin), 0);
    EXPECT_TRUE(ClockTicks(5, 5, 7, 0).at.empty());
}

}  // namespace
}  // namespace fenwyd::ui
