// A data file holds readings of one unit: a log whose unit changed is saved
// as pages, one per run of rows in one unit, each headed with the unit of its
// rows, whatever the panel shows when it is saved.
#include <gtest/gtest.h>

#include "common/textconv.h"
#include "support/harness.h"

namespace fenwyd::testing {
namespace {

// A saved file without the lines that name it and the moment it was saved.
std::string Body(const std::string& text) {
    std::string out;
    for (const std::string& line : SplitLines(text)) {
        if (line.rfind("File,", 0) == 0 || line.rfind("Date,", 0) == 0 ||
            line.rfind("Time,", 0) == 0) {
            continue;
        }
        out += line + "\n";
    }
    return out;
}

// The data lines of a saved file.
std::vector<std::string> DataLines(const std::string& text) {
    const std::vector<std::string> lines = SplitLines(text);
    std::vector<std::string> data;
    bool after = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (after && !lines[i].empty()) data.push_back(lines[i]);
        if (lines[i] == "EndHeader") {
            after = true;
            ++i;  // the column titles
        }
    }
    return data;
}

std::string Line(const std::string& text, const std::string& start) {
    for (const std::string& line : SplitLines(text)) {
        if (line.rfind(start, 0) == 0) return line;
    }
    return "(none)";
}

class SaveUnits : public ::testing::Test {
protected:
    void SetUp() override { h.connect(); }
    void readings(const std::string& reply, int n) {
        h.answerReadings(reply);
        for (int i = 0; i < n; ++i) {
            h.in.st.PendingCmnd.clear();  // no battery request in between
            h.tick();
        }
    }
    std::string save(const std::string& name) {
        const std::string path = (h.folder.path() / name).string();
        EXPECT_TRUE(h.in.SaveData(path));
        return path;
    }
    Harness h;
};

TEST_F(SaveUnits, UnitsSteppedWhileLoggingGiveAFilePerUnit) {
    h.in.ToggleRecordOn();
    readings(Rd("0934", 'E', '0', 'G'), 3);       // 0.934 mG
    readings(Rd("1250", 'E', '1', 'T'), 2);       // 1.25 uT
    readings(Rd("1999", 'E', '1', 'T', 'O'), 1);  // over range: not logged
    readings(Rd("0500", 'E', '0', 'G'), 1);       // back in gauss
    h.in.ToggleRecordOn();
    ASSERT_EQ(h.in.st.RecordCnt, 6);

    save("run.csv");
    const std::string p1 = ReadFile(h.folder.path() / "run.csv");
    const std::string p2 = ReadFile(h.folder.path() / "run_2.csv");
    const std::string p3 = ReadFile(h.folder.path() / "run_3.csv");
    EXPECT_EQ(Line(p1, "Units,"), "Units,Gauss");
    EXPECT_EQ(Line(p1, "Time ,"), "Time ,Field Gauss");
    EXPECT_EQ(Line(p1, "Page,"), "Page,1 of 3");
    EXPECT_EQ(Line(p1, "Samples,"), "Samples,6");
    EXPECT_EQ(Line(p2, "Units,"), "Units,Tesla");
    EXPECT_EQ(Line(p2, "Time ,"), "Time ,Field Tesla");
    EXPECT_EQ(Line(p2, "Page,"), "Page,2 of 3");
    EXPECT_EQ(Line(p3, "Units,"), "Units,Gauss");
    EXPECT_EQ(Line(p3, "Page,"), "Page,3 of 3");
    // The rows as logged, in order, each in the file of its unit.
    std::vector<std::string> all;
    for (const std::string* p : {&p1, &p2, &p3}) {
        for (const std::string& l : DataLines(*p)) all.push_back(l.substr(l.find(',') + 1));
    }
    EXPECT_EQ(all, std::vector<std::string>(
                       {"0.934E-3", "0.934E-3", "0.934E-3", "1.25E-6", "1.25E-6", "0.5E-3"}));

    // Saved again while the panel shows another unit: the same files.
    readings(Rd("0100", 'E', '2', 'V'), 1);
    ASSERT_EQ(h.in.st.UnitsText, "V/m");
    save("again.csv");
    EXPECT_EQ(Body(ReadFile(h.folder.path() / "again.csv")), Body(p1));
    EXPECT_EQ(Body(ReadFile(h.folder.path() / "again_3.csv")), Body(p3));
}

TEST_F(SaveUnits, ALogOfOneUnitIsOneFileWhateverThePanelShows) {
    h.in.ToggleRecordOn();
    readings(Rd("0934", 'E', '0', 'G'), 2);
    h.in.ToggleRecordOn();
    readings(Rd("1250", 'E', '1', 'T'), 1);  // the panel now shows uT
    save("one.csv");
    const std::string text = ReadFile(h.folder.path() / "one.csv");
    EXPECT_EQ(Line(text, "Units,"), "Units,Gauss");
    EXPECT_EQ(Line(text, "Page,"), "Page,1 of 1");
    EXPECT_FALSE(std::filesystem::exists(h.folder.path() / "one_2.csv"));
}

TEST_F(SaveUnits, UploadedReadingsKeepTheirOwnUnit) {
    readings(Rd("1250", 'E', '1', 'T'), 1);  // the panel shows uT
    std::size_t next = 0;
    const std::vector<std::string> stored = {Nx("0880", '1', 'G'), Nx("0900", '1', 'G', 'O')};
    h.port.responder = [&](const std::string& cmd) -> std::string {
        if (cmd == "NS") return Ns("0002");
        if (cmd == "SP") return "@SP";
        if (cmd == "NX") {
            next = std::min(next + 1, stored.size());
            h.port.feed(Lg("000" + std::to_string(next)));
            h.port.feed(stored[next - 1], 500);
        }
        return "";
    };
    h.in.mnuProbeUploadData_Click();
    for (int i = 0; i < 6 && h.in.st.UploadActive == 1; ++i) h.tick();
    ASSERT_EQ(h.in.st.UploadActive, 0);
    ASSERT_EQ(h.in.st.RecordCnt, 2);
    readings(Rd("1250", 'E', '1', 'T'), 1);  // and uT again

    save("upload.csv");
    const std::string text = ReadFile(h.folder.path() / "upload.csv");
    EXPECT_EQ(Line(text, "Units,"), "Units,Gauss");
    // A stored reading the probe flagged is stored all the same, and flagged.
    EXPECT_EQ(DataLines(text), std::vector<std::string>({"1,8.8E-3", "2,9E-3"}));
    EXPECT_NE(h.in.st.RecordInfo[2].flags & kRowOverRange, 0);
    EXPECT_EQ(h.in.st.RecordInfo[1].flags & kRowOverRange, 0);
}

TEST_F(SaveUnits, PagesOfAFullLogAndAChangeOfUnitTogether) {
    const std::vector<UnitRun> runs = {{1, 40000, "Gauss"}, {40001, 40010, "Tesla"}};
    const std::vector<UnitRun> pages = PlanPages(40010, runs, "V/m");
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].last, 32000);
    EXPECT_EQ(pages[1].first, 32001);
    EXPECT_EQ(pages[1].last, 40000);
    EXPECT_EQ(pages[2].unitsText, "Tesla");
    // Rows the runs leave out are in the log's present units; no rows at all
    // is one empty page.
    EXPECT_EQ(PlanPages(5, {{3, 5, "Tesla"}}, "Gauss")[0].unitsText, "Gauss");
    ASSERT_EQ(PlanPages(0, {}, "Gauss").size(), 1u);
    EXPECT_EQ(PlanPages(0, {}, "Gauss")[0].last, 0);
}

TEST_F(SaveUnits, OpenedAgainAndSavedGivesTheFilesTheFirstSaveGave) {
    h.in.ToggleRecordOn();
    readings(Rd("0934", 'E', '0', 'G'), 2);
    readings(Rd("1250", 'E', '1', 'T'), 2);
    h.in.ToggleRecordOn();
    save("first.csv");

    // Any page names the log: all its pages come back, each in its unit.
    for (const char* chosen : {"first.csv", "first_2.csv"}) {
        Harness other;
        SavedLog log;
        std::string error;
        ASSERT_TRUE(ReadSavedLog((h.folder.path() / chosen).string(), log, error)) << error;
        EXPECT_FALSE(log.incomplete);
        ASSERT_EQ(log.pages.size(), 2u);
        ASSERT_TRUE(other.in.LoadDataLog(RowsOfSavedLog(log), false, log.pages[0].unitsText,
                                         DataLogChange{}));
        const std::string again = (other.folder.path() / "again.csv").string();
        ASSERT_TRUE(other.in.SaveData(again));
        EXPECT_EQ(Body(ReadFile(again)), Body(ReadFile(h.folder.path() / "first.csv")));
        EXPECT_EQ(Body(ReadFile(other.folder.path() / "again_2.csv")),
                  Body(ReadFile(h.folder.path() / "first_2.csv")));
    }

    // A page alone: what it holds, said to be incomplete.
    std::filesystem::remove(h.folder.path() / "first_2.csv");
    SavedLog log;
    std::string error;
    ASSERT_TRUE(ReadSavedLog((h.folder.path() / "first.csv").string(), log, error));
    EXPECT_TRUE(log.incomplete);
    ASSERT_EQ(log.pages.size(), 1u);
    EXPECT_EQ(log.pages[0].rows.size(), 2u);
}

}  // namespace
}  // namespace fenwyd::testing
