#pragma once
// "Bar Graph": the reading in digits large enough to read from across the
// room (the probe often stands on a tripod metres from the laptop), its unit
// and range, a bar of the percent of range with the over- and under-range
// warnings, and the held peak with the statistics.
#include "ui/field_history.h"
#include "ui/side_window.h"

class QLabel;

namespace fenwyd::ui {

class StatsView;

// The percent of range as a horizontal bar, red when over range, yellow
// under it.
class RangeBar : public QWidget {
public:
    explicit RangeBar(QWidget* parent);
    void setState(int percent, bool over, bool under, bool known);
    int percent() const { return percent_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int percent_ = 0;
    bool over_ = false, under_ = false, known_ = false;
};

class BarWindow : public SideWindow, public HistoryListener {
public:
    BarWindow(FieldHistory& history, SettingsStore& settings);
    ~BarWindow() override;

    void refresh();
    QString valueText() const;
    bool valueInRed() const;
    QString unitText() const;
    QString rangeText() const;
    QString warningText() const;
    QString peakText() const;
    const RangeBar* bar() const { return bar_; }
    StatsView* stats() const { return stats_; }

protected:
    void historyChanged(unsigned changes) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void fitFonts();

    FieldHistory& history_;
    QLabel* value_ = nullptr;
    QLabel* unit_ = nullptr;
    QLabel* range_ = nullptr;
    QLabel* percent_ = nullptr;
    RangeBar* bar_ = nullptr;
    QLabel* warning_ = nullptr;
    QLabel* peak_ = nullptr;
    StatsView* stats_ = nullptr;
};

}  // namespace fenwyd::ui
