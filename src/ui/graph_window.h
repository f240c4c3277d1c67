#pragma once
// "Scatter Graph Live": the readings against clock time as they arrive, or
// the data log against sample number, with zoom and pan, the statistics
// beside it, and export as PNG or SVG and to the clipboard.
#include <QElapsedTimer>
#include <QTimer>
#include <optional>
#include <string>
#include <vector>

#include "datalog/plot_data.h"
#include "instrument/instrument_state.h"
#include "instrument/seams.h"
#include "ui/field_history.h"
#include "ui/side_window.h"

class QCategoryAxis;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QPainter;
class QLineSeries;
class QValueAxis;

namespace fenwyd::ui {

class PlotView;
class StatsView;

class GraphWindow : public SideWindow, public HistoryListener {
public:
    // What the graph shows: the live readings of the last N minutes, all of
    // them, or the data log. In this order in the window's "Show" list.
    enum class Show { Last1, Last5, Last15, Last60, AllLive, DataLog };

    GraphWindow(FieldHistory& history, const InstrumentState& st, Dialogs& dialogs,
                SettingsStore& settings);
    ~GraphWindow() override;

    void setShow(Show show);
    Show shown() const { return show_; }

    // Zoom halves or doubles the visible span: live, the newest reading stays
    // by the right edge while the graph follows it; otherwise the middle
    // stays. Pan moves by a quarter of the span.
    void zoomIn() { zoomAt(0.5, -1); }
    void zoomOut() { zoomAt(2.0, -1); }
    // factor on the span, about the point at `anchor` (0 left .. 1 right of
    // the plot; negative: as zoomIn and zoomOut).
    void zoomAt(double factor, double anchor);
    void panBy(double fraction);
    void fitAll();

    // The range on the time axis (ms since 1970) or the sample axis.
    double visibleFrom() const { return x0_; }
    double visibleTo() const { return x1_; }

    // Brings the graph up to date now (it otherwise does so at most once a
    // second while readings arrive); replot also rebuilds an unchanged plot.
    void refresh();
    void replot() {
        plotStale_ = true;
        refresh();
    }
    const PlotData& plotted() const { return plot_; }
    // Points the line series hold (a one-reading segment counts twice).
    std::size_t seriesPoints() const;
    int drawnSegments() const;
    // The value axis: its title (the display unit) and range; the plot's width.
    QString valueTitle() const;
    // The newest reading at the toolbar's end, and whether it is in red.
    QString readoutText() const;
    bool readoutAlarm() const;
    double valueMin() const;
    double valueMax() const;
    int plotWidth() const;
    StatsView* stats() const { return stats_; }
    // The reference level and the alarm threshold as drawn, in the value
    // axis's unit; nothing while not drawn (no level for the plotted
    // quantity; the threshold where it is the level itself).
    std::optional<double> levelLine() const;
    std::optional<double> alarmLine() const;
    QString levelLineName() const;

    // Exports; false (after telling the operator why) when the file could not
    // be written.
    bool savePng(const std::string& path);
    bool saveSvg(const std::string& path);
    void copyToClipboard();

    // Also what the graph shows.
    void savePlace(bool open) override;
    void restorePlace() override;

protected:
    void historyChanged(unsigned changes) override;
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    bool live() const { return show_ != Show::DataLog; }
    void buildTraceLive();
    void buildTraceLog();
    void placeRange();
    void placeTimeTicks();
    void showReadout();
    void keepOnLog();
    void addSegmentSeries();
    void applyPlot();
    // The level lines across the visible range; they widen the value range
    // [lo, hi] when they are near it. What the caption says of them.
    QString placeLevelLines(double& lo, double& hi, bool& ranged);
    void scheduleRefresh();
    void saveAs(const char* kind);
    QString exportTitle() const;
    void renderExport(QPainter& p, QSizeF target);
    QImage renderImage();

    FieldHistory& history_;
    const InstrumentState& st_;
    Dialogs& dialogs_;

    Show show_ = Show::Last5;
    bool follow_ = true;   // the newest reading stays by the right edge (live)
    bool fitAll_ = false;  // everything there is, however much that grows
    double span_ = 5 * 60000.0;
    double x0_ = 0, x1_ = 1;

    bool plotStale_ = true;  // else only the statistics are redrawn
    std::vector<TracePoint> trace_;
    PlotData plot_;

    QComboBox* showList_ = nullptr;
    PlotView* view_ = nullptr;
    QChart* chart_ = nullptr;
    QCategoryAxis* timeAxis_ = nullptr;
    QValueAxis* sampleAxis_ = nullptr;
    QValueAxis* valueAxis_ = nullptr;
    std::vector<QLineSeries*> segments_;
    QLineSeries* logged_ = nullptr;
    QLineSeries* levelLine_ = nullptr;
    QLineSeries* alarmLine_ = nullptr;
    StatsView* stats_ = nullptr;
    QLabel* caption_ = nullptr;
    QLabel* readout_ = nullptr;  // the newest reading, at the toolbar's end

    QTimer refreshTimer_;
    QElapsedTimer sinceRefresh_;
};

}  // namespace fenwyd::ui
