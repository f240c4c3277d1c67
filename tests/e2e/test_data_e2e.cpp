// Probe-memory upload and port switching against the simulator, and the
// window's own texts.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include "e2e/e2e_support.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace fenwyd::testing {
namespace {

TEST(LiveUpload, TwelveStoredReadingsArriveAsRowsAndSaveWithSampleNumbers) {
    probesim::Options o = FixedProbe('E');
    o.storedCount = 12;
    LiveRig rig(o);
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.TimeOut == 0; }, 5000));
    rig.in.mnuProbeUploadData_Click();
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.UploadTotal == 12; }, 5000));
    EXPECT_EQ(rig.in.view.StatusText, "Uploading 12 data points.  Please wait...");
    EXPECT_EQ(rig.in.view.ProgressBar1Max, 13);
    EXPECT_TRUE(rig.in.view.ProgressBar1Visible);
    // Each "NX" takes 300 + 1000 + 3000 + 2000 ms of fixed waits; the upload
    // ends with the last record number, its reading comes a second later.
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.UploadActive == 0 && !rig.in.InTransaction(); },
                         12 * 6500 + 10000));
    EXPECT_TRUE(rig.dialogs.messages().empty());
    EXPECT_EQ(rig.in.st.RecordCnt, 12);
    EXPECT_TRUE(rig.in.view.mnuFileSaveAs.enabled);
    EXPECT_EQ(rig.in.st.DataUploaded, 1);
    const std::vector<std::string> stored = rig.sim.storedReadings();
    ASSERT_EQ(stored.size(), 12u);
    for (int i = 1; i <= 12; ++i) {
        const auto& row = rig.in.st.RecordData[static_cast<std::size_t>(i)];
        EXPECT_FLOAT_EQ(row[0], static_cast<float>(i));
        // The stored reading's four digits with the point placed for its range.
        Harness decode;
        decode.in.st.ProbeModel = 8204;
        decode.in.st.ProbeData = "@LG0001";
        decode.in.GetDataNumber(2);
        decode.in.st.ProbeData = stored[static_cast<std::size_t>(i - 1)];
        decode.in.ProcessData(5);
        EXPECT_FLOAT_EQ(row[1], decode.in.st.RecordData[1][1]) << stored[i - 1];
        EXPECT_FLOAT_EQ(row[2], decode.in.st.RecordData[1][2]) << stored[i - 1];
    }
    const auto file = rig.folder.path() / "upload.csv";
    rig.dialogs.saveChoice = file.string();
    rig.in.mnuFileSaveAs_Click();
    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("Samples,12\r\n"), std::string::npos);
    const auto data = text.substr(text.find("EndHeader\r\n"));
    for (int i = 1; i <= 12; ++i) {
        EXPECT_NE(data.find("\r\n" + std::to_string(i) + ","), std::string::npos) << i;
    }
    EXPECT_EQ(rig.in.view.StatusText, "Saved 12 data points.");
}

TEST(LiveUpload, SilenceCutsItOffAndKeepsTheRows) {
    probesim::Options o = FixedProbe('E');
    o.storedCount = 50;
    LiveRig rig(o);
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.TimeOut == 0; }, 5000));
    rig.in.mnuProbeUploadData_Click();
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.RecordCnt >= 2; }, 20000));
    rig.sim.setSilent(true);
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.UploadActive == 0; }, 30000));
    EXPECT_EQ(rig.dialogs.messages(),
              std::vector<std::string>(
                  {"Upload terminated due to probe timeout.  Cycle probe power and retry."}));
    EXPECT_EQ(rig.in.view.StatusText, "Upload terminated");
    EXPECT_GE(rig.in.st.RecordCnt, 2);
    EXPECT_FLOAT_EQ(rig.in.st.RecordData[2][0], 2.0f);
}

TEST(LivePorts, SwitchingBetweenTwoProbesFromTheMenu) {
    LiveRig rig(FixedProbe('E'), 1);
    ASSERT_TRUE(rig.started);
    probesim::ProbeSim other(FixedProbe('V'));
    ASSERT_TRUE(other.start());
    MapPort(3, other.devicePath());
    ASSERT_TRUE(rig.connect(1));
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.ProbeModel == 8204; }, 5000));

    rig.in.mnucommcomm_Click(3);
    ASSERT_EQ(rig.in.st.CommPortOpenOk, 1);
    EXPECT_EQ(rig.in.st.CommPortNo, 3);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(rig.in.view.mnucommcomm[i].checked, i == 3) << i;
    const int firstCount = rig.sim.commandCount();
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.ProbeModel == 8203; }, 5000));
    EXPECT_EQ(rig.in.view.StatusText, "QM-8203");
    RunFor(800);
    EXPECT_EQ(rig.sim.commandCount(), firstCount) << "the old port is closed";
    EXPECT_GE(other.commandCount(), 2);
}

TEST(LivePorts, APortThatDoesNotExist) {
    LiveRig rig;
    ASSERT_TRUE(rig.started);
    MapPort(5, "/dev/fenwyd-no-such-device");
    rig.in.mnucommcomm_Click(5);
    EXPECT_EQ(rig.in.st.CommPortOpenOk, 0);
    EXPECT_EQ(rig.dialogs.messages().size(), 1u);
    for (int i = 1; i <= 5; ++i) EXPECT_FALSE(rig.in.view.mnucommcomm[i].checked);
    RunFor(500);
    EXPECT_EQ(rig.sim.commandCount(), 0);
}

TEST(Window, ShowsTheReadingAndItsMenus) {
    LiveRig rig;
    ASSERT_TRUE(rig.started);
    rig.sim.setValue(1999);
    ui::MainWindow w(rig.port, rig.clock, rig.settings, rig.folder.str(), &rig.dialogs);
    w.instrument().OpenCommPort(2);
    w.instrument().HRTReadProbe().setEnabled(true);
    w.show();
    ASSERT_TRUE(RunUntil(
        [&] {
            auto* l = qobject_cast<QLabel*>(w.element(QStringLiteral("LabXYZField")));
            return l != nullptr && l->text() == QLatin1String("1.999");
        },
        5000));
    auto* units = qobject_cast<QLabel*>(w.element(QStringLiteral("LabUnits")));
    EXPECT_EQ(units->text(), QStringLiteral("mG"));
    EXPECT_EQ(units->textFormat(), Qt::PlainText);
    EXPECT_EQ(units->toolTip(), QStringLiteral("Click to change units"));
    EXPECT_TRUE(w.menuAction(QStringLiteral("mnucommcomm_2"))->isChecked());
    EXPECT_FALSE(w.menuAction(QStringLiteral("mnuProbeRangeTop"))->isEnabled());
    EXPECT_FALSE(w.menuAction(QStringLiteral("mnuProbeZero"))->isEnabled());
    EXPECT_EQ(w.menuAction(QStringLiteral("mnuProbeRecord"))->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_L));
    EXPECT_EQ(w.menuAction(QStringLiteral("mnuProbeRecord"))->text(), QStringLiteral("&Log Data"));
    EXPECT_TRUE(w.menuAction(QStringLiteral("mnuProbeType820x_2"))->isChecked());

    // A click on the record label starts logging; the indicator turns red.
    w.menuAction(QStringLiteral("mnuProbeRecord"))->trigger();
    EXPECT_EQ(w.instrument().st.RecordOn, 1);
    EXPECT_TRUE(w.menuAction(QStringLiteral("mnuProbeRecord"))->isChecked());
    EXPECT_FALSE(w.menuAction(QStringLiteral("mnuFileSaveAs"))->isEnabled());
    ASSERT_TRUE(RunUntil([&] { return w.instrument().st.RecordCnt >= 2; }, 5000));
    w.close();
}

TEST(Window, AboutAndSplashTexts) {
    ui::AboutBox about(nullptr, QStringLiteral("About Fenwyd 8200"), QStringLiteral("QM-8203"));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Fenwyd 8200"));
    EXPECT_EQ(about.lblVersion->text(), QStringLiteral("Version 1.0.0"));
    EXPECT_EQ(about.lblTitle->text(), QStringLiteral("Fenwyd   8200"));
    EXPECT_EQ(about.LabModel->text(), QStringLiteral("QM-8203"));
    ui::Splash splash;
    EXPECT_EQ(splash.lblVersion->text(), QStringLiteral("Rev 1.0.0"));
}

}  // namespace
}  // namespace fenwyd::testing
