#include "journal/journal.h"

#include <sqlite3.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>
#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "common/textconv.h"
#include "measure/units.h"
#include "position/place.h"

namespace fenwyd::journal {

namespace {

// One statement's wait for a lock while opening; the opening as a whole
// tries again until kOpenPatienceMs.
constexpr int kOpenLockWaitMs = 100;
constexpr int kClosingLockWaitMs = 1000;
constexpr int64_t kMsPerDay = 86400LL * 1000;

QString FromLocal(const std::string& s) { return QFile::decodeName(QByteArray::fromStdString(s)); }
std::string ToLocal(const QString& s) { return QFile::encodeName(s).toStdString(); }

const char* SourceName(LogSource s) { return s == LogSource::Upload ? "upload" : "live"; }

// A reading's flags column.
constexpr int kFlagOverRange = 1;
constexpr int kFlagUnderRange = 2;

// The schema, step by step: each step brings a file of the version before
// it to its own version, and the steps run in order on an older file. A
// later version adds its step here and bumps kSchemaVersion.
struct Step {
    int version;
    std::vector<const char*> sql;
};

const std::vector<Step>& Steps() {
    static const std::vector<Step> steps = {
        // 1: runs of the program, logs, their readings, the files they were
        // saved as.
        {1,
         {
             "CREATE TABLE run (id INTEGER PRIMARY KEY, started_utc_ms INTEGER NOT NULL,"
             " pid INTEGER NOT NULL, ended INTEGER NOT NULL DEFAULT 0)",
             "CREATE TABLE log (id INTEGER PRIMARY KEY, run_id INTEGER NOT NULL,"
             " started_utc_ms INTEGER NOT NULL, started_offset_s INTEGER NOT NULL,"
             " ended_utc_ms INTEGER, ended_offset_s INTEGER,"
             " source TEXT NOT NULL CHECK (source IN ('live', 'upload')),"
             " model INTEGER NOT NULL DEFAULT 0, units TEXT NOT NULL DEFAULT '',"
             " normal_end INTEGER NOT NULL DEFAULT 0, restore_offered INTEGER NOT NULL DEFAULT 0,"
             " saved_rows INTEGER NOT NULL DEFAULT 0)",
             // Row numbers as in the data log; times in full (UTC ms and the
             // local offset), so a log past midnight is never ambiguous here;
             // the mantissa, exponent and time column exactly as the data log
             // holds them.
             "CREATE TABLE reading (log_id INTEGER NOT NULL, row INTEGER NOT NULL,"
             " utc_ms INTEGER NOT NULL, offset_s INTEGER NOT NULL, log_time REAL NOT NULL,"
             " mantissa REAL NOT NULL, exponent INTEGER NOT NULL, units TEXT NOT NULL,"
             " range INTEGER NOT NULL, auto_range INTEGER NOT NULL, percent INTEGER NOT NULL,"
             " PRIMARY KEY (log_id, row)) WITHOUT ROWID",
             "CREATE TABLE saved_file (log_id INTEGER NOT NULL, path TEXT NOT NULL,"
             " saved_utc_ms INTEGER NOT NULL)",
             "CREATE INDEX saved_file_log ON saved_file (log_id)",
         }},
        // 2: each log keeps its row count, so that listing the logs and
        // looking for a crashed one read no readings (a full journal holds
        // millions); the lookups of runs by log and by state are indexed.
        {2,
         {
             "ALTER TABLE log ADD COLUMN row_count INTEGER NOT NULL DEFAULT 0",
             "UPDATE log SET row_count = (SELECT COUNT(*) FROM reading WHERE log_id = log.id)",
             "CREATE INDEX log_run ON log (run_id)",
             "CREATE INDEX run_ended ON run (ended)",
         }},
        // 3: each reading's flags (a stored reading the probe flagged over
        // or under range is kept, and known for what it is) and where it was
        // taken, when a position was known: WGS84 degrees, metres above mean
        // sea level, the fix (2 or 3) and the position's own time.
        {3,
         {
             "ALTER TABLE reading ADD COLUMN flags INTEGER NOT NULL DEFAULT 0",
             "ALTER TABLE reading ADD COLUMN lat REAL",
             "ALTER TABLE reading ADD COLUMN lon REAL",
             "ALTER TABLE reading ADD COLUMN alt REAL",
             "ALTER TABLE reading ADD COLUMN fix INTEGER NOT NULL DEFAULT 0",
             "ALTER TABLE reading ADD COLUMN fix_utc_ms INTEGER",
         }},
        // 4: the survey points marked with a log: their number in it, what
        // the operator wrote (name, note, a place typed by hand), the
        // reading as shown, the fix that counted for it (no fix: NULL
        // coordinates and fix 0), and the dwell's maximum and mean in the
        // reading's base unit.
        {4,
         {
             "CREATE TABLE point (log_id INTEGER NOT NULL, number INTEGER NOT NULL,"
             " name TEXT NOT NULL DEFAULT '', note TEXT NOT NULL DEFAULT '',"
             " place TEXT NOT NULL DEFAULT '', utc_ms INTEGER NOT NULL,"
             " value_text TEXT NOT NULL, exponent INTEGER NOT NULL, units TEXT NOT NULL,"
             " label TEXT NOT NULL, range INTEGER NOT NULL, auto_range INTEGER NOT NULL,"
             " lat REAL, lon REAL, alt REAL, ellipsoid_height REAL,"
             " fix INTEGER NOT NULL DEFAULT 0, fix_utc_ms INTEGER,"
             " dwell_s INTEGER, dwell_max REAL, dwell_mean REAL, exposure_percent REAL,"
             " PRIMARY KEY (log_id, number)) WITHOUT ROWID",
         }},
    };
    return steps;
}

// What an SQLite error means for the journal's user.
Failure KindOf(const QSqlError& e) {
    bool ok = false;
    const int code = e.nativeErrorCode().toInt(&ok) & 0xff;  // the primary result code
    if (!ok) return Failure::Other;
    switch (code) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return Failure::Busy;
        case SQLITE_FULL:
        case SQLITE_IOERR: return Failure::Full;
        default: return Failure::Other;
    }
}

std::atomic<int> gConnections{0};

// Held by a running program for its run: a run whose lock nobody holds has
// ended.
QString RunLockName(const QString& dbPath, int64_t runId) {
    return dbPath + QStringLiteral(".run-%1.lock").arg(runId);
}

const char kSummaryColumns[] =
    "SELECT id, started_utc_ms, started_offset_s, COALESCE(ended_utc_ms, 0), source, model,"
    " units, normal_end, restore_offered, saved_rows, row_count,"
    " (SELECT COUNT(*) FROM point WHERE point.log_id = log.id) FROM log";

LogSummary SummaryOf(const QSqlQuery& q) {
    LogSummary s;
    s.id = q.value(0).toLongLong();
    s.startedUtcMs = q.value(1).toLongLong();
    s.startedOffsetS = q.value(2).toInt();
    s.endedUtcMs = q.value(3).toLongLong();
    s.source =
        q.value(4).toString() == QLatin1String("upload") ? LogSource::Upload : LogSource::Live;
    s.model = static_cast<int16_t>(q.value(5).toInt());
    s.units = q.value(6).toString().toLatin1().toStdString();
    s.normalEnd = q.value(7).toInt() != 0;
    s.restoreOffered = q.value(8).toInt() != 0;
    s.savedRows = q.value(9).toInt();
    s.rows = q.value(10).toInt();
    s.points = q.value(11).toInt();
    return s;
}

}  // namespace

struct Journal::Impl {
    QString connection;
    QSqlDatabase db;
    // Prepared once: a reading is written at every reading.
    std::unique_ptr<QSqlQuery> beginWrite, commit, rollback;
    std::unique_ptr<QSqlQuery> insertRow, replaceRow, countRows;
    int64_t runId = 0;
    std::unique_ptr<QLockFile> runLock;
};

Journal::Journal() : d_(std::make_unique<Impl>()) {}

Journal::~Journal() { close(); }

bool Journal::isOpen() const { return d_->db.isValid() && d_->db.isOpen(); }

bool Journal::fail(const QString& what, const QString& reason, Failure kind) {
    error_ = (what + QStringLiteral(": ") + reason).toStdString();
    failure_ = kind;
    return false;
}

bool Journal::failQuery(const QString& what, const QSqlQuery& q) {
    return fail(what, q.lastError().text(), KindOf(q.lastError()));
}

bool Journal::exec(const QString& sql) {
    QSqlQuery q(d_->db);
    if (!q.exec(sql)) return failQuery(sql.section(QLatin1Char(' '), 0, 2), q);
    return true;
}

// A write transaction is begun as one (IMMEDIATE): a read turned into a
// write later would fail at once, waiting or not, when another program
// wrote in between.
bool Journal::begin() {
    if (d_->beginWrite) {
        if (d_->beginWrite->exec()) return true;
        return failQuery(QStringLiteral("cannot write"), *d_->beginWrite);
    }
    return exec(QStringLiteral("BEGIN IMMEDIATE"));
}

bool Journal::commit() {
    const bool ok = d_->commit ? d_->commit->exec() : exec(QStringLiteral("COMMIT"));
    if (ok) return true;
    if (d_->commit) failQuery(QStringLiteral("cannot write"), *d_->commit);
    rollback();
    return false;
}

void Journal::rollback() {
    // Keeps the reason of the failure that led here. SQLite may have rolled
    // back already (a full disk): then this does nothing.
    if (d_->rollback) {
        d_->rollback->exec();
    } else {
        QSqlQuery(d_->db).exec(QStringLiteral("ROLLBACK"));
    }
}

bool Journal::open(const std::string& path) {
    close();
    path_ = path;
    error_.clear();
    failure_ = Failure::None;
    const QString file = FromLocal(path);
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        return fail(QStringLiteral("cannot create the folder"), QFileInfo(file).absolutePath());
    }
    d_->connection = QStringLiteral("fenwyd-journal-%1").arg(++gConnections);
    d_->db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), d_->connection);
    if (!d_->db.isValid())
        return fail(QStringLiteral("no SQLite driver"), d_->db.lastError().text());
    d_->db.setDatabaseName(file);
    d_->db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kOpenLockWaitMs));
    if (!d_->db.open()) {
        const QString reason = d_->db.lastError().text();
        close();
        return fail(QStringLiteral("cannot open"), reason);
    }
    // Programs started together create or upgrade the journal together:
    // whoever finds it locked tries again a moment later.
    QElapsedTimer since;
    since.start();
    bool ok = startUp(false);
    while (!ok && failure_ == Failure::Busy) {
        const bool last = since.elapsed() >= kOpenPatienceMs;
        if (last) break;
        QThread::msleep(5 + QRandomGenerator::global()->bounded(30));
        ok = startUp(since.elapsed() >= kOpenPatienceMs);
    }
    if (ok) {
        d_->runLock = std::make_unique<QLockFile>(RunLockName(file, d_->runId));
        d_->runLock->setStaleLockTime(0);
        ok = d_->runLock->tryLock(0) ||
             fail(QStringLiteral("cannot lock the run"), RunLockName(file, d_->runId));
    }
    if (!ok) {
        const std::string reason = error_;
        const Failure kind = failure_;
        close();
        error_ = reason;
        failure_ = kind;
        return false;
    }
    noteEndedRuns();
    setLockWait(0);
    auto prepared = [this](const char* sql) {
        auto q = std::make_unique<QSqlQuery>(d_->db);
        q->prepare(QString::fromLatin1(sql));
        return q;
    };
    d_->beginWrite = prepared("BEGIN IMMEDIATE");
    d_->commit = prepared("COMMIT");
    d_->rollback = prepared("ROLLBACK");
    const char* const columns =
        " INTO reading (log_id, row, utc_ms, offset_s, log_time, mantissa, exponent, units, range,"
        " auto_range, percent, flags, lat, lon, alt, fix, fix_utc_ms)"
        " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    d_->insertRow = prepared((std::string("INSERT OR IGNORE") + columns).c_str());
    d_->replaceRow = prepared((std::string("INSERT OR REPLACE") + columns).c_str());
    d_->countRows =
        prepared("UPDATE log SET row_count = row_count + ?, units = ?, model = ? WHERE id = ?");
    error_.clear();
    failure_ = Failure::None;
    return true;
}

bool Journal::startUp(bool lastTry) {
    {
        // WAL: a reader never blocks the writer, and a commit is one append.
        // Another program switching at the same moment can leave the mode
        // as it was without an error: again, until the patience runs out.
        QSqlQuery q(d_->db);
        if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) {
            return failQuery(QStringLiteral("cannot use a write-ahead log"), q);
        }
        if (q.next() && q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) &&
            !lastTry) {
            return fail(QStringLiteral("cannot use a write-ahead log"), q.value(0).toString(),
                        Failure::Busy);
        }
    }
    // FULL: each commit is synced, so a power cut loses no committed row.
    if (!exec(QStringLiteral("PRAGMA synchronous=FULL")) || !migrate()) return false;
    QSqlQuery run(d_->db);
    run.prepare(QStringLiteral("INSERT INTO run (started_utc_ms, pid) VALUES (?, ?)"));
    run.addBindValue(QDateTime::currentMSecsSinceEpoch());
    run.addBindValue(QCoreApplication::applicationPid());
    if (!run.exec()) return failQuery(QStringLiteral("cannot start a run"), run);
    d_->runId = run.lastInsertId().toLongLong();
    return true;
}

void Journal::close() {
    stopCheck();
    d_->beginWrite.reset();
    d_->commit.reset();
    d_->rollback.reset();
    d_->insertRow.reset();
    d_->replaceRow.reset();
    d_->countRows.reset();
    if (d_->db.isValid()) {
        if (d_->runId != 0 && d_->db.isOpen()) {
            QSqlQuery q(d_->db);
            // Nothing waits for the journal any more.
            q.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(kClosingLockWaitMs));
            q.exec(QStringLiteral("UPDATE run SET ended = 1 WHERE id = %1").arg(d_->runId));
            // Hands the write-ahead log back into the database and empties it.
            q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        }
        d_->db.close();
    }
    d_->db = QSqlDatabase();
    if (!d_->connection.isEmpty()) QSqlDatabase::removeDatabase(d_->connection);
    d_->connection.clear();
    d_->runLock.reset();  // unlocks and removes the lock file
    d_->runId = 0;
    held_ = 0;
}

void Journal::setLockWait(int ms) {
    if (isOpen()) QSqlQuery(d_->db).exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(ms));
}

namespace {
bool ReadVersion(QSqlDatabase& db, int& version, QSqlError& error) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        error = q.lastError();
        return false;
    }
    version = q.value(0).toInt();
    return true;
}
}  // namespace

bool Journal::migrate() {
    int version = 0;
    QSqlError error;
    if (!ReadVersion(d_->db, version, error)) {
        return fail(QStringLiteral("cannot read the schema version"), error.text(), KindOf(error));
    }
    if (version == kSchemaVersion) return true;
    // Only one program brings the file up to date; one that waited for it
    // finds the work done.
    if (version < kSchemaVersion) {
        if (!begin()) return false;
        if (!ReadVersion(d_->db, version, error)) {
            rollback();
            return fail(QStringLiteral("cannot read the schema version"), error.text(),
                        KindOf(error));
        }
    }
    if (version > kSchemaVersion) {
        rollback();
        return fail(QStringLiteral("a newer program's journal"),
                    QStringLiteral("schema version %1").arg(version));
    }
    bool ok = true;
    for (const Step& step : Steps()) {
        if (step.version <= version) continue;
        for (const char* sql : step.sql) ok = ok && exec(QString::fromLatin1(sql));
    }
    ok = ok && exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
    if (!ok) {
        rollback();
        return false;
    }
    return commit();
}

void Journal::noteEndedRuns() {
    // A run whose lock nobody holds any more has ended; if it did not end
    // normally, its newest log is what a crash left behind.
    std::vector<int64_t> ended;
    {
        QSqlQuery q(d_->db);
        q.exec(QStringLiteral("SELECT id FROM run WHERE ended = 0 AND id <> %1").arg(d_->runId));
        while (q.next()) {
            const int64_t id = q.value(0).toLongLong();
            QLockFile lock(RunLockName(FromLocal(path_), id));
            lock.setStaleLockTime(0);  // only a live process holds a lock, however old
            if (lock.tryLock(0)) {
                lock.unlock();
                ended.push_back(id);
            }
        }
    }
    for (int64_t id : ended) exec(QStringLiteral("UPDATE run SET ended = 1 WHERE id = %1").arg(id));
}

bool Journal::beginLog(LogSource source, int64_t utcMs, int32_t offsetS, int64_t& id) {
    if (!isOpen()) return fail(QStringLiteral("not open"), QString());
    if (!begin()) return false;
    // A log replaced by a newer one in the data log ended normally.
    if (!exec(QStringLiteral("UPDATE log SET normal_end = 1 WHERE run_id = %1 AND normal_end = 0")
                  .arg(d_->runId))) {
        rollback();
        return false;
    }
    QSqlQuery q(d_->db);
    q.prepare(QStringLiteral(
        "INSERT INTO log (run_id, started_utc_ms, started_offset_s, source) VALUES (?, ?, ?, ?)"));
    q.addBindValue(static_cast<qlonglong>(d_->runId));
    q.addBindValue(static_cast<qlonglong>(utcMs));
    q.addBindValue(offsetS);
    q.addBindValue(QString::fromLatin1(SourceName(source)));
    if (!q.exec()) {
        failQuery(QStringLiteral("cannot start a log"), q);
        rollback();
        return false;
    }
    const int64_t made = q.lastInsertId().toLongLong();
    if (!commit()) return false;
    id = made;
    return true;
}

bool Journal::addRow(int64_t logId, const JournalRow& r) {
    return addRows(logId, std::vector<JournalRow>{r});
}

bool Journal::addRows(int64_t logId, const std::vector<JournalRow>& rows) {
    if (!isOpen()) return fail(QStringLiteral("not open"), QString());
    if (rows.empty()) return true;
    if (!begin()) return false;
    int added = 0;
    for (const JournalRow& row : rows) {
        const Measurement& r = row.reading;
        // A row already there (the same row number again) is replaced and
        // not counted twice.
        for (QSqlQuery* q : {d_->insertRow.get(), d_->replaceRow.get()}) {
            q->bindValue(0, static_cast<qlonglong>(logId));
            q->bindValue(1, row.row);
            q->bindValue(2, static_cast<qlonglong>(r.utcMs));
            q->bindValue(3, r.utcOffsetSeconds);
            q->bindValue(4, static_cast<double>(row.logTime));  // a float is exact in a double
            q->bindValue(5, static_cast<double>(r.mantissa));
            q->bindValue(6, static_cast<int>(r.exponent));
            q->bindValue(7, QString::fromLatin1(r.unitsText.c_str()));
            q->bindValue(8, static_cast<int>(r.range));
            q->bindValue(9, r.autoRange ? 1 : 0);
            q->bindValue(10, r.percent);
            q->bindValue(11,
                         (r.overRange ? kFlagOverRange : 0) | (r.underRange ? kFlagUnderRange : 0));
            // No position: NULL coordinates and fix 0, never a made-up place.
            const std::optional<Position>& p = r.position;
            q->bindValue(12, p ? QVariant(p->latitude) : QVariant());
            q->bindValue(13, p ? QVariant(p->longitude) : QVariant());
            q->bindValue(14, p && p->altitudeM ? QVariant(*p->altitudeM) : QVariant());
            q->bindValue(15, p ? static_cast<int>(p->fix) : 0);
            q->bindValue(16, p ? QVariant(static_cast<qlonglong>(p->fixUtcMs)) : QVariant());
            if (!q->exec()) {
                failQuery(QStringLiteral("cannot store a reading"), *q);
                rollback();
                return false;
            }
            if (q->numRowsAffected() == 1) {
                added += q == d_->insertRow.get() ? 1 : 0;
                break;
            }
        }
    }
    // Counted on the log's row; no row is kept without its log.
    QSqlQuery& c = *d_->countRows;
    c.bindValue(0, added);
    c.bindValue(1, QString::fromLatin1(rows.back().reading.unitsText.c_str()));
    c.bindValue(2, static_cast<int>(rows.back().reading.model));
    c.bindValue(3, static_cast<qlonglong>(logId));
    if (!c.exec()) {
        failQuery(QStringLiteral("cannot store a reading"), c);
        rollback();
        return false;
    }
    if (c.numRowsAffected() != 1) {
        rollback();
        return fail(QStringLiteral("cannot store a reading"),
                    QStringLiteral("its log is no longer in the journal"), Failure::LogGone);
    }
    return commit();
}

bool Journal::endLog(int64_t logId, int64_t utcMs, int32_t offsetS) {
    if (!isOpen()) return fail(QStringLiteral("not open"), QString());
    QSqlQuery q(d_->db);
    q.prepare(QStringLiteral("UPDATE log SET ended_utc_ms = ?, ended_offset_s = ? WHERE id = ?"));
    q.addBindValue(static_cast<qlonglong>(utcMs));
    q.addBindValue(offsetS);
    q.addBindValue(static_cast<qlonglong>(logId));
    return q.exec() || failQuery(QStringLiteral("cannot end a log"), q);
}

bool Journal::markSaved(int64_t logId, const std::vector<std::string>& files, int64_t utcMs) {
    if (!isOpen()) return fail(QStringLiteral("not open"), QString());
    if (!begin()) return false;
    QSqlQuery q(d_->db);
    q.prepare(QStringLiteral("UPDATE log SET saved_rows = row_count WHERE id = ?"));
    q.addBindValue(static_cast<qlonglong>(logId));
    if (!q.exec() || q.numRowsAffected() != 1) {
        if (q.lastError().isValid()) {
            failQuery(QStringLiteral("cannot note a save"), q);
        } else {
            fail(QStringLiteral("cannot note a save"),
                 QStringLiteral("its log is no longer in the journal"), Failure::LogGone);
        }
        rollback();
        return false;
    }
    q.prepare(
        QStringLiteral("INSERT INTO saved_file (log_id, path, saved_utc_ms) VALUES (?, ?, ?)"));
    for (const std::string& f : files) {
        q.addBindValue(static_cast<qlonglong>(logId));
        q.addBindValue(FromLocal(f));
        q.addBindValue(static_cast<qlonglong>(utcMs));
        if (!q.exec()) {
            failQuery(QStringLiteral("cannot note a save"), q);
            rollback();
            return false;
        }
    }
    return commit();
}

bool Journal::markNormalEnd(int64_t logId) {
    return isOpen() &&
           exec(QStringLiteral("UPDATE log SET normal_end = 1 WHERE id = %1").arg(logId));
}

bool Journal::markRestoreOffered(int64_t logId) {
    return isOpen() &&
           exec(QStringLiteral("UPDATE log SET restore_offered = 1 WHERE id = %1").arg(logId));
}

bool Journal::adoptLog(int64_t logId) {
    if (!isOpen()) return fail(QStringLiteral("not open"), QString());
    if (!begin()) return false;
    bool ok = exec(QStringLiteral("UPDATE log SET normal_end = 1 WHERE run_id = %1 AND id <> %2 "
                                  "AND normal_end = 0")
                       .arg(d_->runId)
                       .arg(logId));
    if (ok && logId != 0) {
        QSqlQuery q(d_->db);
        ok = q.exec(QStringLiteral("UPDATE log SET run_id = %1, normal_end = 0, "
                                   "restore_offered = 0 WHERE id = %2")
                        .arg(d_->runId)
                        .arg(logId));
        if (!ok) {
            failQuery(QStringLiteral("cannot take up a log"), q);
        } else if (q.numRowsAffected() != 1) {
            ok = fail(QStringLiteral("cannot take up a log"),
                      QStringLiteral("it is no longer in the journal"), Failure::LogGone);
        }
    }
    if (!ok) {
        rollback();
        return false;
    }
    if (!commit()) return false;
    held_ = logId;
    return true;
}

bool Journal::deleteLog(int64_t logId) {
    if (!isOpen()) return fail(QStringLiteral("not open"), QString());
    if (logId != 0 && logId == held_) {
        return fail(QStringLiteral("cannot delete a log"), QStringLiteral("the data log holds it"));
    }
    if (!begin()) return false;
    const bool ok = exec(QStringLiteral("DELETE FROM reading WHERE log_id = %1").arg(logId)) &&
                    exec(QStringLiteral("DELETE FROM saved_file WHERE log_id = %1").arg(logId)) &&
                    exec(QStringLiteral("DELETE FROM point WHERE log_id = %1").arg(logId)) &&
                    exec(QStringLiteral("DELETE FROM log WHERE id = %1").arg(logId));
    if (!ok) {
        rollback();
        return false;
    }
    return commit();
}

bool Journal::listInto(const QString& tail, std::vector<LogSummary>& out) {
    QSqlQuery q(d_->db);
    q.setForwardOnly(true);
    if (q.exec(QString::fromLatin1(kSummaryColumns) + tail)) {
        while (q.next()) out.push_back(SummaryOf(q));
    }
    if (!q.lastError().isValid()) return true;
    listProblem_ = q.lastError().text().toStdString();
    return false;
}

std::vector<LogSummary> Journal::logs() {
    listProblem_.clear();
    std::vector<LogSummary> out;
    if (!isOpen()) return out;
    // Newest first until a page cannot be read; then from the oldest up to
    // it, so that a damaged page costs only the logs on it.
    if (!listInto(QStringLiteral(" ORDER BY id DESC"), out)) {
        const std::string reason = listProblem_;
        const int64_t below = out.empty() ? std::numeric_limits<int64_t>::max() : out.back().id;
        std::vector<LogSummary> older;
        listInto(QStringLiteral(" WHERE id < %1 ORDER BY id").arg(below), older);
        out.insert(out.end(), older.rbegin(), older.rend());
        listProblem_ = reason;
    }
    std::unordered_map<int64_t, std::size_t> at;
    for (std::size_t i = 0; i < out.size(); ++i) at[out[i].id] = i;
    QSqlQuery f(d_->db);
    f.setForwardOnly(true);
    if (f.exec(QStringLiteral("SELECT log_id, path FROM saved_file ORDER BY rowid"))) {
        while (f.next()) {
            const auto it = at.find(f.value(0).toLongLong());
            if (it != at.end()) out[it->second].files.push_back(ToLocal(f.value(1).toString()));
        }
    }
    if (f.lastError().isValid() && listProblem_.empty()) {
        listProblem_ = f.lastError().text().toStdString();
    }
    return out;
}

std::optional<LogSummary> Journal::log(int64_t logId) {
    if (!isOpen()) return std::nullopt;
    std::vector<LogSummary> found;
    listInto(QStringLiteral(" WHERE id = %1").arg(logId), found);
    if (found.empty()) return std::nullopt;
    QSqlQuery f(d_->db);
    f.exec(
        QStringLiteral("SELECT path FROM saved_file WHERE log_id = %1 ORDER BY rowid").arg(logId));
    while (f.next()) found[0].files.push_back(ToLocal(f.value(0).toString()));
    return found[0];
}

bool Journal::rows(int64_t logId, std::vector<LoggedRow>& out) {
    out.clear();
    if (!isOpen()) return fail(QStringLiteral("not open"), QString());
    int16_t model = 0;
    {
        QSqlQuery m(d_->db);
        if (m.exec(QStringLiteral("SELECT model FROM log WHERE id = %1").arg(logId)) && m.next()) {
            model = static_cast<int16_t>(m.value(0).toInt());
        }
    }
    // In row order until a page cannot be read; then from the last row back
    // to it, so that a damaged page costs only the rows on it.
    QSqlError damage;
    int32_t lastRow = 0;
    // The unit names repeat row after row: read once each.
    QString lastUnits;
    std::string units;
    for (const bool backwards : {false, true}) {
        QSqlQuery q(d_->db);
        q.setForwardOnly(true);
        const QString select = QStringLiteral(
            "SELECT log_time, mantissa, exponent, row, units, utc_ms, offset_s, range, auto_range,"
            " percent, flags, lat, lon, alt, fix, fix_utc_ms FROM reading WHERE log_id = %1 ");
        const QString sql = backwards ? (select + QStringLiteral("AND row > %2 ORDER BY row DESC"))
                                            .arg(logId)
                                            .arg(lastRow)
                                      : (select + QStringLiteral("ORDER BY row")).arg(logId);
        std::vector<LoggedRow> read;
        if (q.exec(sql)) {
            while (q.next()) {
                LoggedRow row;
                Measurement& m = row.reading;
                row.logTime = static_cast<float>(q.value(0).toDouble());
                m.mantissa = static_cast<float>(q.value(1).toDouble());
                m.valueText = FormatSingle(m.mantissa);
                m.exponent = static_cast<int16_t>(q.value(2).toInt());
                const QString u = q.value(4).toString();
                if (u != lastUnits) {
                    lastUnits = u;
                    units = u.toLatin1().toStdString();
                }
                m.unitsText = units;
                m.quantity = LookUpUnitScale(units).quantity;
                m.unitsLabel = LabelOfValue(units, m.exponent);
                m.utcMs = q.value(5).toLongLong();
                m.utcOffsetSeconds = q.value(6).toInt();
                m.range = static_cast<int16_t>(q.value(7).toInt());
                m.autoRange = q.value(8).toInt() != 0;
                m.percent = q.value(9).toInt();
                const int flags = q.value(10).toInt();
                m.overRange = (flags & kFlagOverRange) != 0;
                m.underRange = (flags & kFlagUnderRange) != 0;
                m.model = model;
                const int fix = q.value(14).toInt();
                if ((fix == 2 || fix == 3) && !q.value(11).isNull() && !q.value(12).isNull()) {
                    Position p;
                    p.latitude = q.value(11).toDouble();
                    p.longitude = q.value(12).toDouble();
                    if (!q.value(13).isNull()) p.altitudeM = q.value(13).toDouble();
                    p.fix = static_cast<FixMode>(fix);
                    p.fixUtcMs = q.value(15).toLongLong();
                    m.position = p;
                }
                read.push_back(std::move(row));
                if (!backwards) lastRow = q.value(3).toInt();
            }
        }
        if (backwards) {
            out.insert(out.end(), std::make_move_iterator(read.rbegin()),
                       std::make_move_iterator(read.rend()));
            break;
        }
        out = std::move(read);
        if (!q.lastError().isValid()) return true;
        damage = q.lastError();
    }
    return fail(QStringLiteral("cannot read the log whole"), damage.text(), KindOf(damage));
}

namespace {
QVariant Nullable(const std::optional<double>& v) { return v ? QVariant(*v) : QVariant(); }
std::optional<double> OptionalDouble(const QVariant& v) {
    if (v.isNull()) return std::nullopt;
    return v.toDouble();
}
QString Utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}
}  // namespace

bool Journal::putPoint(int64_t logId, const StoredPoint& stored) {
    if (!isOpen()) return fail(QStringLiteral("not open"), QString());
    if (!begin()) return false;
    QSqlQuery has(d_->db);
    has.prepare(QStringLiteral("SELECT 1 FROM log WHERE id = ?"));
    has.addBindValue(static_cast<qlonglong>(logId));
    if (!has.exec()) {
        failQuery(QStringLiteral("cannot store a point"), has);
        rollback();
        return false;
    }
    if (!has.next()) {
        rollback();
        return fail(QStringLiteral("cannot store a point"),
                    QStringLiteral("its log is no longer in the journal"), Failure::LogGone);
    }
    const SurveyPoint& p = stored.point;
    QSqlQuery q(d_->db);
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO point (log_id, number, name, note, place, utc_ms, value_text,"
        " exponent, units, label, range, auto_range, lat, lon, alt, ellipsoid_height, fix,"
        " fix_utc_ms, dwell_s, dwell_max, dwell_mean, exposure_percent)"
        " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(static_cast<qlonglong>(logId));
    q.addBindValue(p.number);
    q.addBindValue(Utf8(p.name));
    q.addBindValue(Utf8(p.note));
    q.addBindValue(Utf8(stored.place));
    q.addBindValue(static_cast<qlonglong>(p.utcMs));
    q.addBindValue(Utf8(p.value.text));
    q.addBindValue(p.value.exponent);
    q.addBindValue(Utf8(p.value.unit));
    q.addBindValue(Utf8(p.value.label));
    q.addBindValue(p.range);
    q.addBindValue(p.autoRange ? 1 : 0);
    // No fix: NULL coordinates and fix 0, never a made-up place.
    const std::optional<Position>& at = p.position;
    const bool fix = at && HasFix(*at);
    q.addBindValue(fix ? QVariant(at->latitude) : QVariant());
    q.addBindValue(fix ? QVariant(at->longitude) : QVariant());
    q.addBindValue(fix ? Nullable(at->altitudeM) : QVariant());
    q.addBindValue(fix ? Nullable(at->ellipsoidHeightM) : QVariant());
    q.addBindValue(fix ? static_cast<int>(at->fix) : 0);
    q.addBindValue(fix ? QVariant(static_cast<qlonglong>(at->fixUtcMs)) : QVariant());
    q.addBindValue(p.dwell ? QVariant(p.dwell->seconds) : QVariant());
    q.addBindValue(p.dwell ? QVariant(p.dwell->maximum) : QVariant());
    q.addBindValue(p.dwell ? QVariant(p.dwell->mean) : QVariant());
    q.addBindValue(Nullable(p.exposurePercent));
    if (!q.exec()) {
        failQuery(QStringLiteral("cannot store a point"), q);
        rollback();
        return false;
    }
    return commit();
}

bool Journal::dropPoint(int64_t logId, int number) {
    if (!isOpen()) return fail(QStringLiteral("not open"), QString());
    QSqlQuery q(d_->db);
    q.prepare(QStringLiteral("DELETE FROM point WHERE log_id = ? AND number = ?"));
    q.addBindValue(static_cast<qlonglong>(logId));
    q.addBindValue(number);
    return q.exec() || failQuery(QStringLiteral("cannot delete a point"), q);
}

bool Journal::points(int64_t logId, std::vector<StoredPoint>& out) {
    out.clear();
    if (!isOpen()) return fail(QStringLiteral("not open"), QString());
    QSqlQuery q(d_->db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT number, name, note, place, utc_ms, value_text, exponent, units, label, range,"
        " auto_range, lat, lon, alt, ellipsoid_height, fix, fix_utc_ms, dwell_s, dwell_max,"
        " dwell_mean, exposure_percent FROM point WHERE log_id = ? ORDER BY number"));
    q.addBindValue(static_cast<qlonglong>(logId));
    if (q.exec()) {
        while (q.next()) {
            StoredPoint stored;
            SurveyPoint& p = stored.point;
            p.number = q.value(0).toInt();
            p.name = q.value(1).toString().toStdString();
            p.note = q.value(2).toString().toStdString();
            stored.place = q.value(3).toString().toStdString();
            p.local = ParsePlace(stored.place);
            p.utcMs = q.value(4).toLongLong();
            p.value.text = q.value(5).toString().toStdString();
            p.value.exponent = q.value(6).toInt();
            p.value.unit = q.value(7).toString().toStdString();
            p.value.label = q.value(8).toString().toStdString();
            p.range = q.value(9).toInt();
            p.autoRange = q.value(10).toInt() != 0;
            const int fix = q.value(15).toInt();
            if ((fix == 2 || fix == 3) && !q.value(11).isNull() && !q.value(12).isNull()) {
                Position at;
                at.latitude = q.value(11).toDouble();
                at.longitude = q.value(12).toDouble();
                at.altitudeM = OptionalDouble(q.value(13));
                at.ellipsoidHeightM = OptionalDouble(q.value(14));
                at.fix = static_cast<FixMode>(fix);
                at.fixUtcMs = q.value(16).toLongLong();
                p.position = at;
            }
            if (!q.value(17).isNull()) {
                p.dwell =
                    Dwell{q.value(17).toInt(), q.value(18).toDouble(), q.value(19).toDouble()};
            }
            p.exposurePercent = OptionalDouble(q.value(20));
            out.push_back(std::move(stored));
        }
    }
    if (!q.lastError().isValid()) return true;
    return failQuery(QStringLiteral("cannot read the points whole"), q);
}

std::optional<LogSummary> Journal::crashedLog() {
    if (!isOpen()) return std::nullopt;
    // The newest log of the ended runs that did not end normally and still
    // holds readings not saved to a data file.
    std::vector<LogSummary> found;
    listInto(QStringLiteral(" WHERE normal_end = 0 AND restore_offered = 0 AND "
                            "row_count > saved_rows AND run_id IN (SELECT id FROM run WHERE ended "
                            "= 1) ORDER BY id DESC LIMIT 1"),
             found);
    if (found.empty()) return std::nullopt;
    return found[0];
}

int Journal::dropOld(int64_t nowUtcMs, int64_t keep, int keepDays, int keepLogs) {
    // Survivors newest first: young enough, or the one to keep; then the
    // oldest go until no more than keepLogs are left.
    std::vector<int64_t> survivors, drop;
    for (const LogSummary& s : logs()) {
        const bool tooOld = s.startedUtcMs < nowUtcMs - keepDays * kMsPerDay;
        (tooOld && s.id != keep ? drop : survivors).push_back(s.id);
    }
    std::size_t excess =
        survivors.size() > static_cast<std::size_t>(keepLogs) ? survivors.size() - keepLogs : 0;
    for (auto it = survivors.rbegin(); it != survivors.rend() && excess > 0; ++it) {
        if (*it == keep) continue;
        drop.push_back(*it);
        --excess;
    }
    int dropped = 0;
    for (int64_t id : drop) dropped += deleteLog(id) ? 1 : 0;
    // Runs that ended and left no log have nothing more to say.
    exec(QStringLiteral("DELETE FROM run WHERE ended = 1 AND id NOT IN (SELECT run_id FROM log)"));
    return dropped;
}

void Journal::startCheck() {
    stopCheck();
    if (!isOpen()) return;
    checkStop_ = false;
    checkDone_ = false;
    check_ = std::thread([this, path = path_] {
        checkFindings_ = QuickCheck(path, &checkStop_);
        checkDone_ = true;
    });
}

std::optional<std::string> Journal::checkFindings() {
    if (!checkDone_) return std::nullopt;
    if (check_.joinable()) check_.join();
    return checkFindings_;
}

void Journal::stopCheck() {
    checkStop_ = true;
    if (check_.joinable()) check_.join();
    checkDone_ = false;
}

std::string QuickCheck(const std::string& path, const std::atomic<bool>* stop) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        const std::string reason = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return "cannot be opened for the check: " + reason;
    }
    sqlite3_busy_timeout(db, 5000);
    if (stop != nullptr) {
        sqlite3_progress_handler(
            db, 10000,
            [](void* s) { return static_cast<const std::atomic<bool>*>(s)->load() ? 1 : 0; },
            const_cast<std::atomic<bool>*>(stop));
    }
    std::string findings;
    sqlite3_stmt* st = nullptr;
    // A handful of findings say enough; the full list can be thousands.
    int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check(8)", -1, &st, nullptr);
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        rc = sqlite3_step(st);
        if (rc != SQLITE_ROW) break;
        const auto* line = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        if (line != nullptr && std::strcmp(line, "ok") != 0) {
            findings += (findings.empty() ? "" : "\n") + std::string(line);
        }
    }
    if (rc != SQLITE_DONE) {
        findings += (findings.empty() ? "" : "\n") + std::string(sqlite3_errmsg(db));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (stop != nullptr && stop->load()) return std::string();
    return findings;
}

}  // namespace fenwyd::journal
