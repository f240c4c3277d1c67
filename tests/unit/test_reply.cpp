// What a probe reply shows and logs.
#include <gtest/gtest.h>

#include "support/harness.h"

namespace fenwyd::testing {
namespace {

class Reply : public ::testing::Test {
protected:
    void SetUp() override {
        h.in.st.ProbeModel = 8204;
        h.in.st.ProbeTypeAsked = 0;
    }
    void process(const std::string& data) {
        h.in.st.ProbeData = data;
        h.in.ProcessData(1);
    }
    Harness h;
};

TEST_F(Reply, AReadingFillsThePanel) {
    h.in.view.ProgressBar1Visible = true;
    h.in.view.BusyPointer = true;
    process(Rd("1999", 'E', '0', 'G', 'N', 'M', "15"));
    EXPECT_EQ(h.in.view.Label1, Rd("1999", 'E', '0', 'G', 'N', 'M', "15"));
    ASSERT_FALSE(h.in.view.List1.empty());
    EXPECT_EQ(h.in.view.List1.back(), h.in.view.Label1);
    EXPECT_EQ(h.in.view.LabXYZField.caption, "1.999");
    EXPECT_FLOAT_EQ(h.in.st.ReadingMantissa, 1.999f);
    EXPECT_EQ(h.in.st.ReadingExponent, -3);
    EXPECT_EQ(h.in.st.UnitsText, "Gauss");
    EXPECT_EQ(h.in.view.LabUnits.caption, "mG");
    EXPECT_EQ(h.in.view.LabRange.caption, "Range 0");
    EXPECT_EQ(h.in.view.LabBarGraph.caption, "75 %");
    EXPECT_EQ(h.in.view.StatusText, "QM-8204");
    EXPECT_EQ(h.in.st.ProbeTypeCode, "E");
    EXPECT_EQ(h.in.st.ProbeUnits, "G");
    EXPECT_EQ(h.in.st.ActualSamPerSec, 1);
    EXPECT_FALSE(h.in.view.ProgressBar1Visible);
    EXPECT_FALSE(h.in.view.BusyPointer);
    EXPECT_FALSE(h.in.view.LabOverRange.visible);
    EXPECT_FALSE(h.in.view.LabUnderRange.visible);
    EXPECT_GE(h.display.statusRepaints, 1);
    EXPECT_GE(h.display.repaints, 1) << "over/under labels repainted at once";
}

TEST_F(Reply, RangeTextAndPercent) {
    process(Rd("0100", 'E', '3', 'G', 'N', 'A', "00"));
    EXPECT_EQ(h.in.view.LabRange.caption, "AutoRange 3");
    EXPECT_EQ(h.in.view.LabBarGraph.caption, "0 %");
    process(Rd("0100", 'E', '3', 'G', 'N', 'a', "20"));
    EXPECT_EQ(h.in.view.LabRange.caption, "Range 3");
    EXPECT_EQ(h.in.view.LabBarGraph.caption, "100 %");
}

TEST_F(Reply, OverAndUnderRangeAreShownAndNeverLogged) {
    h.in.ToggleRecordOn();
    process(Rd("1999", 'E', '0', 'G', 'O'));
    EXPECT_TRUE(h.in.view.LabOverRange.visible);
    EXPECT_FALSE(h.in.view.LabUnderRange.visible);
    process(Rd("0001", 'E', '0', 'G', 'U'));
    EXPECT_TRUE(h.in.view.LabUnderRange.visible);
    EXPECT_FALSE(h.in.view.LabOverRange.visible);
    EXPECT_EQ(h.in.st.RecordCnt, 0);
    process(Rd("1234", 'E', '0', 'G', 'N'));
    EXPECT_FALSE(h.in.view.LabUnderRange.visible);
    EXPECT_EQ(h.in.st.RecordCnt, 1);
}

TEST_F(Reply, ALoggedReadingStoresTimeValueAndExponent) {
    h.clock.dayStartSeconds = 10 * 3600 + 15 * 60;  // 10:15:00
    h.in.ToggleRecordOn();
    process(Rd("1250", 'E', '1', 'T'));  // range 1 in tesla: /1000, exponent -6
    ASSERT_EQ(h.in.st.RecordCnt, 1);
    const auto& row = h.in.st.RecordData[1];
    EXPECT_FLOAT_EQ(row[0], static_cast<float>((10 * 3600 + 15 * 60) / 86400.0));
    EXPECT_FLOAT_EQ(row[1], 1.25f);
    EXPECT_FLOAT_EQ(row[2], -6.0f);
    EXPECT_FLOAT_EQ(h.in.st.RecordData[0][1], 0.0f) << "row 0 is never written";
}

TEST_F(Reply, BatteryVoltage) {
    process("@BT0895");
    EXPECT_EQ(h.in.view.LabBattery.caption, "8.95 V");
    process("@BT0900");
    EXPECT_EQ(h.in.view.LabBattery.caption, "9 V");
}

TEST_F(Reply, ShortOrCorruptReadingsAreShownRawOnly) {
    process(Rd("1999"));
    const std::string shown = h.in.view.LabXYZField.caption;
    h.in.view.ProgressBar1Visible = true;
    h.in.view.BusyPointer = true;
    const std::string sixteen = Rd("1234").substr(0, 16);
    process(sixteen);
    EXPECT_FALSE(h.in.view.ProgressBar1Visible);
    EXPECT_FALSE(h.in.view.BusyPointer);
    EXPECT_EQ(h.in.view.Label1, sixteen);
    EXPECT_EQ(h.in.view.LabXYZField.caption, shown);
    for (const std::string& bad : {Rd("1234", 'E', 'x'), Rd("1234", 'E', '0', 'G', 'N', 'M', "1?"),
                                   Rd("1234", 'E', '0', 'G', 'N', 'M', "  "),
                                   std::string("@RD\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 17)}) {
        process(bad);
        EXPECT_EQ(h.in.view.LabXYZField.caption, shown);
        EXPECT_EQ(h.in.view.Label1, bad);
    }
    EXPECT_EQ(h.in.st.ActualSamPerSec, 1);
}

TEST_F(Reply, List1IsBounded) {
    for (int i = 0; i < 1500; ++i) process("junk " + std::to_string(i));
    ASSERT_EQ(h.in.view.List1.size(), kList1Bound);
    EXPECT_EQ(h.in.view.List1.back(), "junk 1499");
    EXPECT_EQ(h.in.view.List1.front(), "junk 500");
    EXPECT_EQ(h.in.view.List1Appended, 1500u);
}

TEST_F(Reply, TheLogFillsTo32000AndStops) {
    h.in.ToggleRecordOn();
    h.in.st.RecordCnt = 31999;
    process(Rd("0032"));
    EXPECT_EQ(h.in.st.RecordCnt, 32000);
    EXPECT_EQ(h.in.st.RecordOn, 0);
    EXPECT_FLOAT_EQ(h.in.st.RecordData[32000][1], 0.032f);
    EXPECT_TRUE(h.in.view.mnuFileSaveAs.enabled);
    process(Rd("0033"));
    EXPECT_EQ(h.in.st.RecordCnt, 32000);
    EXPECT_FLOAT_EQ(h.in.st.RecordData[32000][1], 0.032f);
}

TEST_F(Reply, AFullLogLeftByAnUploadIsNeverOverrun) {
    // An upload can leave the count at 32000 while logging is still on.
    h.in.ToggleRecordOn();
    h.in.st.RecordCnt = 32000;
    process(Rd("0033"));
    EXPECT_EQ(h.in.st.RecordCnt, 32000);
    EXPECT_EQ(h.in.st.RecordOn, 0);
}

TEST_F(Reply, AStoredReadingGoesToTheAnnouncedRowEvenWithoutUpload) {
    h.in.st.ProbeData = "@LG0005";
    h.in.GetDataNumber(2);
    ASSERT_EQ(h.in.st.RecordCnt, 5);
    process(Nx("1250", '1', 'T', 'N', 'A', "10"));
    EXPECT_FLOAT_EQ(h.in.st.RecordData[5][0], 5.0f);
    EXPECT_FLOAT_EQ(h.in.st.RecordData[5][1], 1.25f);
    EXPECT_FLOAT_EQ(h.in.st.RecordData[5][2], -6.0f);
    EXPECT_EQ(h.in.view.LabXYZField.caption, "1.25");
    EXPECT_EQ(h.in.view.LabRange.caption, "AutoRange 1");
    EXPECT_EQ(h.in.view.LabBarGraph.caption, "50 %");
    EXPECT_EQ(h.in.view.LabUnits.caption, "uT");
    EXPECT_EQ(h.in.st.RecordCnt, 5);
}

TEST_F(Reply, StoredReadingsOutOfRangeAreShownWithTheirWarningAndStoredAnyway) {
    struct Case {
        char state;
        bool over, under;
        const char* raw;
        float value;
    };
    // In range last: it must clear the warning left by the one before.
    const Case cases[] = {
        {'O', true, false, "1999", 1.999f},
        {'U', false, true, "0001", 0.001f},
        {'N', false, false, "1250", 1.25f},
    };
    int16_t record = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        ++record;
        h.in.st.ProbeData = "@LG000" + std::to_string(record);
        h.in.GetDataNumber(2);
        process(Nx(c.raw, '1', 'T', c.state));
        EXPECT_EQ(h.in.view.LabOverRange.visible, c.over);
        EXPECT_EQ(h.in.view.LabUnderRange.visible, c.under);
        EXPECT_EQ(h.in.st.RecordCnt, record);
        EXPECT_FLOAT_EQ(h.in.st.RecordData[static_cast<std::size_t>(record)][1], c.value);
    }
}

TEST_F(Reply, StoredReadingShowsTheNumbersOwnShortestForm) {
    h.in.st.ProbeData = "@LG0001";
    h.in.GetDataNumber(2);
    process(Nx("0500", '2', 'G'));  // "50.0" converted back: 50
    EXPECT_EQ(h.in.view.LabXYZField.caption, "50");
}

TEST_F(Reply, RecordNumbers) {
    struct Case {
        std::string data;
        int16_t lgPos;
        bool ok;
        int32_t cnt;
    };
    const Case cases[] = {
        {"@lg0005", 2, true, 5},      // letters of any case
        {"X0007", 0, true, 7},        // no "LG": from position 2
        {"@LG32000", 2, true, 3200},  // four characters only
        {"@LG-001", 2, false, 0},     // not a row
        {"@LG", 2, false, 0},         // nothing after "LG"
        {"", 0, false, 0},            // silence
        {"@LG 1E9", 2, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        Harness fresh;
        fresh.in.st.ProbeData = c.data;
        fresh.in.GetDataNumber(c.lgPos);
        EXPECT_EQ(fresh.in.st.UploadRecordOk, c.ok);
        EXPECT_EQ(fresh.in.st.RecordCnt, c.cnt);
    }
}

TEST_F(Reply, ARejectedRecordNumberStoresNothing) {
    h.in.st.ProbeData = "@LG0003";
    h.in.GetDataNumber(2);
    process(Nx("1111"));
    h.in.st.ProbeData = "@LG-999";
    h.in.GetDataNumber(2);
    process(Nx("2222"));
    EXPECT_EQ(h.in.st.RecordCnt, 3);
    EXPECT_FLOAT_EQ(h.in.st.RecordData[3][1], 1.111f);
}

TEST_F(Reply, AValueThatIsNotANumberIsCorruptNotZero) {
    h.in.ToggleRecordOn();
    for (const std::string& raw : {std::string("19\0"
                                               "9",
                                               4),
                                   std::string("12x4"), std::string("    ")}) {
        SCOPED_TRACE(raw);
        process(Rd(raw));
        EXPECT_EQ(h.in.view.Label1, Rd(raw)) << "the raw text is still shown";
        EXPECT_EQ(h.in.view.LabXYZField.caption, "No Probe");
        EXPECT_EQ(h.in.st.ActualSamPerSec, 0);
        EXPECT_EQ(h.in.st.RecordCnt, 0);
    }
    h.in.st.UploadRecordOk = true;
    h.in.st.RecordCnt = 4;
    h.in.st.RecordData[4][1] = 7;
    process(Nx("1?50"));
    EXPECT_FLOAT_EQ(h.in.st.RecordData[4][1], 7) << "a stored reading the same";
}

TEST_F(Reply, AFloodedReplyIsCutInTheRawList) {
    const std::string flood(64 * 1024, 'x');
    process(flood);
    EXPECT_EQ(h.in.view.List1.back(), flood.substr(0, kList1ItemChars) + kList1CutMark);
    process("@BT0900");
    EXPECT_EQ(h.in.view.List1.back(), "@BT0900");
}
TEST_F(Reply, TheLastRecordOfAnUploadSaysItCompleted) {
    h.in.mnuProbeUploadData_Click();
    process("@NS0002");
    EXPECT_EQ(h.in.view.StatusText, "Uploading 2 data points.  Please wait...");
    h.in.st.ProbeData = "@LG0002";
    h.in.GetDataNumber(2);
    EXPECT_EQ(h.in.st.UploadActive, 0);
    EXPECT_EQ(h.in.view.StatusText, "Uploaded 2 data points.");
}

}  // namespace
}  // namespace fenwyd::testing
