// Where the logger's records go: a file opened for appending, or standard
// output. Each record reaches the system before the next reading is taken.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include "headless/options.h"
#include "headless/records.h"

namespace fenwyd::headless {

class RecordFile {
public:
    // An empty path stands for standard output.
    RecordFile(QString path, OutputFormat format);

    // Opens for appending; a new or empty CSV file gets the header row
    // first. False with the system's reason.
    bool open(QString& error);
    // Closes and opens the same path again: after log rotation moved the
    // old file away, records go to a new file of that name.
    bool reopen(QString& error);
    // Writes one record and flushes it; false with the reason.
    bool write(const Record& record, QString& error);
    void close();

    QString name() const;

private:
    bool put(const QByteArray& bytes, QString& error);
    QString path_;
    OutputFormat format_;
    QFile file_;
};

}  // namespace fenwyd::headless
