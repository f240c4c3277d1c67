#include "headless/record_file.h"

#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fenwyd::headless {

namespace {
QString SystemReason(int code) { return QString::fromLocal8Bit(std::strerror(code)); }
}  // namespace

RecordFile::RecordFile(QString path, OutputFormat format, RecordLayout layout)
    : path_(std::move(path)), format_(format), layout_(layout) {}

// Whether a CSV file that holds records has this run's header: a logger
// restarted with other options must not append rows of another shape.
bool RecordFile::sameColumns(QString& error) const {
    QFile existing(path_);
    if (!existing.open(QIODevice::ReadOnly)) return true;  // unreadable: nothing to compare
    QByteArray first = existing.readLine(64 * 1024);
    while (first.endsWith('\n') || first.endsWith('\r')) first.chop(1);
    QByteArray mine = QByteArray::fromStdString(CsvHeader(layout_));
    mine.chop(2);
    if (first == mine) return true;
    if (!first.startsWith("kind,seq,utc,local,")) {
        error = QStringLiteral(
                    "cannot append to %1: it does not begin with the logger's CSV header; give a "
                    "new --output file")
                    .arg(path_);
        return false;
    }
    const QList<QByteArray> theirs = first.split(',');
    const QList<QByteArray> ours = mine.split(',');
    QStringList added, missing;
    for (const QByteArray& c : ours) {
        if (!theirs.contains(c)) added << QString::fromLatin1(c);
    }
    for (const QByteArray& c : theirs) {
        if (!ours.contains(c)) missing << QString::fromUtf8(c);
    }
    QStringList diff;
    if (!added.isEmpty()) {
        diff << QStringLiteral("these options add %1").arg(added.join(QStringLiteral(", ")));
    }
    if (!missing.isEmpty()) {
        diff << QStringLiteral("the file has %1 which these options do not write")
                    .arg(missing.join(QStringLiteral(", ")));
    }
    if (diff.isEmpty()) diff << QStringLiteral("its columns are in another order");
    error = QStringLiteral(
                "cannot append to %1: its CSV columns differ from this run's (%2); give a new "
                "--output file, or the options it was written with")
                .arg(path_, diff.join(QStringLiteral("; ")));
    return false;
}

QString RecordFile::name() const {
    return path_.isEmpty() ? QStringLiteral("standard output") : path_;
}

// Opening a FIFO for writing blocks until some program opens it for
// reading, and nothing else (not even an ending signal's handling) runs
// meanwhile: try without waiting, and let the caller try again.
bool RecordFile::openFifo(QString& error, bool& noReader) {
    noReader = false;
#if defined(Q_OS_UNIX)
    struct stat st {};
    const QByteArray path = QFile::encodeName(path_);
    fifo_ = ::stat(path.constData(), &st) == 0 && S_ISFIFO(st.st_mode);
    if (!fifo_) return false;
    const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        noReader = errno == ENXIO;
        error = SystemReason(errno);
        return false;
    }
    // Records then wait for a slow reader as they would for a disk.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file_.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                    QFileDevice::AutoCloseHandle)) {
        error = file_.errorString();
        ::close(fd);
        return false;
    }
    return true;
#else
    (void)error;
    return false;
#endif
}

RecordFile::Opened RecordFile::open(QString& error) {
    close();
    readerGone_ = false;
    bool ok = false;
    if (path_.isEmpty()) {
        ok = file_.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered,
                        QFileDevice::DontCloseHandle);
        if (!ok) error = file_.errorString();
    } else {
        bool noReader = false;
        ok = openFifo(error, noReader);
        if (noReader) return Opened::NoReaderYet;
        if (!ok && !fifo_) {
            file_.setFileName(path_);
            // Appending seeks, which a pipe or a device such as /dev/null refuses.
            const QFileInfo info(path_);
            const QIODevice::OpenMode append =
                info.exists() && !info.isFile() ? QIODevice::NotOpen : QIODevice::Append;
            ok = file_.open(QIODevice::WriteOnly | append | QIODevice::Unbuffered);
            if (!ok) error = file_.errorString();
        }
    }
    if (!ok) return Opened::No;
    // A file that already holds records (a restarted service) keeps its
    // header; a pipe always gets one.
    const bool fresh = file_.isSequential() || file_.size() == 0;
    if (format_ == OutputFormat::Csv && !fresh && !sameColumns(error)) {
        file_.close();
        return Opened::OtherColumns;
    }
    if (format_ == OutputFormat::Csv && fresh &&
        !put(QByteArray::fromStdString(CsvHeader(layout_)), error)) {
        return Opened::No;
    }
    return Opened::Yes;
}

bool RecordFile::reopen(QString& error) {
    if (path_.isEmpty() || fifo_) return true;
    return open(error) == Opened::Yes;
}

bool RecordFile::write(const Record& record, QString& error) {
    if (!file_.isOpen()) {
        error = QStringLiteral("not open");
        return false;
    }
    if (format_ == OutputFormat::Csv) {
        return put(QByteArray::fromStdString(CsvLine(record, layout_)), error);
    }
    return put(JsonText(record, layout_) + '\n', error);
}

bool RecordFile::put(const QByteArray& bytes, QString& error) {
    // Unbuffered: each write goes to the system. One that takes only part of
    // the record (a disk filling up) is asked for the rest, which either
    // goes too or fails with the system's reason.
    qint64 done = 0;
    int reason = 0;
    while (done < bytes.size()) {
        const qint64 n = file_.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            reason = errno;
            break;
        }
        done += n;
    }
    if (done == bytes.size()) return true;
    error = file_.error() != QFileDevice::NoError || reason == 0 ? file_.errorString()
                                                                 : SystemReason(reason);
    readerGone_ = reason == EPIPE;
    // Whole records or none: the part that went is taken back out.
    if (done > 0 && !file_.isSequential() && !file_.resize(file_.size() - done)) {
        error += QStringLiteral("; %1 bytes of the record stay in the file").arg(done);
    }
    return false;
}

void RecordFile::close() {
    if (file_.isOpen()) file_.close();
}

}  // namespace fenwyd::headless
