// The reading tick, one command transaction, and the supervision of lost and
// returning communication, on a virtual clock and a scripted port.
#include <gtest/gtest.h>

#include <QLoggingCategory>

#include "support/harness.h"

namespace fenwyd::testing {
namespace {

using Delays = std::vector<double>;
using Cmds = std::vector<std::string>;

class Link : public ::testing::Test {
protected:
    void SetUp() override {
        h.connect();
        h.clock.clearDelays();
    }
    Harness h;
};

TEST_F(Link, EmptySlotSendsExactlyRdAndWaits300) {
    h.answerReadings(Rd());
    h.tick();
    ASSERT_EQ(h.port.writes().size(), 1u);
    EXPECT_EQ(h.port.writes()[0].bytes, "RD\r");
    EXPECT_EQ(h.clock.delays(), Delays({300}));
    EXPECT_EQ(h.in.st.ProbeData, Rd());
    EXPECT_TRUE(h.in.HRTReadProbe().isEnabled());
}

std::vector<std::string> traceLines;
void KeepTrace(QtMsgType, const QMessageLogContext& context, const QString& text) {
    if (std::string(context.category) == "fenwyd.link") traceLines.push_back(text.toStdString());
}

TEST_F(Link, TheLinkTraceIsSilentUntilSwitchedOn) {
    traceLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(KeepTrace);
    h.answerReadings(Rd("1234"));
    h.tick();
    EXPECT_TRUE(traceLines.empty());

    QLoggingCategory::setFilterRules(QStringLiteral("fenwyd.link.debug=true"));
    h.tick();
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);
    ASSERT_EQ(traceLines.size(), 2u);
    EXPECT_NE(traceLines[0].find(" tx RD\\r"), std::string::npos) << traceLines[0];
    EXPECT_NE(traceLines[1].find(" rx " + Rd("1234")), std::string::npos) << traceLines[1];
}

TEST_F(Link, TheTimerDrivesTheCycleAt66msAfterEachTransaction) {
    h.answerReadings(Rd());
    h.clock.advance(66);  // first tick
    EXPECT_EQ(h.port.writes().size(), 1u);
    EXPECT_TRUE(h.in.InTransaction());
    h.clock.advance(300);  // its reply wait: the events run, then it ends
    EXPECT_FALSE(h.in.InTransaction());
    EXPECT_DOUBLE_EQ(h.clock.nowMs(), 66 + 300);
    h.clock.advance(65);
    EXPECT_EQ(h.port.writes().size(), 1u);
    h.clock.advance(1);
    EXPECT_EQ(h.port.writes().size(), 2u);
    EXPECT_DOUBLE_EQ(h.port.writes()[1].atMs, 66 + 300 + 66);
}

TEST_F(Link, TypeThreeCommandWithReplyIsFollowedByKr) {
    h.port.responder = [](const std::string& c) { return "@" + c; };
    bool busyWhenSent = false;
    h.port.responder = [&](const std::string& c) {
        if (c == "EH") busyWhenSent = h.in.view.BusyPointer;
        return "@" + c;
    };
    h.in.LabUnits_Click();
    h.tick();
    EXPECT_TRUE(busyWhenSent);
    EXPECT_EQ(h.port.writtenCommands(), Cmds({"EH", "KR"}));
    EXPECT_EQ(h.clock.delays(), Delays({300, 2000}));
    EXPECT_FALSE(h.in.view.BusyPointer);
    EXPECT_EQ(h.in.view.Label1, "@KR@EH");  // the "KR" reply first, not interpreted
    EXPECT_EQ(h.in.st.TimeOut, 0);
}

TEST_F(Link, TypeThreeCommandWithoutReplyKeepsTheHourglass) {
    h.in.st.TimeOut = 0;
    h.in.LabUnits_Click();
    h.tick();
    EXPECT_EQ(h.port.writtenCommands(), Cmds({"EH"}));
    EXPECT_EQ(h.clock.delays(), Delays({300}));
    EXPECT_TRUE(h.in.view.BusyPointer);
    // A later reading restores the pointer.
    h.answerReadings(Rd());
    h.tick();
    EXPECT_FALSE(h.in.view.BusyPointer);
}

TEST_F(Link, AutoScaleGoesOutAsScWithTheLongerWait) {
    h.port.responder = [](const std::string& c) { return "@" + c; };
    h.in.st.ProbeRange = 4;
    h.in.LabRange_Click();
    EXPECT_EQ(h.in.st.PendingCmnd, "AutoScale");
    h.tick();
    EXPECT_EQ(h.port.writtenCommands(), Cmds({"SC", "KR"}));
    EXPECT_EQ(h.clock.delays(), Delays({300, 3000, 2000}));
}

TEST_F(Link, SendCmndReportsAutoScaleAsSc) {
    std::string cmnd = "AutoScale";
    h.in.SendCmnd(cmnd);
    EXPECT_EQ(cmnd, "SC");
}

TEST_F(Link, UnknownCommandShowsMessageAndSendsNothing) {
    h.in.st.TimeOut = 2;
    h.in.cmdSendCmnd_Click("rd");  // case matters
    h.tick();
    EXPECT_TRUE(h.port.writes().empty());
    EXPECT_EQ(h.dialogs.messages(), std::vector<std::string>({"Command rd not found"}));
    ASSERT_FALSE(h.dialogs.shown.empty());
    EXPECT_EQ(h.dialogs.shown.back().icon, MsgIcon::None);
    EXPECT_EQ(h.in.st.TimeOut, 2);
    EXPECT_TRUE(h.in.HRTReadProbe().isEnabled());
    EXPECT_TRUE(h.in.st.PendingCmnd.empty());
}

TEST_F(Link, CommandTableWaits) {
    struct Case {
        std::string cmd;
        Cmds wire;
        Delays delays;
    };
    // Each command with a reply to everything.
    const Case cases[] = {
        {"NS", {"NS"}, {300}},
        {"SP", {"SP"}, {300}},
        {"KR", {"KR"}, {300}},
        {"DD", {"DD", "KR"}, {300, 2000}},
        {"MX", {"MX", "KR"}, {300, 2000}},
        {"BT", {"BT", "KR"}, {300, 2000}},
        {"CL", {"CL", "KR"}, {3000, 2000}},
        {"LG", {"LG", "KR"}, {300, 1000, 3000, 2000}},
        {"PR", {"PR", "KR"}, {300, 1000, 3000, 2000}},
        {"NX", {"NX", "KR"}, {300, 1000, 3000, 2000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cmd);
        Harness fresh;
        fresh.connect();
        fresh.clock.clearDelays();
        fresh.port.responder = [](const std::string& cmd) { return "@" + cmd; };
        // Type 5: the second part must be there too for the reply to count.
        if (c.delays.size() == 4) {
            fresh.port.responder = [&fresh](const std::string& cmd) {
                if (cmd != "KR") fresh.port.feed("@second", 500);
                return "@LG0000";
            };
        }
        fresh.in.cmdSendCmnd_Click(c.cmd);
        fresh.tick();
        EXPECT_EQ(fresh.port.writtenCommands(), c.wire);
        EXPECT_EQ(fresh.clock.delays(), c.delays);
    }
}

TEST_F(Link, OnlyTheRangeAndUnitsCommandsShowTheHourglass) {
    // Whether the pointer is busy while the command goes out, and after it
    // met silence (nothing restores it then).
    const std::pair<const char*, bool> cases[] = {
        {"RD", false}, {"NS", false}, {"KR", false}, {"SP", false},       {"SC", true},
        {"EH", true},  {"DD", true},  {"MX", false}, {"BT", false},       {"CL", false},
        {"LG", false}, {"PR", false}, {"NX", false}, {"AutoScale", true},
    };
    for (const auto& [cmd, busy] : cases) {
        SCOPED_TRACE(cmd);
        Harness fresh;
        fresh.connect();
        fresh.in.st.TimeOut = 0;
        std::vector<bool> busyWhenSent;
        fresh.port.responder = [&](const std::string&) {
            busyWhenSent.push_back(fresh.in.view.BusyPointer);
            return std::string();
        };
        fresh.in.cmdSendCmnd_Click(cmd);
        fresh.tick();
        EXPECT_EQ(busyWhenSent, std::vector<bool>({busy}));
        EXPECT_EQ(fresh.in.view.BusyPointer, busy);
    }
}

TEST_F(Link, FiveSilentTransactionsDeclareTheProbeLost) {
    h.answerReadings(Rd());
    h.tick();
    ASSERT_EQ(h.in.st.TimeOut, 0);
    ASSERT_NE(h.in.view.LabXYZField.caption, "No Probe");
    h.port.responder = nullptr;
    for (int i = 1; i <= 4; ++i) {
        h.tick();
        EXPECT_EQ(h.in.st.TimeOut, i);
        EXPECT_EQ(h.in.view.LabXYZField.caption, "1.999") << "the display keeps the last reading";
    }
    h.in.st.ProbeTypeAsked = 1;
    h.tick();
    EXPECT_EQ(h.in.st.TimeOut, 5);
    EXPECT_EQ(h.in.view.LabXYZField.caption, "No Probe");
    EXPECT_FALSE(h.in.view.LabUnits.visible);
    EXPECT_EQ(h.in.st.ProbeTypeAsked, 0);
    EXPECT_EQ(h.in.st.LostComm, 0) << "set again by the next silent transaction";
    EXPECT_EQ(h.clock.delays(), Delays(6, 300));

    h.tick();
    EXPECT_EQ(h.in.st.TimeOut, 5);
    EXPECT_EQ(h.in.st.LostComm, 1);
    EXPECT_EQ(h.in.st.CommRecoverCnt, 0);
    EXPECT_EQ(h.in.st.RefreshCnt, 0);
    EXPECT_TRUE(h.in.st.ProbeData.empty());
    EXPECT_EQ(h.in.view.LabXYZField.caption, "No Probe");
    EXPECT_EQ(h.port.writtenCommands(), Cmds(7, "RD"));
}

TEST_F(Link, ReturningCommunicationReinitialisesAndQueuesBattery) {
    // Start-up state: lost, so the first reply runs the set-up.
    h.answerReadings(Rd());
    h.in.view.LabUnits.visible = false;
    h.tick();
    EXPECT_TRUE(h.in.view.LabUnits.visible) << "set-up ran";
    EXPECT_EQ(h.in.view.CmbSampleRateItems, std::vector<std::string>({"1", "2"}));
    EXPECT_EQ(h.in.st.CommRecoverCnt, 2);
    h.tick();
    h.tick();
    EXPECT_TRUE(h.in.st.PendingCmnd.empty());
    h.tick();  // the fourth good reply
    EXPECT_EQ(h.in.st.PendingCmnd, "BT");
    EXPECT_EQ(h.in.st.CommRecoverCnt, 0);
    h.port.clearWrites();
    h.tick();
    EXPECT_EQ(h.port.writtenCommands(), Cmds({"BT"}));
}

TEST_F(Link, SetUpRunsAfterTwoSilentTransactionsButNotAfterOne) {
    h.answerReadings(Rd());
    h.tick();
    for (int silent : {1, 2}) {
        SCOPED_TRACE(silent);
        h.port.responder = nullptr;
        for (int i = 0; i < silent; ++i) h.tick();
        h.in.view.LabUnits.visible = false;
        h.answerReadings(Rd());
        h.tick();
        EXPECT_EQ(h.in.view.LabUnits.visible, silent == 2);
        EXPECT_EQ(h.in.st.TimeOut, 0);
    }
}

TEST_F(Link, UploadEndsWithItsMessageOnTheFifthSilentTransaction) {
    h.in.st.TimeOut = 0;
    h.in.mnuProbeUploadData_Click();
    std::string statusDuringMessage = "unset";
    h.dialogs.onMessage = [&] { statusDuringMessage = h.in.view.StatusText; };
    for (int i = 0; i < 5; ++i) h.tick();
    EXPECT_EQ(h.port.writtenCommands(), Cmds({"NS", "SP", "NX", "NX", "NX"}));
    EXPECT_EQ(h.dialogs.messages(),
              std::vector<std::string>(
                  {"Upload terminated due to probe timeout.  Cycle probe power and retry."}));
    ASSERT_FALSE(h.dialogs.shown.empty());
    EXPECT_EQ(h.dialogs.shown.back().icon, MsgIcon::Information);
    EXPECT_EQ(statusDuringMessage, "") << "the display was cleared first";
    EXPECT_EQ(h.in.view.StatusText, "Upload terminated");
    EXPECT_EQ(h.in.st.UploadActive, 0);
    EXPECT_EQ(h.in.st.UploadStep, 0);
    EXPECT_FALSE(h.in.view.BusyPointer);
}

TEST_F(Link, AnHourglassLeftBySilenceLastsUntilTheProbeIsDeclaredLost) {
    h.in.st.TimeOut = 0;
    h.in.LabUnits_Click();
    for (int silent = 1; silent <= 5; ++silent) {
        h.tick();
        EXPECT_EQ(h.in.view.BusyPointer, silent < 5) << silent;
    }
}

TEST_F(Link, DeclaringTheProbeLostDropsWhatCameLate) {
    h.answerReadings(Rd());
    h.tick();
    h.in.mnuProbeUploadData_Click();
    h.port.responder = nullptr;
    bool busyDuringMessage = true;
    h.dialogs.onMessage = [&] {
        busyDuringMessage = h.in.view.BusyPointer;
        h.port.feed("@BT0895");  // the probe wakes while the message is open
    };
    for (int i = 0; i < 5; ++i) h.tick();
    ASSERT_EQ(h.dialogs.count("message"), 1);
    EXPECT_FALSE(busyDuringMessage);
    EXPECT_FALSE(h.in.view.BusyPointer);

    h.answerReadings(Rd("1234"));
    h.tick();
    EXPECT_EQ(h.in.st.ProbeData, Rd("1234")) << "nothing late in front of the next reply";
    EXPECT_EQ(h.in.view.LabXYZField.caption, "1.234");
    EXPECT_EQ(h.in.view.LabBattery.caption, "");
}

TEST_F(Link, AnUploadStartedWhileLostIsNotAbortedBySilence) {
    h.in.mnuProbeUploadData_Click();  // TimeOut is 5 from start-up
    for (int i = 0; i < 8; ++i) h.tick();
    EXPECT_EQ(h.in.st.UploadActive, 1);
    EXPECT_TRUE(h.dialogs.messages().empty());
}

TEST_F(Link, PendingSlotLastWriteWinsAndReplacesOneReading) {
    h.answerReadings(Rd());
    h.in.LabRange_Click();
    h.in.LabUnits_Click();
    h.tick();
    h.tick();
    EXPECT_EQ(h.port.writtenCommands(), Cmds({"EH", "RD"}));
}

TEST_F(Link, ARequestMadeDuringASlotTransactionSurvivesToTheNextTick) {
    h.port.responder = [](const std::string& c) { return "@" + c; };
    bool clicked = false;
    h.clock.onProcessEvents = [&] {
        // The operator clicks the battery label while "EH" waits.
        if (!clicked && h.port.lastWrite() == "EH\r") {
            clicked = true;
            h.in.LabBattery_Click();
        }
    };
    h.in.LabUnits_Click();
    h.tick();
    EXPECT_EQ(h.in.st.PendingCmnd, "BT");
    h.tick();
    EXPECT_EQ(h.port.writtenCommands(), Cmds({"EH", "KR", "BT", "KR"}));
}

TEST_F(Link, UploadCommandsReplaceAQueuedRequest) {
    h.in.mnuProbeUploadData_Click();
    h.in.LabUnits_Click();
    h.tick();
    EXPECT_EQ(h.port.writtenCommands(), Cmds({"NS"}));
}

TEST_F(Link, ALateReplyBecomesPartOfTheNextOne) {
    h.answerReadings(Rd());
    h.tick();
    h.port.responder = [&](const std::string&) {
        h.port.feed("@BT0895", 450);  // after the 300 ms wait
        return std::string();
    };
    h.tick();
    EXPECT_EQ(h.in.st.TimeOut, 1);
    h.answerReadings(Rd());
    h.tick();
    EXPECT_EQ(h.in.st.ProbeData, "@BT0895" + Rd());
    EXPECT_EQ(h.in.view.LabBattery.caption, "8.95 V");
}

TEST_F(Link, AClosedPortIsSilenceNotACrash) {
    h.port.close();
    for (int i = 0; i < 6; ++i) h.tick();
    EXPECT_EQ(h.in.st.TimeOut, 5);
    EXPECT_EQ(h.in.view.LabXYZField.caption, "No Probe");
}

TEST_F(Link, AnUnpluggedDeviceIsReopenedByItselfWhenItIsBack) {
    h.answerReadings(Rd());
    h.tick();
    h.port.unplug();
    h.port.existingPorts = {};
    for (int i = 0; i < 6; ++i) h.tick();
    EXPECT_EQ(h.in.st.TimeOut, 5);
    EXPECT_EQ(h.in.view.LabXYZField.caption, "No Probe");
    EXPECT_TRUE(h.dialogs.messages().empty()) << "no message while it is away";
    h.port.existingPorts = {2};
    h.tick();
    EXPECT_TRUE(h.port.isOpen());
    EXPECT_EQ(h.in.st.TimeOut, 0);
    EXPECT_EQ(h.in.view.LabXYZField.caption, "1.999");
    EXPECT_TRUE(h.in.view.mnucommcomm[2].checked);
}

TEST(OpenCommPort, SwitchingPortsMovesTheCheckMark) {
    Harness h;
    h.in.OpenCommPort(1);
    h.in.mnucommcomm_Click(3);
    EXPECT_EQ(h.port.closeCalls, 1) << "port 1 closed first";
    EXPECT_EQ(h.port.openedPort, 3);
    EXPECT_EQ(h.in.st.CommPortNo, 3);
    EXPECT_EQ(h.in.st.CommPortOpenOk, 1);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(h.in.view.mnucommcomm[i].checked, i == 3) << i;
    EXPECT_TRUE(h.in.HRTReadProbe().isEnabled());
}

TEST(OpenCommPort, AMissingPortShowsTheMessageAndStopsTheTick) {
    Harness h;
    h.port.existingPorts = {1, 2};
    h.in.mnucommcomm_Click(2);
    h.in.mnucommcomm_Click(4);
    EXPECT_EQ(h.dialogs.messages(),
              std::vector<std::string>({"Unable to open the selected comm port.  Reselect comm "
                                        "port or check system configuration."}));
    ASSERT_FALSE(h.dialogs.shown.empty());
    EXPECT_EQ(h.dialogs.shown.back().icon, MsgIcon::Exclamation);
    for (int i = 1; i <= 5; ++i) EXPECT_FALSE(h.in.view.mnucommcomm[i].checked) << i;
    EXPECT_EQ(h.in.st.CommPortNo, 2);
    EXPECT_EQ(h.in.st.CommPortOpenOk, 0);
    EXPECT_FALSE(h.in.HRTReadProbe().isEnabled());
    EXPECT_FALSE(h.port.isOpen());
    h.clock.advance(5000);
    EXPECT_TRUE(h.port.writes().empty());
}

}  // namespace
}  // namespace fenwyd::testing
