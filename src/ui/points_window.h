#pragma once
// "Survey Points": the points marked with the log in the data log, each
// with its reading, where it was taken (the fix, or a place typed by hand),
// its name and note; the selected one edited or deleted below the list;
// the survey exported for map and table tools.
#include <QMap>
#include <functional>

#include "instrument/seams.h"
#include "journal/survey_book.h"
#include "ui/side_window.h"

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace fenwyd::ui {

class PointsWindow : public SideWindow {
public:
    // markAction: the main window's "Mark Point", offered here too.
    // exportSurvey: "GeoJSON", "KML" or "CSV".
    PointsWindow(journal::SurveyBook& book, Dialogs& dialogs, SettingsStore& settings,
                 QAction* markAction, std::function<void(const QString& format)> exportSurvey);

    // The list brought up to date with the book (the selection kept).
    void refresh();
    // A line under the list: a dwell running, an export done.
    void showStatus(const QString& text);
    void select(int number);
    int selectedNumber() const;  // 0: none

    QTableWidget* table() const { return table_; }
    QLineEdit* nameEdit() const { return name_; }
    QLineEdit* placeEdit() const { return place_; }
    QLineEdit* noteEdit() const { return note_; }
    QPushButton* deleteButton() const { return delete_; }
    // "GeoJSON", "KML", "CSV".
    QPushButton* exportButton(const QString& format) const { return export_.value(format); }
    QLabel* statusLabel() const { return status_; }

    enum Column { kPoint, kName, kTime, kValue, kRange, kPosition, kNote, kDwellMax, kDwellMean };

private:
    // The edit fields show the selected point; what was typed is kept when
    // a field is left.
    void showSelected();
    void commit();
    void deleteSelected();

    journal::SurveyBook& book_;
    Dialogs& dialogs_;
    QTableWidget* table_ = nullptr;
    QLabel* summary_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* place_ = nullptr;
    QLineEdit* note_ = nullptr;
    QPushButton* delete_ = nullptr;
    QMap<QString, QPushButton*> export_;
    QLabel* status_ = nullptr;
    int shown_ = 0;  // the point the edit fields show
    bool filling_ = false;
};

// The list's texts. Position: the fix ("52.205300° N, 1.510000° W (3D)"),
// then the place typed by hand; "No fix" without either. A dwell's
// maximum or mean in the point's display unit ("2.1 mG").
QString PositionText(const journal::StoredPoint& p);
QString DwellText(const SurveyPoint& p, double baseValue);

}  // namespace fenwyd::ui
