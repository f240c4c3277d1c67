// What the instrument tells its followers: readings, log rows in order with
// the life of the log, battery and link events.
#include <gtest/gtest.h>

#include <cmath>

#include "support/harness.h"

namespace fenwyd::testing {
namespace {

// A reading and the row it went into.
struct Shown : Measurement {
    int32_t row = 0;
};

// Every event as one line, in order.
struct EventLog : InstrumentObserver {
    std::vector<std::string> events;
    std::vector<Shown> shown, stored;
    void readingShown(const Measurement& m, int32_t row) override {
        shown.push_back({m, row});
        events.push_back("shown " + m.valueText + " row " + std::to_string(row));
    }
    void dataLogChanged(const DataLogChange& c) override {
        switch (c.kind) {
            case DataLogChange::RowStored:
                stored.push_back({*c.reading, c.row});
                events.push_back("row " + std::to_string(c.row));
                break;
            case DataLogChange::Started:
                events.push_back(c.source == LogSource::Live ? "start live" : "start upload");
                break;
            case DataLogChange::Stopped: events.push_back("stop"); break;
            case DataLogChange::Erased: events.push_back("erased"); break;
            case DataLogChange::Loaded:
                events.push_back("loaded " + std::to_string(static_cast<int>(c.origin)));
                break;
        }
    }
    void batteryRead(int64_t, double volts) override {
        events.push_back("battery " + std::to_string(std::lround(volts * 100)));
    }
    void linkLost(int64_t) override { events.push_back("lost"); }
    void linkBack(int64_t) override { events.push_back("back"); }
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
    const Shown& r = log.shown.back();
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
    h.port.responder = [](const std::string& c) { return c == "BT" ? Bt("0895") : ""; };
    h.in.st.PendingCmnd = "BT";
    h.tick();
    for (int i = 0; i < 5; ++i) h.tick();
    h.answerReadings(Rd());
    h.tick();
    EXPECT_EQ(take(), Events({"back", "battery 895", "lost", "back", "shown 1.999 row 0"}));
}

TEST_F(Observer, UploadedRowsAreStoredRows) {
    h.port.responder = [](const std::string& c) -> std::string {
        if (c == "NS") return Ns("0002");
        if (c == "NX") return Lg("0001");
        return c == "SP" ? "@SP" : "";
    };
    h.in.mnuProbeUploadData_Click();
    h.tick();  // NS
    h.tick();  // SP
    h.port.responder = [](const std::string& c) { return c == "NX" ? Lg("0001") : ""; };
    h.tick();
    // The stored reading arrives as the second part of the NX reply.
    h.in.st.ProbeData = Nx("0500", '2', 'G');
    h.in.ProcessData(5);
    EXPECT_EQ(take(), Events({"start upload", "back", "row 1"}));
    ASSERT_FALSE(log.stored.empty());
    EXPECT_EQ(log.stored.back().unitsText, "Gauss");
}

}  // namespace
}  // namespace fenwyd::testing
