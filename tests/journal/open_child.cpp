// One program's first moments with the journal, for the contention test:
// waits for the start (end of file on the descriptor it is given), opens
// the journal, keeps a reading in a log of its own and says how it went.
// Usage: fenwyd_journal_open_child JOURNAL START-FD
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "journal/journal.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) return 2;
    const int start = std::atoi(argv[2]);
    char c = 0;
    while (read(start, &c, 1) > 0) {
    }
    fenwyd::journal::Journal journal;
    if (!journal.open(argv[1])) {
        std::printf("lost %s\n", journal.error().c_str());
        return 1;
    }
    // Its first reading, at the same moment as the others' (the program's
    // recorder would try again later; this one waits instead).
    journal.setLockWait(fenwyd::journal::kOpenPatienceMs);
    int64_t id = 0;
    fenwyd::journal::JournalRow r;
    r.row = 1;
    r.reading.unitsText = "Gauss";
    const bool ok =
        journal.beginLog(fenwyd::LogSource::Live, 1796551200000, 0, id) && journal.addRow(id, r);
    std::printf("%s %s\n", ok ? "open" : "unwritten", journal.error().c_str());
    std::fflush(stdout);
    return ok ? 0 : 1;
}
