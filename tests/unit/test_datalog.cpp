// The logging switch with its menus, toolbar and indicator, and saving the
// log through the Save-as command.
#include <gtest/gtest.h>

#include "support/harness.h"

namespace fenwyd::testing {
namespace {

class DataLog : public ::testing::Test {
protected:
    void SetUp() override { h.in.Form_Load(); }
    void reading(const std::string& raw = "1999", char state = 'N') {
        h.in.st.ProbeData = Rd(raw, 'E', '0', 'G', state);
        h.in.ProcessData(1);
    }
    const ViewState& v() const { return h.in.view; }
    Harness h;
};

TEST_F(DataLog, StartThreeReadingsStop) {
    h.in.tbToolBar_ButtonClick("Record");
    EXPECT_EQ(h.in.st.RecordOn, 1);
    EXPECT_TRUE(v().mnuProbeRecord.checked);
    EXPECT_FALSE(v().mnuFileSaveAs.enabled);
    EXPECT_FALSE(v().mnuProbeUnits57xx.enabled);
    EXPECT_FALSE(v().mnuProbeClearPeak.enabled);
    EXPECT_FALSE(v().mnuProbeUpdateProbeBatt.enabled);
    EXPECT_FALSE(h.in.HRTReadBattTemp().isEnabled());
    EXPECT_FALSE(v().tbButtons[2].enabled);
    EXPECT_FALSE(v().tbButtons[9].enabled);
    EXPECT_FALSE(v().tbButtons[10].enabled);
    EXPECT_TRUE(v().tbButtons[13].enabled);
    EXPECT_TRUE(v().mnuProbeRecordPause.enabled);
    EXPECT_EQ(v().LabRecord.caption, "Log");
    EXPECT_EQ(v().LabRecord.foreColor, colors::kWhite);
    EXPECT_EQ(v().ShapeRecordInd.fill, colors::kRed);

    for (const char* raw : {"1000", "1100", "1200"}) reading(raw);
    h.in.ToggleRecordOn();
    EXPECT_EQ(h.in.st.RecordOn, 0);
    EXPECT_EQ(h.in.st.RecordCnt, 3);
    EXPECT_FLOAT_EQ(h.in.st.RecordData[3][1], 1.2f);
    EXPECT_TRUE(v().mnuFileSaveAs.enabled);
    EXPECT_TRUE(v().tbButtons[2].enabled);
    EXPECT_TRUE(v().tbButtons[10].enabled);
    EXPECT_FALSE(v().tbButtons[9].enabled) << "Zoom In stays off";
    EXPECT_FALSE(v().mnuProbeUnits57xx.enabled) << "units menu stays off";
    EXPECT_FALSE(v().tbButtons[13].enabled);
    EXPECT_FALSE(v().tbButtons[13].pressed);
    EXPECT_FALSE(v().mnuProbeRecordPause.enabled);
    EXPECT_FALSE(v().mnuProbeRecord.checked);
    EXPECT_TRUE(v().mnuProbeClearPeak.enabled);
    EXPECT_TRUE(v().mnuProbeUpdateProbeBatt.enabled);
    EXPECT_TRUE(h.in.HRTReadBattTemp().isEnabled());
    EXPECT_EQ(v().LabRecord.caption, "Log");
    EXPECT_EQ(v().ShapeRecordInd.fill, colors::kGrey);
}

TEST_F(DataLog, PauseAndResume) {
    h.in.ToggleRecordOn();
    reading("1000");
    h.in.tbToolBar_ButtonClick("RecordPause");
    EXPECT_EQ(h.in.st.RecordOn, 2);
    EXPECT_TRUE(v().mnuProbeRecordPause.checked);
    EXPECT_TRUE(v().tbButtons[13].pressed);
    EXPECT_EQ(v().LabRecord.caption, " Pause");
    EXPECT_EQ(v().LabRecord.foreColor, colors::kBlack);
    EXPECT_EQ(v().ShapeRecordInd.fill, colors::kYellow);
    EXPECT_FALSE(v().mnuFileSaveAs.enabled) << "pausing restores nothing";
    reading("2000");
    reading("3000");
    h.in.TogglePause();
    EXPECT_EQ(h.in.st.RecordOn, 1);
    EXPECT_FALSE(v().mnuProbeRecordPause.checked);
    EXPECT_FALSE(v().tbButtons[13].pressed);
    EXPECT_EQ(v().LabRecord.caption, "Log");
    EXPECT_EQ(v().ShapeRecordInd.fill, colors::kRed);
    reading("1500");
    EXPECT_EQ(h.in.st.RecordCnt, 2);
    EXPECT_FLOAT_EQ(h.in.st.RecordData[2][1], 1.5f);
}

TEST_F(DataLog, StopWhilePausedGoesStraightToOff) {
    h.in.ToggleRecordOn();
    h.in.TogglePause();
    h.in.ToggleRecordOn();
    EXPECT_EQ(h.in.st.RecordOn, 0);
    EXPECT_FALSE(v().mnuProbeRecordPause.checked);
    EXPECT_FALSE(v().tbButtons[13].pressed);
    EXPECT_EQ(v().ShapeRecordInd.fill, colors::kGrey);
    h.in.TogglePause();
    EXPECT_EQ(h.in.st.RecordOn, 0) << "pause does nothing while off";
}

TEST_F(DataLog, EraseDuringLoggingRestartsAtRowOne) {
    h.in.ToggleRecordOn();
    reading("1000");
    reading("1100");
    h.in.LabRecordCntLab_Click();
    EXPECT_EQ(h.in.st.RecordCnt, 0);
    EXPECT_EQ(v().LabRecordCnt.caption, "0");
    EXPECT_EQ(h.in.st.RecordOn, 1);
    reading("1234");
    EXPECT_EQ(h.in.st.RecordCnt, 1);
    EXPECT_FLOAT_EQ(h.in.st.RecordData[1][1], 1.234f);
}

TEST_F(DataLog, OtherToolbarKeysDoNothing) {
    const ViewState before = h.in.view;
    for (const char* key : {"Open", "Properties", "Scatter", "BarGraph", "ZoomIn", "ZoomOut", ""}) {
        h.in.tbToolBar_ButtonClick(key);
    }
    EXPECT_EQ(h.in.st.RecordOn, 0);
    EXPECT_EQ(h.dialogs.count("save"), 0);
    EXPECT_EQ(h.in.view.LabRecord.caption, before.LabRecord.caption);
}

TEST_F(DataLog, StartingAgainAfterAFullLogEmptiesIt) {
    h.in.ToggleRecordOn();
    h.in.st.RecordCnt = 31999;
    reading("1000");
    ASSERT_EQ(h.in.st.RecordOn, 0);
    h.in.ToggleRecordOn();
    EXPECT_EQ(h.in.st.RecordCnt, 0);
    EXPECT_EQ(h.in.st.DataUploaded, 0);
}

class SaveAs : public DataLog {
protected:
    void logThree() {
        // 10:15:00 now (start-up took the splash's five virtual seconds).
        h.clock.dayStartSeconds = 10 * 3600 + 15 * 60 - h.clock.nowMs() / 1000.0;
        h.in.ToggleRecordOn();
        h.in.st.ProbeData = Rd("1250", 'E', '1', 'T');
        h.in.ProcessData(1);
        h.clock.advance(1000);
        h.in.st.ProbeData = Rd("1300", 'E', '1', 'T');
        h.in.ProcessData(1);
        h.clock.advance(1000);
        h.in.st.ProbeData = Rd("1275", 'E', '1', 'T');
        h.in.ProcessData(1);
        h.in.ToggleRecordOn();
    }
};

TEST_F(SaveAs, WritesThePageAndReportsIt) {
    h.in.st.NoteQuery = {{"Where was the measurement taken?", "Location", "Lab 3"},
                         {"Probe height above floor (m)?", "Height", ""}};
    h.dialogs.inputAnswers = {"Lab 3", ""};
    logThree();
    const auto file = h.folder.path() / "data" / "run.csv";
    std::filesystem::create_directories(file.parent_path());
    h.dialogs.saveChoice = file.string();
    h.in.mnuFileSaveAs_Click();

    EXPECT_EQ(ReadFile(file),
              "Header\r\nFile,run.csv\r\nDate,12/6/2026\r\nTime,3:16:52 PM\r\nSamples,3\r\n"
              "Columns,2\r\nPage,1 of 1\r\nLocation,Lab 3\r\nUnits,Tesla\r\nEndHeader\r\n"
              "Time ,Field Tesla\r\n10:15:00,1.25E-6\r\n10:15:01,1.3E-6\r\n10:15:02,1.275E-6\r\n");
    EXPECT_EQ(h.in.view.StatusText, "Saved 3 data points.");
    EXPECT_FALSE(h.in.view.BusyPointer);
    EXPECT_EQ(h.in.st.DefaultSavePath, file.parent_path().string());
    EXPECT_EQ(h.in.st.SaveFileName, (file.parent_path() / "run").string());

    // The questions: prompt, title and the old answer as default.
    ASSERT_EQ(h.dialogs.count("input"), 2);
    ASSERT_GE(h.dialogs.shown.size(), 3u);
    EXPECT_EQ(h.dialogs.shown[h.dialogs.shown.size() - 3].text,
              "Test Conditions|Where was the measurement taken?|Lab 3");
    const SaveDialogRequest& r = h.dialogs.lastSaveRequest;
    EXPECT_EQ(r.title, "File Save as");
    EXPECT_EQ(r.filter, "CSV Files (*.csv)|*.csv|Text Files (*.txt)|*.txt|All Files (*.*)|*.*");
    EXPECT_EQ(r.defaultExt, "csv");
    EXPECT_TRUE(r.overwritePrompt);
    EXPECT_EQ(r.initDir, h.folder.str());
    EXPECT_EQ(r.fileName, "");

    h.in.mnuFileSaveAs_Click();
    EXPECT_EQ(h.dialogs.lastSaveRequest.fileName, (file.parent_path() / "run").string());
    EXPECT_EQ(h.dialogs.lastSaveRequest.initDir, file.parent_path().string());
}

TEST_F(SaveAs, TheAnswersAreKeptOnDiskWithEachSave) {
    // Not only at exit: a crash after a save must not bring back the old
    // answers at the next one.
    WriteFile(h.folder.path() / "testquery.txt", "Where?,Location,Lab 3\r\n");
    h.in.LoadNoteQuery();
    logThree();
    for (const char* answer : {"Roof", "Cellar"}) {
        h.dialogs.inputAnswers = {answer};
        h.dialogs.saveChoice = (h.folder.path() / "run.csv").string();
        h.in.mnuFileSaveAs_Click();
        EXPECT_EQ(ReadFile(h.folder.path() / "testquery.txt"),
                  std::string("Where?,Location,") + answer + "\r\n");
    }
}

TEST_F(SaveAs, CancelWritesNothingButKeepsTheAnswers) {
    h.in.st.NoteQuery = {{"Where?", "Location", "Lab 3"}};
    h.dialogs.inputAnswers = {"Roof"};
    h.dialogs.saveAccept = false;
    logThree();
    h.in.mnuFileSaveAs_Click();
    EXPECT_EQ(h.in.st.NoteQuery[0].answer, "Roof");
    EXPECT_EQ(h.in.st.SaveFileName, "");
    EXPECT_EQ(h.in.st.DefaultSavePath, h.folder.str());
    EXPECT_EQ(h.in.view.StatusText, "QM-8204") << "the last reading's, no Saved status";
    EXPECT_TRUE(h.dialogs.messages().empty());
}

TEST_F(SaveAs, AFailedSaveKeepsTheOldFileAndTheLog) {
    logThree();
    const auto file = h.folder.path() / "run.csv";
    WriteFile(file, "old contents");
    // A folder where the temporary page file would go cannot be created...
    // simplest for any user: the target names an existing folder.
    const auto blocked = h.folder.path() / "blocked.csv";
    std::filesystem::create_directory(blocked);
    h.dialogs.saveChoice = blocked.string();
    h.in.mnuFileSaveAs_Click();
    ASSERT_EQ(h.dialogs.messages().size(), 1u);
    EXPECT_NE(h.dialogs.messages()[0].find(blocked.string()), std::string::npos);
    EXPECT_NE(h.in.view.StatusText.rfind("Saved", 0), 0u) << "no Saved status";
    EXPECT_FALSE(h.in.view.BusyPointer);
    EXPECT_EQ(h.in.st.RecordCnt, 3);
    EXPECT_EQ(ReadFile(file), "old contents");

    h.dialogs.saveChoice = file.string();
    h.in.mnuFileSaveAs_Click();
    EXPECT_EQ(h.in.view.StatusText, "Saved 3 data points.");
}

TEST_F(SaveAs, AnUploadedLogWritesSampleNumbers) {
    h.in.st.UnitsText = "Tesla";
    h.in.st.DataUploaded = 1;
    h.in.st.RecordCnt = 2;
    h.in.st.RecordData[1] = {1, 1.25f, -6, 0, 0};
    h.in.st.RecordData[2] = {2, 12.5f, -6, 0, 0};
    const auto file = h.folder.path() / "up.txt";
    h.dialogs.saveChoice = file.string();
    h.in.mnuFileSaveAs_Click();
    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("EndHeader\r\nTime ,Field Tesla\r\n1,1.25E-6\r\n2,12.5E-6\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(h.in.st.SaveFileName, (h.folder.path() / "up").string());
}

TEST_F(DataLog, AnUploadAndALiveLogNeverMix) {
    EXPECT_TRUE(v().mnuProbeUploadData.enabled);
    h.in.ToggleRecordOn();
    EXPECT_FALSE(v().mnuProbeUploadData.enabled) << "while logging";
    h.in.TogglePause();
    EXPECT_FALSE(v().mnuProbeUploadData.enabled) << "while paused";
    h.in.mnuProbeUploadData_Click();  // a stale click changes nothing
    EXPECT_EQ(h.in.st.UploadActive, 0);
    h.in.ToggleRecordOn();
    EXPECT_TRUE(v().mnuProbeUploadData.enabled) << "again once stopped";

    h.in.mnuProbeUploadData_Click();
    h.in.ToggleRecordOn();  // starting a log during an upload does nothing
    EXPECT_EQ(h.in.st.RecordOn, 0);
    EXPECT_EQ(h.in.st.DataUploaded, 1);
}

TEST_F(SaveAs, TheFolderIsRememberedOnlyAfterASaveThatWorked) {
    logThree();
    const auto blocked = h.folder.path() / "ro" / "blocked.csv";
    std::filesystem::create_directories(blocked);  // a folder: the save fails
    h.dialogs.saveChoice = blocked.string();
    h.in.mnuFileSaveAs_Click();
    ASSERT_EQ(h.dialogs.messages().size(), 1u);
    EXPECT_EQ(h.in.st.DefaultSavePath, h.folder.str());
    h.in.mnuFileSaveAs_Click();
    EXPECT_EQ(h.dialogs.lastSaveRequest.initDir, h.folder.str());
}

TEST_F(SaveAs, TheResultStaysFiveSecondsBeforeTheModelReturns) {
    logThree();
    h.dialogs.saveChoice = (h.folder.path() / "run.csv").string();
    h.in.mnuFileSaveAs_Click();
    h.answerReadings(Rd());
    h.connect();
    // Readings go on at their own pace; the result stays its five seconds.
    const double savedAt = h.clock.nowMs();
    while (h.clock.nowMs() < savedAt + 5000) {
        ASSERT_EQ(h.in.view.StatusText, "Saved 3 data points.") << h.clock.nowMs() - savedAt;
        h.clock.advance(100);
    }
    h.clock.advance(1000);
    EXPECT_EQ(h.in.view.StatusText, "QM-8204");
}

TEST_F(SaveAs, AnAnswerOrLabelWithACommaKeepsTheHeaderLineAtTwoFields) {
    h.in.st.NoteQuery = {{"Where?", "Site,room", "Lab 7, bench 2"}};
    logThree();
    const auto file = h.folder.path() / "run.csv";
    h.dialogs.saveChoice = file.string();
    h.in.mnuFileSaveAs_Click();
    EXPECT_NE(ReadFile(file).find("\r\nSite;room,Lab 7; bench 2\r\n"), std::string::npos);
}
}  // namespace
}  // namespace fenwyd::testing
