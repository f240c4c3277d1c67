// Fenwyd 8200: companion program for the QM-8203 and QM-8204 field-strength
// probes.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <csignal>

#include "headless/headless_main.h"
#include "headless/options.h"
#include "qt/qt_platform.h"
#include "qt/qt_serial_port.h"
#include "qt/signal_watch.h"
#include "report/command_line.h"
#include "ui/main_window.h"
#include "ui/session.h"

namespace {

std::string Local(const QString& path) {
    return QFile::encodeName(QDir::toNativeSeparators(path)).toStdString();
}

bool CanWriteIn(const QString& folder) {
    QTemporaryFile probe(folder + QStringLiteral("/.fenwyd-XXXXXX"));
    return probe.open();
}

// An installed program's folder belongs to the system, even where this user
// could write it.
bool IsInstalledFolder(const QString& folder) {
#ifdef Q_OS_WIN
    for (const char* var : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"}) {
        const QString root = QDir::fromNativeSeparators(qEnvironmentVariable(var));
        if (!root.isEmpty() && folder.startsWith(root, Qt::CaseInsensitive)) return true;
    }
    return false;
#else
    return folder.startsWith(QLatin1String("/usr/")) || folder.startsWith(QLatin1String("/opt/"));
#endif
}

}  // namespace

int main(int argc, char** argv) {
    // A report of saved data files: no window, no display.
    if (fenwyd::report::WantsReport(argc, argv)) return fenwyd::report::Main(argc, argv);

    // The unattended logger, --help and --version need no display: they
    // start before any window machinery.
    if (fenwyd::headless::WantsCommandLine(argc, argv)) {
        fenwyd::headless::HandOver(argv);
        return fenwyd::headless::Main(argc, argv);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fenwyd 8200"));
    QApplication::setApplicationDisplayName(QStringLiteral("Fenwyd 8200"));
    fenwyd::ui::InstallFontSubstitutes();

    fenwyd::QtSerialPort port;
    fenwyd::QtClock clock;
    fenwyd::QtSettingsStore settings;

    // The configuration and notes files live beside the program; an
    // installed program keeps them in the per-user configuration folder
    // instead, and saves data in the user's documents by default.
    const QString programFolder = QCoreApplication::applicationDirPath();
    QString filesFolder = programFolder;
    QString saveFolder = programFolder;
    if (IsInstalledFolder(programFolder) || !CanWriteIn(programFolder)) {
        filesFolder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                      QStringLiteral("/Fenwyd 8200");
        QDir().mkpath(filesFolder);
        saveFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (saveFolder.isEmpty()) saveFolder = QDir::homePath();
    }

    // The session journal lives in the per-user data folder
    // (~/.local/share/Fenwyd 8200/journal.sqlite on Linux).
    fenwyd::journal::Journal journal;
    journal.open(Local(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                       QStringLiteral("/journal.sqlite")));

    fenwyd::ui::MainWindow window(port, clock, settings, Local(filesFolder), nullptr,
                                  Local(saveFolder));
    fenwyd::ui::Session session(window, settings, clock, &journal);
    // A desktop logout (SIGTERM), Ctrl+C (SIGINT) or a closed terminal
    // (SIGHUP) ends the program the way closing its window does: the
    // configuration, the notes and the window's place are kept. Start-up's
    // dialogs and the splash run before the event loop, where quitting does
    // nothing: there the signal closes them, start-up runs on without any
    // more of them, and the shutdown follows here.
    bool running = false;  // the application's event loop
#ifdef SIGHUP
    fenwyd::SignalWatch endSignals({SIGTERM, SIGINT, SIGHUP});
#else
    fenwyd::SignalWatch endSignals({SIGTERM, SIGINT});
#endif
    endSignals.onSignal = [&](int) {
        window.endProgram();
        if (!running) return;
        // A transaction waiting for the probe is left (the port closes); one
        // interpreting a reply (a question of the interpreter's was open)
        // finishes that first.
        auto end = [&window] {
            window.close();
            QCoreApplication::quit();
        };
        if (window.instrument().Interpreting()) {
            window.instrument().AfterReply(end);
        } else {
            end();
        }
    };
    // A signal that came during a wait that runs no events (the splash) is
    // not delivered yet, but counts.
    auto ending = [&] { return window.ending() || fenwyd::SignalWatch::Arrived(); };
    window.instrument().Form_Load();
    if (!ending()) {
        window.show();
        session.startJournal();
    }
    if (ending()) {
        window.endProgram();
        window.close();
        return 0;
    }
    running = true;
    return QApplication::exec();
}
