#include "support/journal_fixtures.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <atomic>
#include <fstream>

namespace fenwyd::testing {

namespace {
// Version 1 exactly as it was released.
const char* const kVersion1[] = {
    "CREATE TABLE run (id INTEGER PRIMARY KEY, started_utc_ms INTEGER NOT NULL,"
    " pid INTEGER NOT NULL, ended INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE log (id INTEGER PRIMARY KEY, run_id INTEGER NOT NULL,"
    " started_utc_ms INTEGER NOT NULL, started_offset_s INTEGER NOT NULL,"
    " ended_utc_ms INTEGER, ended_offset_s INTEGER,"
    " source TEXT NOT NULL CHECK (source IN ('live', 'upload')),"
    " model INTEGER NOT NULL DEFAULT 0, units TEXT NOT NULL DEFAULT '',"
    " normal_end INTEGER NOT NULL DEFAULT 0, restore_offered INTEGER NOT NULL DEFAULT 0,"
    " saved_rows INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE reading (log_id INTEGER NOT NULL, row INTEGER NOT NULL,"
    " utc_ms INTEGER NOT NULL, offset_s INTEGER NOT NULL, log_time REAL NOT NULL,"
    " mantissa REAL NOT NULL, exponent INTEGER NOT NULL, units TEXT NOT NULL,"
    " range INTEGER NOT NULL, auto_range INTEGER NOT NULL, percent INTEGER NOT NULL,"
    " PRIMARY KEY (log_id, row)) WITHOUT ROWID",
    "CREATE TABLE saved_file (log_id INTEGER NOT NULL, path TEXT NOT NULL,"
    " saved_utc_ms INTEGER NOT NULL)",
    "CREATE INDEX saved_file_log ON saved_file (log_id)",
    "PRAGMA user_version=1",
};

bool Write(QSqlDatabase& db, const OldJournal& s, std::string& error) {
    QSqlQuery q(db);
    auto run = [&](const QString& sql) {
        if (q.exec(sql)) return true;
        error = (sql.left(60) + QStringLiteral(": ") + q.lastError().text()).toStdString();
        return false;
    };
    if (!run(QStringLiteral("PRAGMA journal_mode=WAL")) ||
        !run(QStringLiteral("PRAGMA synchronous=OFF")) || !run(QStringLiteral("BEGIN"))) {
        return false;
    }
    for (const char* sql : kVersion1) {
        if (!run(QString::fromLatin1(sql))) return false;
    }
    // Run 1 ended normally with every log but the newest; run 2 crashed
    // with the newest.
    const int64_t first = s.newestStartUtcMs - (s.logs - 1) * s.spacingMs;
    if (!run(QStringLiteral("INSERT INTO run VALUES (1, %1, 1, 1), (2, %2, 2, 1)")
                 .arg(first)
                 .arg(s.newestStartUtcMs))) {
        return false;
    }
    const QString logs = QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
        " INSERT INTO log (id, run_id, started_utc_ms, started_offset_s, ended_utc_ms,"
        " ended_offset_s, source, model, units, normal_end, saved_rows)"
        " SELECT i, 1, %2 + (i - 1) * %3, 0, %2 + (i - 1) * %3 + %4 * 366, 0, 'live', 8204,"
        " 'Gauss', 1, %4 FROM n");
    if (!run(logs.arg(s.logs).arg(first).arg(s.spacingMs).arg(s.rowsPerLog))) return false;
    if (s.rowsPerLog > 0) {
        const QString rows = QStringLiteral(
            "WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r WHERE i < %1)"
            " INSERT INTO reading SELECT log.id, r.i, log.started_utc_ms + r.i * 366, 0,"
            " 0.4 + r.i * 4.2361e-6, 1.0 + (r.i * 7919 % 9000) / 1000.0, -3, 'Gauss', 1, 1, 15"
            " FROM log, r ORDER BY log.id, r.i");
        if (!run(rows.arg(s.rowsPerLog))) return false;
    }
    if (!run(QStringLiteral("INSERT INTO saved_file SELECT id, '/data/log-' || id || '.csv', "
                            "ended_utc_ms FROM log"))) {
        return false;
    }
    if (s.newestCrashed &&
        (!run(QStringLiteral("UPDATE log SET run_id = 2, normal_end = 0, saved_rows = 0,"
                             " ended_utc_ms = NULL WHERE id = %1")
                  .arg(s.logs)) ||
         !run(QStringLiteral("DELETE FROM saved_file WHERE log_id = %1").arg(s.logs)))) {
        return false;
    }
    return run(QStringLiteral("COMMIT")) && run(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}
}  // namespace

bool WriteVersion1Journal(const std::string& path, const OldJournal& old, std::string& error) {
    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("old-journal-%1").arg(++serial);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QString::fromStdString(path));
        if (!db.open()) {
            error = db.lastError().text().toStdString();
        } else {
            ok = Write(db, old, error);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

Sql::Sql(const std::string& path) {
    static std::atomic<int> serial{0};
    name_ = QStringLiteral("test-sql-%1").arg(++serial);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db.setDatabaseName(QString::fromStdString(path));
    db.open();
}

Sql::~Sql() {
    QSqlDatabase::database(name_, false).close();
    QSqlDatabase::removeDatabase(name_);
}

bool Sql::exec(const QString& sql) {
    return QSqlQuery(QSqlDatabase::database(name_, false)).exec(sql);
}

std::vector<int64_t> Sql::column(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(name_, false));
    std::vector<int64_t> out;
    if (q.exec(sql)) {
        while (q.next()) out.push_back(q.value(0).toLongLong());
    }
    return out;
}

int64_t Sql::value(const QString& sql) {
    const std::vector<int64_t> v = column(sql);
    return v.empty() ? -1 : v[0];
}

void DiskFull(bool full) {
    for (const QString& name : QSqlDatabase::connectionNames()) {
        if (!name.startsWith(QLatin1String("fenwyd-journal"))) continue;
        QSqlQuery q(QSqlDatabase::database(name, false));
        qlonglong pages = 1073741823;  // SQLite's own bound
        if (full && q.exec(QStringLiteral("PRAGMA page_count")) && q.next()) {
            pages = q.value(0).toLongLong();
        }
        q.exec(QStringLiteral("PRAGMA max_page_count=%1").arg(pages));
    }
}

void DamagePage(const std::string& path, int64_t page) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp((page - 1) * 4096);
    const std::string noise(4096, '\xa5');
    f.write(noise.data(), static_cast<std::streamsize>(noise.size()));
}

int64_t MiddleLeaf(const std::string& path, const char* table) {
    Sql sql(path);
    const std::vector<int64_t> leaves =
        sql.column(QStringLiteral("SELECT pageno FROM dbstat WHERE name = '%1' AND pagetype = "
                                  "'leaf' ORDER BY pageno")
                       .arg(QLatin1String(table)));
    return leaves.size() < 3 ? -1 : leaves[leaves.size() / 2];
}

}  // namespace fenwyd::testing
