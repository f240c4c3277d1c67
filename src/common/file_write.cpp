#include "common/file_write.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace fenwyd {

namespace {

// The temporary file QSaveFile makes beside an existing target is the
// target's name plus a 7-character suffix; names that leave no room for it
// are written under a short name and renamed over the target here.
constexpr int kNameMax = 255;
constexpr int kSaveFileSuffix = 7;

QString FromLocal(const std::string& s) { return QFile::decodeName(QByteArray::fromStdString(s)); }
std::string ToLocal(const QString& s) { return QFile::encodeName(s).toStdString(); }

// The file a path finally names, through any chain of symbolic links.
QString ResolveLinks(const QString& path) {
    QString target = path;
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(target);
        if (!info.isSymLink()) break;
        target = info.symLinkTarget();
    }
    return target;
}

bool WriteThrough(QSaveFile& file, const std::function<bool(const ChunkWriter&)>& body,
                  std::string& reason) {
    if (!file.open(QIODevice::WriteOnly)) {
        reason = file.errorString().toStdString();
        return false;
    }
    // A short write without an error (a file system filling up) is tried
    // again for the rest, which then fails with the system's reason.
    const ChunkWriter writer = [&file](const char* data, std::size_t size) {
        while (size > 0) {
            const qint64 n = file.write(data, static_cast<qint64>(size));
            if (n <= 0) return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    };
    if (!body(writer)) {
        reason = file.errorString().toStdString();
        if (reason.empty() || file.error() == QFileDevice::NoError) {
            reason = std::make_error_code(std::errc::io_error).message();
        }
        file.cancelWriting();  // the temporary file goes with the object
        return false;
    }
    if (!file.commit()) {
        reason = file.errorString().toStdString();
        return false;
    }
    return true;
}

bool ReplaceLongName(const QString& target, const std::function<bool(const ChunkWriter&)>& body,
                     std::string& reason) {
    const QFileInfo info(target);
    const QString shortName = info.absolutePath() + QStringLiteral("/.fenwyd-save.tmp");
    QSaveFile file(shortName);
    if (!WriteThrough(file, body, reason)) return false;
    QFile::setPermissions(shortName, info.permissions());
    std::error_code ec;
    std::filesystem::rename(ToLocal(shortName), ToLocal(target), ec);
    if (!ec) return true;
    reason = ec.message();
    QFile::remove(shortName);
    return false;
}

}  // namespace

bool WriteFileReplacing(const std::string& path,
                        const std::function<bool(const ChunkWriter&)>& body, std::string& reason) {
    const QString target = ResolveLinks(FromLocal(path));
    const QFileInfo info(target);
    if (info.exists() && !info.isDir() &&
        QFile::encodeName(info.fileName()).size() > kNameMax - kSaveFileSuffix) {
        return ReplaceLongName(target, body, reason);
    }
    QSaveFile file(target);
    return WriteThrough(file, body, reason);
}

bool WriteFileReplacing(const std::string& path, const std::string& bytes, std::string& reason) {
    return WriteFileReplacing(
        path,
        [&bytes](const ChunkWriter& write) {
            return bytes.empty() || write(bytes.data(), bytes.size());
        },
        reason);
}

bool ReadRegularFile(const std::string& path, std::string& contents, std::size_t maxBytes) {
    const QFileInfo info(FromLocal(path));
    // Checked before opening: opening a FIFO for reading blocks until a
    // writer comes.
    if (!info.isFile() || static_cast<std::size_t>(info.size()) > maxBytes) return false;
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly)) return false;
    // The size it had a moment ago and one more byte: a file that grew since
    // is caught below, and no buffer of the whole limit is set aside.
    const QByteArray data = file.read(info.size() + 1);
    if (static_cast<std::size_t>(data.size()) > maxBytes) return false;
    contents.assign(data.constData(), static_cast<std::size_t>(data.size()));
    return true;
}

}  // namespace fenwyd
