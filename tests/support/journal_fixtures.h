#pragma once
// Journal files for the tests and benchmarks: as an earlier version of the
// program left them, written straight with SQL (fast enough for a full
// journal of 200 logs of 32000 readings); a look at a file behind the
// journal's back; damaged pages and a full disk.
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace fenwyd::testing {

struct OldJournal {
    int logs = 3;
    int rowsPerLog = 100;
    int64_t newestStartUtcMs = 1796551200000;
    int64_t spacingMs = 600000;  // between the starts of two logs
    // The newest log was left unsaved by a run that crashed; all the others
    // ended normally and were saved.
    bool newestCrashed = false;
};

// Schema version 1 (no row count on the log rows). False, with the reason,
// when the file could not be written.
bool WriteVersion1Journal(const std::string& path, const OldJournal& old, std::string& error);

// A connection of the test's own to a journal file (another program, or a
// look behind the journal's back), closed when it goes.
class Sql {
public:
    explicit Sql(const std::string& path);
    ~Sql();
    Sql(const Sql&) = delete;
    Sql& operator=(const Sql&) = delete;
    bool exec(const QString& sql);
    // The first column of each row of a query; value(): of the first row
    // (-1 when there is none).
    std::vector<int64_t> column(const QString& sql);
    int64_t value(const QString& sql);

private:
    QString name_;
};

// The database can grow no further, as on a full disk (SQLite's "database or
// disk is full"), or can again: for every journal connection of this process.
void DiskFull(bool full);

// Overwrites one page of a closed database with noise.
void DamagePage(const std::string& path, int64_t page);

// The middle leaf page of a table, in file order; -1 when it has fewer than
// three.
int64_t MiddleLeaf(const std::string& path, const char* table);

}  // namespace fenwyd::testing
