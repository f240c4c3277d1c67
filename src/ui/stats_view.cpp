#include "ui/stats_view.h"

#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <algorithm>

#include "ui/text.h"

namespace fenwyd::ui {

namespace {
// The last four only while a reference level is chosen.
const char* const kRows[] = {"Readings",
                             "Minimum",
                             "Maximum (peak)",
                             "Peak at",
                             "Mean",
                             "Std. deviation",
                             "Over / under range",
                             "Maximum, % of level",
                             "Mean, % of level",
                             "At or above alarm",
                             "Time at or above alarm"};
enum Row {
    kCount,
    kMin,
    kMax,
    kPeakAt,
    kMean,
    kStdDev,
    kOverUnder,
    kMaxPercent,
    kMeanPercent,
    kAbove,
    kTimeAbove
};

QLabel* PlainLabel(QWidget* parent, const QString& text = QString()) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    return l;
}
}  // namespace

QString FormatValue(double value) {
    if (value == 0) return QStringLiteral("0");  // never "-0"
    return QString::number(value, 'g', 5);
}

QString FormatDuration(int64_t ms) {
    const int64_t s = std::max<int64_t>(ms, 0) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString FormatTimeOfDay(int64_t utcMs, int32_t utcOffsetSeconds) {
    return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::OffsetFromUTC, utcOffsetSeconds)
        .toString(QStringLiteral("HH:mm:ss"));
}

StatsView::StatsView(QWidget* parent) : QWidget(parent) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(12);
    unit_ = PlainLabel(this);
    QFont bold = font();
    bold.setBold(true);
    unit_->setFont(bold);
    grid->addWidget(unit_, 0, 0);
    QLabel* live = PlainLabel(this, QStringLiteral("Live since\nClear Peak"));
    QLabel* log = PlainLabel(this, QStringLiteral("Data log"));
    titles_[0] = live;
    titles_[1] = log;
    for (QLabel* l : {live, log}) {
        l->setFont(bold);
        l->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    }
    grid->addWidget(live, 0, 1);
    grid->addWidget(log, 0, 2);
    for (int r = 0; r < kRowCount; ++r) {
        captions_[r] = PlainLabel(this, QString::fromLatin1(kRows[r]));
        grid->addWidget(captions_[r], r + 1, 0);
        for (int c = 0; c < 2; ++c) {
            cells_[r][c] = PlainLabel(this);
            cells_[r][c]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            cells_[r][c]->setObjectName(QStringLiteral("%1/%2").arg(
                QString::fromLatin1(kRows[r]),
                c == 0 ? QStringLiteral("live") : QStringLiteral("log")));
            // A screen reader reads the figure; this says what it is.
            cells_[r][c]->setAccessibleDescription(QStringLiteral("%1, %2").arg(
                QString::fromLatin1(kRows[r]),
                c == 0 ? QStringLiteral("live") : QStringLiteral("data log")));
            grid->addWidget(cells_[r][c], r + 1, c + 1);
        }
    }
    grid->setRowStretch(kRowCount + 1, 1);
    fitColumns();
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
}

void StatsView::fitColumns() {
    // As wide as the widest figure can get, so that new figures never
    // resize the graph beside the table (which would lay the chart out anew).
    // Of a fixed size, a cell given a new figure (once a second while
    // reading) does not have the table laid out again either.
    const QFontMetrics fm(cells_[0][0]->font());
    const int widest = fm.horizontalAdvance(QStringLiteral("-8.8888e-05"));
    // A figure wider still (a count of millions) widens its column for good.
    for (auto& row : cells_) {
        for (QLabel* cell : row) {
            cell->setFixedSize(std::max(widest, fm.horizontalAdvance(cell->text())), fm.height());
        }
    }
}

void StatsView::setTextPixelSize(int px) {
    for (QLabel* l : findChildren<QLabel*>()) {
        QFont f = l->font();
        if (f.pixelSize() == px) continue;
        f.setPixelSize(px);
        l->setFont(f);
    }
    fitColumns();
}

void StatsView::showStats(const FieldHistory& history) {
    // Each column in the unit of what it counts: the live readings and the
    // data log can be in different units (an upload, a log loaded from the
    // journal).
    const DisplayUnit units[2] = {history.displayUnit(), history.logDisplayUnit()};
    const QString names[2] = {QString::fromLatin1(units[0].label.c_str()),
                              QString::fromLatin1(units[1].label.c_str())};
    // The unit once, over the figures, where both columns share it.
    QString heading;
    if (names[0].isEmpty() && names[1].isEmpty()) {
        heading = QStringLiteral("No readings");
    } else if (names[0] == names[1] || names[1].isEmpty()) {
        heading = QStringLiteral("In ") + names[0];
    } else if (names[0].isEmpty()) {
        heading = QStringLiteral("In ") + names[1];
    }
    if (unit_->text() != heading) unit_->setText(heading);
    const QString titles[2] = {QStringLiteral("Live since\nClear Peak"),
                               QStringLiteral("Data log")};
    for (int c = 0; c < 2; ++c) {
        const QString title =
            heading.isEmpty() ? titles[c] + QStringLiteral(", ") + names[c] : titles[c];
        if (titles_[c]->text() != title) titles_[c]->setText(title);
    }
    const RunningStats* stats[2] = {&history.liveStats(units[0].quantity),
                                    &history.logStats(units[1].quantity)};
    const bool judged = history.reference().has_value();
    for (int r = kMaxPercent; r < kRowCount; ++r) {
        captions_[r]->setVisible(judged);
        for (QLabel* cell : cells_[r]) cell->setVisible(judged);
    }
    if (judged) {
        const QString threshold = Qs(FormatPercent(history.alarmPercent()));
        const QString above = QStringLiteral("At or above %1").arg(threshold);
        if (captions_[kAbove]->text() != above) captions_[kAbove]->setText(above);
        const QString time = QStringLiteral("Time at or above %1").arg(threshold);
        if (captions_[kTimeAbove]->text() != time) captions_[kTimeAbove]->setText(time);
    }
    for (int c = 0; c < 2; ++c) {
        const DisplayUnit& unit = units[c];
        const RunningStats& s = *stats[c];
        QString text[kRowCount];
        text[kCount] = QString::number(s.count());
        // Rows in units of another quantity are not in these figures.
        if (c == 1 && s.count() < history.logCount()) {
            text[kCount] += QStringLiteral(" of %1").arg(history.logCount());
        }
        if (!s.empty()) {
            text[kMin] = FormatValue(unit.fromSi(s.min().value));
            text[kMax] = FormatValue(unit.fromSi(s.max().value));
            text[kPeakAt] = c == 0 ? FormatTimeOfDay(s.max().at, history.current().utcOffsetSeconds)
                                   : QStringLiteral("sample %1").arg(s.max().at);
            text[kMean] = FormatValue(unit.fromSi(s.mean()));
            text[kStdDev] =
                s.count() < 2 ? QStringLiteral("-") : FormatValue(unit.fromSi(s.stddev()));
        }
        if (c == 0) {
            text[kOverUnder] = QStringLiteral("%1 / %2")
                                   .arg(history.overRangeCount())
                                   .arg(history.underRangeCount());
        }
        if (judged) showExposure(history, c == 1, unit.quantity, s, text);
        int wider = 0;
        for (int r = 0; r < kRowCount; ++r) {
            QLabel* cell = cells_[r][c];
            if (cell->text() == text[r]) continue;
            cell->setText(text[r]);
            const int needed = cell->fontMetrics().horizontalAdvance(text[r]);
            if (needed > cell->maximumWidth()) wider = std::max(wider, needed);
        }
        if (wider > 0) {
            for (auto& row : cells_) row[c]->setFixedWidth(wider);
        }
    }
}

void StatsView::showExposure(const FieldHistory& history, bool log, Quantity q,
                             const RunningStats& s, QString* text) {
    if (s.empty()) return;
    if (!history.level(q)) {
        text[kMaxPercent] = QStringLiteral("no level");
        return;
    }
    // The level is one number: the percent of the maximum and of the mean
    // are those of the values.
    text[kMaxPercent] = Qs(FormatPercent(history.percentOf(s.max().value, q)));
    text[kMeanPercent] = Qs(FormatPercent(history.percentOf(s.mean(), q)));
    const ExceedanceTracker& above = log ? history.logExceedance(q) : history.liveExceedance(q);
    text[kAbove] = QString::number(above.readingsAbove());
    text[kTimeAbove] =
        !log || history.logTimesKnown() ? FormatDuration(above.msAbove()) : QStringLiteral("-");
}

QString StatsView::cell(const QString& row, bool log) const {
    for (int r = 0; r < kRowCount; ++r) {
        if (row == QLatin1String(kRows[r])) return cells_[r][log ? 1 : 0]->text();
    }
    return QString();
}

}  // namespace fenwyd::ui
