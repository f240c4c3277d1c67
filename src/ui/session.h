// A session of the program around its main window: the journal (restoring a
// crashed log, "Open", keeping every row), Options and the port picker's way
// into it, and the side windows with what they follow. main() builds it
// beside the window; the window keeps widgets and painting only, and hands
// the commands that open windows of their own to the session.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "instrument/instrument.h"
#include "journal/journal.h"
#include "journal/recorder.h"
#include "link/port_catalog.h"

class QTimer;
class QWidget;

namespace fenwyd::ui {

class BarWindow;
class ExposureMonitor;
class FieldHistory;
class GraphWindow;
class MainWindow;
class ReportWriter;
class SurveySession;

class Session : public QObject {
public:
    // journal: the session journal, opened or not (nullptr: none at all).
    Session(MainWindow& window, SettingsStore& settings, Clock& clock,
            journal::Journal* journal = nullptr);
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    MainWindow& window() { return window_; }
    Instrument& instrument();
    FieldHistory& history() { return *history_; }
    // The exposure label and the settings the figures are judged by.
    ExposureMonitor& exposure() { return *exposure_; }

    // "Scatter Graph Live" and "Bar Graph": made on first use, then shown
    // and hidden; nullptr until then.
    void showGraph();
    void showBarGraph();
    GraphWindow* graphWindow() const { return graph_.get(); }
    BarWindow* barWindow() const { return bar_.get(); }

    // After start-up, with the window shown: a journal that could not be
    // opened is reported; otherwise a log a crash left is offered back.
    void startJournal();
    // "Open": the journal's logs and data files.
    void openLogs();
    journal::Recorder* recorder() { return recorder_.get(); }
    // Positions, survey points and their window.
    SurveySession& survey() { return *survey_; }
    // File > "Report...": the data log as a PDF (also from "Open" for a
    // log of the journal).
    void reportDataLog();
    ReportWriter& reports() { return *reports_; }

    // Options (toolbar button "Properties"): the port mapping and line speed,
    // and the exposure settings (applied at once).
    void showOptions();
    // Options over `over`, the number chosenPort marked; true when accepted.
    // reopen: the port in use follows the new mapping at once (from the
    // port picker the mapping is only stored).
    bool runOptions(QWidget* over, int16_t chosenPort, bool reopen);

private:
    // The toolbar keys of the graph and its zoom.
    void graphButton(const QString& key);
    // The window closes: the journal's last word, the side windows' places.
    void closing();
    // The window was first shown: the side windows open at exit open again.
    void shown();
    // The data log's rows are replaced by load() after the operator agreed
    // (nothing unsaved, or asked); false when nothing changed.
    bool replaceDataLog(const std::function<bool()>& load);
    // The status bar's journal panel: not in use, or readings waiting for it.
    void showJournalState();
    // The quick check's findings, when it has them.
    void reportCheck();

    MainWindow& window_;
    SettingsStore& settings_;
    Clock& clock_;
    journal::Journal* journal_;
    std::unique_ptr<PortCatalog> catalog_;
    std::unique_ptr<journal::Recorder> recorder_;
    // Destroyed before the window's logic, the windows before what they show.
    std::unique_ptr<FieldHistory> history_;
    std::unique_ptr<GraphWindow> graph_;
    std::unique_ptr<BarWindow> bar_;
    std::unique_ptr<SurveySession> survey_;
    std::unique_ptr<ReportWriter> reports_;
    std::unique_ptr<ExposureMonitor> exposure_;
    QTimer* checkWatch_ = nullptr;
    bool optionsOpen_ = false;
};

}  // namespace fenwyd::ui
