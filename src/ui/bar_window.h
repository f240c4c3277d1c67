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

// The reading as percent of the reference level: cyan, red at or above the
// alarm threshold (marked), full scale the level or the threshold when that
// lies higher.
class ExposureBar : public QWidget {
public:
    explicit ExposureBar(QWidget* parent);
    // percent: NaN for no value.
    void setState(double percent, double alarmPercent);
    double percent() const { return percent_; }
    double fullScale() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    double percent_ = 0, alarm_ = 100;
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
    // "47.9 % of ICNIRP 2010 general public, 50 Hz: 2000 mG"; hidden
    // with its bar while no reference level is chosen.
    QString exposureText() const;
    const RangeBar* bar() const { return bar_; }
    const ExposureBar* exposureBar() const { return exposureBar_; }
    StatsView* stats() const { return stats_; }

protected:
    void historyChanged(unsigned changes) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void fitFonts();
    void showExposure(bool reading);

    FieldHistory& history_;
    QLabel* value_ = nullptr;
    QLabel* unit_ = nullptr;
    QLabel* range_ = nullptr;
    QLabel* percent_ = nullptr;
    RangeBar* bar_ = nullptr;
    QLabel* warning_ = nullptr;
    QLabel* peak_ = nullptr;
    QLabel* exposure_ = nullptr;
    ExposureBar* exposureBar_ = nullptr;
    StatsView* stats_ = nullptr;
};

}  // namespace fenwyd::ui
