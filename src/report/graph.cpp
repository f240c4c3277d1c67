#include "report/graph.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "datalog/plot_data.h"
#include "report/pages.h"

namespace fenwyd::report {

namespace {

constexpr double kAxisWidth = 48;   // value labels, points
constexpr double kUnitHeight = 20;  // the unit over the value axis
constexpr double kTickHeight = 14;  // time labels under the plot
constexpr double kTitleHeight = 14;
constexpr double kCaptionHeight = 28;
constexpr int kMaxValueTicks = 6;
constexpr int kMaxTimeTicks = 8;
constexpr double kMsPerDay = 86400000;

const QColor kLine(0x1f, 0x4e, 0x9a);
const QColor kLevel(0xc0, 0x10, 0x10);
const QColor kAlarm(0xe0, 0x80, 0x00);
const QColor kGrid(0xdd, 0xdd, 0xdd);

QString Clock(double ms, bool seconds) {
    auto s = static_cast<int64_t>(std::floor(ms / 1000));
    s = ((s % 86400) + 86400) % 86400;
    return seconds ? QStringLiteral("%1:%2:%3")
                         .arg(s / 3600, 2, 10, QLatin1Char('0'))
                         .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                         .arg(s % 60, 2, 10, QLatin1Char('0'))
                   : QStringLiteral("%1:%2")
                         .arg(s / 3600, 2, 10, QLatin1Char('0'))
                         .arg(s / 60 % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

void DrawGraph(QPainter& p, const Pages& pages, const QRectF& area, const ReportInput& in,
               const RowTimes& times, const GraphedQuantity& graphed) {
    // The rows of this quantity; the others, and over- and under-range
    // readings, break the line.
    std::vector<TracePoint> points;
    points.reserve(in.rows.size());
    std::size_t counted = 0;
    for (std::size_t i = 0; i < in.rows.size(); ++i) {
        const Measurement& m = in.rows[i].reading;
        TracePoint t;
        t.x = times.at(i);
        if (m.valid() && m.quantity == graphed.quantity) {
            t.y = ValueIn(m, graphed.label);
            ++counted;
        } else {
            t.gap = true;
        }
        points.push_back(t);
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const TracePoint& a, const TracePoint& b) { return a.x < b.x; });
    // The time axis spans this quantity's readings.
    double x0 = 0, x1 = -1;
    for (const TracePoint& t : points) {
        if (t.gap) continue;
        if (x1 < x0) x0 = x1 = t.x;
        x0 = std::min(x0, t.x);
        x1 = std::max(x1, t.x);
    }
    const bool samples = times.base() == RowTimes::Base::Samples;
    if (x1 < x0) {  // nothing to draw
        x0 = 0;
        x1 = 1;
    } else if (x1 == x0) {  // one instant: a minute or two samples wide
        x0 -= samples ? 1 : 30000;
        x1 += samples ? 1 : 30000;
    }

    const QRectF plot(
        area.left() + pages.pt(kAxisWidth), area.top() + pages.pt(kUnitHeight),
        area.width() - pages.pt(kAxisWidth) - pages.pt(4),
        area.height() - pages.pt(kUnitHeight + kTickHeight + kTitleHeight + kCaptionHeight));
    const int columns = std::max(1, static_cast<int>(plot.width() / pages.pt(0.5)));
    const PlotData data = BuildPlot(points, x0, x1, columns);

    // The value axis runs from zero (readings are magnitudes) to the
    // largest reading; the level joins it when that does not squash the
    // readings into the bottom half.
    double lo = std::min(0.0, data.yMin), hi = data.hasValues ? data.yMax : 1;
    // The level lines get room for their names above them.
    const bool levelShown = graphed.level && *graphed.level <= 2 * hi;
    if (levelShown) hi = std::max(hi, *graphed.level * 1.08);
    if (levelShown && graphed.alarm) hi = std::max(hi, *graphed.alarm * 1.08);
    if (!(hi > lo)) hi = lo + (lo == 0 ? 1 : std::fabs(lo));
    const double step = NiceStep(hi - lo, kMaxValueTicks - 1);
    hi = std::ceil(hi / step - 1e-9) * step;
    lo = std::floor(lo / step + 1e-9) * step;

    auto px = [&](double x) { return plot.left() + (x - x0) / (x1 - x0) * plot.width(); };
    auto py = [&](double y) { return plot.bottom() - (y - lo) / (hi - lo) * plot.height(); };

    const QFont small = pages.font(7.5);
    const QFontMetricsF fm(small, p.device());
    p.save();
    p.setFont(small);

    // Grid, value labels and the unit.
    p.setPen(Qt::black);
    p.drawText(QRectF(area.left(), area.top(), plot.left() - area.left() - pages.pt(4),
                      pages.pt(kUnitHeight - 7)),
               Qt::AlignRight | Qt::AlignBottom, Text(graphed.label));
    for (double v = lo; v <= hi + step / 2; v += step) {
        const double y = py(v);
        p.setPen(QPen(kGrid, pages.pt(0.4)));
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        p.setPen(Qt::black);
        const QString text = Text(FormatSignificant(std::fabs(v) < step / 1e6 ? 0 : v, 6));
        p.drawText(QRectF(area.left(), y - pages.pt(6), plot.left() - area.left() - pages.pt(4),
                          pages.pt(12)),
                   Qt::AlignRight | Qt::AlignVCenter, text);
    }

    // The time or sample axis.
    std::vector<std::pair<double, QString>> ticks;
    QString axisTitle;
    if (samples) {
        const double s = std::max(1.0, NiceStep(x1 - x0, kMaxTimeTicks));
        for (double x = std::ceil(x0 / s) * s; x <= x1; x += s) {
            ticks.emplace_back(x, QString::number(static_cast<long long>(x)));
        }
        axisTitle = QStringLiteral("Sample number");
    } else {
        const TimeTicks t = ClockTicks(x0, x1, kMaxTimeTicks, times.offsetMs());
        for (double x : t.at) {
            const double local = x + times.offsetMs();
            QString label = Clock(local, t.stepMs < 60000);
            if (t.stepMs >= kMsPerDay) {
                label = times.base() == RowTimes::Base::TimesOfDay
                            ? QStringLiteral("day %1").arg(std::floor(local / kMsPerDay) + 1)
                            : QStringLiteral("+%1 d").arg(std::floor((x - x0) / kMsPerDay));
            }
            ticks.emplace_back(x, label);
        }
        axisTitle = times.base() == RowTimes::Base::UtcTimes ? QStringLiteral("Local time")
                                                             : QStringLiteral("Time of day");
    }
    for (const auto& [x, label] : ticks) {
        const double at = px(x);
        p.setPen(QPen(kGrid, pages.pt(0.4)));
        p.drawLine(QPointF(at, plot.top()), QPointF(at, plot.bottom()));
        p.setPen(Qt::black);
        p.drawLine(QPointF(at, plot.bottom()), QPointF(at, plot.bottom() + pages.pt(3)));
        const double w = fm.horizontalAdvance(label) + pages.pt(4);
        p.drawText(QRectF(at - w / 2, plot.bottom() + pages.pt(3), w, pages.pt(kTickHeight - 3)),
                   Qt::AlignHCenter | Qt::AlignTop, label);
    }
    p.drawText(QRectF(plot.left(), plot.bottom() + pages.pt(kTickHeight), plot.width(),
                      pages.pt(kTitleHeight)),
               Qt::AlignHCenter | Qt::AlignVCenter, axisTitle);

    // The readings, clipped to the plot.
    p.setClipRect(plot.adjusted(-pages.pt(1), -pages.pt(1), pages.pt(1), pages.pt(1)));
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kLine, pages.pt(0.6), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (const std::vector<XY>& segment : data.segments) {
        if (segment.size() == 2 && segment[0] == segment[1]) {
            p.setBrush(kLine);
            p.drawEllipse(QPointF(px(segment[0].x), py(segment[0].y)), pages.pt(0.9),
                          pages.pt(0.9));
            p.setBrush(Qt::NoBrush);
            continue;
        }
        QPolygonF line;
        line.reserve(static_cast<qsizetype>(segment.size()));
        for (const XY& xy : segment) line.append(QPointF(px(xy.x), py(xy.y)));
        p.drawPolyline(line);
    }
    // The level and the threshold, each named at its right end.
    auto levelLine = [&](double v, const QColor& colour, Qt::PenStyle style, const QString& name) {
        const double y = py(v);
        p.setPen(QPen(colour, pages.pt(1), style));
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        p.setPen(colour);
        p.drawText(QRectF(plot.left(), y - pages.pt(11), plot.width() - pages.pt(3), pages.pt(10)),
                   Qt::AlignRight | Qt::AlignBottom, name);
    };
    const QString unit = Text(" " + graphed.label);
    const bool alarmApart =
        graphed.alarm && std::fabs(*graphed.alarm - *graphed.level) > 1e-12 * *graphed.level;
    if (levelShown) {
        levelLine(
            *graphed.level, kLevel, Qt::SolidLine,
            QStringLiteral("Reference level %1%2").arg(Text(FormatSignificant(*graphed.level)), unit) +
                (alarmApart ? QString() : QStringLiteral(" = alarm threshold")));
        if (alarmApart) {
            levelLine(*graphed.alarm, kAlarm, Qt::DashLine,
                      QStringLiteral("Alarm threshold %1 (%2%3)")
                          .arg(Text(FormatPercent(graphed.alarmPercent)),
                               Text(FormatSignificant(*graphed.alarm)), unit));
        }
    }
    p.setClipping(false);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, pages.pt(0.6)));
    p.drawRect(plot);
    if (!data.hasValues) {
        p.drawText(plot, Qt::AlignCenter, QStringLiteral("No reading in range to draw"));
    }

    // What the reader should know about the drawing.
    QString caption = QStringLiteral("%1 reading%2 of this quantity")
                          .arg(counted)
                          .arg(counted == 1 ? QString() : QStringLiteral("s"));
    if (data.thinned) {
        caption += QStringLiteral(
                       "; each of the %1 columns of the plot draws the smallest and "
                       "the largest of its readings")
                       .arg(columns);
    }
    caption += QStringLiteral(". Over- and under-range readings are gaps in the line.");
    if (graphed.level && !levelShown) {
        caption += QStringLiteral(" The reference level (%1%2) lies above the plotted range.")
                       .arg(Text(FormatSignificant(*graphed.level)), unit);
    }
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.drawText(QRectF(area.left(), area.bottom() - pages.pt(kCaptionHeight), area.width(),
                      pages.pt(kCaptionHeight)),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, caption);
    p.restore();
}

}  // namespace fenwyd::report
