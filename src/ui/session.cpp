#include "ui/session.h"

#include <QTimer>

#include "qt/qt_port_catalog.h"
#include "qt/qt_serial_port.h"
#include "ui/bar_window.h"
#include "ui/dialogs.h"
#include "ui/exposure_monitor.h"
#include "ui/exposure_options.h"
#include "ui/field_history.h"
#include "ui/graph_window.h"
#include "ui/main_window.h"
#include "ui/open_dialog.h"
#include "ui/options_dialog.h"
#include "ui/reporting.h"
#include "ui/survey_session.h"
#include "ui/text.h"

namespace fenwyd::ui {

namespace {
// Old logs go once the readings run: with a full journal, dropping one is a
// few hundred milliseconds of writing.
constexpr int kRetentionDelayMs = 30000;
constexpr int kCheckWatchMs = 250;
}  // namespace

Session::Session(MainWindow& window, SettingsStore& settings, Clock& clock,
                 journal::Journal* journal)
    : window_(window), settings_(settings), clock_(clock), journal_(journal) {
    catalog_ = std::make_unique<QtPortCatalog>();
    // The port picker leads into Options; the port is opened after it.
    window_.setPortHelp(catalog_.get(), [this](QWidget* over, int16_t chosenPort) {
        return runOptions(over, chosenPort, false);
    });
    if (journal_ != nullptr) {
        recorder_ = std::make_unique<journal::Recorder>(*journal_, clock, window_.dialogs());
        recorder_->onFailure = [this] { showJournalState(); };
        recorder_->onStatus = [this] { showJournalState(); };
        instrument().addObserver(recorder_.get());
    }
    history_ = std::make_unique<FieldHistory>(instrument().st);
    instrument().addObserver(history_.get());
    survey_ =
        std::make_unique<SurveySession>(window_, settings_, clock_, journal_, recorder_.get());
    exposure_ = std::make_unique<ExposureMonitor>(*history_, window_);
    exposure_->apply(LoadExposure(settings_));

    reports_ = std::make_unique<ReportWriter>(window_, settings_);

    WindowCommands commands;
    commands.open = [this] { openLogs(); };
    commands.report = [this] { reportDataLog(); };
    commands.options = [this] { showOptions(); };
    commands.graph = [this](const QString& key) { graphButton(key); };
    commands.clearPeak = [this] { history_->clearPeak(); };
    commands.closing = [this] { closing(); };
    commands.shown = [this] { shown(); };
    survey_->addCommands(commands);
    window_.setCommands(std::move(commands));
}

Session::~Session() {
    window_.setCommands(WindowCommands());
    reports_.reset();  // a report being written is finished first
    survey_.reset();
    graph_.reset();
    bar_.reset();
    exposure_.reset();
    instrument().removeObserver(history_.get());
    if (recorder_) instrument().removeObserver(recorder_.get());
}

Instrument& Session::instrument() { return window_.instrument(); }

void Session::showGraph() {
    if (!graph_) {
        graph_ =
            std::make_unique<GraphWindow>(*history_, instrument().st, window_.dialogs(), settings_);
        graph_->restorePlace();
    }
    graph_->show();
    graph_->raise();
}

void Session::showBarGraph() {
    if (!bar_) {
        bar_ = std::make_unique<BarWindow>(*history_, settings_);
        bar_->restorePlace();
    }
    bar_->show();
    bar_->raise();
}

void Session::graphButton(const QString& key) {
    if (key == QLatin1String("Scatter")) {
        showGraph();
    } else if (key == QLatin1String("BarGraph")) {
        showBarGraph();
    } else if (key == QLatin1String("ZoomIn") || key == QLatin1String("ZoomOut")) {
        showGraph();
        if (key == QLatin1String("ZoomIn")) {
            graph_->zoomIn();
        } else {
            graph_->zoomOut();
        }
    }
}

void Session::closing() {
    survey_->closing();  // a dwell's point, before the journal's last word
    if (recorder_) recorder_->programEnding();
    // Open at exit: open again at the next start.
    for (SideWindow* w :
         {static_cast<SideWindow*>(graph_.get()), static_cast<SideWindow*>(bar_.get())}) {
        if (w == nullptr) continue;
        w->savePlace(w->isVisible());
        w->hide();
    }
}

void Session::shown() {
    // After the main window, so they open over it.
    QTimer::singleShot(0, this, [this] {
        if (SideWindow::WasOpen(settings_, "Graph")) showGraph();
        if (SideWindow::WasOpen(settings_, "BarGraph")) showBarGraph();
    });
    survey_->shown();
}

// ------------------------------------------------------------ journal

void Session::startJournal() {
    if (journal_ == nullptr) return;
    if (!journal_->isOpen()) {
        showJournalState();
        window_.dialogs().message("The journal " + journal_->path() +
                                      " cannot be opened: " + journal_->error() +
                                      ".\n\nReading and logging go on, but the data log is kept in "
                                      "memory only: save it before you close the program.",
                                  MsgIcon::Exclamation);
        return;
    }
    journal::OfferRestore(*journal_, instrument(), window_.dialogs());
    window_.render();
    // The whole file is checked meanwhile, on a thread of its own.
    journal_->startCheck();
    checkWatch_ = new QTimer(this);
    connect(checkWatch_, &QTimer::timeout, this, [this] { reportCheck(); });
    checkWatch_->start(kCheckWatchMs);
    QTimer::singleShot(kRetentionDelayMs, this, [this] {
        window_.whenIdle([this] { journal::DropOldLogs(*journal_, clock_); });
    });
}

void Session::reportCheck() {
    const std::optional<std::string> findings = journal_->checkFindings();
    if (!findings) return;
    checkWatch_->stop();
    if (findings->empty()) return;
    window_.dialogs().notice(
        "The journal " + journal_->path() + " is damaged:\n" + *findings +
            "\n\nThe logs on the damaged parts cannot be read whole; \"Open\" "
            "lists every log that can still be read and says which could not. "
            "Reading and logging go on, and new readings are kept in the journal "
            "as long as it takes them.",
        MsgIcon::Exclamation);
}

void Session::showJournalState() {
    if (journal_ == nullptr) return;
    if (!journal_->isOpen()) {
        window_.showJournalState(
            QStringLiteral("No journal"),
            Qs("The journal " + journal_->path() + " is not in use: " + journal_->error()));
        return;
    }
    const std::string waiting = recorder_ ? recorder_->statusText() : std::string();
    window_.showJournalState(Qs(waiting),
                             Qs("The journal " + journal_->path() +
                                " cannot be written at the moment: " + journal_->error() +
                                ". The readings are kept in memory until it takes them."));
}

bool Session::replaceDataLog(const std::function<bool()>& load) {
    const InstrumentState& st = instrument().st;
    if (st.RecordOn != 0 || st.UploadActive != 0) {
        window_.dialogs().message(
            "Stop the log, or let the upload end, before you open another one.",
            MsgIcon::Information);
        return false;
    }
    const int32_t unsaved = recorder_ ? recorder_->unsavedRows() : st.RecordCnt;
    if (unsaved > 0 && !window_.dialogs().askYesNo(
                           "The data log holds " + std::to_string(unsaved) +
                               " readings not saved to a data file (the journal keeps them)."
                               "\n\nReplace the data log?",
                           MsgIcon::Question)) {
        return false;
    }
    const bool loaded = load();
    window_.render();
    return loaded;
}

void Session::openLogs() {
    if (window_.ending()) return;
    auto loadLog = [this](const journal::LogSummary& log) {
        std::string problem;
        const bool loaded = replaceDataLog(
            [&] { return journal::LoadLog(*journal_, instrument(), log, &problem); });
        if (!problem.empty()) window_.dialogs().message(problem, MsgIcon::Exclamation);
        return loaded;
    };
    auto openFile = [this](const QString& path) {
        SavedLog saved;
        std::string error;
        if (!ReadSavedLog(Local8(path), saved, error)) {
            window_.dialogs().message(
                "The file " + Local8(path) + " is not a data file of this program: " + error + ".",
                MsgIcon::Exclamation);
            return false;
        }
        const bool loaded = replaceDataLog([&] {
            return instrument().LoadDataLog(RowsOfSavedLog(saved), saved.pages.front().uploaded,
                                            saved.pages.front().unitsText, DataLogChange{});
        });
        if (loaded && saved.incomplete) {
            const DataFileContents& page = saved.pages.front();
            window_.dialogs().message(
                "The file " + Local8(path) + " is page " + std::to_string(page.page) + " of " +
                    std::to_string(page.pages) +
                    "; the other pages were not found beside it, so only its " +
                    std::to_string(page.rows.size()) + " rows were loaded.",
                MsgIcon::Information);
        }
        return loaded;
    };
    OpenDialog dialog(&window_, journal_, loadLog, openFile,
                      recorder_ ? recorder_->currentLog() : 0);
    dialog.setReport([this, &dialog](const journal::LogSummary& log) {
        report::ReportInput in;
        std::string error;
        if (!ReportOfJournalLog(*journal_, log, in, error)) {
            window_.dialogs().message("No report of this log: " + error + ".",
                                      MsgIcon::Exclamation);
            return;
        }
        const std::string name = log.files.empty() ? "report" : log.files.back();
        reports_->write(std::move(in), name, &dialog);
    });
    dialog.exec();
}

void Session::reportDataLog() {
    if (window_.ending()) return;
    const Instrument& in = instrument();
    report::ReportInput input = ReportOfDataLog(in, survey_->book().surveyPoints());
    const std::string name = in.st.SaveFileName.empty() ? "report" : in.st.SaveFileName;
    reports_->write(std::move(input), name);
}

// ------------------------------------------------------------- options

void Session::showOptions() { runOptions(&window_, instrument().st.CommPortNo, true); }

bool Session::runOptions(QWidget* over, int16_t chosenPort, bool reopen) {
    if (optionsOpen_ || window_.ending()) return false;
    optionsOpen_ = true;
    Instrument& in = instrument();
    OptionsDialog dlg(
        over, *catalog_, in.PortOptionsNow(), chosenPort, reopen && in.st.CommPortOpenOk == 1,
        [this](const std::string& device, int32_t baudRate, const OptionsDialog::TestDone& done) {
            instrument().TestPort(std::make_shared<QtSerialPort>(), device, baudRate,
                                  [this, done](const PortTestReport& report) {
                                      done(report);
                                      window_.render();
                                  });
        });
    survey_->addOptions(dlg);
    dlg.exposure()->set(exposure_->settings());
    const bool accepted = dlg.exec() == QDialog::Accepted && !window_.ending();
    survey_->applyOptions(accepted);
    optionsOpen_ = false;
    if (!accepted) return false;
    if (const std::optional<ExposureSettings> exposure = dlg.exposure()->settings()) {
        SaveExposure(settings_, *exposure);
        exposure_->apply(*exposure);
    }
    const PortOptions chosen = dlg.options();
    window_.whenIdle([this, chosen, reopen] { instrument().ApplyPortOptions(chosen, reopen); });
    return true;
}

}  // namespace fenwyd::ui
