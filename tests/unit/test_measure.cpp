// Probe model identification, the set-up after communication returns, and
// the operator's range, units and battery requests.
#include <gtest/gtest.h>

#include "support/harness.h"

namespace fenwyd::testing {
namespace {

class Measure : public ::testing::Test {
protected:
    void process(const std::string& data) {
        h.in.st.ProbeData = data;
        h.in.ProcessData(1);
    }
    bool checked8203() const { return h.in.view.mnuProbeType820x[1].checked; }
    bool checked8204() const { return h.in.view.mnuProbeType820x[2].checked; }
    Harness h;
};

TEST_F(Measure, TheModelFollowsTheReplyLetter) {
    EXPECT_FALSE(checked8203());
    EXPECT_TRUE(checked8204()) << "checked when created";
    process(Rd("1999", 'E'));
    EXPECT_EQ(h.in.st.ProbeModel, 8204);
    EXPECT_EQ(h.in.st.Model, "QM-8204");
    EXPECT_EQ(h.in.view.StatusText, "QM-8204");
    process(Rd("1999", 'V', '0', 'V'));
    EXPECT_EQ(h.in.st.ProbeModel, 8203);
    EXPECT_EQ(h.in.st.Model, "QM-8203");
    EXPECT_TRUE(checked8203());
    EXPECT_FALSE(checked8204());
    EXPECT_EQ(h.in.view.StatusText, "QM-8203");
    EXPECT_EQ(h.dialogs.count("yesno"), 0);
}

TEST_F(Measure, ALetterNamingNeitherModelIsAskedOnce) {
    for (bool yes : {true, false}) {
        SCOPED_TRACE(yes);
        Harness fresh;
        fresh.dialogs.yesNoAnswers = {yes};
        std::string letter = "Q";
        fresh.in.SetProbeType(letter);
        EXPECT_EQ(letter, yes ? "E" : "V") << "the caller's letter is overwritten";
        EXPECT_EQ(fresh.in.st.ProbeModel, yes ? 8204 : 8203);
        ASSERT_EQ(fresh.dialogs.count("yesno"), 1);
        EXPECT_EQ(fresh.dialogs.shown[0].text, "Is the connected probe a QM-8204?");
        EXPECT_EQ(fresh.dialogs.shown[0].icon, MsgIcon::Question);
        // Later replies, whatever their letter, change nothing.
        for (const char* l : {"Q", "E", "V"}) {
            std::string again = l;
            fresh.in.SetProbeType(again);
        }
        EXPECT_EQ(fresh.dialogs.count("yesno"), 1);
        EXPECT_EQ(fresh.in.st.ProbeModel, yes ? 8204 : 8203);
    }
}

TEST_F(Measure, TheTypeMenu) {
    process(Rd("1999", 'E'));
    h.in.mnuProbeType820x_Click(1);
    EXPECT_EQ(h.in.st.ProbeModel, 8203);
    EXPECT_TRUE(checked8203());
    EXPECT_EQ(h.in.st.Model, "QM-8204") << "the menu does not touch the identified model";
    process(Rd("1999", 'E'));
    EXPECT_EQ(h.in.st.ProbeModel, 8204) << "nobody was asked: the reply wins";

    // Once the operator was asked, the menu choice stands.
    h.dialogs.yesNoAnswers = {true};
    process(Rd("1999", '?'));
    h.in.mnuProbeType820x_Click(1);
    process(Rd("1999", 'E', '0', 'V'));
    EXPECT_EQ(h.in.st.ProbeModel, 8203);
    EXPECT_TRUE(checked8203());
}

TEST_F(Measure, UnsupportedCodeOnTheThreeRangeModelOffersTheSwitch) {
    const std::string question =
        "The detected units or range selection are not supported for the QM-8203.  Switch "
        "probe type to QM-8204";
    h.dialogs.yesNoAnswers = {false};
    process(Rd("1999", 'V', '3', 'V'));
    ASSERT_EQ(h.dialogs.count("yesno"), 1);
    EXPECT_EQ(h.dialogs.shown.back().text, question);
    EXPECT_EQ(h.dialogs.shown.back().icon, MsgIcon::None);
    EXPECT_EQ(h.in.st.ProbeModel, 8203);
    EXPECT_EQ(h.in.view.LabUnits.caption, "");
    EXPECT_EQ(h.in.view.LabXYZField.caption, ".0");

    // The question comes back with the next such reading; Yes switches.
    h.dialogs.yesNoAnswers = {true};
    h.in.st.ProbeTypeAsked = 1;
    process(Rd("1999", 'V', '3', 'V'));
    EXPECT_EQ(h.dialogs.count("yesno"), 2);
    EXPECT_EQ(h.in.st.ProbeModel, 8204);
    EXPECT_EQ(h.in.st.ProbeTypeAsked, 0);
    EXPECT_TRUE(checked8204());
    EXPECT_EQ(h.in.view.LabUnits.caption, "");
}

TEST_F(Measure, SetUpSelectsTheStoredRateOrTheLastItem) {
    struct Case {
        std::string stored;
        int index;
        std::string after;
    };
    for (const Case& c : {Case{"15", 1, "2"}, Case{"1", 0, "1"}, Case{"2", 1, "2"}}) {
        SCOPED_TRACE(c.stored);
        Harness fresh;
        fresh.in.st.SampleRate = c.stored;
        fresh.in.view.LabUnits.visible = false;
        fresh.in.view.LabSamRate.visible = false;
        fresh.in.st.ZeroAllowed = 1;
        fresh.in.st.RefreshCnt = 9;
        fresh.in.view.CmbSampleRateItems = {"1", "2", "x"};
        fresh.in.SetUp57XX();
        EXPECT_EQ(fresh.in.view.CmbSampleRateItems, std::vector<std::string>({"1", "2"}));
        EXPECT_EQ(fresh.in.view.CmbSampleRateIndex, c.index);
        EXPECT_EQ(fresh.in.st.SampleRate, c.after);
        EXPECT_TRUE(fresh.in.view.LabUnits.visible);
        EXPECT_TRUE(fresh.in.view.LabSamRate.visible);
        EXPECT_EQ(fresh.in.st.ZeroAllowed, 0);
        EXPECT_EQ(fresh.in.st.RefreshCnt, 0);
        EXPECT_EQ(fresh.display.statusRepaints, 1);
    }
}

TEST_F(Measure, RangeAndUnitClicksQueueTheirCommands) {
    for (int16_t range : {0, 1, 2, 3}) {
        h.in.st.ProbeRange = range;
        h.in.LabRange_Click();
        EXPECT_EQ(h.in.st.PendingCmnd, "SC") << range;
    }
    h.in.st.ProbeRange = 4;
    h.in.LabRange_Click();
    EXPECT_EQ(h.in.st.PendingCmnd, "AutoScale");
    h.in.LabUnits_Click();
    EXPECT_EQ(h.in.st.PendingCmnd, "EH");
    h.in.LabBattery_Click();
    EXPECT_EQ(h.in.st.PendingCmnd, "BT");
    h.in.st.PendingCmnd.clear();
    h.in.mnuProbeUpdateNow_Click();
    EXPECT_EQ(h.in.st.PendingCmnd, "BT");
}

TEST_F(Measure, TheRangeAndZeroMenusAreNeverAvailable) {
    const ViewState& v = h.in.view;
    EXPECT_FALSE(v.mnuProbeRangeTop.enabled);
    for (int i = 1; i <= 5; ++i) EXPECT_FALSE(v.mnuProbeRange[i].enabled);
    EXPECT_FALSE(v.mnuProbeZero.enabled);
    EXPECT_FALSE(v.mnuprobeTempUnits.enabled);
    EXPECT_FALSE(v.mnuProbeTempCels.enabled);
    h.in.ToggleRecordOn();
    h.in.ToggleRecordOn();
    EXPECT_FALSE(v.mnuProbeZero.enabled) << "stopping the log never enables Zero";
}

TEST_F(Measure, BatteryIntervalMenu) {
    auto checks = [&] {
        const ViewState& v = h.in.view;
        return std::vector<bool>{v.mnuProbeUpdateoff.checked, v.mnuProbeUpdate5.checked,
                                 v.mnuProbeUpdate30.checked, v.mnuProbeUpdate60.checked};
    };
    // The four items in an order that switches the timer off and on again.
    struct Item {
        int16_t minutes;
        std::vector<bool> checked;  // Off, 5, 30, 60
        bool timer;
    };
    const Item items[] = {
        {0, {true, false, false, false}, false}, {60, {false, false, false, true}, true},
        {5, {false, true, false, false}, true},  {0, {true, false, false, false}, false},
        {5, {false, true, false, false}, true},  {30, {false, false, true, false}, true},
    };
    for (const Item& item : items) {
        SCOPED_TRACE(item.minutes);
        h.in.mnuProbeUpdateInterval_Click(item.minutes);
        EXPECT_EQ(h.in.st.BattTempUpdateInterval, item.minutes);
        EXPECT_EQ(checks(), item.checked);
        EXPECT_EQ(h.in.HRTReadBattTemp().isEnabled(), item.timer);
    }
    for (int16_t odd : {15, -5, 45}) {
        int16_t value = odd;
        h.in.SetUpReadBattTemp(value);
        EXPECT_EQ(h.in.st.BattTempUpdateInterval, 30) << odd;
        EXPECT_EQ(checks(), std::vector<bool>({false, false, true, false}));
        EXPECT_TRUE(h.in.HRTReadBattTemp().isEnabled());
    }
}

}  // namespace
}  // namespace fenwyd::testing
