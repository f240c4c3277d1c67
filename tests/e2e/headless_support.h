#pragma once
// The real fenwyd8200 --headless as a child process, with no display, and
// the standard parsers that read what it wrote.
#include <signal.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace fenwyd::testing {

inline QString ProgramPath() { return QStringLiteral(FENWYD_PROGRAM); }

// The system's Python (its csv and json modules are the reference parsers).
inline QString Python() {
    const QString system = QStringLiteral("/usr/bin/python3");
    return QFile::exists(system) ? system : QStringLiteral("python3");
}

// The variables that lead a program to the user's own files.
constexpr const char* kHomeVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                          "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"};

// env with a home and XDG folders of its own inside folder, for each of those
// variables env does not set: a child never reads or writes the user's files.
inline QProcessEnvironment WithOwnHome(QProcessEnvironment env,
                                       const std::filesystem::path& folder) {
    for (const char* name : kHomeVariables) {
        if (env.contains(QLatin1String(name))) continue;
        const std::filesystem::path dir = folder / (std::string("own-") + name);
        std::filesystem::create_directories(dir);
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all);  // XDG_RUNTIME_DIR
        env.insert(QLatin1String(name), QString::fromStdString(dir.string()));
    }
    return env;
}

// This process's environment, the user's folders replaced by folder's own.
inline QProcessEnvironment OwnHomeEnvironment(const std::filesystem::path& folder) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : kHomeVariables) env.remove(QLatin1String(name));
    return WithOwnHome(env, folder);
}

// A German locale (comma decimals) the child can use: built once with
// localedef into the test folder, since a minimal system has none.
// Empty when that cannot be done.
inline QString CommaLocaleDir() {
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/locale-de");
    if (QFile::exists(dir + QStringLiteral("/de_DE.UTF-8/LC_NUMERIC"))) return dir;
    const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
    if (localedef.isEmpty()) return {};
    // Built aside and renamed, so tests running side by side never see half
    // a locale.
    const QString part = dir + QStringLiteral(".%1").arg(QCoreApplication::applicationPid());
    QDir().mkpath(part);
    TempFolder home;
    QProcess p;
    p.setProcessEnvironment(OwnHomeEnvironment(home.path()));
    p.start(localedef, {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                        QStringLiteral("UTF-8"), part + QStringLiteral("/de_DE.UTF-8")});
    p.waitForFinished(120000);
    if (!QFile::exists(part + QStringLiteral("/de_DE.UTF-8/LC_NUMERIC"))) {
        QDir(part).removeRecursively();
        return {};
    }
    if (!QDir().rename(part, dir)) QDir(part).removeRecursively();  // another test was first
    return QFile::exists(dir + QStringLiteral("/de_DE.UTF-8/LC_NUMERIC")) ? dir : QString();
}

// The environment of a service: no display at all, and none of the user's
// folders (a child gets its own: Logger::start); optionally a comma-decimal
// locale.
inline QProcessEnvironment ServiceEnvironment(const QString& localeDir = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(QLatin1String(name));
    }
    for (const char* name : kHomeVariables) env.remove(QLatin1String(name));
    if (!localeDir.isEmpty()) {
        env.insert(QStringLiteral("LOCPATH"), localeDir);
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
    }
    return env;
}

// The decimal point of that environment's locale, as Python's locale
// module sees it.
inline QString DecimalPoint(const QProcessEnvironment& env) {
    TempFolder home;
    QProcess p;
    p.setProcessEnvironment(WithOwnHome(env, home.path()));
    p.start(
        QStringLiteral("python3"),
        {QStringLiteral("-c"), QStringLiteral("import locale; locale.setlocale(locale.LC_ALL, ''); "
                                              "print(locale.localeconv()['decimal_point'])")});
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

struct Logger {
    TempFolder home;  // its HOME and XDG folders
    QProcess proc;
    void start(const QStringList& args, const QProcessEnvironment& env = ServiceEnvironment()) {
        startProgram(ProgramPath(), args, env);
    }
    void startProgram(const QString& program, const QStringList& args,
                      const QProcessEnvironment& env = ServiceEnvironment()) {
        proc.setProcessEnvironment(WithOwnHome(env, home.path()));
        proc.start(program, args);
        proc.waitForStarted(10000);
    }
    // Waits for the end; false when it did not end in time (then killed).
    bool finish(int ms) {
        bool ended = RunUntil([&] { return proc.state() == QProcess::NotRunning; }, ms);
        if (!ended) {
            proc.kill();
            proc.waitForFinished(5000);
        }
        err += QString::fromLocal8Bit(proc.readAllStandardError());
        return ended;
    }
    // Standard error so far.
    QString readErr() {
        err += QString::fromLocal8Bit(proc.readAllStandardError());
        return err;
    }
    void signal(int signo) { ::kill(static_cast<pid_t>(proc.processId()), signo); }
    bool normalExit() const {
        return proc.exitStatus() == QProcess::NormalExit && proc.exitCode() == 0;
    }
    QString err;
};

// Every line of a JSON-lines file, parsed; each line must be whole (end in
// a line feed) and a JSON object.
inline std::vector<QJsonObject> JsonLines(const std::filesystem::path& path) {
    std::vector<QJsonObject> out;
    QFile f(QString::fromStdString(path.string()));
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path;
        return out;
    }
    const QByteArray all = f.readAll();
    EXPECT_TRUE(all.isEmpty() || all.endsWith('\n')) << "the last line is cut short";
    for (const QByteArray& line : all.split('\n')) {
        if (line.isEmpty()) continue;
        QJsonParseError e{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &e);
        EXPECT_EQ(e.error, QJsonParseError::NoError) << line.toStdString();
        EXPECT_TRUE(doc.isObject()) << line.toStdString();
        out.push_back(doc.object());
    }
    return out;
}

// A CSV file as Python's csv module reads it (one dict a row, keyed by the
// header row), and the number of header rows it holds.
inline QJsonArray CsvRows(const std::filesystem::path& path, int* headerRows = nullptr) {
    TempFolder home;
    QProcess p;
    p.setProcessEnvironment(WithOwnHome(ServiceEnvironment(), home.path()));
    p.start(Python(), {QStringLiteral("-c"),
                       QStringLiteral("import csv, json, sys\n"
                                      "with open(sys.argv[1], newline='') as f:\n"
                                      "    rows = list(csv.DictReader(f, strict=True))\n"
                                      "print(json.dumps(rows))\n"),
                       QString::fromStdString(path.string())});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        ADD_FAILURE() << "python3's csv module could not read " << path << ": "
                      << p.readAllStandardError().toStdString();
        return {};
    }
    if (headerRows != nullptr) {
        const std::string text = ReadFile(path);
        *headerRows = 0;
        for (std::size_t at = 0; (at = text.find("kind,seq,", at)) != std::string::npos; ++at) {
            ++*headerRows;
        }
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

inline int64_t UtcMs(const QString& iso) {
    const QDateTime t = QDateTime::fromString(iso, Qt::ISODateWithMs);
    EXPECT_TRUE(t.isValid()) << iso.toStdString();
    return t.toMSecsSinceEpoch();
}

inline int64_t NowMs() { return QDateTime::currentMSecsSinceEpoch(); }

}  // namespace fenwyd::testing
