#include "ui/graph_window.h"

#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QGraphicsLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgGenerator>
#include <QToolBar>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "common/file_write.h"
#include "ui/stats_view.h"
#include "ui/text.h"

namespace fenwyd::ui {

namespace {
constexpr int kRefreshMs = 1000;  // at most one redraw a second while readings arrive

// A strip one line high whose label fills it.
class CaptionStrip : public QWidget {
public:
    explicit CaptionStrip(QWidget* parent) : QWidget(parent), label(new QLabel(this)) {}
    QLabel* const label;

protected:
    void resizeEvent(QResizeEvent* e) override {
        QWidget::resizeEvent(e);
        label->setGeometry(rect());
    }
};

constexpr double kMinuteMs = 60000.0;
constexpr double kMinLiveSpanMs = 5000.0;
constexpr double kMaxLiveSpanMs = 7 * 24 * 60 * kMinuteMs;
constexpr double kMinLogSpan = 4.0;
constexpr double kPanFraction = 0.25;
constexpr int kScrollSteps = 10;  // a following range moves on by a tenth of itself
constexpr double kWheelStep = 1.25;
constexpr int kExportScale = 2;
constexpr int kMaxTimeTicks = 7;
constexpr int kMaxSampleTicks = 8;
constexpr int kMaxValueTicks = 6;

const QColor kReadingColor(0, 128, 0);  // the panel's green, darker for white paper
const QColor kLoggedColor(200, 0, 0);
const QColor kLevelColor(220, 110, 0);
const QColor kAlarmColor(170, 0, 170);
// A level line no higher than this times the largest reading shown joins
// the value axis; one far above would squash the readings into a flat line.
constexpr double kLevelReach = 2.0;
constexpr double kLevelHeadroom = 1.08;  // room for the line at the top

const char* const kShowNames[] = {"Last 1 minute",   "Last 5 minutes",    "Last 15 minutes",
                                  "Last 60 minutes", "All live readings", "Data log"};
const double kShowMinutes[] = {1, 5, 15, 60};

// A round dot for the logged readings, drawn as an image at each point;
// smaller where they crowd, so the line still shows between them.
constexpr int kMarkerSize = 7, kSmallMarkerSize = 4;
constexpr int kMarkerSpacing = 8;  // px per logged reading below which the small dot is used
QImage LoggedMarker(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kLoggedColor);
    p.drawEllipse(QRectF(0, 0, size, size));
    return img;
}

QList<QPointF> ToPoints(const std::vector<XY>& xy) {
    QList<QPointF> out;
    out.reserve(static_cast<qsizetype>(xy.size()));
    for (const XY& p : xy) out.append(QPointF(p.x, p.y));
    return out;
}
}  // namespace

// The chart with the mouse: the wheel zooms the time axis about the
// pointer, a drag pans it, a double click fits everything.
class PlotView : public QChartView {
public:
    PlotView(QChart* chart, GraphWindow& owner) : QChartView(chart), owner_(owner) {
        setRubberBand(QChartView::NoRubberBand);
    }

protected:
    double fractionAt(double x) const {
        const QRectF area = chart()->plotArea();
        return area.width() > 0 ? std::clamp((x - area.left()) / area.width(), 0.0, 1.0) : 0.5;
    }
    void wheelEvent(QWheelEvent* e) override {
        const int delta = e->angleDelta().y();
        if (delta == 0) return;
        owner_.zoomAt(delta > 0 ? 1.0 / kWheelStep : kWheelStep, fractionAt(e->position().x()));
        e->accept();
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton) return QChartView::mousePressEvent(e);
        dragX_ = e->position().x();
        dragging_ = true;
        setCursor(Qt::ClosedHandCursor);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (!dragging_) return QChartView::mouseMoveEvent(e);
        const double width = chart()->plotArea().width();
        if (width > 0) owner_.panBy(-(e->position().x() - dragX_) / width);
        dragX_ = e->position().x();
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (!dragging_) return QChartView::mouseReleaseEvent(e);
        dragging_ = false;
        unsetCursor();
    }
    void mouseDoubleClickEvent(QMouseEvent*) override { owner_.fitAll(); }

private:
    GraphWindow& owner_;
    bool dragging_ = false;
    double dragX_ = 0;
};

GraphWindow::GraphWindow(FieldHistory& history, const InstrumentState& st, Dialogs& dialogs,
                         SettingsStore& settings)
    : SideWindow(settings, "Graph"), history_(history), st_(st), dialogs_(dialogs) {
    setWindowTitle(QStringLiteral("Scatter Graph Live - Fenwyd 8200"));
    resize(980, 560);

    chart_ = new QChart;
    chart_->setMargins(QMargins(4, 4, 8, 4));
    chart_->setBackgroundRoundness(0);  // a plain rectangle paints faster
    // The theme's white is a gradient from white to white: painted as one,
    // each redraw fills the chart pixel by pixel on the painting threads.
    chart_->setBackgroundBrush(Qt::white);
    QFont titleFont = chart_->titleFont();
    titleFont.setBold(true);
    chart_->setTitleFont(titleFont);  // shown on exports only
    chart_->legend()->setAlignment(Qt::AlignBottom);
    chart_->legend()->setMarkerShape(QLegend::MarkerShapeCircle);
    // Labels on whole seconds, minutes or hours: a category axis with the
    // labels on the values.
    timeAxis_ = new QCategoryAxis;
    timeAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    timeAxis_->setTitleText(QStringLiteral("Time"));
    sampleAxis_ = new QValueAxis;
    sampleAxis_->setLabelFormat(QStringLiteral("%.0f"));
    sampleAxis_->setTickType(QValueAxis::TicksDynamic);
    sampleAxis_->setTickAnchor(0);
    sampleAxis_->setTitleText(QStringLiteral("Sample"));
    valueAxis_ = new QValueAxis;
    valueAxis_->setTickCount(6);
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(valueAxis_, Qt::AlignLeft);

    logged_ = new QLineSeries;
    logged_->setName(QStringLiteral("Logged"));
    logged_->setPen(QPen(kLoggedColor, 1, Qt::NoPen));
    logged_->setLightMarker(LoggedMarker(kMarkerSize));
    logged_->setMarkerSize(kMarkerSize);
    chart_->addSeries(logged_);
    logged_->attachAxis(timeAxis_);
    logged_->attachAxis(valueAxis_);
    addSegmentSeries();  // the legend's "Readings"
    levelLine_ = new QLineSeries;
    levelLine_->setPen(QPen(kLevelColor, 2));
    alarmLine_ = new QLineSeries;
    alarmLine_->setPen(QPen(kAlarmColor, 2, Qt::DashLine));
    for (QLineSeries* s : {levelLine_, alarmLine_}) {
        chart_->addSeries(s);
        s->attachAxis(timeAxis_);
        s->attachAxis(valueAxis_);
        s->setVisible(false);
    }

    view_ = new PlotView(chart_, *this);
    view_->setMinimumSize(320, 200);

    auto* bar = new QToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto* showLabel = new QLabel(QStringLiteral(" Show "), bar);
    bar->addWidget(showLabel);
    showList_ = new QComboBox(bar);
    for (const char* name : kShowNames) showList_->addItem(QString::fromLatin1(name));
    showList_->setCurrentIndex(static_cast<int>(show_));
    bar->addWidget(showList_);
    connect(showList_, QOverload<int>::of(&QComboBox::activated), this,
            [this](int i) { setShow(static_cast<Show>(i)); });
    bar->addSeparator();
    bar->addAction(QStringLiteral("Zoom In"), this, [this] { zoomIn(); });
    bar->addAction(QStringLiteral("Zoom Out"), this, [this] { zoomOut(); });
    bar->addAction(QStringLiteral("< Earlier"), this, [this] { panBy(-kPanFraction); });
    bar->addAction(QStringLiteral("Later >"), this, [this] { panBy(kPanFraction); });
    bar->addAction(QStringLiteral("Fit All"), this, [this] { fitAll(); });
    bar->addSeparator();
    bar->addAction(QStringLiteral("Save PNG..."), this, [this] { saveAs("png"); });
    bar->addAction(QStringLiteral("Save SVG..."), this, [this] { saveAs("svg"); });
    bar->addAction(QStringLiteral("Copy"), this, [this] { copyToClipboard(); });
    auto* spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    readout_ = new QLabel(bar);
    readout_->setTextFormat(Qt::PlainText);
    readout_->setContentsMargins(6, 0, 8, 0);
    QFont big = readout_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.4);
    readout_->setFont(big);
    readout_->setAccessibleName(QStringLiteral("Latest reading"));
    // Of a fixed size, a new reading repaints the readout alone: a label free
    // to resize has the toolbar laid out and painted again each time.
    const QMargins m = readout_->contentsMargins();
    const QFontMetrics fm(big);
    readout_->setFixedSize(
        fm.horizontalAdvance(QStringLiteral("-88.888 mW/cm\u00b2")) + m.left() + m.right(),
        fm.height() + m.top() + m.bottom());
    bar->addWidget(readout_);

    stats_ = new StatsView(this);
    stats_->setMinimumWidth(300);
    // The caption under the graph changes with each refresh. It lies in a
    // strip of one line without a layout of its own: a new text repaints the
    // line and lays nothing out (a label in the window's layout has the whole
    // window laid out again). A text longer than the window is cut; its tool tip
    // holds it whole.
    auto* strip = new CaptionStrip(this);
    caption_ = strip->label;
    caption_->setTextFormat(Qt::PlainText);
    caption_->setContentsMargins(6, 0, 6, 2);
    strip->setFixedHeight(caption_->fontMetrics().height() + 2);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->addWidget(view_, 1);
    body->addWidget(stats_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addLayout(body, 1);
    layout->addWidget(strip);

    refreshTimer_.setSingleShot(true);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] { refresh(); });
    history_.addListener(this);
}

GraphWindow::~GraphWindow() {
    history_.removeListener(this);
    // The chart owns the axis it shows, not the other one.
    if (live()) {
        delete sampleAxis_;
    } else {
        delete timeAxis_;
    }
}

void GraphWindow::addSegmentSeries() {
    auto* s = new QLineSeries;
    s->setPen(QPen(kReadingColor, 1.5));
    chart_->addSeries(s);
    s->attachAxis(live() ? static_cast<QAbstractAxis*>(timeAxis_) : sampleAxis_);
    s->attachAxis(valueAxis_);
    if (segments_.empty()) {
        s->setName(QStringLiteral("Readings"));
    } else {
        // Segments past the first share its legend entry.
        for (QLegendMarker* m : chart_->legend()->markers(s)) m->setVisible(false);
    }
    segments_.push_back(s);
}

void GraphWindow::setShow(Show show) {
    const bool wasLive = live();
    show_ = show;
    if (showList_->currentIndex() != static_cast<int>(show)) {
        showList_->setCurrentIndex(static_cast<int>(show));
    }
    follow_ = true;
    fitAll_ = show == Show::AllLive || show == Show::DataLog;
    if (show <= Show::Last60) span_ = kShowMinutes[static_cast<int>(show)] * kMinuteMs;
    if (wasLive != live()) {
        // The time axis for live readings, the sample axis for the log.
        QAbstractAxis* from = wasLive ? static_cast<QAbstractAxis*>(timeAxis_) : sampleAxis_;
        QAbstractAxis* to = live() ? static_cast<QAbstractAxis*>(timeAxis_) : sampleAxis_;
        chart_->removeAxis(from);
        chart_->addAxis(to, Qt::AlignBottom);
        for (QLineSeries* s : segments_) s->attachAxis(to);
        for (QLineSeries* s : {logged_, levelLine_, alarmLine_}) s->attachAxis(to);
        logged_->setVisible(live());  // every row of the log is logged
    }
    plotStale_ = true;
    refresh();
}

void GraphWindow::historyChanged(unsigned changes) {
    // The log's plot does not move with live readings; its statistics do.
    const unsigned plotted = (live() ? kLiveChanged | kLogChanged : kLogChanged) | kExposureChanged;
    if ((changes & plotted) != 0) plotStale_ = true;
    scheduleRefresh();
}

void GraphWindow::scheduleRefresh() {
    if (!isVisible() || isMinimized() || refreshTimer_.isActive()) return;
    // The first change after a quiet second shows at once; the ones after
    // it are gathered into one redraw a second.
    const qint64 since = sinceRefresh_.isValid() ? sinceRefresh_.elapsed() : kRefreshMs;
    refreshTimer_.start(static_cast<int>(std::max<qint64>(0, kRefreshMs - since)));
}

void GraphWindow::showEvent(QShowEvent* e) {
    SideWindow::showEvent(e);
    plotStale_ = true;
    refresh();
}

void GraphWindow::changeEvent(QEvent* e) {
    SideWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && isVisible() && !isMinimized()) {
        scheduleRefresh();
    }
}

void GraphWindow::resizeEvent(QResizeEvent* e) {
    SideWindow::resizeEvent(e);
    // The thinning depends on the plot's width.
    plotStale_ = true;
    scheduleRefresh();
}

// ------------------------------------------------------------------ range

namespace {
// The first multiple of step after x: the right edge of a range that moves
// in steps, not with every reading.
double NextStep(double x, double step) { return (std::floor(x / step) + 1) * step; }
}  // namespace

void GraphWindow::placeRange() {
    // Following the newest reading, the range jumps on by a tenth of itself
    // when the newest reaches its edge, as a strip chart does: in between
    // only the line moves, the axes and their labels stay as they are (most
    // of a redraw's cost).
    if (live()) {
        const auto& pts = history_.live();
        const double newest = pts.empty() ? static_cast<double>(QDateTime::currentMSecsSinceEpoch())
                                          : static_cast<double>(pts.back().utcMs);
        const double oldest = pts.empty() ? newest : static_cast<double>(pts.front().utcMs);
        if (fitAll_) {
            const double extent = std::max(newest - oldest, kMinLiveSpanMs);
            x0_ = oldest;
            x1_ = NextStep(newest, NiceStep(extent, kScrollSteps));
        } else if (follow_) {
            x1_ = NextStep(newest, span_ / kScrollSteps);
            x0_ = x1_ - span_;
        }
    } else if (fitAll_) {
        const double n = std::max<double>(history_.logCount(), 2);
        x0_ = 1;
        // While logging the log grows by a row a reading: in steps too.
        x1_ = st_.RecordOn == 1 ? NextStep(n, NiceStep(n, kScrollSteps)) : n;
    }
}

void GraphWindow::keepOnLog() {
    // The log's view stays over its rows.
    const double n = std::max<double>(history_.logCount(), 2);
    const double span = x1_ - x0_;
    if (x0_ < 1) {
        x0_ = 1;
        x1_ = 1 + span;
    } else if (x1_ > n) {
        x1_ = n;
        x0_ = n - span;
    }
}

void GraphWindow::zoomAt(double factor, double anchor) {
    plotStale_ = true;
    placeRange();
    const double span = x1_ - x0_;
    const double lo = live() ? kMinLiveSpanMs : kMinLogSpan;
    const double hi = live() ? kMaxLiveSpanMs : std::max<double>(history_.logCount() - 1, lo);
    const double next = std::clamp(span * factor, lo, hi);
    if (live() && follow_ && (anchor < 0 || fitAll_)) {
        // Following the newest reading: it stays by the right edge.
        span_ = next;
        fitAll_ = false;
    } else if (!live() && next >= hi) {
        fitAll_ = true;
    } else {
        const double a = anchor < 0 ? 0.5 : anchor;
        const double at = x0_ + a * span;
        x0_ = at - a * next;
        x1_ = x0_ + next;
        fitAll_ = false;
        follow_ = false;
    }
    refresh();
}

void GraphWindow::panBy(double fraction) {
    plotStale_ = true;
    placeRange();
    const double shift = fraction * (x1_ - x0_);
    x0_ += shift;
    x1_ += shift;
    fitAll_ = false;
    follow_ = false;
    if (!live()) keepOnLog();
    if (live() && !history_.live().empty() &&
        x1_ >= static_cast<double>(history_.live().back().utcMs) + span_ / kScrollSteps) {
        // Back at the newest reading: follow it again.
        span_ = x1_ - x0_;
        follow_ = true;
    }
    refresh();
}

void GraphWindow::fitAll() {
    plotStale_ = true;
    fitAll_ = true;
    follow_ = true;
    refresh();
}

// ---------------------------------------------------------------- drawing

void GraphWindow::buildTraceLive() {
    const auto& pts = history_.live();
    const DisplayUnit unit = history_.displayUnit();
    auto first = std::lower_bound(pts.begin(), pts.end(), x0_,
                                  [](const LivePoint& p, double x) { return p.utcMs < x; });
    auto last = std::upper_bound(pts.begin(), pts.end(), x1_,
                                 [](double x, const LivePoint& p) { return x < p.utcMs; });
    if (first != pts.begin()) --first;
    if (last != pts.end()) ++last;
    trace_.clear();
    for (auto it = first; it != last; ++it) {
        TracePoint t;
        t.x = static_cast<double>(it->utcMs);
        // Readings of another quantity are not on this axis: a new series.
        t.gap = it->gap || it->quantity != unit.quantity;
        t.y = t.gap ? 0 : unit.fromSi(it->si);
        t.logged = it->logged;
        trace_.push_back(t);
    }
}

void GraphWindow::buildTraceLog() {
    const DisplayUnit unit = history_.logDisplayUnit();
    const int32_t n = history_.logCount();
    const auto first = static_cast<int32_t>(std::max(1.0, std::floor(x0_) - 1));
    const auto last = static_cast<int32_t>(std::min<double>(n, std::ceil(x1_) + 1));
    trace_.clear();
    for (int32_t row = first; row <= last; ++row) {
        Quantity q = Quantity::Unknown;
        const double si = history_.logValueSi(row, q);
        TracePoint t;
        t.x = row;
        t.gap = q != unit.quantity || !std::isfinite(si);
        t.y = t.gap ? 0 : unit.fromSi(si);
        trace_.push_back(t);
    }
}

void GraphWindow::refresh() {
    refreshTimer_.stop();
    sinceRefresh_.start();
    stats_->showStats(history_);
    showReadout();
    if (!plotStale_) return;
    plotStale_ = false;
    placeRange();
    if (live()) {
        buildTraceLive();
    } else {
        buildTraceLog();
    }
    const double width = chart_->plotArea().width();
    const int columns = width > 10 ? static_cast<int>(width) : std::max(view_->width() - 80, 100);
    plot_ = BuildPlot(trace_, x0_, x1_, columns);
    applyPlot();
}

void GraphWindow::applyPlot() {
    while (segments_.size() < plot_.segments.size()) addSegmentSeries();
    // Dots on the line while they stand apart.
    const bool dots = !plot_.thinned && plot_.readings * 4 <= static_cast<std::size_t>(std::max(
                                                                  chart_->plotArea().width(), 1.0));
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        QLineSeries* s = segments_[i];
        if (i < plot_.segments.size()) {
            s->replace(ToPoints(plot_.segments[i]));
        } else if (s->count() > 0) {
            s->clear();
        }
        if (s->pointsVisible() != dots) s->setPointsVisible(dots);
    }
    if (live()) {
        const double width = std::max(chart_->plotArea().width(), 1.0);
        const int size =
            plot_.logged.size() * kMarkerSpacing > width ? kSmallMarkerSize : kMarkerSize;
        if (logged_->markerSize() != size) {
            logged_->setLightMarker(LoggedMarker(size));
            logged_->setMarkerSize(size);
        }
        logged_->replace(ToPoints(plot_.logged));
    } else if (logged_->count() > 0) {
        logged_->clear();
    }

    if (live()) {
        placeTimeTicks();
    } else {
        // Whole sample numbers only.
        sampleAxis_->setTickInterval(std::max(1.0, NiceStep(x1_ - x0_, kMaxSampleTicks)));
        sampleAxis_->setRange(x0_, x1_);
    }
    const DisplayUnit unit = live() ? history_.displayUnit() : history_.logDisplayUnit();
    const QString unitText = QString::fromLatin1(unit.label.c_str());
    if (valueAxis_->titleText() != unitText) valueAxis_->setTitleText(unitText);
    double lo = plot_.yMin, hi = plot_.yMax;
    bool ranged = plot_.hasValues;
    const QString levelNote = placeLevelLines(lo, hi, ranged);
    if (ranged) {
        if (hi == lo) {
            const double pad = std::max(std::fabs(hi) * 0.05, 1e-3);
            lo -= pad;
            hi += pad;
        }
        // Round steps; field strengths are not negative, so no axis below 0.
        const double step = NiceStep(hi - lo, kMaxValueTicks - 1);
        lo = std::floor(lo / step) * step;
        hi = std::ceil(hi / step) * step;
        if (lo < 0 && (!plot_.hasValues || plot_.yMin >= 0)) lo = 0;
        valueAxis_->setRange(lo, hi);
        valueAxis_->setTickCount(static_cast<int>(std::lround((hi - lo) / step)) + 1);
    }

    QString caption;
    if (live()) {
        caption = QStringLiteral("%1 readings shown").arg(plot_.readings);
        if (!follow_ && !fitAll_) caption += QStringLiteral(" (not following: Fit All to follow)");
    } else {
        caption = QStringLiteral("%1 rows in the data log").arg(history_.logCount());
        const int32_t flagged = history_.logOutOfRangeCount();
        const int64_t other =
            history_.logCount() - flagged - history_.logStats(unit.quantity).count();
        if (other > 0) {
            caption += QStringLiteral(", %1 of them of another quantity not drawn").arg(other);
        }
        if (flagged > 0) caption += QStringLiteral(", %1 over or under range").arg(flagged);
    }
    if (plot_.thinned) caption += QStringLiteral("; smallest and largest of each pixel column");
    if (!levelNote.isEmpty()) caption += QStringLiteral("; ") + levelNote;
    if (caption_->text() != caption) {
        caption_->setText(caption);
        caption_->setToolTip(caption);  // whole, where the window cuts it
    }
}

void GraphWindow::showReadout() {
    const Readout r = LatestReadout(history_);
    const QString text = r.unit.isEmpty() ? r.value : r.value + QLatin1Char(' ') + r.unit;
    if (readout_->text() != text) {
        readout_->setText(text);
        const QMargins m = readout_->contentsMargins();
        const int needed = readout_->fontMetrics().horizontalAdvance(text) + m.left() + m.right();
        if (needed > readout_->maximumWidth()) readout_->setFixedWidth(needed);  // for good
    }
    const QColor color = r.alarm ? QColor(220, 0, 0) : palette().color(QPalette::WindowText);
    if (readout_->palette().color(QPalette::WindowText) != color) {
        QPalette p = readout_->palette();
        p.setColor(QPalette::WindowText, color);
        readout_->setPalette(p);
    }
}

QString GraphWindow::readoutText() const { return readout_->text(); }
bool GraphWindow::readoutAlarm() const {
    return readout_->palette().color(QPalette::WindowText) == QColor(220, 0, 0);
}

void GraphWindow::placeTimeTicks() {
    const int32_t offsetS = history_.current().utcOffsetSeconds;
    const TimeTicks ticks = ClockTicks(x0_, x1_, kMaxTimeTicks, offsetS * 1000.0);
    // Seconds where the ticks are seconds apart, the day where the range
    // spans days (labels must differ from each other).
    const bool days = x1_ - x0_ > 86400000.0;
    const QString format = ticks.stepMs >= 86400000.0 ? QStringLiteral("d MMM")
                           : days                     ? QStringLiteral("d MMM HH:mm")
                           : ticks.stepMs < 60000.0   ? QStringLiteral("HH:mm:ss")
                                                      : QStringLiteral("HH:mm");
    QStringList labels;
    for (double at : ticks.at) {
        labels << QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(at), Qt::OffsetFromUTC,
                                                 offsetS)
                      .toString(format);
    }
    // Following the newest reading the range moves every second, the ticks
    // only every minute or so: rebuilt only then.
    const QStringList shown = timeAxis_->categoriesLabels();
    if (labels != shown || (!labels.isEmpty() && timeAxis_->endValue(labels[0]) != ticks.at[0])) {
        for (const QString& l : shown) timeAxis_->remove(l);
        // Each category ends at its tick; the first starts a step before.
        timeAxis_->setStartValue(ticks.at.empty() ? x0_ : ticks.at[0] - ticks.stepMs);
        for (int i = 0; i < labels.size(); ++i) timeAxis_->append(labels[i], ticks.at[i]);
    }
    timeAxis_->setRange(x0_, x1_);
}

QString GraphWindow::placeLevelLines(double& lo, double& hi, bool& ranged) {
    const DisplayUnit unit = live() ? history_.displayUnit() : history_.logDisplayUnit();
    const std::optional<SiLevel> l = history_.level(unit.quantity);
    if (!l) {
        levelLine_->setVisible(false);
        alarmLine_->setVisible(false);
        return QString();
    }
    const double level = unit.fromSi(l->value);
    const double percent = history_.alarmPercent();
    const double alarm = level * percent / 100;
    const bool apart = percent != 100;  // else one line is both
    const QString unitText = Qs(" " + unit.label);
    QString levelName = Qs(FormatSignificant(level)) + unitText;
    if (l->throughMu0) levelName += QStringLiteral(" (%1)").arg(QLatin1String(kThroughMu0));
    levelName =
        (apart ? QStringLiteral("Reference level ") : QStringLiteral("Reference level = alarm ")) +
        levelName;
    const double top = apart ? std::max(level, alarm) : level;
    const double bottom = apart ? std::min(level, alarm) : level;
    const bool shown = !ranged || bottom <= kLevelReach * hi;
    if (shown) {
        if (!ranged) lo = hi = 0;
        lo = std::min(lo, bottom);
        hi = std::max(hi, top * kLevelHeadroom);
        ranged = true;
    }
    const auto across = [this](QLineSeries* s, double y, const QString& name, bool visible) {
        s->replace(QList<QPointF>{QPointF(x0_, y), QPointF(x1_, y)});
        if (s->name() != name) s->setName(name);
        if (s->isVisible() != visible) s->setVisible(visible);
    };
    across(levelLine_, level, levelName, shown);
    across(alarmLine_, alarm,
           QStringLiteral("Alarm at ") +
               Qs(FormatPercent(percent) + ", " + FormatSignificant(alarm)) + unitText,
           shown && apart);
    if (shown) return QString();
    return QStringLiteral("the reference level (%1%2) lies above the plotted range")
        .arg(Qs(FormatSignificant(level)), unitText);
}

std::optional<double> GraphWindow::levelLine() const {
    if (!levelLine_->isVisible() || levelLine_->count() == 0) return std::nullopt;
    return levelLine_->at(0).y();
}

std::optional<double> GraphWindow::alarmLine() const {
    if (!alarmLine_->isVisible() || alarmLine_->count() == 0) return std::nullopt;
    return alarmLine_->at(0).y();
}

QString GraphWindow::levelLineName() const { return levelLine_->name(); }

QString GraphWindow::valueTitle() const { return valueAxis_->titleText(); }
double GraphWindow::valueMin() const { return valueAxis_->min(); }
double GraphWindow::valueMax() const { return valueAxis_->max(); }
int GraphWindow::plotWidth() const { return static_cast<int>(chart_->plotArea().width()); }

std::size_t GraphWindow::seriesPoints() const {
    std::size_t n = 0;
    for (const QLineSeries* s : segments_) n += static_cast<std::size_t>(s->count());
    return n;
}

int GraphWindow::drawnSegments() const {
    int n = 0;
    for (const QLineSeries* s : segments_) n += s->count() > 0 ? 1 : 0;
    return n;
}

// ----------------------------------------------------------------- export

QString GraphWindow::exportTitle() const {
    const Measurement& r = history_.current();
    QString title = QStringLiteral("Fenwyd 8200");
    if (r.model != 0) title += QStringLiteral(", QM-%1").arg(r.model);
    if (live()) {
        auto at = [&](double ms) {
            return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms), Qt::OffsetFromUTC,
                                                  r.utcOffsetSeconds)
                .toString(QStringLiteral("d MMM yyyy HH:mm:ss"));
        };
        return title + QStringLiteral(": readings from %1 to %2").arg(at(x0_), at(x1_));
    }
    return title + QStringLiteral(": data log, samples %1 to %2 of %3")
                       .arg(std::max(1L, std::lround(x0_)))
                       .arg(std::min<long>(std::lround(x1_), history_.logCount()))
                       .arg(history_.logCount());
}

void GraphWindow::renderExport(QPainter& p, QSizeF target) {
    // The picture for a report says what it shows; the window does not need to.
    chart_->setTitle(exportTitle());
    chart_->layout()->activate();
    replot();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    view_->render(&p, QRectF(QPointF(0, 0), target), view_->viewport()->rect());
    chart_->setTitle(QString());
    chart_->layout()->activate();
}

QImage GraphWindow::renderImage() {
    // Twice the size on the screen: sharp when printed.
    QImage img(view_->viewport()->size() * kExportScale, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    renderExport(p, QSizeF(img.size()));
    return img;
}

bool GraphWindow::savePng(const std::string& path) {
    const QImage img = renderImage();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    std::string reason = "The image could not be encoded.";
    if (img.save(&buffer, "PNG") && WriteFileReplacing(path, bytes.toStdString(), reason)) {
        return true;
    }
    dialogs_.message("Unable to save the graph " + path + ".  " + reason, MsgIcon::Exclamation);
    return false;
}

bool GraphWindow::saveSvg(const std::string& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QSize size = view_->viewport()->size();
    {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(exportTitle());
        QPainter p(&svg);
        renderExport(p, QSizeF(size));
    }
    std::string reason;
    if (WriteFileReplacing(path, bytes.toStdString(), reason)) return true;
    dialogs_.message("Unable to save the graph " + path + ".  " + reason, MsgIcon::Exclamation);
    return false;
}

void GraphWindow::copyToClipboard() { QGuiApplication::clipboard()->setImage(renderImage()); }

void GraphWindow::saveAs(const char* kind) {
    const bool png = std::string(kind) == "png";
    SaveDialogRequest request;
    request.defaultExt = kind;
    request.filter = png ? "PNG Images (*.png)|*.png|All Files (*.*)|*.*"
                         : "SVG Images (*.svg)|*.svg|All Files (*.*)|*.*";
    request.title = png ? "Save Graph as PNG" : "Save Graph as SVG";
    request.initDir = st_.DefaultSavePath;
    // Beside the data file of the same name, when the log was saved.
    request.fileName = st_.SaveFileName.empty() ? std::string("graph") : st_.SaveFileName;
    request.fileName += std::string(".") + kind;
    request.overwritePrompt = true;
    std::string chosen;
    if (!dialogs_.saveFile(request, chosen) || chosen.empty()) return;
    if (png) {
        savePng(chosen);
    } else {
        saveSvg(chosen);
    }
}

// --------------------------------------------------------------- settings

void GraphWindow::savePlace(bool open) {
    SideWindow::savePlace(open);
    settings_.set(section_, "Show", std::to_string(static_cast<int>(show_)));
}

void GraphWindow::restorePlace() {
    SideWindow::restorePlace();
    const std::string saved = settings_.get(section_, "Show", "1");
    const int index = saved.size() == 1 && saved[0] >= '0' && saved[0] <= '5' ? saved[0] - '0' : 1;
    setShow(static_cast<Show>(index));
}

}  // namespace fenwyd::ui
