// A probe-memory upload as the operator runs it after a normal start-up,
// and a live log after it, against a scripted probe that answers every
// command the way the real one does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "support/harness.h"

namespace fenwyd::testing {
namespace {

using Cmds = std::vector<std::string>;

std::string FourDigits(std::size_t n) {
    char text[16];
    std::snprintf(text, sizeof text, "%04zu", n);
    return text;
}

class Upload : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(h.folder.path() / "Fenwyd8200.cfg",
                  " 2 \r\nV/m\r\n" + h.folder.str() + "\r\n2\r\n 30 \r\n");
        h.in.Form_Load();
        // The rate tick copies the count into the same caption; stopped, so
        // the caption seen is the one the upload sets.
        h.in.HRTCalSamPerSec().setEnabled(false);
        h.port.responder = [this](const std::string& cmd) { return answer(cmd); };
        // The first replies set the probe up and queue a battery reading.
        for (int i = 0; i < 5; ++i) h.tick();
        ASSERT_EQ(h.port.writtenCommands(), Cmds({"RD", "RD", "RD", "RD", "BT", "KR"}));
        h.port.clearWrites();
    }

    std::string answer(const std::string& cmd) {
        if (cmd == "RD") return reading;
        if (cmd == "BT") return Bt("0895");
        if (cmd == "NS") return Ns(FourDigits(stored.size()));
        if (cmd == "SP") {
            next = 0;
            return "@SP";
        }
        if (cmd == "NX") {
            // The record number at once, its "lg" in lower case; the stored
            // reading half a second later, inside the second wait.
            next = std::min(next + 1, stored.size());
            h.port.feed("@lg" + FourDigits(next));
            if (next != lostReading) h.port.feed(stored[next - 1], 500);
            return "";
        }
        return "@" + cmd;
    }

    // Runs a whole upload: "NS", "SP", then one "NX" per stored reading.
    void uploadAll() {
        h.in.mnuProbeUploadData_Click();
        for (std::size_t i = 0; i < stored.size() + 2 && h.in.st.UploadActive == 1; ++i) h.tick();
    }

    const ViewState& v() const { return h.in.view; }

    Harness h;
    std::string reading = Rd();
    // Range 1 in tesla on the QM-8204: 1, 1.1 and 1.2 times 10^-6.
    std::vector<std::string> stored = {Nx("1000"), Nx("1100"), Nx("1200")};
    std::size_t next = 0;
    std::size_t lostReading = 0;  // record whose reading never arrives; 0: none
};

TEST_F(Upload, AWholeUploadFromStartUp) {
    ASSERT_FALSE(v().mnuFileSaveAs.enabled) << "nothing to save after start-up";
    h.in.mnuProbeUploadData_Click();
    EXPECT_TRUE(v().BusyPointer);
    EXPECT_TRUE(v().ProgressBar1Visible);

    h.tick();
    EXPECT_EQ(h.port.writtenCommands(), Cmds({"NS"}));
    EXPECT_EQ(v().StatusText, "Uploading 3 data points.  Please wait...");
    EXPECT_EQ(v().ProgressBar1Max, 4);
    h.tick();
    EXPECT_EQ(h.port.writtenCommands(), Cmds({"NS", "SP"}));

    const float values[] = {1.0f, 1.1f, 1.2f};
    for (int record = 1; record <= 3; ++record) {
        SCOPED_TRACE(record);
        const bool last = record == 3;
        h.port.clearWrites();
        h.tick();
        EXPECT_EQ(h.port.writtenCommands(), Cmds({"NX", "KR"}));
        EXPECT_EQ(v().LabRecordCnt.caption, std::to_string(record));
        EXPECT_EQ(v().ProgressBar1Value, record);
        EXPECT_EQ(h.in.st.UploadActive, last ? 0 : 1);
        EXPECT_EQ(v().BusyPointer, !last) << "the hourglass lasts the whole upload";
        EXPECT_EQ(v().mnuFileSaveAs.enabled, last);
        const auto& row = h.in.st.RecordData[static_cast<std::size_t>(record)];
        EXPECT_FLOAT_EQ(row[0], static_cast<float>(record)) << "sample number, not a time";
        EXPECT_FLOAT_EQ(row[1], values[record - 1]);
        EXPECT_FLOAT_EQ(row[2], -6.0f);
    }
    EXPECT_EQ(h.in.st.RecordCnt, 3);
    EXPECT_EQ(h.in.st.DataUploaded, 1);

    h.port.clearWrites();
    h.tick();
    EXPECT_EQ(h.port.writtenCommands(), Cmds({"RD"})) << "reading again";
    EXPECT_FALSE(v().ProgressBar1Visible);

    // A second upload counts again from the start.
    h.in.mnuProbeUploadData_Click();
    EXPECT_EQ(v().ProgressBar1Value, 0);
    h.port.clearWrites();
    h.tick();
    h.tick();
    EXPECT_EQ(h.port.writtenCommands(), Cmds({"NS", "SP"}));
}

TEST_F(Upload, TheResultStaysAtLeastFiveSecondsWhileTheReadingsGoOn) {
    h.in.HRTCalSamPerSec().setEnabled(true);  // its ticks count the result's time
    h.in.mnuProbeUploadData_Click();
    double doneAt = -1;
    h.clock.onProcessEvents = [&] {
        if (doneAt < 0 && h.in.st.UploadActive == 0) doneAt = h.clock.nowMs();
    };
    for (int i = 0; i < 8 && doneAt < 0; ++i) h.tick();
    ASSERT_GE(doneAt, 0);
    h.in.HRTReadProbe().setEnabled(true);
    while (h.clock.nowMs() < doneAt + 5000) {
        ASSERT_EQ(v().StatusText, "Uploaded 3 data points.") << h.clock.nowMs() - doneAt;
        h.clock.advance(50);
    }
    h.clock.advance(1000);
    EXPECT_EQ(v().StatusText, "QM-8204") << "then the model again";
}

TEST_F(Upload, TheLastRecordNumberCompletesItEvenWhenItsReadingIsLost) {
    lostReading = 3;
    uploadAll();
    // The last transaction had no second part: silence, so no "KR" came to
    // restore the pointer.
    EXPECT_EQ(h.port.writtenCommands(), Cmds({"NS", "SP", "NX", "KR", "NX", "KR", "NX"}));
    EXPECT_EQ(h.in.st.TimeOut, 1);
    EXPECT_EQ(h.in.st.UploadActive, 0);
    EXPECT_FALSE(v().BusyPointer);
    EXPECT_TRUE(v().mnuFileSaveAs.enabled);
    EXPECT_EQ(h.in.st.RecordCnt, 3);
}

TEST_F(Upload, ALiveLogAfterAnUploadIsSavedWithTimesOfDay) {
    h.in.ToggleRecordOn();
    h.tick();
    h.in.ToggleRecordOn();
    ASSERT_TRUE(v().tbButtons[kTbSave].enabled);
    ASSERT_TRUE(v().tbButtons[kTbZoomOut].enabled);
    uploadAll();
    ASSERT_EQ(h.in.st.UploadActive, 0);
    ASSERT_EQ(h.in.st.DataUploaded, 1);
    ASSERT_TRUE(v().mnuFileSaveAs.enabled);

    // The second start shuts everything the first stop and the upload opened.
    h.in.ToggleRecordOn();
    EXPECT_FALSE(v().tbButtons[kTbSave].enabled);
    EXPECT_FALSE(v().tbButtons[kTbZoomOut].enabled);
    EXPECT_FALSE(v().mnuFileSaveAs.enabled);
    EXPECT_EQ(h.in.st.DataUploaded, 0);
    EXPECT_EQ(h.in.st.RecordCnt, 0);

    // Two readings a second apart, the first at 10:15:00.
    h.clock.dayStartSeconds = 10 * 3600 + 15 * 60 - (h.clock.nowMs() + 300) / 1000.0;
    reading = Rd("1250");
    h.tick();
    h.clock.wait(700);
    reading = Rd("1300");
    h.tick();
    h.in.ToggleRecordOn();

    const auto file = h.folder.path() / "live.csv";
    h.dialogs.saveChoice = file.string();
    h.in.mnuFileSaveAs_Click();
    const std::string text = ReadFile(file);
    const std::string rows =
        "EndHeader\r\nTime ,Field Gauss\r\n10:15:00,1.25E-3\r\n10:15:01,1.3E-3\r\n";
    ASSERT_GE(text.size(), rows.size()) << text;
    EXPECT_EQ(text.substr(text.size() - rows.size()), rows) << text;
}

}  // namespace
}  // namespace fenwyd::testing
