#pragma once
// Where the readings were taken, for a session of the window: positions
// from gpsd (Options), the GPS state in the status bar, survey points
// marked, listed in their window and kept in the journal, and the survey
// exported as GeoJSON, KML or CSV.
#include <QObject>
#include <QString>
#include <memory>

#include "gpsd/gpsd_client.h"
#include "journal/survey_book.h"
#include "ui/gps_options.h"

class QLabel;
class QTimer;

namespace fenwyd::ui {

class MainWindow;
class OptionsDialog;
class PointsWindow;
struct WindowCommands;

class SurveySession : public QObject {
public:
    // recorder and journal: nullptr without a journal.
    SurveySession(MainWindow& window, SettingsStore& settings, Clock& clock,
                  journal::Journal* journal, journal::Recorder* recorder);
    ~SurveySession() override;

    // Mark Point, Survey Points and the exports.
    void addCommands(WindowCommands& commands);
    // Adds this section to Options; once it is closed, applyOptions takes
    // what it holds if it was accepted (the dialog still there).
    void addOptions(OptionsDialog& dialog);
    void applyOptions(bool accepted);
    void apply(const SurveySettings& s);

    void markPoint();
    void showPoints();
    // "GeoJSON", "KML" or "CSV", through the save dialog.
    void exportSurvey(const QString& format);
    // The window closes: a dwell ends with what it has; the window's place.
    void closing();
    // The window was first shown: the points window open at exit opens again.
    void shown();

    journal::SurveyBook& book() { return *book_; }
    PointsWindow* pointsWindow() const { return points_.get(); }
    GpsdClient* gps() const { return gps_.get(); }
    QLabel* gpsPanel() const { return gpsPanel_; }
    QLabel* pointsPanel() const { return pointsPanel_; }
    const SurveySettings& settings() const { return settings_; }

private:
    class Positions;
    void showGpsState();
    void showPointsState();
    void pointKept(int number);

    MainWindow& window_;
    SettingsStore& store_;
    Clock& clock_;
    SurveySettings settings_;
    std::unique_ptr<GpsdClient> gps_;
    std::unique_ptr<Positions> positions_;
    std::unique_ptr<journal::SurveyBook> book_;
    std::unique_ptr<PointsWindow> points_;
    SurveyOptions* section_ = nullptr;
    QLabel* gpsPanel_ = nullptr;
    QLabel* pointsPanel_ = nullptr;
    QString gpsProblem_;
    QString kept_;  // "P3 marked" for a while
    QTimer* keptTimer_ = nullptr;
};

}  // namespace fenwyd::ui
