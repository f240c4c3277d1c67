#pragma once
// The statistics beside the graph and under the large display: the live
// readings since the last Clear Peak and the rows of the data log, in the
// present display unit.
#include <QString>
#include <QWidget>

#include "ui/field_history.h"

class QLabel;

namespace fenwyd::ui {

// A value in the display unit: five significant digits, enough for the
// probe's four and one more for a mean.
QString FormatValue(double value);
// When a live reading was taken, as the time of day of the readings.
QString FormatTimeOfDay(int64_t utcMs, int32_t utcOffsetSeconds);
// A length of time as h:mm:ss.
QString FormatDuration(int64_t ms);

class StatsView : public QWidget {
public:
    explicit StatsView(QWidget* parent);
    void showStats(const FieldHistory& history);
    // Text of this many pixels (the large display scales it with the window).
    void setTextPixelSize(int px);
    // The cell of a row ("Peak", "Mean", ...) in the live or the log column.
    // The exposure rows are "Maximum, % of level", "Mean, % of level", "At
    // or above alarm" and "Time at or above alarm" (shown with the threshold
    // in place of "alarm").
    QString cell(const QString& row, bool log) const;

private:
    static constexpr int kRowCount = 11;
    void fitColumns();
    void showExposure(const FieldHistory& history, bool log, Quantity q, const RunningStats& s,
                      QString* text);

    QLabel* unit_ = nullptr;
    QLabel* titles_[2] = {};
    QLabel* captions_[kRowCount] = {};
    QLabel* cells_[kRowCount][2] = {};
};

}  // namespace fenwyd::ui
