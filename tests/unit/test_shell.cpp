// Start-up and shutdown, the configuration file as the program uses it, the
// display reset and the small commands of the shell.
#include <gtest/gtest.h>

#include "support/harness.h"

namespace fenwyd::testing {
namespace {

std::vector<std::string> Kinds(const ScriptedDialogs& d) {
    std::vector<std::string> out;
    for (const auto& s : d.shown) out.push_back(s.kind + (s.text.empty() ? "" : ":" + s.text));
    return out;
}

TEST(StartUp, WithoutAConfigurationFileThePortPickerComesBeforeTheSplash) {
    Harness h;
    h.dialogs.portPickerChoice = 3;
    h.in.Form_Load();
    EXPECT_EQ(Kinds(h.dialogs), std::vector<std::string>({"port", "splash:show", "splash:close"}));
    EXPECT_EQ(h.clock.delays(), std::vector<double>({5000}));
    EXPECT_EQ(h.in.st.CommPortNo, 3);
    EXPECT_EQ(h.port.openedPort, 3);
    EXPECT_TRUE(h.in.view.mnucommcomm[3].checked);
    EXPECT_TRUE(h.in.HRTReadProbe().isEnabled());
    EXPECT_TRUE(h.port.writes().empty()) << "no traffic before the first tick";
    // Defaults, the stored rate and interval applied.
    EXPECT_EQ(h.in.st.SampleRate, "15");
    EXPECT_EQ(h.in.st.BattTempUpdateInterval, 30);
    EXPECT_TRUE(h.in.view.mnuProbeUpdate30.checked);
    EXPECT_EQ(h.in.st.DefaultSavePath, h.folder.str());
    EXPECT_EQ(h.in.view.CmbSampleRateItems, std::vector<std::string>({"1", "2"}));
    EXPECT_EQ(h.in.view.CmbSampleRateIndex, -1);
    EXPECT_FALSE(h.in.view.mnuProbeUnits57xx.visible);
    // The "no probe" look, the toolbar and Save-as in their start state.
    EXPECT_EQ(h.in.view.LabXYZField.caption, "No Probe");
    EXPECT_FALSE(h.in.view.LabOverRange.visible);
    for (int i = 1; i <= kToolButtonCount; ++i) {
        const bool off = i == 2 || i == 9 || i == 10 || i == 13;
        EXPECT_EQ(h.in.view.tbButtons[i].enabled, !off) << i;
    }
    EXPECT_FALSE(h.in.view.mnuFileSaveAs.enabled);
    // The window where it was left (nothing stored yet: 1000, 1000 twips).
    EXPECT_EQ(h.display.left, 1000);
    EXPECT_EQ(h.display.top, 1000);
    EXPECT_EQ(h.in.st.TimeOut, 5);
    EXPECT_EQ(h.in.st.LostComm, 1);
}

TEST(StartUp, StoredPositionsAndBadOnes) {
    const std::pair<std::string, int> cases[] = {{"2400", 2400}, {"-300", -300}, {"abc", 1000},
                                                 {"", 1000},     {"12x", 1000},  {" 55 ", 55}};
    for (const auto& [stored, expected] : cases) {
        Harness h;
        h.settings.set("Settings", "MainLeft", stored);
        h.settings.set("Settings", "MainTop", "777");
        h.settings.set("Settings", "WindowState", "2");
        h.display.state = WindowState::Maximized;
        h.in.Form_Load();
        EXPECT_EQ(h.display.left, expected) << stored;
        EXPECT_EQ(h.display.top, 777);
        EXPECT_EQ(h.display.state, WindowState::Normal) << "always starts normal";
    }
}

TEST(StartUp, AMissingPortShowsTheMessageAndSendsNothing) {
    Harness h;
    WriteFile(h.folder.path() / "Fenwyd8200.cfg", " 4 \r\nV/m\r\n/data\r\n2\r\n 60 \r\n");
    h.port.existingPorts = {1, 2};
    h.in.Form_Load();
    EXPECT_EQ(h.dialogs.count("port"), 0);
    EXPECT_EQ(h.dialogs.messages().size(), 1u);
    EXPECT_FALSE(h.in.HRTReadProbe().isEnabled());
    h.clock.advance(10000);
    EXPECT_TRUE(h.port.writes().empty());
    EXPECT_EQ(h.in.st.CommPortNo, 4);
}

TEST(Shutdown, StoresPositionByWindowState) {
    struct Case {
        WindowState state;
        std::map<std::string, std::string> expected;
    };
    const Case cases[] = {
        {WindowState::Normal, {{"Settings/MainLeft", "1500"}, {"Settings/MainTop", "900"}}},
        {WindowState::Maximized, {{"Settings/WindowState", "2"}}},
        {WindowState::Minimized, {}},
    };
    for (const Case& c : cases) {
        Harness h;
        h.display.state = c.state;
        h.display.left = 1500;
        h.display.top = 900;
        h.in.Form_Unload();
        EXPECT_EQ(h.settings.values, c.expected);
    }
}

TEST(Shutdown, ClosesThePortThenWritesTheConfigurationAndNotes) {
    Harness h;
    WriteFile(h.folder.path() / "testquery.txt", "Where?,Location,Lab 3\r\n\r\nHeight?,Height\r\n");
    h.in.Form_Load();
    ASSERT_TRUE(h.port.isOpen());
    h.in.st.NoteQuery[1].answer = "1.5";
    h.in.st.SampleRate = "2";
    h.in.Form_Unload();
    EXPECT_FALSE(h.port.isOpen());
    EXPECT_EQ(ReadFile(h.folder.path() / "Fenwyd8200.cfg"),
              " 2 \r\nV/m\r\n" + h.folder.str() + "\r\n2\r\n 30 \r\n");
    EXPECT_EQ(ReadFile(h.folder.path() / "testquery.txt"),
              "Where?,Location,Lab 3\r\nHeight?,Height,1.5\r\n");
}

TEST(Shutdown, WithNoNotesTheNotesFileIsNotWritten) {
    Harness h;
    h.in.Form_Load();
    h.in.Form_Unload();
    EXPECT_FALSE(std::filesystem::exists(h.folder.path() / "testquery.txt"));
}

TEST(ConfigAtStartUp, RoundTripThroughStartUpAndShutdown) {
    Harness first;
    first.in.Form_Load();
    first.in.mnucommcomm_Click(3);
    first.in.st.ProbeUnits = "T";
    first.in.st.DefaultSavePath = "/data/runs";
    first.in.st.SampleRate = "2";
    first.in.mnuProbeUpdateInterval_Click(60);
    first.in.Form_Unload();

    Harness second;
    std::filesystem::copy_file(first.folder.path() / "Fenwyd8200.cfg",
                               second.folder.path() / "Fenwyd8200.cfg");
    second.in.Form_Load();
    EXPECT_EQ(second.dialogs.count("port"), 0);
    EXPECT_EQ(second.in.st.CommPortNo, 3);
    EXPECT_EQ(second.in.st.ProbeUnits, "T");
    EXPECT_EQ(second.in.st.DefaultSavePath, "/data/runs");
    EXPECT_EQ(second.in.st.SampleRate, "2");
    EXPECT_EQ(second.in.st.BattTempUpdateInterval, 60);
    EXPECT_TRUE(second.in.view.mnuProbeUpdate60.checked);
}

TEST(ConfigAtStartUp, FailuresShowThePortPicker) {
    struct Case {
        std::string content;
        int16_t port;
        std::string rate;
        int16_t interval;
    };
    const Case cases[] = {
        {" 3 \r\nT\r\n/x\r\n", 3, "15", 30},                   // three lines: first three taken
        {" 99999 \r\nT\r\n/x\r\n2\r\n 60 \r\n", 2, "15", 30},  // out of 16-bit range
        {" 3 \r\nT\r\n/x\r\n2\r\n 45 \r\n", 3, "2", 30},       // 45 read, turned into 30
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        Harness h;
        WriteFile(h.folder.path() / "Fenwyd8200.cfg", c.content);
        h.in.Form_Load();
        EXPECT_EQ(h.dialogs.count("port"), c.interval == 30 && c.rate == "2" ? 0 : 1);
        EXPECT_EQ(h.in.st.CommPortNo, c.port);
        EXPECT_EQ(h.in.st.SampleRate, c.rate);
        EXPECT_EQ(h.in.st.BattTempUpdateInterval, c.interval);
    }
}

TEST(ConfigAtStartUp, AnUnwritableFolderShowsThePortPickerAtExit) {
    Harness h;
    h.in.Form_Load();
    const int before = h.dialogs.count("port");
    // Make the configuration file's place a folder: it cannot be written.
    std::filesystem::create_directory(h.folder.path() / "Fenwyd8200.cfg");
    h.in.Form_Unload();
    EXPECT_EQ(h.dialogs.count("port"), before + 1);
}

TEST(ConfigAtStartUp, ALineBreakInAFolderNameCannotCorruptTheFollowingLines) {
    Harness h;
    h.in.Form_Load();
    h.in.st.DefaultSavePath = "/data/a\r\nb";
    h.in.st.SampleRate = "2";
    h.in.Form_Unload();
    Harness again;
    std::filesystem::copy_file(h.folder.path() / "Fenwyd8200.cfg",
                               again.folder.path() / "Fenwyd8200.cfg");
    again.in.Form_Load();
    EXPECT_EQ(again.dialogs.count("port"), 0);
    EXPECT_EQ(again.in.st.SampleRate, "2");
    EXPECT_EQ(again.in.st.BattTempUpdateInterval, 30);
}

TEST(Display, ClearDisplayLeavesTheLogCountAndIndicatorAlone) {
    Harness h;
    h.in.ToggleRecordOn();
    h.in.st.RecordCnt = 42;
    h.in.view.LabRecordCnt.caption = "42";
    h.in.view.LabUnits.visible = true;
    h.in.view.LabSamRate.visible = true;
    h.in.view.LabOverRange.visible = true;
    h.in.view.LabBattery.caption = "9 V";
    h.in.view.LabBattery.visible = false;
    h.in.view.StatusText = "QM-8204";
    h.in.view.BusyPointer = true;
    h.in.view.ProgressBar1Visible = true;
    h.in.ClearDisplay();
    const ViewState& v = h.in.view;
    EXPECT_EQ(v.LabXYZField.caption, "No Probe");
    EXPECT_NE(v.LabXYZField.foreColor, colors::kGreen) << "must not look like a reading";
    EXPECT_FALSE(v.LabUnits.visible);
    EXPECT_EQ(v.LabUnits.caption, "") << "no placeholder word";
    EXPECT_FALSE(v.LabSamRate.visible);
    EXPECT_FALSE(v.LabOverRange.visible);
    EXPECT_FALSE(v.LabUnderRange.visible);
    EXPECT_EQ(v.LabRange.caption, "");
    EXPECT_EQ(v.LabBarGraph.caption, "");
    EXPECT_EQ(v.LabBattery.caption, "");
    EXPECT_TRUE(v.LabBattery.visible);
    EXPECT_EQ(v.ShapeBatLevel.height, 0);
    EXPECT_EQ(v.ShapeBatLevel.fill, colors::kCyan);
    EXPECT_EQ(v.StatusText, "");
    EXPECT_FALSE(v.BusyPointer);
    EXPECT_FALSE(v.ProgressBar1Visible);
    EXPECT_EQ(v.LabRecordCnt.caption, "42");
    EXPECT_EQ(v.LabRecord.caption, "Log");
    EXPECT_EQ(v.ShapeRecordInd.fill, colors::kRed);
    EXPECT_EQ(h.in.st.RecordCnt, 42);
}

TEST(ManualCommand, QueuesTheTextUnchanged) {
    Harness h;
    h.connect();
    h.in.cmdSendCmnd_Click(" bt ");
    EXPECT_EQ(h.in.st.PendingCmnd, " bt ");
    h.tick();
    EXPECT_EQ(h.dialogs.messages(), std::vector<std::string>({"Command  bt  not found"}));
    h.in.cmdSendCmnd_Click("BT");
    h.tick();
    EXPECT_EQ(h.port.writtenCommands(), std::vector<std::string>({"BT"}));
    h.in.cmdSendCmnd_Click("");
    h.tick();
    EXPECT_EQ(h.port.writtenCommands().back(), "RD");
}

TEST(About, ShowsTheIdentifiedModel) {
    Harness h;
    h.in.mnuHelpAbout_Click();
    EXPECT_EQ(h.dialogs.aboutCaption, "About Fenwyd 8200");
    EXPECT_EQ(h.dialogs.aboutModel, "");
    std::string v = "V";
    h.in.SetProbeType(v);
    h.in.mnuProbeType820x_Click(2);
    h.in.mnuHelpAbout_Click();
    EXPECT_EQ(h.dialogs.aboutModel, "QM-8203");
}

}  // namespace
}  // namespace fenwyd::testing
