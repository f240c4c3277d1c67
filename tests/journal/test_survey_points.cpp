// Survey points: marked from the reading on the panel (at once, or over a
// dwell on the virtual clock), numbered, kept in the journal with their log
// through close and reopen, loaded with it, and an older journal brought up
// to date; a place typed by hand read as a grid label and x, y.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "journal/journal.h"
#include "journal/recorder.h"
#include "journal/survey_book.h"
#include "position/place.h"
#include "support/harness.h"
#include "support/journal_fixtures.h"

namespace fenwyd::testing {
namespace {

using journal::StoredPoint;
using journal::SurveyBook;

struct FixedPositions : PositionSource {
    std::optional<Position> fix;
    std::optional<Position> positionAt(int64_t) override { return fix; }
};

Position Fix(double lat, double lon) {
    Position p;
    p.latitude = lat;
    p.longitude = lon;
    p.altitudeM = 61.7;
    p.ellipsoidHeightM = 108.9;
    p.fix = FixMode::ThreeD;
    p.fixUtcMs = 1796551200000;
    return p;
}

// The instrument, its journal and recorder, and the book after them.
struct Survey {
    explicit Survey(const std::string& journalPath) {
        EXPECT_TRUE(j.open(journalPath)) << j.error();
        h.in.addObserver(&rec);
        h.in.addObserver(&book);
        h.in.SetPositionSource(&gps);
        h.connect();
        h.answerReadings(Rd("1250", 'E', '1', 'T'));
    }
    ~Survey() { h.in.SetPositionSource(nullptr); }
    Harness h;
    journal::Journal j;
    journal::Recorder rec{j, h.clock, h.dialogs};
    FixedPositions gps;
    SurveyBook book{h.in, h.clock, &rec, &j};
};

class SurveyPoints : public ::testing::Test {
protected:
    std::string path() const { return (folder.path() / "journal.sqlite").string(); }
    TempFolder folder;
};

TEST_F(SurveyPoints, MarkedFromTheReadingOnThePanelWithAndWithoutAFix) {
    Survey s(path());
    EXPECT_FALSE(s.h.in.view.mnuProbeMarkPoint.enabled) << "no reading yet";
    EXPECT_FALSE(s.book.mark(0));
    s.gps.fix = Fix(52.2053, -1.51);
    s.h.tick();
    EXPECT_TRUE(s.h.in.view.mnuProbeMarkPoint.enabled);
    const int64_t markedAt = s.h.clock.utcMs();
    ASSERT_TRUE(s.book.mark(0));
    s.gps.fix.reset();  // the fix lost
    s.h.tick();
    ASSERT_TRUE(s.book.mark(0));
    s.h.answerReadings(Rd("1999", 'E', '1', 'T', 'O'));  // over range
    s.h.tick();
    ASSERT_TRUE(s.book.mark(0));

    const std::vector<StoredPoint>& p = s.book.points();
    ASSERT_EQ(p.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(p[i].point.number, i + 1);
    const SurveyPoint& first = p[0].point;
    EXPECT_EQ(first.value.text, "1.25");
    EXPECT_EQ(first.value.unit, "Tesla");
    EXPECT_EQ(first.value.label, "uT");
    EXPECT_EQ(first.range, 1);
    EXPECT_LE(first.utcMs, markedAt);
    EXPECT_GT(first.utcMs, markedAt - 1000) << "the time of the reading marked";
    ASSERT_TRUE(first.position);
    EXPECT_DOUBLE_EQ(first.position->latitude, 52.2053);
    EXPECT_DOUBLE_EQ(first.position->longitude, -1.51);
    EXPECT_FALSE(p[1].point.position) << "no fix: no position";
    EXPECT_GT(p[1].point.utcMs, first.utcMs);
    EXPECT_EQ(p[2].point.note, "Over Range");

    // The probe goes silent: "No Probe", nothing to mark.
    s.h.port.responder = [](const std::string&) { return std::string(); };
    for (int i = 0; i < 6; ++i) s.h.tick();
    EXPECT_FALSE(s.h.in.view.mnuProbeMarkPoint.enabled);
    EXPECT_FALSE(s.book.mark(0));
    EXPECT_EQ(s.book.points().size(), 3u);
}

TEST_F(SurveyPoints, ADwellKeepsTheMaximumAndMeanOfItsReadingsAtItsEnd) {
    Survey s(path());
    s.h.tick();  // 1.25 uT
    ASSERT_TRUE(s.book.mark(3));
    EXPECT_TRUE(s.book.dwelling());
    EXPECT_TRUE(s.book.points().empty()) << "kept at the end";
    EXPECT_FALSE(s.h.in.view.mnuProbeMarkPoint.enabled) << "one point at a time";
    EXPECT_EQ(s.book.statusText(), "Dwell for P1: 3 s left");
    s.h.answerReadings(Rd("1750", 'E', '1', 'T'));
    s.h.tick();
    s.h.answerReadings(Rd("9999", 'E', '1', 'T', 'O'));  // over range: not counted
    s.h.tick();
    s.h.answerReadings(Rd("1300", 'E', '1', 'T'));
    s.h.tick();
    s.h.answerReadings(Rd("1000", 'E', '0', 'G'));  // another unit: not counted
    s.h.tick();
    s.h.port.responder = [](const std::string&) { return std::string(); };
    ASSERT_TRUE(s.h.clock.runUntil([&] { return !s.book.dwelling(); }, 5000));
    ASSERT_EQ(s.book.points().size(), 1u);
    const SurveyPoint& p = s.book.points()[0].point;
    EXPECT_EQ(p.value.text, "1.25") << "the reading when it was marked";
    ASSERT_TRUE(p.dwell);
    EXPECT_EQ(p.dwell->seconds, 3);
    EXPECT_NEAR(p.dwell->maximum, 1.75e-6, 1e-15) << "in the base unit (Tesla)";
    EXPECT_NEAR(p.dwell->mean, (1.25e-6 + 1.75e-6 + 1.30e-6) / 3, 1e-15);
    EXPECT_EQ(s.book.statusText(), "");
    EXPECT_EQ(s.j.logs()[0].points, 1) << "in the journal";
}

TEST_F(SurveyPoints, KeptWithTheirLogThroughCloseAndReopen) {
    int64_t logId = 0;
    {
        Survey s(path());
        s.gps.fix = Fix(52.2, -1.5);
        s.h.tick();
        ASSERT_TRUE(s.book.mark(0));  // before any log: a log of its own begins
        ASSERT_EQ(s.j.logs().size(), 1u);
        s.h.in.ToggleRecordOn();  // its rows join the log of the point
        s.h.tick();
        s.h.tick();
        ASSERT_TRUE(s.book.mark(0));
        ASSERT_TRUE(s.book.mark(0));
        s.h.in.ToggleRecordOn();
        EXPECT_TRUE(s.book.rename(1, "Gate \"A\", north"));
        EXPECT_TRUE(s.book.setPlace(2, "B4 (3.5, -2)"));
        EXPECT_TRUE(s.book.setNote(2, "by the transformer"));
        EXPECT_TRUE(s.book.remove(3));
        EXPECT_FALSE(s.book.remove(3));
        const auto logs = s.j.logs();
        ASSERT_EQ(logs.size(), 1u) << "one log: the points' and the rows'";
        EXPECT_EQ(logs[0].points, 2);
        EXPECT_GE(logs[0].rows, 2);
        logId = logs[0].id;
        s.rec.programEnding();
    }
    Survey again(path());
    const auto log = again.j.log(logId);
    ASSERT_TRUE(log);
    ASSERT_TRUE(journal::LoadLog(again.j, again.h.in, *log));
    const std::vector<StoredPoint>& p = again.book.points();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].point.name, "Gate \"A\", north");
    ASSERT_TRUE(p[0].point.position);
    EXPECT_DOUBLE_EQ(p[0].point.position->latitude, 52.2);
    EXPECT_DOUBLE_EQ(p[0].point.position->ellipsoidHeightM.value_or(0), 108.9);
    EXPECT_EQ(p[1].place, "B4 (3.5, -2)");
    ASSERT_TRUE(p[1].point.local);
    EXPECT_EQ(p[1].point.local->grid, "B4");
    EXPECT_EQ(p[1].point.local->xM, 3.5);
    EXPECT_EQ(p[1].point.local->yM, -2.0);
    EXPECT_EQ(p[1].point.note, "by the transformer");
    // Marking goes on with the loaded log, after its highest number.
    again.h.tick();
    ASSERT_TRUE(again.book.mark(0));
    EXPECT_EQ(again.book.points().back().point.number, 3);
    EXPECT_EQ(again.j.log(logId)->points, 3);
    // A new log with rows of its own starts without them.
    again.h.in.ToggleRecordOn();
    EXPECT_TRUE(again.book.points().empty());
    again.h.tick();
    ASSERT_TRUE(again.book.mark(0));
    EXPECT_EQ(again.book.points()[0].point.number, 1);
    EXPECT_EQ(again.j.log(logId)->points, 3) << "the old log keeps its points";
}

TEST_F(SurveyPoints, ACrashedLogIsRestoredWithItsPoints) {
    {
        Survey s(path());
        s.h.in.ToggleRecordOn();
        s.h.tick();
        ASSERT_TRUE(s.book.mark(0));
        ASSERT_TRUE(s.book.rename(1, "Gate"));
        s.h.tick();
        ASSERT_TRUE(s.book.mark(0));
        s.j.close();  // the program died: no normal end
    }
    Survey next(path());
    journal::OfferRestore(next.j, next.h.in, next.h.dialogs);
    EXPECT_EQ(next.h.dialogs.count("yesno"), 1);
    ASSERT_EQ(next.book.points().size(), 2u);
    EXPECT_EQ(next.book.points()[0].point.name, "Gate");
    EXPECT_EQ(next.book.points()[1].point.number, 2);
}

TEST_F(SurveyPoints, AVersion3JournalOpensAndTakesPoints) {
    {
        Survey s(path());
        s.h.in.ToggleRecordOn();
        for (int i = 0; i < 3; ++i) s.h.tick();
        s.h.in.ToggleRecordOn();
        s.rec.programEnding();
    }
    {
        // As the program before points left it.
        Sql old(path());
        ASSERT_TRUE(old.exec("DROP TABLE point"));
        ASSERT_TRUE(old.exec("PRAGMA user_version=3"));
    }
    Survey s(path());
    EXPECT_EQ(Sql(path()).value("PRAGMA user_version"), journal::kSchemaVersion);
    const auto logs = s.j.logs();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].rows, 3);
    EXPECT_EQ(logs[0].points, 0);
    ASSERT_TRUE(journal::LoadLog(s.j, s.h.in, logs[0]));
    s.h.tick();
    ASSERT_TRUE(s.book.mark(0));
    EXPECT_EQ(s.j.log(logs[0].id)->points, 1);
    EXPECT_TRUE(s.j.deleteLog(logs[0].id) == false) << "the data log holds it";
}

TEST(Place, GridLabelsAndMetres) {
    struct Row {
        const char* typed;
        std::optional<LocalPosition> want;
    };
    const Row rows[] = {
        {"B4", LocalPosition{"B4", std::nullopt, std::nullopt}},
        {"3.5, -2", LocalPosition{"", 3.5, -2.0}},
        {"x=3.5; y=-2 m", LocalPosition{"", 3.5, -2.0}},
        {"B4 (3.5, -2)", LocalPosition{"B4", 3.5, -2.0}},
        {"Hall A: 10, .5 m", LocalPosition{"Hall A", 10.0, 0.5}},
        {"Room 12", LocalPosition{"Room 12", std::nullopt, std::nullopt}},
        {"B12, 3", LocalPosition{"B12, 3", std::nullopt, std::nullopt}},  // no blank: a label
        {"  \t", std::nullopt},
    };
    for (const Row& r : rows) {
        const std::optional<LocalPosition> got = ParsePlace(r.typed);
        ASSERT_EQ(got.has_value(), r.want.has_value()) << r.typed;
        if (!got) continue;
        EXPECT_EQ(got->grid, r.want->grid) << r.typed;
        EXPECT_EQ(got->xM, r.want->xM) << r.typed;
        EXPECT_EQ(got->yM, r.want->yM) << r.typed;
    }
}

}  // namespace
}  // namespace fenwyd::testing
