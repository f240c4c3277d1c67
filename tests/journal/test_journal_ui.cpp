// The journal as the window shows it (offscreen): failures reported without
// a box that stops the readings, a damaged journal reported at start, what
// "Open" lets the operator do with the log being recorded.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>

#include "exposure/exposure_settings.h"
#include "journal/journal.h"
#include "support/fakes.h"
#include "support/files.h"
#include "support/harness.h"
#include "support/journal_fixtures.h"
#include "ui/main_window.h"
#include "ui/open_dialog.h"
#include "ui/reporting.h"
#include "ui/session.h"

namespace fenwyd::testing {
namespace {

namespace fs = std::filesystem;

// The window over a journal of its own, reading from a scripted probe.
struct Window {
    Window() {
        port.responder = [](const std::string& cmd) { return cmd == "RD" ? Rd("1250") : ""; };
    }
    void start(bool realDialogs) {
        w = std::make_unique<ui::MainWindow>(port, clock, settings, folder.str(),
                                             realDialogs ? nullptr : &dialogs, folder.str());
        session = std::make_unique<ui::Session>(*w, settings, clock, &journal);
        w->show();
        QApplication::processEvents();
        session->startJournal();
        w->instrument().OpenCommPort(2);
    }
    std::string path() const { return (folder.path() / "journal.sqlite").string(); }
    // One reading tick and its transaction, to its end.
    void tick() {
        w->instrument().HRTReadProbe_Timer();
        clock.runUntil([this] { return !w->instrument().InTransaction(); });
    }

    TempFolder folder;
    VirtualClock clock;
    FakeSerialPort port{clock};
    ScriptedDialogs dialogs;
    MemorySettings settings;
    journal::Journal journal;
    std::unique_ptr<ui::MainWindow> w;
    std::unique_ptr<ui::Session> session;
};

// Runs events until done() or the deadline.
bool Await(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QPushButton* Button(QWidget* dialog, const QString& text) {
    for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
        if (b->text() == text) return b;
    }
    return nullptr;
}

TEST(JournalWindow, AWriteFailureIsShownWithoutStoppingTheReadings) {
    Window win;
    ASSERT_TRUE(win.journal.open(win.path()));
    win.start(true);
    // A box that waits for a click would stop the readings: any that opens
    // is noted and closed.
    bool modal = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget* m = QApplication::activeModalWidget()) {
            modal = true;
            m->close();
        }
    });
    watch.start(5);
    Instrument& in = win.w->instrument();
    in.ToggleRecordOn();
    win.tick();
    DiskFull(true);
    for (int i = 0; i < 300; ++i) win.tick();
    QApplication::processEvents();
    EXPECT_FALSE(modal);
    EXPECT_GT(in.st.RecordCnt, 290) << "logging went on";
    QMessageBox* shown = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(top); box != nullptr && box->isVisible()) {
            shown = box;
        }
    }
    ASSERT_NE(shown, nullptr) << "the failure is said";
    EXPECT_TRUE(shown->text().contains(QStringLiteral("journal.sqlite")));
    EXPECT_FALSE(shown->isModal());
    QString status;
    for (QLabel* l : win.w->statusBar()->findChildren<QLabel*>()) {
        if (l->isVisible() && l->text().contains(QStringLiteral("journal"), Qt::CaseInsensitive))
            status = l->text();
    }
    EXPECT_FALSE(status.isEmpty()) << "the status bar says so";
    DiskFull(false);
    shown->close();
    watch.stop();
}

TEST(JournalWindow, ADamagedJournalIsReportedAtStart) {
    Window win;
    OldJournal old;
    old.rowsPerLog = 3000;
    std::string error;
    ASSERT_TRUE(WriteVersion1Journal(win.path(), old, error)) << error;
    {
        journal::Journal first;
        ASSERT_TRUE(first.open(win.path()));
    }
    DamagePage(win.path(), MiddleLeaf(win.path(), "reading"));
    ASSERT_TRUE(win.journal.open(win.path()));
    win.start(false);
    auto said = [&] {
        for (const auto& s : win.dialogs.shown) {
            if (s.text.find(win.path()) != std::string::npos) return s.text;
        }
        return std::string();
    };
    ASSERT_TRUE(Await([&] { return !said().empty(); }, 60000)) << "nothing said";
    EXPECT_NE(said().find("damaged"), std::string::npos) << said();
    EXPECT_EQ(win.dialogs.count("message"), 0) << "the readings do not wait for it";
}

TEST(JournalWindow, TheLogInTheDataLogCannotBeDeleted) {
    Window win;
    ASSERT_TRUE(win.journal.open(win.path()));
    win.start(false);
    Instrument& in = win.w->instrument();
    in.ToggleRecordOn();
    win.tick();
    in.ToggleRecordOn();  // an older log, stopped
    in.ToggleRecordOn();  // and the one being recorded
    win.tick();
    win.tick();
    bool checked = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("journalLogs"));
        QPushButton* del = Button(dialog, QStringLiteral("&Delete"));
        ASSERT_NE(table, nullptr);
        ASSERT_NE(del, nullptr);
        ASSERT_EQ(table->rowCount(), 2);
        table->selectRow(0);  // newest first: the one being recorded
        EXPECT_FALSE(del->isEnabled());
        EXPECT_FALSE(del->toolTip().isEmpty()) << "the button says why";
        table->selectRow(1);
        EXPECT_TRUE(del->isEnabled());
        checked = true;
        dialog->close();
    });
    win.session->openLogs();
    EXPECT_TRUE(checked);
}

TEST(JournalWindow, OpenSaysWhenSomeLogsCouldNotBeRead) {
    TempFolder folder;
    const std::string path = (folder.path() / "journal.sqlite").string();
    OldJournal old;
    old.logs = 400;
    old.rowsPerLog = 0;
    std::string error;
    ASSERT_TRUE(WriteVersion1Journal(path, old, error)) << error;
    {
        journal::Journal first;
        ASSERT_TRUE(first.open(path));
    }
    DamagePage(path, MiddleLeaf(path, "log"));
    journal::Journal j;
    ASSERT_TRUE(j.open(path));
    ui::OpenDialog dialog(
        nullptr, &j, [](const journal::LogSummary&) { return false; },
        [](const QString&) { return false; });
    EXPECT_GT(dialog.table()->rowCount(), 250);
    QString said;
    for (QLabel* l : dialog.findChildren<QLabel*>()) {
        if (l->text().contains(QStringLiteral("could not be read"))) said = l->text();
    }
    EXPECT_FALSE(said.isEmpty()) << "the list says it is not whole";
}

std::string PdfText(const std::string& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-layout"), QString::fromStdString(pdf), QStringLiteral("-")});
    p.waitForFinished(30000);
    return p.readAllStandardOutput().toStdString();
}

// File > "Report..." for the data log and "Report" in "Open" for a log of
// the journal: rows in two units, the site notes, the standard of Options,
// written while the window goes on.
TEST(JournalWindow, ReportsOfTheDataLogAndOfAJournalLog) {
    Window win;
    ASSERT_TRUE(win.journal.open(win.path()));
    ExposureSettings exposure;
    exposure.choice = ExposureSettings::Choice::Standard;
    for (const auto& [key, value] : SaveExposureSettings(exposure)) {
        win.settings.set(kExposureSection, key, value);
    }
    win.start(false);
    Instrument& in = win.w->instrument();
    in.st.NoteQuery = {{"Where?", "Site", "Substation 4"}};
    win.tick();
    EXPECT_FALSE(in.view.mnuFileReport.enabled) << "nothing logged yet";
    in.ToggleRecordOn();
    win.tick();
    win.tick();
    EXPECT_FALSE(in.view.mnuFileReport.enabled) << "not while logging";
    win.port.responder = [](const std::string& cmd) {
        return cmd == "RD" ? Rd("1500", 'E', '0', 'V') : "";
    };
    win.tick();
    in.ToggleRecordOn();
    EXPECT_TRUE(in.view.mnuFileReport.enabled);

    const report::ReportInput input = ui::ReportOfDataLog(in, {});
    ASSERT_EQ(input.rows.size(), 3u);
    EXPECT_EQ(input.rows[0].reading.unitsLabel, "mG");
    EXPECT_EQ(input.rows[2].reading.unitsText, "V/m");
    EXPECT_EQ(input.notes.size(), 1u);

    const std::string pdf = (win.folder.path() / "site.pdf").string();
    win.dialogs.saveChoice = pdf;
    win.session->reportDataLog();
    EXPECT_EQ(win.dialogs.lastSaveRequest.fileName, "report.pdf");
    EXPECT_TRUE(win.session->reports().writing());
    win.tick();  // the readings go on meanwhile
    ASSERT_TRUE(win.session->reports().waitForDone(60000));
    EXPECT_TRUE(win.session->reports().lastResult().startsWith(QStringLiteral("Report written")))
        << win.session->reports().lastResult().toStdString();
    const std::string text = PdfText(pdf);
    EXPECT_NE(text.find("Substation 4"), std::string::npos);
    EXPECT_NE(text.find("ICNIRP 2010"), std::string::npos);
    EXPECT_NE(text.find("V/m"), std::string::npos);
    EXPECT_NE(text.find("mG"), std::string::npos);

    // The same log from the journal, through "Open".
    const std::string fromJournal = (win.folder.path() / "journal-log.pdf").string();
    win.dialogs.saveChoice = fromJournal;
    bool pressed = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        const auto close = qScopeGuard([dialog] { dialog->close(); });
        auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("journalLogs"));
        QPushButton* report = Button(dialog, QStringLiteral("&Report"));
        ASSERT_NE(report, nullptr);
        ASSERT_EQ(table->rowCount(), 1);
        EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("3"));
        table->selectRow(0);
        ASSERT_TRUE(report->isEnabled());
        report->click();
        pressed = true;
    });
    win.session->openLogs();
    ASSERT_TRUE(pressed);
    ASSERT_TRUE(win.session->reports().waitForDone(60000));
    const std::string journalText = PdfText(fromJournal);
    EXPECT_NE(journalText.find("Log started"), std::string::npos);
    EXPECT_NE(journalText.find("ICNIRP 2010"), std::string::npos);

    // A report to a folder that is not there: said, nothing claimed.
    win.dialogs.saveChoice = (win.folder.path() / "missing" / "x.pdf").string();
    win.session->reportDataLog();
    ASSERT_TRUE(win.session->reports().waitForDone(60000));
    ASSERT_FALSE(win.dialogs.messages().empty());
    EXPECT_EQ(win.dialogs.messages().back().rfind("The report ", 0), 0u);
}

}  // namespace
}  // namespace fenwyd::testing

// Offscreen unless told otherwise, in a home of its own.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    for (const char* var :
         {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        qputenv(var, QFile::encodeName(home.path()));
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
