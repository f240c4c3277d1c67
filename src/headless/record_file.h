// Where the logger's records go: a file opened for appending, a FIFO, or
// standard output. Each record reaches the system whole, or not at all,
// before the next reading is taken.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include "headless/options.h"
#include "headless/records.h"

namespace fenwyd::headless {

class RecordFile {
public:
    // An empty path stands for standard output. layout: the CSV columns.
    RecordFile(QString path, OutputFormat format, RecordLayout layout = {});

    enum class Opened { Yes, No, NoReaderYet, OtherColumns };
    // Opens for appending; a new or empty CSV file gets the header row
    // first. No, with the system's reason. A FIFO is opened without waiting:
    // NoReaderYet while no program reads it (call again later).
    // OtherColumns, with what differs, for a CSV file whose header is not
    // this layout's: rows under one header must have its columns, and CSV
    // has no second header, so such a file is left as it is.
    Opened open(QString& error);
    // Closes and opens the same path again: after log rotation moved the
    // old file away, records go to a new file of that name. A FIFO stays
    // as it is.
    bool reopen(QString& error);
    // Writes one record and flushes it; false with the system's reason. A
    // record the system took only part of (a full disk, a file size limit)
    // is taken back out of the file, so the file never holds a torn line.
    bool write(const Record& record, QString& error);
    void close();

    QString name() const;
    // The last write failed because the reader of this pipe or FIFO went
    // away: nothing written from now on can reach anyone.
    bool readerGone() const { return readerGone_; }

private:
    bool put(const QByteArray& bytes, QString& error);
    bool openFifo(QString& error, bool& noReader);
    bool sameColumns(QString& error) const;
    QString path_;
    OutputFormat format_;
    RecordLayout layout_;
    QFile file_;
    bool fifo_ = false;
    bool readerGone_ = false;
};

}  // namespace fenwyd::headless
