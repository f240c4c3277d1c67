// The reading cycle end to end: QSerialPort on one side of a pty, the probe
// simulator on the other.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"

namespace fenwyd::testing {
namespace {

TEST(LiveLink, ReadingsAreInterpreted) {
    LiveRig rig;
    ASSERT_TRUE(rig.started) << rig.sim.lastError();
    rig.sim.setRange(0);
    rig.sim.setUnits('G');
    rig.sim.setValue(1999);
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(RunUntil(
        [&] {
            return rig.in.st.RecordOn == 0 && rig.in.st.TimeOut == 0 &&
                   rig.in.view.LabXYZField.caption == "1.999";
        },
        5000));
    EXPECT_EQ(rig.in.view.Label1.size(), 17u);
    EXPECT_EQ(rig.in.view.Label1.substr(1, 2), "RD");
    EXPECT_EQ(rig.in.view.LabUnits.caption, "mG");
    EXPECT_TRUE(rig.in.view.LabUnits.visible) << "the set-up ran on the first reply";
    EXPECT_EQ(rig.in.view.LabRange.caption, "Range 0");
    EXPECT_EQ(rig.in.view.StatusText, "QM-8204");
    EXPECT_EQ(rig.in.st.UnitsText, "Gauss");
    EXPECT_EQ(rig.in.st.ReadingExponent, -3);
    // Only whole commands with a carriage return went out.
    for (const std::string& c : rig.sim.commandsReceived()) EXPECT_EQ(c, "RD");
}

TEST(LiveLink, FiveSilentTransactionsShowNoProbeAndTheNextReplyReinitialises) {
    LiveRig rig;
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(RunUntil(
        [&] {
            return rig.in.st.TimeOut == 0 && rig.in.st.CommRecoverCnt == 0 &&
                   rig.in.view.LabXYZField.caption != "No Probe";
        },
        5000));
    const int before = rig.sim.commandCount();
    rig.sim.setSilent(true);
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.TimeOut == 5; }, 6000));
    const int silent = rig.sim.commandCount() - before;
    EXPECT_GE(silent, 5);
    EXPECT_LE(silent, 6) << "lost on the fifth silent transaction (one may have been answered)";
    EXPECT_EQ(rig.in.view.LabXYZField.caption, "No Probe");
    EXPECT_FALSE(rig.in.view.LabUnits.visible);
    EXPECT_EQ(rig.in.view.LabRange.caption, "");

    // One more silent transaction marks the loss for the battery re-read.
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.LostComm == 1; }, 3000));
    rig.sim.setSilent(false);
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.TimeOut == 0; }, 3000));
    EXPECT_TRUE(rig.in.view.LabUnits.visible) << "the set-up ran again";
    EXPECT_NE(rig.in.view.LabXYZField.caption, "No Probe");
    // The fourth good reply after the loss queues a battery request.
    ASSERT_TRUE(RunUntil([&] { return rig.count("BT") >= 1; }, 5000));
    ASSERT_TRUE(RunUntil([&] { return rig.in.view.LabBattery.caption.size() > 2; }, 5000));
    EXPECT_EQ(rig.in.view.LabBattery.caption.substr(rig.in.view.LabBattery.caption.size() - 2),
              " V");
}

TEST(LiveLink, GarbageNeverCrashesAndReadingsResume) {
    LiveRig rig;
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.TimeOut == 0; }, 5000));
    rig.sim.garbageNext(12);
    ASSERT_TRUE(RunUntil([&] { return rig.sim.stats().garbage >= 12; }, 10000));
    const int readingsBefore = rig.sim.stats().readings;
    ASSERT_TRUE(RunUntil([&] { return rig.sim.stats().readings >= readingsBefore + 2; }, 5000));
    RunFor(500);
    EXPECT_EQ(rig.in.view.Label1.substr(1, 2), "RD");
    EXPECT_EQ(rig.in.view.LabUnits.caption, "mG");
}

TEST(LiveLink, ALateReplyIsReadWithTheNextTransaction) {
    LiveRig rig;
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.TimeOut == 0; }, 5000));
    rig.sim.lateNext(1, 450);
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.ProbeData.size() == 34; }, 5000))
        << "the late reply and the next one arrive together";
    EXPECT_EQ(rig.in.st.TimeOut, 0);
}

TEST(LiveLink, AHungUpDeviceIsSilenceAndCanBeReopened) {
    LiveRig rig;
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.TimeOut == 0; }, 5000));
    rig.sim.hangUp();
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.TimeOut == 5; }, 6000));
    EXPECT_EQ(rig.in.view.LabXYZField.caption, "No Probe");
    ASSERT_TRUE(rig.sim.reconnect());
    // A new pseudo-terminal may get another name: the operator maps it and
    // picks the port again.
    MapPort(2, rig.sim.devicePath());
    rig.in.mnucommcomm_Click(2);
    ASSERT_EQ(rig.in.st.CommPortOpenOk, 1);
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.TimeOut == 0; }, 5000));
    EXPECT_NE(rig.in.view.LabXYZField.caption, "No Probe");
}

TEST(LiveLink, ARangeClickPutsScOnTheWireInsteadOfOneReading) {
    LiveRig rig;
    ASSERT_TRUE(rig.started);
    rig.sim.setRange(1);
    rig.sim.setUnits('T');
    rig.sim.setValue(1500);
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(RunUntil(
        [&] {
            return rig.in.view.LabUnits.caption == "uT" &&
                   rig.in.view.LabRange.caption == "Range 1";
        },
        5000));
    rig.sim.clearHistory();
    rig.in.LabRange_Click();
    ASSERT_TRUE(RunUntil([&] { return rig.sim.commandCount() >= 4; }, 8000));
    const auto cmds = rig.sim.commandsReceived();
    EXPECT_EQ(cmds[0], "SC");
    EXPECT_EQ(cmds[1], "KR");
    EXPECT_EQ(cmds[2], "RD");
    RunUntil([&] { return rig.in.view.LabRange.caption == "Range 2"; }, 3000);
    EXPECT_EQ(rig.in.view.LabRange.caption, "Range 2");
    EXPECT_EQ(rig.in.view.LabUnits.caption, "uT");
    EXPECT_EQ(rig.in.view.LabXYZField.caption, "15");  // range 2 in tesla: /100
}

TEST(LiveLink, UnitsStepOnTheThreeRangeModel) {
    LiveRig rig(FixedProbe('V'));
    ASSERT_TRUE(rig.started);
    rig.sim.setRange(0);
    rig.sim.setUnits('V');
    rig.sim.setValue(1234);
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(RunUntil([&] { return rig.in.view.LabUnits.caption == "V/m"; }, 5000));
    EXPECT_EQ(rig.in.st.ProbeModel, 8203);
    EXPECT_EQ(rig.in.view.LabXYZField.caption, "12.34");
    rig.in.LabUnits_Click();
    ASSERT_TRUE(RunUntil([&] { return rig.in.view.LabUnits.caption == "m A/m"; }, 8000));
    EXPECT_EQ(rig.in.st.UnitsText, "m A/m");
}

}  // namespace
}  // namespace fenwyd::testing

namespace fenwyd::testing {
namespace {

TEST(LiveLink, UnplugAndReplugResumesWithoutTheOperator) {
    TempFolder links;
    probesim::Options o = FixedProbe();
    o.linkPath = (links.path() / "probe-tty").string();
    LiveRig rig(o);
    ASSERT_TRUE(rig.started) << rig.sim.lastError();
    ASSERT_EQ(rig.sim.devicePath(), o.linkPath);
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.TimeOut == 0; }, 5000));

    rig.sim.hangUp();
    ASSERT_TRUE(RunUntil([&] { return rig.port.deviceLost(); }, 3000));
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.TimeOut == 5; }, 6000));
    EXPECT_EQ(rig.in.view.LabXYZField.caption, "No Probe");
    RunFor(1000);  // the program keeps running in the lost state
    EXPECT_EQ(rig.in.view.LabXYZField.caption, "No Probe");

    ASSERT_TRUE(rig.sim.reconnect());
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.TimeOut == 0; }, 5000));
    EXPECT_NE(rig.in.view.LabXYZField.caption, "No Probe");
    EXPECT_TRUE(rig.dialogs.messages().empty());
    EXPECT_TRUE(rig.in.view.mnucommcomm[2].checked);
}

}  // namespace
}  // namespace fenwyd::testing
