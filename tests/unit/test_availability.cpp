// Which commands the operator may use, as one function of the state: a
// table of states against what is available, and the procedures that change
// the state showing exactly that.
#include "instrument/availability.h"

#include <gtest/gtest.h>

#include "support/harness.h"

namespace fenwyd::testing {
namespace {

// The availability as letters, one column each: Save as, save Button, Log
// switch, Pause, zoom In, zoom Out, Units menu, Clear peak, baTtery
// interval, uploaD; '.' for not available.
std::string Letters(const Availability& a) {
    const std::pair<bool, char> columns[] = {
        {a.saveAs, 'S'},          {a.saveButton, 'B'}, {a.logSwitch, 'L'}, {a.logPause, 'P'},
        {a.zoomIn, 'I'},          {a.zoomOut, 'O'},    {a.unitsMenu, 'U'}, {a.clearPeak, 'C'},
        {a.batteryInterval, 'T'}, {a.upload, 'D'},
    };
    std::string s;
    for (const auto& [on, letter] : columns) s += on ? letter : '.';
    return s;
}

TEST(Availability, OneFunctionOfTheState) {
    struct Row {
        const char* state;
        uint8_t recordOn;
        int16_t upload;
        LogHistory h;  // started, stopped, upload ended, loaded
        const char* expect;
    };
    const Row rows[] = {
        {"after start-up", 0, 0, {}, "..L...UCTD"},
        {"logging", 1, 0, {true, false, false, false}, "..LP......"},
        {"paused", 2, 0, {true, false, false, false}, "..LP......"},
        {"stopped", 0, 0, {true, true, false, false}, "SBL..O.CTD"},
        {"uploading", 0, 1, {}, "......UCTD"},
        {"upload ended", 0, 0, {false, false, true, false}, "S.L...UCTD"},
        {"a log loaded", 0, 0, {false, false, false, true}, "SBL...UCTD"},
        {"uploading after a stop", 0, 1, {true, true, false, false}, "SB...O.CTD"},
        {"logging again after all that", 1, 0, {true, true, true, true}, "..LP......"},
    };
    for (const Row& r : rows) {
        InstrumentState st;
        st.RecordOn = r.recordOn;
        st.UploadActive = r.upload;
        st.LogEvents = r.h;
        const Availability a = CommandsAvailable(st);
        EXPECT_EQ(Letters(a), r.expect) << r.state;
        EXPECT_FALSE(a.zero) << r.state << ": nothing ever allows Zero";
        // A report needs rows besides a log that could be saved.
        EXPECT_FALSE(a.report) << r.state;
        st.RecordCnt = 3;
        EXPECT_EQ(CommandsAvailable(st).report, a.saveAs && r.upload == 0) << r.state;
    }
}

TEST(Availability, LoggingCannotStartWhileAnUploadRuns) {
    Harness h;
    h.in.Form_Load();
    h.answerReadings(Rd());
    h.tick();  // the probe answers
    h.in.mnuProbeUploadData_Click();
    EXPECT_FALSE(h.in.view.mnuProbeRecord.enabled);
    EXPECT_FALSE(h.in.view.tbButtons[kTbRecord].enabled);
    h.in.ToggleRecordOn();  // a click that still gets through says why it does nothing
    EXPECT_EQ(h.in.st.RecordOn, 0);
    EXPECT_EQ(h.in.view.StatusText, "Logging cannot start while an upload runs.");
    // The probe stops answering: the upload ends, logging is possible again.
    h.answerReadings("");
    for (int i = 0; i < 8 && h.in.st.UploadActive == 1; ++i) h.tick();
    ASSERT_EQ(h.in.st.UploadActive, 0);
    EXPECT_TRUE(h.in.view.mnuProbeRecord.enabled);
    EXPECT_TRUE(h.in.view.tbButtons[kTbRecord].enabled);
    EXPECT_FALSE(h.in.view.mnuFileSaveAs.enabled) << "a terminated upload is not a saved log";
}

}  // namespace
}  // namespace fenwyd::testing
