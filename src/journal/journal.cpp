#include "journal/journal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <atomic>

#include "common/textconv.h"
#include "measure/units.h"

namespace fenwyd::journal {

namespace {

constexpr int kBusyTimeoutMs = 2000;
constexpr int64_t kMsPerDay = 86400LL * 1000;

QString FromLocal(const std::string& s) { return QFile::decodeName(QByteArray::fromStdString(s)); }
std::string ToLocal(const QString& s) { return QFile::encodeName(s).toStdString(); }

const char* SourceName(LogSource s) { return s == LogSource::Upload ? "upload" : "live"; }

// Version 1: runs of the program, logs, their readings, the files they were
// saved as. A later version adds its step to migrate() and bumps
// kSchemaVersion; the steps run in order on an older file.
const char* const kSchemaV1[] = {
    "CREATE TABLE run (id INTEGER PRIMARY KEY, started_utc_ms INTEGER NOT NULL,"
    " pid INTEGER NOT NULL, ended INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE log (id INTEGER PRIMARY KEY, run_id INTEGER NOT NULL,"
    " started_utc_ms INTEGER NOT NULL, started_offset_s INTEGER NOT NULL,"
    " ended_utc_ms INTEGER, ended_offset_s INTEGER,"
    " source TEXT NOT NULL CHECK (source IN ('live', 'upload')),"
    " model INTEGER NOT NULL DEFAULT 0, units TEXT NOT NULL DEFAULT '',"
    " normal_end INTEGER NOT NULL DEFAULT 0, restore_offered INTEGER NOT NULL DEFAULT 0,"
    " saved_rows INTEGER NOT NULL DEFAULT 0)",
    // Row numbers as in the data log; times in full (UTC ms and the local
    // offset), so a log past midnight is never ambiguous here; the mantissa,
    // exponent and time column exactly as the data log holds them.
    "CREATE TABLE reading (log_id INTEGER NOT NULL, row INTEGER NOT NULL,"
    " utc_ms INTEGER NOT NULL, offset_s INTEGER NOT NULL, log_time REAL NOT NULL,"
    " mantissa REAL NOT NULL, exponent INTEGER NOT NULL, units TEXT NOT NULL,"
    " range INTEGER NOT NULL, auto_range INTEGER NOT NULL, percent INTEGER NOT NULL,"
    " PRIMARY KEY (log_id, row)) WITHOUT ROWID",
    "CREATE TABLE saved_file (log_id INTEGER NOT NULL, path TEXT NOT NULL,"
    " saved_utc_ms INTEGER NOT NULL)",
    "CREATE INDEX saved_file_log ON saved_file (log_id)",
};

std::atomic<int> gConnections{0};

// Held by a running program for its run: a run whose lock nobody holds has
// ended.
QString RunLockName(const QString& dbPath, int64_t runId) {
    return dbPath + QStringLiteral(".run-%1.lock").arg(runId);
}

}  // namespace

struct Journal::Impl {
    QString connection;
    QSqlDatabase db;
    std::unique_ptr<QSqlQuery> insertRow;
    std::unique_ptr<QSqlQuery> updateUnits;
    int64_t runId = 0;
    std::unique_ptr<QLockFile> runLock;
    // What the current log's row says, so it is written only when it changes.
    int64_t unitsLogId = 0;
    std::string units;
    int16_t model = 0;
};

Journal::Journal() : d_(std::make_unique<Impl>()) {}

Journal::~Journal() { close(); }

bool Journal::isOpen() const { return d_->db.isValid() && d_->db.isOpen(); }

bool Journal::fail(const QString& what, const QString& reason) {
    error_ = (what + QStringLiteral(": ") + reason).toStdString();
    return false;
}

bool Journal::exec(const QString& sql) {
    QSqlQuery q(d_->db);
    if (!q.exec(sql)) return fail(sql.section(QLatin1Char(' '), 0, 2), q.lastError().text());
    return true;
}

bool Journal::open(const std::string& path) {
    close();
    path_ = path;
    const QString file = FromLocal(path);
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        return fail(QStringLiteral("cannot create the folder"), QFileInfo(file).absolutePath());
    }
    d_->connection = QStringLiteral("fenwyd-journal-%1").arg(++gConnections);
    d_->db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), d_->connection);
    if (!d_->db.isValid())
        return fail(QStringLiteral("no SQLite driver"), d_->db.lastError().text());
    d_->db.setDatabaseName(file);
    d_->db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!d_->db.open()) {
        const QString reason = d_->db.lastError().text();
        close();
        return fail(QStringLiteral("cannot open"), reason);
    }
    // WAL: a reader never blocks the writer, and a commit is one append.
    // FULL: each commit is synced, so a power cut loses no committed row.
    bool ok = exec(QStringLiteral("PRAGMA journal_mode=WAL")) &&
              exec(QStringLiteral("PRAGMA synchronous=FULL")) && migrate();
    if (ok) {
        QSqlQuery run(d_->db);
        run.prepare(QStringLiteral("INSERT INTO run (started_utc_ms, pid) VALUES (?, ?)"));
        run.addBindValue(QDateTime::currentMSecsSinceEpoch());
        run.addBindValue(QCoreApplication::applicationPid());
        ok = run.exec() || fail(QStringLiteral("cannot start a run"), run.lastError().text());
        if (ok) {
            d_->runId = run.lastInsertId().toLongLong();
            d_->runLock = std::make_unique<QLockFile>(RunLockName(file, d_->runId));
            d_->runLock->setStaleLockTime(0);
            ok = d_->runLock->tryLock(0) ||
                 fail(QStringLiteral("cannot lock the run"), RunLockName(file, d_->runId));
        }
    }
    if (!ok) {
        const std::string reason = error_;
        close();
        error_ = reason;
        return false;
    }
    d_->insertRow = std::make_unique<QSqlQuery>(d_->db);
    d_->insertRow->prepare(QStringLiteral(
        "INSERT OR REPLACE INTO reading (log_id, row, utc_ms, offset_s, log_time, mantissa,"
        " exponent, units, range, auto_range, percent) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    d_->updateUnits = std::make_unique<QSqlQuery>(d_->db);
    d_->updateUnits->prepare(QStringLiteral("UPDATE log SET units = ?, model = ? WHERE id = ?"));
    noteEndedRuns();
    return true;
}

void Journal::close() {
    d_->insertRow.reset();
    d_->updateUnits.reset();
    if (d_->db.isValid()) {
        if (d_->runId != 0 && d_->db.isOpen()) {
            QSqlQuery q(d_->db);
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
    d_->unitsLogId = 0;
}

bool Journal::migrate() {
    QSqlQuery q(d_->db);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        return fail(QStringLiteral("cannot read the schema version"), q.lastError().text());
    }
    const int version = q.value(0).toInt();
    if (version > kSchemaVersion) {
        return fail(QStringLiteral("a newer program's journal"),
                    QStringLiteral("schema version %1").arg(version));
    }
    if (version == kSchemaVersion) return true;
    if (!d_->db.transaction())
        return fail(QStringLiteral("cannot migrate"), d_->db.lastError().text());
    bool ok = true;
    if (version < 1) {
        for (const char* sql : kSchemaV1) ok = ok && exec(QString::fromLatin1(sql));
    }
    ok = ok && exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
    if (!ok) {
        d_->db.rollback();
        return false;
    }
    return d_->db.commit() || fail(QStringLiteral("cannot migrate"), d_->db.lastError().text());
}

void Journal::noteEndedRuns() {
    // A run whose lock nobody holds any more has ended; if it did not end
    // normally, its newest log is what a crash left behind.
    QSqlQuery q(d_->db);
    q.exec(QStringLiteral("SELECT id FROM run WHERE ended = 0 AND id <> %1").arg(d_->runId));
    std::vector<int64_t> ended;
    while (q.next()) {
        const int64_t id = q.value(0).toLongLong();
        QLockFile lock(RunLockName(FromLocal(path_), id));
        lock.setStaleLockTime(0);  // only a live process holds a lock, however old
        if (lock.tryLock(0)) {
            lock.unlock();
            ended.push_back(id);
        }
    }
    for (int64_t id : ended) exec(QStringLiteral("UPDATE run SET ended = 1 WHERE id = %1").arg(id));
}

bool Journal::beginLog(LogSource source, int64_t utcMs, int32_t offsetS, int64_t& id) {
    if (!isOpen()) return fail(QStringLiteral("not open"), QString());
    // A log replaced by a newer one in the data log ended normally.
    if (!exec(QStringLiteral("UPDATE log SET normal_end = 1 WHERE run_id = %1").arg(d_->runId))) {
        return false;
    }
    QSqlQuery q(d_->db);
    q.prepare(QStringLiteral(
        "INSERT INTO log (run_id, started_utc_ms, started_offset_s, source) VALUES (?, ?, ?, ?)"));
    q.addBindValue(static_cast<qlonglong>(d_->runId));
    q.addBindValue(static_cast<qlonglong>(utcMs));
    q.addBindValue(offsetS);
    q.addBindValue(QString::fromLatin1(SourceName(source)));
    if (!q.exec()) return fail(QStringLiteral("cannot start a log"), q.lastError().text());
    id = q.lastInsertId().toLongLong();
    return true;
}

bool Journal::addRow(int64_t logId, int32_t row, float logTime, const Measurement& r) {
    if (!isOpen()) return fail(QStringLiteral("not open"), QString());
    QSqlQuery& q = *d_->insertRow;
    q.bindValue(0, static_cast<qlonglong>(logId));
    q.bindValue(1, row);
    q.bindValue(2, static_cast<qlonglong>(r.utcMs));
    q.bindValue(3, r.utcOffsetSeconds);
    q.bindValue(4, static_cast<double>(logTime));  // a float is exact in a double
    q.bindValue(5, static_cast<double>(r.mantissa));
    q.bindValue(6, static_cast<int>(r.exponent));
    q.bindValue(7, QString::fromLatin1(r.unitsText.c_str()));
    q.bindValue(8, static_cast<int>(r.range));
    q.bindValue(9, r.autoRange ? 1 : 0);
    q.bindValue(10, r.percent);
    if (!q.exec()) return fail(QStringLiteral("cannot store a reading"), q.lastError().text());
    if (d_->unitsLogId != logId || d_->units != r.unitsText || d_->model != r.model) {
        QSqlQuery& u = *d_->updateUnits;
        u.bindValue(0, QString::fromLatin1(r.unitsText.c_str()));
        u.bindValue(1, static_cast<int>(r.model));
        u.bindValue(2, static_cast<qlonglong>(logId));
        if (!u.exec()) return fail(QStringLiteral("cannot store a reading"), u.lastError().text());
        d_->unitsLogId = logId;
        d_->units = r.unitsText;
        d_->model = r.model;
    }
    return true;
}

bool Journal::endLog(int64_t logId, int64_t utcMs, int32_t offsetS) {
    QSqlQuery q(d_->db);
    q.prepare(QStringLiteral("UPDATE log SET ended_utc_ms = ?, ended_offset_s = ? WHERE id = ?"));
    q.addBindValue(static_cast<qlonglong>(utcMs));
    q.addBindValue(offsetS);
    q.addBindValue(static_cast<qlonglong>(logId));
    return q.exec() || fail(QStringLiteral("cannot end a log"), q.lastError().text());
}

bool Journal::markSaved(int64_t logId, const std::vector<std::string>& files, int64_t utcMs) {
    if (!isOpen() || !d_->db.transaction()) {
        return fail(QStringLiteral("cannot note a save"), d_->db.lastError().text());
    }
    QSqlQuery q(d_->db);
    q.prepare(
        QStringLiteral("INSERT INTO saved_file (log_id, path, saved_utc_ms) VALUES (?, ?, ?)"));
    bool ok = true;
    for (const std::string& f : files) {
        q.addBindValue(static_cast<qlonglong>(logId));
        q.addBindValue(FromLocal(f));
        q.addBindValue(static_cast<qlonglong>(utcMs));
        ok = ok && q.exec();
    }
    ok = ok && exec(QStringLiteral("UPDATE log SET saved_rows = (SELECT COUNT(*) FROM reading "
                                   "WHERE log_id = %1) WHERE id = %1")
                        .arg(logId));
    if (!ok || !d_->db.commit()) {
        d_->db.rollback();
        return fail(QStringLiteral("cannot note a save"), q.lastError().text());
    }
    return true;
}

bool Journal::markNormalEnd(int64_t logId) {
    return exec(QStringLiteral("UPDATE log SET normal_end = 1 WHERE id = %1").arg(logId));
}

bool Journal::markRestoreOffered(int64_t logId) {
    return exec(QStringLiteral("UPDATE log SET restore_offered = 1 WHERE id = %1").arg(logId));
}

bool Journal::deleteLog(int64_t logId) {
    if (!isOpen() || !d_->db.transaction()) {
        return fail(QStringLiteral("cannot delete a log"), d_->db.lastError().text());
    }
    const bool ok = exec(QStringLiteral("DELETE FROM reading WHERE log_id = %1").arg(logId)) &&
                    exec(QStringLiteral("DELETE FROM saved_file WHERE log_id = %1").arg(logId)) &&
                    exec(QStringLiteral("DELETE FROM log WHERE id = %1").arg(logId));
    if (!ok || !d_->db.commit()) {
        d_->db.rollback();
        return false;
    }
    return true;
}

namespace {
const char kSummaryColumns[] =
    "SELECT id, started_utc_ms, started_offset_s, COALESCE(ended_utc_ms, 0), source, model,"
    " units, normal_end, restore_offered, saved_rows,"
    " (SELECT COUNT(*) FROM reading WHERE log_id = log.id) FROM log";

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
    return s;
}
}  // namespace

std::vector<LogSummary> Journal::logs() {
    std::vector<LogSummary> out;
    if (!isOpen()) return out;
    QSqlQuery q(d_->db);
    if (!q.exec(QString::fromLatin1(kSummaryColumns) + QStringLiteral(" ORDER BY id DESC"))) {
        fail(QStringLiteral("cannot list the logs"), q.lastError().text());
        return out;
    }
    while (q.next()) out.push_back(SummaryOf(q));
    QSqlQuery f(d_->db);
    f.exec(QStringLiteral("SELECT log_id, path FROM saved_file ORDER BY rowid"));
    while (f.next()) {
        const int64_t id = f.value(0).toLongLong();
        for (LogSummary& s : out) {
            if (s.id == id) s.files.push_back(ToLocal(f.value(1).toString()));
        }
    }
    return out;
}

std::optional<LogSummary> Journal::log(int64_t logId) {
    for (LogSummary& s : logs()) {
        if (s.id == logId) return s;
    }
    return std::nullopt;
}

bool Journal::rows(int64_t logId, std::vector<LoggedRow>& out) {
    out.clear();
    QSqlQuery q(d_->db);
    q.setForwardOnly(true);
    if (!q.exec(
            QStringLiteral("SELECT log_time, mantissa, exponent, units, utc_ms, offset_s, range,"
                           " auto_range, percent, (SELECT model FROM log WHERE id = %1)"
                           " FROM reading WHERE log_id = %1 ORDER BY row")
                .arg(logId))) {
        return fail(QStringLiteral("cannot read a log"), q.lastError().text());
    }
    // The unit names repeat row after row: one copy each.
    QString lastUnits;
    std::string units;
    while (q.next()) {
        LoggedRow row;
        Measurement& m = row.reading;
        row.logTime = static_cast<float>(q.value(0).toDouble());
        m.mantissa = static_cast<float>(q.value(1).toDouble());
        m.valueText = FormatSingle(m.mantissa);
        m.exponent = static_cast<int16_t>(q.value(2).toInt());
        const QString u = q.value(3).toString();
        if (u != lastUnits) {
            lastUnits = u;
            units = u.toLatin1().toStdString();
        }
        m.unitsText = units;
        m.quantity = LookUpUnitScale(units).quantity;
        m.utcMs = q.value(4).toLongLong();
        m.utcOffsetSeconds = q.value(5).toInt();
        m.range = static_cast<int16_t>(q.value(6).toInt());
        m.autoRange = q.value(7).toInt() != 0;
        m.percent = q.value(8).toInt();
        m.model = static_cast<int16_t>(q.value(9).toInt());
        m.unitsLabel = LabelOfValue(units, m.exponent);
        out.push_back(std::move(row));
    }
    return true;
}

std::optional<LogSummary> Journal::crashedLog() {
    if (!isOpen()) return std::nullopt;
    QSqlQuery q(d_->db);
    // The newest log of each ended run that did not end normally.
    if (!q.exec(QString::fromLatin1(kSummaryColumns) +
                QStringLiteral(" WHERE normal_end = 0 AND restore_offered = 0 AND run_id IN "
                               "(SELECT id FROM run WHERE ended = 1) ORDER BY id DESC"))) {
        return std::nullopt;
    }
    while (q.next()) {
        const LogSummary s = SummaryOf(q);
        if (s.unsaved()) return s;
    }
    return std::nullopt;
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
    return dropped;
}

}  // namespace fenwyd::journal
