// The follower behind the graph and the large display: live readings with
// their gaps and units, the statistics since Clear Peak, the log's rows.
#include "ui/field_history.h"

#include <gtest/gtest.h>

#include "support/harness.h"

namespace fenwyd::ui {
namespace {

using fenwyd::testing::Harness;
using fenwyd::testing::Nx;
using fenwyd::testing::Rd;

class History : public ::testing::Test {
protected:
    void SetUp() override { h.in.addObserver(&history); }
    // One reply interpreted now; the clock then moves on by a reading.
    void reply(const std::string& text) {
        h.in.st.ProbeData = text;
        h.in.ProcessData(1);
        h.clock.wait(366);
    }
    Harness h;
    FieldHistory history{h.in.st};
};

TEST_F(History, ReadingsGapsAndUnits) {
    reply(Rd("1999", 'E', '0', 'G'));       // 1.999 mG
    reply(Rd("1999", 'E', '1', 'G'));       // 19.99 mG: another range, same series
    reply(Rd("1999", 'E', '1', 'G', 'O'));  // over range: a gap
    reply(Rd("1250", 'E', '1', 'T'));       // 1.25 uT: tesla is flux density too
    reply(Rd("1999", 'E', '0', 'V'));       // 19.99 V/m: another quantity
    const auto& live = history.live();
    ASSERT_EQ(live.size(), 5u);
    // The value as written (1.999), not the single-precision 1.99899995.
    EXPECT_DOUBLE_EQ(live[0].si, 1.999e-7);
    EXPECT_DOUBLE_EQ(live[1].si, 1.999e-6);
    EXPECT_TRUE(live[2].gap);
    EXPECT_DOUBLE_EQ(live[3].si, 1.25e-6);
    EXPECT_EQ(live[3].quantity, Quantity::FluxDensity);
    EXPECT_EQ(live[4].quantity, Quantity::ElectricField);
    EXPECT_EQ(live[1].utcMs - live[0].utcMs, 366);
    EXPECT_EQ(history.displayUnit().label, "V/m");
    EXPECT_EQ(history.overRangeCount(), 1);

    // Statistics per quantity, in tesla; the over-range reply is not a value.
    const RunningStats& flux = history.liveStats(Quantity::FluxDensity);
    EXPECT_EQ(flux.count(), 3);
    EXPECT_DOUBLE_EQ(flux.max().value, 1.999e-6);
    EXPECT_EQ(flux.max().at, live[1].utcMs);
    EXPECT_EQ(history.liveStats(Quantity::ElectricField).count(), 1);
}

TEST_F(History, ClearPeakStartsTheLiveStatisticsAgainButNotTheLog) {
    h.in.ToggleRecordOn();
    reply(Rd("1999"));
    reply(Rd("0500"));
    reply(Rd("0500", 'E', '0', 'G', 'U'));
    history.clearPeak();
    EXPECT_TRUE(history.liveStats(Quantity::FluxDensity).empty());
    EXPECT_EQ(history.underRangeCount(), 0);
    EXPECT_EQ(history.logStats(Quantity::FluxDensity).count(), 2);
    reply(Rd("0700"));
    EXPECT_DOUBLE_EQ(history.liveStats(Quantity::FluxDensity).max().value, 0.7e-7);
    EXPECT_TRUE(history.live()[2].gap);
    EXPECT_TRUE(history.live()[3].logged);
    EXPECT_FALSE(history.live()[2].logged);
}

TEST_F(History, LogStatisticsFollowTheRowsThroughEraseAndUpload) {
    h.in.ToggleRecordOn();
    for (const char* raw : {"1000", "2000", "3000"}) reply(Rd(raw));
    const RunningStats* s = &history.logStats(Quantity::FluxDensity);
    EXPECT_EQ(s->count(), 3);
    EXPECT_DOUBLE_EQ(s->mean(), 2e-7);
    EXPECT_EQ(s->max().at, 3);  // rows, not times

    h.in.LabRecordCntLab_Click();  // erase: the next reading is row 1
    reply(Rd("4000"));
    s = &history.logStats(Quantity::FluxDensity);
    EXPECT_EQ(s->count(), 1);
    EXPECT_DOUBLE_EQ(s->mean(), 4e-7);

    // Rows that come back out of order (an upload going back) are counted
    // again from the table.
    h.in.ToggleRecordOn();
    h.in.ToggleRecordOn();
    history.dataLogChanged({DataLogChange::Started, LogSource::Upload});
    h.in.st.UploadRecordOk = true;
    for (int32_t row : {1, 2, 1}) {
        h.in.st.RecordCnt = row;
        h.in.st.ProbeData = Nx(row == 2 ? "2000" : "1000", '1', 'T');
        h.in.ProcessData(5);
    }
    s = &history.logStats(Quantity::FluxDensity);
    EXPECT_EQ(s->count(), 1);
    EXPECT_DOUBLE_EQ(s->mean(), 1e-6);
    EXPECT_EQ(history.current().unitsLabel, "uT");  // the panel shows the upload
}

TEST_F(History, TheLinkGoingDownIsAGapAndTheHistoryIsBounded) {
    reply(Rd());
    history.linkLost(h.clock.utcMs());
    EXPECT_TRUE(history.probeLost());
    EXPECT_TRUE(history.live().back().gap);
    reply(Rd());
    EXPECT_FALSE(history.probeLost());

    Measurement r;
    r.unitsText = "Gauss";
    r.unitsLabel = "mG";
    r.quantity = Quantity::FluxDensity;
    r.valueText = "1";
    r.mantissa = 1;
    r.exponent = -3;
    for (std::size_t i = 0; i < kLiveHistoryLimit; ++i) {
        r.utcMs = static_cast<int64_t>(i) + 1;
        history.readingShown(r, 0);
    }
    EXPECT_EQ(history.live().size(), kLiveHistoryLimit);
    EXPECT_EQ(history.live().front().utcMs, 1);  // the oldest went first
}

}  // namespace
}  // namespace fenwyd::ui
