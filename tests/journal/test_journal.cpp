// The session journal against a real SQLite file in a fresh folder.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>

#include "datalog/data_file.h"
#include "datalog/export.h"
#include "journal/journal.h"
#include "journal/recorder.h"
#include "support/harness.h"
#include "support/home.h"
#include "support/journal_fixtures.h"

namespace fenwyd::testing {
namespace {

namespace fs = std::filesystem;
using journal::Journal;
using journal::JournalRow;
using journal::LogSummary;

// A reading as a row of the data log holds it.
JournalRow Row(int32_t row, float mantissa, int16_t exponent, float logTime) {
    JournalRow r;
    r.row = row;
    r.logTime = logTime;
    r.reading.utcMs = 1796551200000 + row * 366;
    r.reading.mantissa = mantissa;
    r.reading.exponent = exponent;
    r.reading.unitsText = "Tesla";
    r.reading.model = 8204;
    return r;
}

bool Add(Journal& j, int64_t id, const JournalRow& r) { return j.addRow(id, r); }

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class JournalFile : public ::testing::Test {
protected:
    std::string path() const { return (folder.path() / "j" / "journal.sqlite").string(); }
    TempFolder folder;
};

TEST_F(JournalFile, RowsComeBackBitForBit) {
    Journal j;
    ASSERT_TRUE(j.open(path())) << j.error();
    int64_t id = 0;
    ASSERT_TRUE(j.beginLog(LogSource::Live, 1796551200000, 3600, id));
    std::mt19937 g(7);
    std::vector<JournalRow> written;
    for (int i = 1; i <= 500; ++i) {
        // Any float the data log can hold, the awkward ones included.
        uint32_t bits = g();
        float m = 0;
        std::memcpy(&m, &bits, sizeof m);
        if (!std::isfinite(m)) m = 1.0f / 3.0f;
        written.push_back(Row(i, m, static_cast<int16_t>(i % 7 - 3), 0.4270833f + i * 4e-6f));
        ASSERT_TRUE(Add(j, id, written.back())) << j.error();
    }
    std::vector<LoggedRow> rows;
    ASSERT_TRUE(j.rows(id, rows));
    ASSERT_EQ(rows.size(), written.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_TRUE(SameBits(rows[i].reading.mantissa, written[i].reading.mantissa)) << i;
        EXPECT_TRUE(SameBits(rows[i].logTime, written[i].logTime)) << i;
        EXPECT_EQ(rows[i].reading.exponent, written[i].reading.exponent) << i;
        EXPECT_EQ(rows[i].reading.unitsText, "Tesla") << i;
        EXPECT_EQ(rows[i].reading.utcMs, written[i].reading.utcMs) << i;
    }
    const LogSummary s = *j.log(id);
    EXPECT_EQ(s.rows, 500);
    EXPECT_EQ(s.units, "Tesla");
    EXPECT_EQ(s.model, 8204);
    EXPECT_EQ(s.startedOffsetS, 3600);
}

TEST_F(JournalFile, WhichLogIsOfferedAfterACrash) {
    // Each run: what it did with its logs, then how it ended (close() without
    // the normal end is how a crash looks to the next run).
    struct Case {
        const char* what;
        int rows, saveAfter;  // rows written; save after this many (0: never)
        bool normalEnd, anotherLog;
        bool offered;
    };
    const Case cases[] = {
        {"crash with unsaved rows", 5, 0, false, false, true},
        {"crash, rows saved", 5, 5, false, false, false},
        {"crash, rows after the save", 5, 3, false, false, true},
        {"normal end with unsaved rows", 5, 0, true, false, false},
        {"crash without rows", 0, 0, false, false, false},
        {"an older log replaced by a newer one", 5, 0, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder f;
        const std::string p = (f.path() / "journal.sqlite").string();
        int64_t first = 0, last = 0;
        {
            Journal j;
            ASSERT_TRUE(j.open(p));
            for (int log = 0; log < (c.anotherLog ? 2 : 1); ++log) {
                int64_t id = 0;
                ASSERT_TRUE(j.beginLog(LogSource::Live, 1796551200000 + log, 0, id));
                (log == 0 ? first : last) = id;
                last = id;
                for (int i = 1; i <= c.rows; ++i) {
                    Add(j, id, Row(i, 1.5f, -3, 0.5f));
                    if (i == c.saveAfter) j.markSaved(id, {"/data/run.csv"}, 1796551300000);
                }
            }
            if (c.normalEnd) j.markNormalEnd(last);
        }
        Journal next;
        ASSERT_TRUE(next.open(p));
        const auto crashed = next.crashedLog();
        ASSERT_EQ(crashed.has_value(), c.offered);
        if (crashed) {
            EXPECT_EQ(crashed->id, last) << "the newest one only";
            EXPECT_EQ(crashed->rows - crashed->savedRows, c.rows - c.saveAfter);
            next.markRestoreOffered(crashed->id);
            EXPECT_FALSE(next.crashedLog()) << "offered once";
        }
        EXPECT_NE(first, 0);
    }
}

TEST_F(JournalFile, ALogOfARunStillGoingIsNotACrash) {
    Journal running;
    ASSERT_TRUE(running.open(path()));
    int64_t id = 0;
    running.beginLog(LogSource::Live, 1, 0, id);
    Add(running, id, Row(1, 1, 0, 0));
    Journal second;  // a second window on the same journal
    ASSERT_TRUE(second.open(path()));
    EXPECT_FALSE(second.crashedLog());
}

TEST_F(JournalFile, OldLogsAreDroppedButNeverTheNewestUnsavedOne) {
    Journal j;
    ASSERT_TRUE(j.open(path()));
    constexpr int64_t kDay = 86400000;
    const int64_t now = 1796551200000;
    std::vector<int64_t> ids;
    // 205 logs, one a day back from 300 days ago; the oldest one unsaved.
    for (int i = 0; i < 205; ++i) {
        int64_t id = 0;
        j.beginLog(LogSource::Live, now - (300 - i) * kDay, 0, id);
        Add(j, id, Row(1, 1, 0, 0));
        if (i != 0) j.markSaved(id, {"f.csv"}, now);
        ids.push_back(id);
    }
    const int dropped = j.dropOld(now, ids.front());
    const std::vector<LogSummary> left = j.logs();
    // Kept: the unsaved one and the logs of the last 90 days (days 300-90 .. 96 back).
    EXPECT_EQ(left.back().id, ids.front());
    for (std::size_t i = 0; i + 1 < left.size(); ++i) {
        EXPECT_GE(left[i].startedUtcMs, now - 90 * kDay);
    }
    EXPECT_EQ(static_cast<int>(left.size()) + dropped, 205);
    EXPECT_LE(left.size(), 200u);

    // Beyond 200 logs, however young.
    for (int i = 0; i < 230; ++i) {
        int64_t id = 0;
        j.beginLog(LogSource::Live, now + i, 0, id);
    }
    j.dropOld(now + 1000, ids.front());
    EXPECT_EQ(j.logs().size(), 200u);
    EXPECT_EQ(j.logs().back().id, ids.front());
}

TEST_F(JournalFile, ACorruptFileOrAFolderItCannotWriteIsReported) {
    fs::create_directories(folder.path() / "j");
    WriteFile(path(), std::string(8192, '\x5a'));  // not a database
    Journal j;
    EXPECT_FALSE(j.open(path()));
    EXPECT_FALSE(j.error().empty());
    EXPECT_FALSE(j.isOpen());
    EXPECT_EQ(ReadFile(path()), std::string(8192, '\x5a')) << "left as it was";

    // A folder where the database would be a file.
    Journal k;
    EXPECT_FALSE(k.open((folder.path() / "j").string()));
    EXPECT_FALSE(k.error().empty());
}

TEST_F(JournalFile, ANewerProgramsJournalIsLeftAlone) {
    {
        Journal j;
        ASSERT_TRUE(j.open(path()));
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "bump");
        db.setDatabaseName(QString::fromStdString(path()));
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(QStringLiteral("PRAGMA user_version=99"));
        db.close();
    }
    QSqlDatabase::removeDatabase("bump");
    Journal j;
    EXPECT_FALSE(j.open(path()));
    EXPECT_NE(j.error().find("99"), std::string::npos) << j.error();
}

TEST_F(JournalFile, AnOlderJournalOpensWithItsLogsTheirCountsAndItsCrash) {
    fs::create_directories(folder.path() / "j");
    OldJournal old;
    old.logs = 3;
    old.rowsPerLog = 40;
    old.newestCrashed = true;
    std::string error;
    ASSERT_TRUE(WriteVersion1Journal(path(), old, error)) << error;
    Journal j;
    ASSERT_TRUE(j.open(path())) << j.error();
    const std::vector<LogSummary> logs = j.logs();
    ASSERT_EQ(logs.size(), 3u);
    for (const LogSummary& s : logs) EXPECT_EQ(s.rows, 40) << s.id;
    EXPECT_EQ(logs[1].savedRows, 40);
    EXPECT_EQ(logs[1].files.size(), 1u);
    const auto crashed = j.crashedLog();
    ASSERT_TRUE(crashed);
    EXPECT_EQ(crashed->id, logs[0].id);
    EXPECT_EQ(crashed->rows - crashed->savedRows, 40);
    // And it goes on counting.
    ASSERT_TRUE(j.addRow(logs[0].id, Row(41, 1, 0, 0)));
    EXPECT_EQ(j.log(logs[0].id)->rows, 41);
    EXPECT_EQ(Sql(path()).value(QStringLiteral("PRAGMA user_version")), journal::kSchemaVersion);
}

TEST_F(JournalFile, ALogsCountIsItsRowsWhateverHappensToThem) {
    Journal j;
    ASSERT_TRUE(j.open(path()));
    int64_t a = 0, b = 0;
    ASSERT_TRUE(j.beginLog(LogSource::Live, 1, 0, a));
    ASSERT_TRUE(j.beginLog(LogSource::Upload, 2, 0, b));
    for (int i = 1; i <= 10; ++i) ASSERT_TRUE(j.addRow(a, Row(i, 1, 0, 0)));
    for (int i = 1; i <= 4; ++i) ASSERT_TRUE(j.addRow(b, Row(i, 2, 0, 0)));
    ASSERT_TRUE(j.addRow(a, Row(5, 9, 0, 0)));  // the same row again: replaced
    ASSERT_TRUE(j.markSaved(a, {"a.csv"}, 3));
    Sql sql(path());
    for (int64_t id : {a, b}) {
        const int64_t counted =
            sql.value(QStringLiteral("SELECT COUNT(*) FROM reading WHERE log_id = %1").arg(id));
        EXPECT_EQ(j.log(id)->rows, counted) << id;
    }
    EXPECT_EQ(j.log(a)->rows, 10);
    EXPECT_EQ(j.log(a)->savedRows, 10);
    std::vector<LoggedRow> rows;
    ASSERT_TRUE(j.rows(a, rows));
    EXPECT_EQ(rows[4].reading.mantissa, 9);
}

TEST_F(JournalFile, DamagedPagesCostOnlyWhatIsOnThem) {
    fs::create_directories(folder.path() / "j");
    OldJournal old;
    old.logs = 3;
    old.rowsPerLog = 3000;
    std::string error;
    ASSERT_TRUE(WriteVersion1Journal(path(), old, error)) << error;
    {
        Journal first;  // brought up to date while it is whole
        ASSERT_TRUE(first.open(path()));
    }
    // A page in the middle of the readings: the second log's.
    const int64_t page = MiddleLeaf(path(), "reading");
    ASSERT_GT(page, 0);
    DamagePage(path(), page);

    Journal j;
    ASSERT_TRUE(j.open(path())) << j.error();
    const std::vector<LogSummary> logs = j.logs();
    ASSERT_EQ(logs.size(), 3u) << "every log is listed";
    std::vector<LoggedRow> rows;
    EXPECT_TRUE(j.rows(logs[0].id, rows));
    EXPECT_EQ(rows.size(), 3000u);
    EXPECT_TRUE(j.rows(logs[2].id, rows));
    EXPECT_EQ(rows.size(), 3000u);
    EXPECT_FALSE(j.rows(logs[1].id, rows)) << "the damaged log says so";
    EXPECT_FALSE(j.error().empty());
}

TEST_F(JournalFile, ADamagedListOfLogsShowsWhatCanBeRead) {
    fs::create_directories(folder.path() / "j");
    OldJournal old;
    old.logs = 400;
    old.rowsPerLog = 0;
    std::string error;
    ASSERT_TRUE(WriteVersion1Journal(path(), old, error)) << error;
    {
        Journal first;
        ASSERT_TRUE(first.open(path()));
    }
    const int64_t page = MiddleLeaf(path(), "log");
    ASSERT_GT(page, 0);
    DamagePage(path(), page);

    Journal j;
    ASSERT_TRUE(j.open(path())) << j.error();
    const std::vector<LogSummary> logs = j.logs();
    EXPECT_LT(logs.size(), 400u);
    ASSERT_FALSE(logs.empty());
    // Both sides of the damaged page.
    EXPECT_EQ(logs.front().id, 400);
    EXPECT_EQ(logs.back().id, 1);
    EXPECT_GT(logs.size(), 250u) << "all but the damaged page's";
}

// The recorder between the instrument and the journal.
class Recording : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(j.open((h.folder.path() / "journal.sqlite").string()));
        h.in.addObserver(&rec);
        h.connect();
        h.answerReadings(Rd("1250", 'E', '1', 'T'));
    }
    Harness h;
    Journal j;
    journal::Recorder rec{j, h.clock, h.dialogs};
};

// A receiver that has a fix until told otherwise.
struct FakePositions : PositionSource {
    std::optional<Position> fix;
    std::optional<Position> positionAt(int64_t) override { return fix; }
};

TEST_F(Recording, EachRowKeepsWhereItWasTakenAndNoPlaceIsInvented) {
    FakePositions gps;
    h.in.SetPositionSource(&gps);
    Position p;
    p.latitude = 51.4816;
    p.longitude = -3.1791;
    p.altitudeM = 12.5;
    p.fix = FixMode::ThreeD;
    p.fixUtcMs = 1796551200123;
    h.in.ToggleRecordOn();
    gps.fix = p;
    h.tick();
    gps.fix.reset();  // the fix lost
    h.tick();
    p.fix = FixMode::TwoD;
    p.altitudeM.reset();
    gps.fix = p;
    h.tick();
    h.in.ToggleRecordOn();
    ASSERT_GE(h.in.st.RecordCnt, 3);
    std::vector<LoggedRow> rows;
    ASSERT_TRUE(j.rows(j.logs()[0].id, rows));
    ASSERT_EQ(static_cast<int32_t>(rows.size()), h.in.st.RecordCnt);
    for (int32_t i = 1; i <= h.in.st.RecordCnt; ++i) {
        // The journal gives back what the data log holds.
        const Measurement kept = h.in.LoggedReading(i);
        const std::optional<Position>& back =
            rows[static_cast<std::size_t>(i - 1)].reading.position;
        ASSERT_EQ(kept.position.has_value(), back.has_value()) << i;
        if (!back) continue;
        EXPECT_DOUBLE_EQ(back->latitude, kept.position->latitude);
        EXPECT_DOUBLE_EQ(back->longitude, kept.position->longitude);
        EXPECT_EQ(back->fix, kept.position->fix);
        EXPECT_EQ(back->altitudeM.has_value(), kept.position->altitudeM.has_value());
    }
    const std::optional<Position>& first = rows[0].reading.position;
    ASSERT_TRUE(first);
    EXPECT_DOUBLE_EQ(first->latitude, 51.4816);
    EXPECT_DOUBLE_EQ(first->longitude, -3.1791);
    EXPECT_DOUBLE_EQ(first->altitudeM.value_or(0), 12.5);
    EXPECT_EQ(first->fixUtcMs, 1796551200123);
    EXPECT_FALSE(rows[1].reading.position) << "no fix: no position";
    ASSERT_TRUE(rows[2].reading.position);
    EXPECT_EQ(rows[2].reading.position->fix, FixMode::TwoD);
    EXPECT_FALSE(rows[2].reading.position->altitudeM);
}

TEST_F(Recording, EveryLoggedRowIsInTheJournalAsTheDataLogHoldsIt) {
    h.tick();  // not logging: nothing kept
    EXPECT_TRUE(j.logs().empty());
    h.in.ToggleRecordOn();
    for (int i = 0; i < 4; ++i) h.tick();
    h.in.ToggleRecordOn();
    const auto logs = j.logs();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_NE(logs[0].endedUtcMs, 0);
    std::vector<LoggedRow> rows;
    ASSERT_TRUE(j.rows(logs[0].id, rows));
    ASSERT_EQ(static_cast<int32_t>(rows.size()), h.in.st.RecordCnt);
    for (int i = 1; i <= h.in.st.RecordCnt; ++i) {
        EXPECT_TRUE(SameBits(rows[i - 1].logTime, h.in.st.RecordData[i][kLogColTime]));
        EXPECT_TRUE(SameBits(rows[i - 1].reading.mantissa, h.in.st.RecordData[i][kLogColValue]));
        EXPECT_EQ(rows[i - 1].reading.exponent, h.in.st.RecordData[i][kLogColExponent]);
    }
    EXPECT_EQ(rec.unsavedRows(), h.in.st.RecordCnt);
    h.dialogs.saveChoice = (h.folder.path() / "run.csv").string();
    h.in.mnuFileSaveAs_Click();
    EXPECT_EQ(rec.unsavedRows(), 0);
    EXPECT_EQ(j.logs()[0].savedRows, h.in.st.RecordCnt);
    ASSERT_EQ(j.logs()[0].files.size(), 1u);
}

TEST_F(Recording, ErasingTheCountStartsANewLogAndKeepsTheOld) {
    h.in.ToggleRecordOn();
    h.tick();
    h.tick();
    h.in.LabRecordCntLab_Click();
    h.tick();
    const auto logs = j.logs();
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_EQ(logs[1].rows, 2);
    EXPECT_EQ(logs[0].rows, 1);
}

TEST_F(Recording, AFullDiskIsReportedWithoutStoppingAndTheRowsFollowLater) {
    h.in.ToggleRecordOn();
    h.tick();
    DiskFull(true);
    // Enough rows for the database to need another page.
    for (int i = 0; i < 300; ++i) h.tick();
    EXPECT_GT(h.in.st.RecordCnt, 290) << "logging went on";
    EXPECT_EQ(h.dialogs.count("message"), 0) << "no box that waits for a click";
    ASSERT_EQ(h.dialogs.count("notice"), 1) << "said once";
    EXPECT_NE(h.dialogs.shown.back().text.find("journal.sqlite"), std::string::npos);
    EXPECT_TRUE(j.isOpen());

    DiskFull(false);  // room again
    h.clock.advance(10000);
    for (int i = 0; i < 2; ++i) h.tick();
    std::vector<LoggedRow> rows;
    ASSERT_TRUE(j.rows(j.logs()[0].id, rows));
    ASSERT_EQ(static_cast<int32_t>(rows.size()), h.in.st.RecordCnt) << "none lost";
    for (int i = 1; i <= h.in.st.RecordCnt; ++i) {
        ASSERT_TRUE(SameBits(rows[i - 1].logTime, h.in.st.RecordData[i][kLogColTime])) << i;
    }
    EXPECT_EQ(j.logs()[0].rows, h.in.st.RecordCnt);
    EXPECT_EQ(h.dialogs.count("notice"), 1);
}

TEST_F(Recording, AJournalLockedElsewhereIsNeitherWaitedForNorLeft) {
    h.in.ToggleRecordOn();
    h.tick();
    Sql other(j.path());
    ASSERT_TRUE(other.exec(QStringLiteral("BEGIN IMMEDIATE")));  // holds the write lock
    // Five readings take milliseconds; one wait for the lock would take
    // seconds.
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 5; ++i) h.tick();
    EXPECT_LT(t.elapsed(), 1500) << "the readings waited for the journal";
    h.clock.advance(5000);  // still locked after a while: said, without a box
    EXPECT_TRUE(j.isOpen());
    EXPECT_EQ(h.dialogs.count("message"), 0);
    EXPECT_EQ(h.dialogs.count("notice"), 1);

    ASSERT_TRUE(other.exec(QStringLiteral("ROLLBACK")));
    h.clock.advance(5000);
    h.tick();
    std::vector<LoggedRow> rows;
    ASSERT_TRUE(j.rows(j.logs()[0].id, rows));
    ASSERT_EQ(static_cast<int32_t>(rows.size()), h.in.st.RecordCnt);
    EXPECT_GE(rows.size(), 7u) << "the rows of the locked time are there";
    for (int i = 1; i <= h.in.st.RecordCnt; ++i) {
        EXPECT_TRUE(SameBits(rows[i - 1].logTime, h.in.st.RecordData[i][kLogColTime])) << i;
    }
}

TEST_F(Recording, TheLogBeingRecordedKeepsEveryRowWhoeverDeletesIt) {
    h.in.ToggleRecordOn();
    h.tick();
    h.tick();
    const int64_t running = rec.currentLog();
    EXPECT_FALSE(j.deleteLog(running)) << "not the log this program writes";
    h.tick();
    // Another program's "Open" deletes it all the same.
    Journal other;
    ASSERT_TRUE(other.open(j.path()));
    ASSERT_TRUE(other.deleteLog(running));
    const int32_t before = h.in.st.RecordCnt;
    h.tick();
    h.tick();
    h.tick();
    Sql sql(j.path());
    EXPECT_EQ(sql.value(QStringLiteral(
                  "SELECT COUNT(*) FROM reading WHERE log_id NOT IN (SELECT id FROM log)")),
              0)
        << "no row without a log";
    const std::vector<LogSummary> logs = j.logs();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_GT(h.in.st.RecordCnt, before);
    EXPECT_EQ(logs[0].rows, h.in.st.RecordCnt - before)
        << "the rows after the deletion are in a listed log";
    EXPECT_EQ(rec.currentLog(), logs[0].id);
}

TEST_F(Recording, AJournalThatFailsIsReportedOnceAndLoggingGoesOn) {
    bool told = false;
    rec.onFailure = [&] { told = true; };
    h.in.ToggleRecordOn();
    h.tick();
    {
        // Something else breaks the database under the program.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "breaker");
        db.setDatabaseName(QString::fromStdString(j.path()));
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("DROP TABLE reading")));
        db.close();
    }
    QSqlDatabase::removeDatabase("breaker");
    h.tick();
    h.tick();
    EXPECT_TRUE(told);
    // Said without a box that waits for a click.
    EXPECT_TRUE(h.dialogs.messages().empty());
    ASSERT_EQ(h.dialogs.notices().size(), 1u);
    EXPECT_NE(h.dialogs.notices()[0].find("journal.sqlite"), std::string::npos);
    EXPECT_FALSE(j.isOpen());
    EXPECT_EQ(h.in.st.RecordCnt, 3) << "logging went on";
    EXPECT_EQ(rec.unsavedRows(), 3);
}

TEST_F(Recording, RestoreAfterACrashLoadsTheRowsWhenAsked) {
    h.in.ToggleRecordOn();
    for (int i = 0; i < 3; ++i) h.tick();
    const auto before = h.in.st.RecordData;
    j.close();  // the program died: no normal end

    for (bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        Harness next;
        Journal again;
        ASSERT_TRUE(again.open((h.folder.path() / "journal.sqlite").string()));
        if (!yes) {
            // Asked the first time only: answer No, then it waits for Open.
            next.dialogs.yesNoAnswers = {false};
        } else {
            // Not asked again; Open loads it.
        }
        journal::Recorder r{again, next.clock, next.dialogs};
        next.in.addObserver(&r);
        next.in.Form_Load();
        journal::OfferRestore(again, next.in, next.dialogs);
        if (!yes) {
            EXPECT_EQ(next.dialogs.count("yesno"), 1);
            EXPECT_EQ(next.in.st.RecordCnt, 0);
            continue;
        }
        EXPECT_EQ(next.dialogs.count("yesno"), 0);
        const auto logs = again.logs();
        ASSERT_FALSE(logs.empty());
        ASSERT_TRUE(journal::LoadLog(again, next.in, logs[0]));
        EXPECT_EQ(next.in.st.RecordCnt, 3);
        EXPECT_TRUE(next.in.view.mnuFileSaveAs.enabled);
        EXPECT_EQ(next.in.st.UnitsText, "Tesla");
        for (int i = 1; i <= 3; ++i) EXPECT_EQ(next.in.st.RecordData[i], before[i]);
        EXPECT_EQ(r.unsavedRows(), 3);
    }
}

TEST_F(Recording, ACrashedLogIsOfferedUntilItIsSavedOrDeclined) {
    h.in.ToggleRecordOn();
    for (int i = 0; i < 3; ++i) h.tick();
    j.close();  // the program died
    const std::string path = (h.folder.path() / "journal.sqlite").string();

    struct Died {};
    // Each start: how the restore question is answered (or not: the
    // program ends while it is open), then whether that run dies too.
    struct Start {
        const char* what;
        enum { Yes, No, EndedWhileAsked } answer;
        bool asked;
        bool dies;
    };
    const Start starts[] = {
        {"ended with the question open", Start::EndedWhileAsked, true, true},
        {"Yes, then another crash", Start::Yes, true, true},
        {"asked again: No", Start::No, true, false},
        {"No means not again", Start::No, false, false},
    };
    for (const Start& s : starts) {
        SCOPED_TRACE(s.what);
        Harness next;
        Journal again;
        ASSERT_TRUE(again.open(path));
        journal::Recorder r{again, next.clock, next.dialogs};
        next.in.addObserver(&r);
        next.in.Form_Load();
        if (s.answer == Start::EndedWhileAsked) next.dialogs.onAsk = [] { throw Died{}; };
        next.dialogs.yesNoAnswers = {s.answer == Start::Yes};
        try {
            journal::OfferRestore(again, next.in, next.dialogs);
        } catch (const Died&) {
        }
        EXPECT_EQ(next.dialogs.count("yesno"), s.asked ? 1 : 0);
        if (s.asked) {
            EXPECT_NE(next.dialogs.shown.back().text.find(" 3 readings"), std::string::npos)
                << next.dialogs.shown.back().text;
        }
        EXPECT_EQ(next.in.st.RecordCnt, s.answer == Start::Yes ? 3 : 0);
        if (!s.dies) next.in.Form_Unload(), r.programEnding();
        again.close();
    }
    Journal last;
    ASSERT_TRUE(last.open(path));
    ASSERT_EQ(last.logs().size(), 1u) << "Open keeps it";
    EXPECT_EQ(last.logs()[0].rows, 3);
}

TEST(DataFile, SavedOpenedAndSavedAgainGivesTheSameRows) {
    for (bool uploaded : {false, true}) {
        Harness h;
        h.in.st.UnitsText = "Gauss";
        h.in.st.DataUploaded = uploaded ? 1 : 0;
        h.in.st.RecordCnt = 3;
        h.in.st.RecordData[1] = {uploaded ? 1.0f : 0.4270833f, 1.999f, -3, 0, 0};
        h.in.st.RecordData[2] = {uploaded ? 2.0f : 0.4270949f, 12.5f, 0, 0, 0};
        h.in.st.RecordData[3] = {uploaded ? 3.0f : 0.9999942f, 1e-5f, 3, 0, 0};
        const std::string first = (h.folder.path() / "a.csv").string();
        const std::string second = (h.folder.path() / "b.csv").string();
        ASSERT_TRUE(h.in.SaveData(first));
        SavedLog file;
        std::string error;
        ASSERT_TRUE(ReadSavedLog(first, file, error)) << error;
        EXPECT_EQ(file.pages.at(0).uploaded, uploaded);
        ASSERT_TRUE(h.in.LoadDataLog(RowsOfSavedLog(file), uploaded, file.pages[0].unitsText,
                                     DataLogChange{}));
        ASSERT_TRUE(h.in.SaveData(second));
        const std::string a = ReadFile(first), b = ReadFile(second);
        EXPECT_EQ(a.substr(a.find("EndHeader")), b.substr(b.find("EndHeader")));
    }
}

TEST(DataFile, WhatIsNotADataFileIsRefused) {
    TempFolder f;
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"", "Header"},
        {"Header\r\nFile,x\r\n", "EndHeader"},
        {"Header\r\nEndHeader\r\nTime ,Field G\r\n10:15:00,1.2E-3\r\n10:15:0x,1E0\r\n", "line 5"},
        {"Header\r\nEndHeader\r\nTime ,Field G\r\n10:15:00,1.2\r\n", "line 4"},
    };
    for (const auto& c : cases) {
        WriteFile(f.path() / "x.csv", c.text);
        DataFileContents out;
        std::string error;
        EXPECT_FALSE(ReadDataFile((f.path() / "x.csv").string(), out, error)) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

TEST(Restore, AQuestionTheProgramsEndClosedIsAskedAgain) {
    TempFolder folder;
    const std::string path = (folder.path() / "journal.sqlite").string();
    {
        Journal crashed;
        int64_t id = 0;
        ASSERT_TRUE(crashed.open(path));
        ASSERT_TRUE(crashed.beginLog(LogSource::Live, 1796551200000, 0, id));
        ASSERT_TRUE(crashed.addRow(id, Row(1, 1.5f, -3, 0.5f)));
    }  // no normal end
    // A logout while the question is open: whatever the box returned, it
    // was not an answer.
    for (bool ending : {true, false}) {
        SCOPED_TRACE(ending ? "closed by the end" : "answered");
        Harness next;
        next.dialogs.ending = ending;
        next.dialogs.yesNoAnswers = {true};
        Journal again;
        ASSERT_TRUE(again.open(path));
        journal::Recorder r{again, next.clock, next.dialogs};
        next.in.addObserver(&r);
        next.in.Form_Load();
        journal::OfferRestore(again, next.in, next.dialogs);
        EXPECT_EQ(next.dialogs.count("yesno"), 1) << "asked";
        EXPECT_EQ(next.in.st.RecordCnt, ending ? 0 : 1);
    }
}

}  // namespace
}  // namespace fenwyd::testing

int main(int argc, char** argv) {
    const fenwyd::testing::PrivateHome home;
    QCoreApplication app(argc, argv);  // the SQLite driver is a plugin
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
