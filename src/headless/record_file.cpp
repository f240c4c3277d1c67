#include "headless/record_file.h"

#include <QFileInfo>
#include <cstdio>

namespace fenwyd::headless {

RecordFile::RecordFile(QString path, OutputFormat format)
    : path_(std::move(path)), format_(format) {}

QString RecordFile::name() const {
    return path_.isEmpty() ? QStringLiteral("standard output") : path_;
}

bool RecordFile::open(QString& error) {
    close();
    bool ok = false;
    if (path_.isEmpty()) {
        ok = file_.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered,
                        QFileDevice::DontCloseHandle);
    } else {
        file_.setFileName(path_);
        // Appending seeks, which a pipe or a device such as /dev/null refuses.
        const QFileInfo info(path_);
        const QIODevice::OpenMode append =
            info.exists() && !info.isFile() ? QIODevice::NotOpen : QIODevice::Append;
        ok = file_.open(QIODevice::WriteOnly | append | QIODevice::Unbuffered);
    }
    if (!ok) {
        error = file_.errorString();
        return false;
    }
    // A file that already holds records (a restarted service) keeps its
    // header; a pipe always gets one.
    const bool fresh = file_.isSequential() || file_.size() == 0;
    if (format_ == OutputFormat::Csv && fresh)
        return put(QByteArray::fromStdString(CsvHeader()), error);
    return true;
}

bool RecordFile::reopen(QString& error) {
    if (path_.isEmpty()) return true;
    return open(error);
}

bool RecordFile::write(const Record& record, QString& error) {
    if (!file_.isOpen()) {
        error = QStringLiteral("not open");
        return false;
    }
    if (format_ == OutputFormat::Csv) return put(QByteArray::fromStdString(CsvLine(record)), error);
    return put(JsonText(record) + '\n', error);
}

bool RecordFile::put(const QByteArray& bytes, QString& error) {
    // Unbuffered: one write to the system per record.
    if (file_.write(bytes) != bytes.size()) {
        error = file_.errorString();
        return false;
    }
    return true;
}

void RecordFile::close() {
    if (file_.isOpen()) file_.close();
}

}  // namespace fenwyd::headless
