// Reports from the window: File > "Report..." for the data log, and the
// "Report" button of "Open" for any log of the journal. The PDF is written
// on a thread of its own (a long log takes a second or more), so readings
// and the window go on meanwhile; the status bar says when it is there.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "instrument/instrument.h"
#include "journal/journal.h"
#include "position/survey.h"
#include "report/report_input.h"

class QLabel;
class QThread;
class QTimer;
class QWidget;

namespace fenwyd::ui {

class MainWindow;

// What a report of the data log is made from: its rows, each in its own
// unit, the test-condition answers and the log's survey points.
report::ReportInput ReportOfDataLog(const Instrument& in, const std::vector<SurveyPoint>& points);
// The same for a log of the journal; its site notes come from the data file
// it was last saved as, when that is still there. False, with the reason,
// when its rows cannot be read.
bool ReportOfJournalLog(journal::Journal& journal, const journal::LogSummary& log,
                        report::ReportInput& out, std::string& error);
report::SurveyPoint ReportPoint(const SurveyPoint& p);
// The reference level and alarm threshold chosen in Options (section
// "Exposure"), if any.
void ApplyExposureChoice(const SettingsStore& settings, report::ReportInput& in);

class ReportWriter : public QObject {
public:
    ReportWriter(MainWindow& window, SettingsStore& settings);
    ~ReportWriter() override;  // a report being written is finished first
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    // Asks where (the save dialog), then writes in the background; false
    // when nothing was started (cancelled, or one is still being written).
    bool write(report::ReportInput in, const std::string& suggestedName, QWidget* over = nullptr);
    bool writing() const { return thread_ != nullptr; }
    // The last report's outcome, for the status bar and the tests.
    const QString& lastResult() const { return lastResult_; }
    // Waits for the report being written (tests); false on timeout.
    bool waitForDone(int timeoutMs);

private:
    struct Job;
    void finished();
    // The status bar's report panel; hidden while empty, or after forMs.
    void showState(const QString& text, int forMs = 0);

    MainWindow& window_;
    SettingsStore& settings_;
    QThread* thread_ = nullptr;
    std::shared_ptr<Job> job_;
    QString lastResult_;
    QLabel* panel_ = nullptr;
    QTimer* hideTimer_ = nullptr;
};

}  // namespace fenwyd::ui
