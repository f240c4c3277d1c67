// The rate tick and the battery minute tick, driven on the virtual clock.
#include <gtest/gtest.h>

#include "support/harness.h"

namespace fenwyd::testing {
namespace {

TEST(RateTick, ShowsReadingsPerSecondEveryFourthTick) {
    Harness h;
    h.clock.advance(1500);  // three ticks
    h.in.st.ActualSamPerSec = 5;
    EXPECT_EQ(h.in.view.LabSamRate.caption, "") << "no rate before one was measured";
    h.clock.advance(500);
    EXPECT_EQ(h.in.view.LabSamRate.caption, "2.5");
    EXPECT_EQ(h.in.st.ActualSamPerSec, 0);
    h.clock.advance(2000);
    EXPECT_EQ(h.in.view.LabSamRate.caption, "0");
}

TEST(RateTick, ShowsZeroDuringAnUploadAndStillResetsTheCount) {
    Harness h;
    h.in.mnuProbeUploadData_Click();
    h.in.st.ActualSamPerSec = 6;
    h.clock.advance(2000);
    EXPECT_EQ(h.in.view.LabSamRate.caption, "0");
    EXPECT_EQ(h.in.st.ActualSamPerSec, 0);
}

TEST(RateTick, RepaintsTheStatusBarOnTheFifteenthTick) {
    Harness h;
    h.clock.advance(14 * 500);
    EXPECT_EQ(h.display.statusRepaints, 0);
    h.clock.advance(500);
    EXPECT_EQ(h.display.statusRepaints, 1);
    EXPECT_EQ(h.in.st.RefreshCnt, 0);
}

TEST(RateTick, TheLogCountIsNeverMoreThanHalfASecondOld) {
    Harness h;
    h.in.st.RecordCnt = 17;
    h.clock.advance(500);
    EXPECT_EQ(h.in.view.LabRecordCnt.caption, "17");
}

TEST(RateTick, ReadingRateOnTheRealCycle) {
    // 300 ms per reading plus 66 ms to the next tick: under 3 per second.
    Harness h;
    h.connect();
    h.answerReadings(Rd());
    h.clock.advance(60000);
    // The first tick at 66 ms, then one every 366 ms; each 2 s window holds
    // five or six readings.
    EXPECT_EQ(h.port.writes().size(), 164u);
    EXPECT_TRUE(h.in.view.LabSamRate.caption == "2.5" || h.in.view.LabSamRate.caption == "3")
        << h.in.view.LabSamRate.caption;
}

TEST(MinuteTick, QueuesBatteryOnTheSixthTickForFiveMinutes) {
    Harness h;
    int16_t five = 5;
    h.in.SetUpReadBattTemp(five);
    h.clock.advance(5 * 60000.0);
    EXPECT_TRUE(h.in.st.PendingCmnd.empty());
    h.clock.advance(60000);
    EXPECT_EQ(h.in.st.PendingCmnd, "BT");
    EXPECT_EQ(h.in.st.BattTempMinuteCnt, 0);
}

TEST(MinuteTick, OffQueuesNothing) {
    Harness h;
    int16_t off = 0;
    h.in.SetUpReadBattTemp(off);
    h.clock.advance(120 * 60000.0);
    EXPECT_TRUE(h.in.st.PendingCmnd.empty());
}

TEST(MinuteTick, LoggingStopsTheCountAndStoppingResumesIt) {
    Harness h;
    int16_t five = 5;
    h.in.SetUpReadBattTemp(five);
    h.clock.advance(3 * 60000.0);
    ASSERT_EQ(h.in.st.BattTempMinuteCnt, 3);
    h.in.ToggleRecordOn();
    h.clock.advance(30 * 60000.0);
    EXPECT_EQ(h.in.st.BattTempMinuteCnt, 3);
    EXPECT_TRUE(h.in.st.PendingCmnd.empty());
    h.in.ToggleRecordOn();
    h.clock.advance(2 * 60000.0);
    EXPECT_EQ(h.in.st.BattTempMinuteCnt, 5);
    h.clock.advance(60000);
    EXPECT_EQ(h.in.st.PendingCmnd, "BT");

    // With the interval off, stopping the log leaves the timer off.
    int16_t off = 0;
    h.in.SetUpReadBattTemp(off);
    h.in.ToggleRecordOn();
    h.in.ToggleRecordOn();
    EXPECT_FALSE(h.in.HRTReadBattTemp().isEnabled());
}

TEST(MinuteTick, LoweringTheIntervalBelowTheCountStillQueues) {
    Harness h;
    int16_t sixty = 60;
    h.in.SetUpReadBattTemp(sixty);
    h.clock.advance(20 * 60000.0);
    ASSERT_EQ(h.in.st.BattTempMinuteCnt, 20);
    int16_t five = 5;
    h.in.SetUpReadBattTemp(five);
    h.clock.advance(60000);
    EXPECT_EQ(h.in.st.PendingCmnd, "BT");
    EXPECT_EQ(h.in.st.BattTempMinuteCnt, 0);
}

TEST(SampleRate, StoresTheShortestNumberOrKeepsMax) {
    Harness h;
    const std::pair<std::string, std::string> cases[] = {
        {"2", "2"}, {"2.50", "2.5"}, {"abc", "0"}, {"", "0"}, {" 7x", "7"}};
    for (const auto& [text, stored] : cases) {
        h.in.SetSampleRate(text);
        EXPECT_EQ(h.in.st.SampleRate, stored) << text;
    }
    h.in.st.SampleRate = "1";
    h.in.SetSampleRate("Max");
    EXPECT_EQ(h.in.st.SampleRate, "1");
}

TEST(SampleRate, PickingAnItemDoesNotChangeHowOftenTheProbeIsRead) {
    Harness h;
    h.in.SetUp57XX();
    h.in.CmbSampleRate_Click(0);
    EXPECT_EQ(h.in.st.SampleRate, "1");
    EXPECT_EQ(h.in.HRTReadProbe().interval(), 66);
    EXPECT_EQ(h.in.HRTCalSamPerSec().interval(), 500);
    EXPECT_EQ(h.in.HRTReadBattTemp().interval(), 60000);
}

}  // namespace
}  // namespace fenwyd::testing
