// The reading and stored-reading layouts: checked, then cut; and laid out
// again the same way.
#include "measure/reply_layout.h"

#include <gtest/gtest.h>

namespace fenwyd {
namespace {

TEST(ReplyLayout, ReadingsCutAtTheirPositions) {
    const auto r = CutReply(ReplyKind::Reading, "@RD1234V2A OA 07L");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->value, "1234");
    EXPECT_EQ(r->model, "V");
    EXPECT_EQ(r->range, 2);
    EXPECT_EQ(r->units, "A");
    EXPECT_TRUE(r->overRange());
    EXPECT_FALSE(r->underRange());
    EXPECT_EQ(r->autoRange, "A");
    EXPECT_EQ(r->percentSteps, 7);

    const auto s = CutReply(ReplyKind::Stored, "NX0500 3T U M12E");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->value, "0500");
    EXPECT_EQ(s->range, 3);
    EXPECT_EQ(s->units, "T");
    EXPECT_TRUE(s->underRange());
    EXPECT_EQ(s->autoRange, "M");
    EXPECT_EQ(s->percentSteps, 12);
    EXPECT_EQ(s->model, "E");
}

TEST(ReplyLayout, CorruptRepliesAreRefused) {
    struct Case {
        ReplyKind kind;
        const char* reply;
        bool ok;
    };
    const Case cases[] = {
        {ReplyKind::Reading, "@RD1999E0G NM 15-", true},
        {ReplyKind::Reading, "@RD1999E0G NM 15-tail", true},  // longer is fine
        {ReplyKind::Reading, "@RD1999E0G NM 15", false},      // one short
        {ReplyKind::Reading, "@RD19?9E0G NM 15-", false},     // value not a number
        {ReplyKind::Reading, "@RD1999EXG NM 15-", false},     // range not a digit
        {ReplyKind::Reading, "@RD1999E0G NM 1?-", false},     // percent not digits
        {ReplyKind::Reading, "@RD1999E0G NM   -", false},     // percent blank
        {ReplyKind::Reading, "@XX1999E0G NM 15-", false},     // not a reading
        {ReplyKind::Reading, "NX1999 0G N M15E", false},
        {ReplyKind::Stored, "NX1999 0G N M15E", true},
        {ReplyKind::Stored, "NX1999 0G N M15", false},
        {ReplyKind::Stored, "NX1999 ?G N M15E", false},
        {ReplyKind::Stored, "NX1.99 0G N M15E", false},
        {ReplyKind::Stored, "nx1999 0G N M15E", false},
        {ReplyKind::Stored, "@RD1999E0G NM 15-", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CutReply(c.kind, c.reply).has_value(), c.ok) << c.reply;
    }
}

TEST(ReplyLayout, LaidOutRepliesCutBackToTheirFields) {
    ReplyText t;
    t.value = "0042";
    t.model = 'V';
    t.range = '1';
    t.units = 'T';
    t.rangeState = 'U';
    t.autoRange = 'A';
    t.percent = "03";
    t.battery = 'L';
    EXPECT_EQ(LayOutReply(ReplyKind::Reading, t), "@RD0042V1T UA 03L");
    EXPECT_EQ(LayOutReply(ReplyKind::Stored, t), "NX0042 1T U A03V");
    for (ReplyKind kind : {ReplyKind::Reading, ReplyKind::Stored}) {
        const std::string text = LayOutReply(kind, t);
        EXPECT_EQ(text.size(), ReplyLength(kind));
        const auto r = CutReply(kind, text);
        ASSERT_TRUE(r) << text;
        EXPECT_EQ(r->value, "0042");
        EXPECT_EQ(r->model, "V");
        EXPECT_EQ(r->range, 1);
        EXPECT_EQ(r->units, "T");
        EXPECT_EQ(r->rangeState, "U");
        EXPECT_EQ(r->autoRange, "A");
        EXPECT_EQ(r->percentSteps, 3);
    }
}

}  // namespace
}  // namespace fenwyd

namespace fenwyd {
namespace {

TEST(ReplyLayout, BatteryCountAndRecordNumberFields) {
    struct Case {
        ReplyKind kind;
        const char* reply;
        const char* field;  // nullptr: not this kind of reply
    };
    const Case cases[] = {
        {ReplyKind::Battery, "@BT0895", "0895"},
        {ReplyKind::Battery, "@BT08", "08"},  // short: what there is
        {ReplyKind::Battery, "@BT", ""},
        {ReplyKind::Battery, "@bt0895", nullptr},
        {ReplyKind::Battery, "BT0895", nullptr},
        {ReplyKind::UploadCount, "@NS0012", "0012"},
        {ReplyKind::UploadCount, "@NS  12 0034", "0034"},  // the count is the last four
        {ReplyKind::UploadCount, "@NS1", "@NS1"},
        {ReplyKind::UploadCount, "@RD0012", nullptr},
        {ReplyKind::RecordNumber, "@LG0007", "0007"},
        {ReplyKind::RecordNumber, "xx@lg0042yy", "0042"},     // anywhere, in any case
        {ReplyKind::RecordNumber, "@LG0001@LG0002", "0001"},  // the first one
        {ReplyKind::RecordNumber, "@XX0007", "XX00"},         // no code: from position 2
    };
    for (const Case& c : cases) {
        const auto field = CutNumberField(c.kind, c.reply);
        ASSERT_EQ(field.has_value(), c.field != nullptr) << c.reply;
        if (field) EXPECT_EQ(*field, c.field) << c.reply;
    }
    EXPECT_EQ(FindRecordCode("@lG0001"), 2);
    EXPECT_EQ(FindRecordCode("@XX0001"), 0);
    // Only readings and stored readings cut into a measurement.
    EXPECT_FALSE(CutReply(ReplyKind::Battery, "@BT0895"));
}

TEST(ReplyLayout, NumberRepliesLaidOutAsTheProbeSendsThem) {
    ReplyText t;
    t.value = "0895";
    EXPECT_EQ(LayOutReply(ReplyKind::Battery, t), "@BT0895");
    t.value = "0012";
    EXPECT_EQ(LayOutReply(ReplyKind::UploadCount, t), "@NS0012");
    EXPECT_EQ(LayOutReply(ReplyKind::RecordNumber, t), "@LG0012");
    for (ReplyKind kind : {ReplyKind::Battery, ReplyKind::UploadCount, ReplyKind::RecordNumber}) {
        const std::string text = LayOutReply(kind, t);
        EXPECT_TRUE(HasReplyCode(kind, text)) << text;
        EXPECT_EQ(CutNumberField(kind, text).value_or("?"), "0012") << text;
    }
}

}  // namespace
}  // namespace fenwyd
