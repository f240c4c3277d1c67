// What the instrument tells its followers: readings, log rows in order with
// the life of the log, battery and link events.
#include <gtest/gtest.h>

#include <cmath>

#include "support/harness.h"

namespace fenwyd::testing {
namespace {

// Every event as one line, in order.
struct EventLog : InstrumentObserver {
    std::vector<std::string> events;
    std::vector<ReadingRecord> shown, stored;
    void readingShown(const ReadingRecord& r) override {
        shown.push_back(r);
        events.push_back("shown " + r.valueText + " row " + std::to_string(r.row));
    }
    void rowStored(const ReadingRecord& r) override {
        stored.push_back(r);
        events.push_back("row " + std::to_string(r.row));
    }
    void batteryRead(int64_t, double volts) override {
        events.push_back("battery " + std::to_string(std::lround(volts * 100)));
    }
    void linkLost(int64_t) override { events.push_back("lost"); }
    void linkBack(int64_t) override { events.push_back("back"); }
    void logStarted(LogSource s) override {
        events.push_back(s == LogSource::Live ? "start live" : "start upload");
    }
    void logStopped() override { events.push_back("stop"); }
    void logErased() override { events.push_back("erased"); }
    void logSaved(const std::vector<std::string>& files) override {
        events.push_back("saved " + std::to_string(files.size()));
    }
};

class Observer : public ::testing::Test {
protected:
    void SetUp() override {
        h.in.addObserver(&log);
        h.connect();
    }
    std::vector<std::string> take() {
        std::vector<std::string> e;
        e.swap(log.events);
        return e;
    }
    Harness h;
    EventLog log;
};

using Events = std::vector<std::string>;

TEST_F(Observer, ReadingsAndRowsInOrderWithTheLifeOfTheLog) {
    h.answerReadings(Rd("1250", 'E', '1', 'T', 'N', 'A', "10"));
    h.tick();
    EXPECT_EQ(take(), Events({"back", "shown 1.25 row 0"}));
    ASSERT_FALSE(log.shown.empty());
    const ReadingRecord& r = log.shown.back();
    EXPECT_EQ(r.model, 8204);
    EXPECT_FLOAT_EQ(r.mantissa, 1.25f);
    EXPECT_EQ(r.exponent, -6);
    EXPECT_EQ(r.unitsText, "Tesla");
    EXPECT_EQ(r.unitsLabel, "uT");
    EXPECT_EQ(r.range, 1);
    EXPECT_TRUE(r.autoRange);
    EXPECT_EQ(r.percent, 50);
    EXPECT_EQ(r.utcMs, h.clock.utcMs());

    h.in.ToggleRecordOn();
    h.tick();
    h.answerReadings(Rd("1999", 'E', '1', 'T', 'O'));
    h.tick();  // over range: shown, never stored
    ASSERT_FALSE(log.shown.empty());
    EXPECT_TRUE(log.shown.back().overRange);
    h.in.ToggleRecordOn();
    h.dialogs.saveChoice = h.folder.str() + "/run.csv";
    h.in.mnuFileSaveAs_Click();
    h.in.LabRecordCntLab_Click();
    EXPECT_EQ(take(), Events({"start live", "row 1", "shown 1.25 row 1", "shown 1.999 row 0",
                              "stop", "saved 1", "erased"}));
    ASSERT_EQ(log.stored.size(), 1u);
    EXPECT_EQ(log.stored[0].row, 1);
}

TEST_F(Observer, TheLastRowOfAFullLogComesBeforeItsStop) {
    h.answerReadings(Rd());
    h.in.ToggleRecordOn();
    h.in.st.RecordCnt = kMaxRecords - 1;
    take();
    h.tick();
    EXPECT_EQ(take(), Events({"back", "row 32000", "stop", "shown 1.999 row 32000"}));
}

TEST_F(Observer, BatteryAndTheLinkGoingAndComingBack) {
    h.port.responder = [](const std::string& c) { return c == "BT" ? "@BT0895" : ""; };
    h.in.st.PendingCmnd = "BT";
    h.tick();
    for (int i = 0; i < 5; ++i) h.tick();
    h.answerReadings(Rd());
    h.tick();
    EXPECT_EQ(take(), Events({"back", "battery 895", "lost", "back", "shown 1.999 row 0"}));
}

TEST_F(Observer, UploadedRowsAreStoredRows) {
    h.port.responder = [](const std::string& c) -> std::string {
        if (c == "NS") return "@NS0002";
        if (c == "NX") return "@LG0001";
        return c == "SP" ? "@SP" : "";
    };
    h.in.mnuProbeUploadData_Click();
    h.tick();  // NS
    h.tick();  // SP
    h.port.responder = [](const std::string& c) { return c == "NX" ? "@LG0001" : ""; };
    h.in.HRTReadProbe_Timer();
    // The stored reading arrives as the second part of the NX reply.
    h.in.st.ProbeData = Nx("0500", '2', 'G');
    h.in.ProcessData(5);
    EXPECT_EQ(take(), Events({"start upload", "back", "row 1"}));
    ASSERT_FALSE(log.stored.empty());
    EXPECT_EQ(log.stored.back().unitsText, "Gauss");
}

}  // namespace
}  // namespace fenwyd::testing
