#include "ui/bar_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "ui/exposure_monitor.h"
#include "ui/stats_view.h"
#include "ui/text.h"

namespace fenwyd::ui {

namespace {
const QColor kPanelGreen(0, 192, 0);  // the main window's reading colour
const QColor kOverRed(255, 0, 0);
const QColor kUnderYellow(255, 255, 0);
const QColor kExposureCyan(0, 255, 255);  // the panel's exposure label
constexpr int kTicks = 4;                 // 0, 25, 50, 75, 100 %
constexpr double kExposureTick = 25;      // percent of the level
constexpr int kStatsShare = 45;           // percent of the height at most

QLabel* PanelLabel(QWidget* parent, const QColor& color, bool bold) {
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText);  // probe text
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, color);
    l->setPalette(pal);
    QFont f(QStringLiteral("Arial"));
    f.setBold(bold);
    l->setFont(f);
    return l;
}

void SetPixelSize(QLabel* l, int px) {
    QFont f = l->font();
    px = std::max(px, 8);
    if (f.pixelSize() == px) return;
    f.setPixelSize(px);
    l->setFont(f);
}

// The largest text up to px that fits the label's width.
void FitPixelSize(QLabel* l, int px) {
    QFont f = l->font();
    const int width = l->contentsRect().width();
    for (; px > 8; --px) {
        f.setPixelSize(px);
        if (QFontMetrics(f).horizontalAdvance(l->text()) <= width) break;
    }
    SetPixelSize(l, px);
}
}  // namespace

RangeBar::RangeBar(QWidget* parent) : QWidget(parent) { setMinimumHeight(24); }

void RangeBar::setState(int percent, bool over, bool under, bool known) {
    if (percent == percent_ && over == over_ && under == under_ && known == known_) return;
    percent_ = percent;
    over_ = over;
    under_ = under;
    known_ = known;
    update();
}

void RangeBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect frame = rect().adjusted(1, 1, -2, -2);
    p.fillRect(rect(), Qt::black);
    if (known_) {
        const int pct = over_ ? 100 : std::clamp(percent_, 0, 100);
        const QColor fill = over_ ? kOverRed : under_ ? kUnderYellow : kPanelGreen;
        QRect filled = frame;
        filled.setWidth(frame.width() * pct / 100);
        p.fillRect(filled, fill);
    }
    p.setPen(QPen(QColor(160, 160, 160), 1));
    p.drawRect(frame);
    for (int i = 1; i < kTicks; ++i) {
        const int x = frame.left() + frame.width() * i / kTicks;
        p.drawLine(x, frame.bottom() - frame.height() / 4, x, frame.bottom());
    }
}

ExposureBar::ExposureBar(QWidget* parent) : QWidget(parent) { setMinimumHeight(16); }

void ExposureBar::setState(double percent, double alarmPercent) {
    const bool same = percent == percent_ || (std::isnan(percent) && std::isnan(percent_));
    if (same && alarmPercent == alarm_) return;
    percent_ = percent;
    alarm_ = alarmPercent;
    update();
}

double ExposureBar::fullScale() const {
    return std::max(100.0, std::ceil(alarm_ / kExposureTick) * kExposureTick);
}

void ExposureBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect frame = rect().adjusted(1, 1, -2, -2);
    p.fillRect(rect(), Qt::black);
    const double full = fullScale();
    const auto at = [&](double pct) {
        return frame.left() + static_cast<int>(std::lround(frame.width() * pct / full));
    };
    if (std::isfinite(percent_)) {
        QRect filled = frame;
        filled.setRight(at(std::clamp(percent_, 0.0, full)));
        p.fillRect(filled, percent_ >= alarm_ ? kOverRed : kExposureCyan);
    }
    p.setPen(QPen(QColor(160, 160, 160), 1));
    p.drawRect(frame);
    for (double t = kExposureTick; t < full; t += kExposureTick) {
        p.drawLine(at(t), frame.bottom() - frame.height() / 4, at(t), frame.bottom());
    }
    // The alarm threshold across the whole height.
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(at(alarm_), rect().top(), at(alarm_), rect().bottom());
}

BarWindow::BarWindow(FieldHistory& history, SettingsStore& settings)
    : SideWindow(settings, "BarGraph"), history_(history) {
    setWindowTitle(QStringLiteral("Bar Graph - Fenwyd 8200"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    resize(760, 520);

    value_ = PanelLabel(this, kPanelGreen, true);
    value_->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    unit_ = PanelLabel(this, kPanelGreen, true);
    unit_->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    range_ = PanelLabel(this, kPanelGreen, false);
    percent_ = PanelLabel(this, Qt::white, false);
    percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    bar_ = new RangeBar(this);
    warning_ = PanelLabel(this, kOverRed, true);
    warning_->setAlignment(Qt::AlignCenter);
    peak_ = PanelLabel(this, QColor(0, 255, 255), true);
    peak_->setAlignment(Qt::AlignCenter);
    exposure_ = PanelLabel(this, kExposureCyan, false);
    exposureBar_ = new ExposureBar(this);
    // The text takes the room its row gets, never more: the rows share the
    // height the statistics leave by their stretch, and the fonts follow
    // (see fitFonts), so a font can never make the window grow.
    for (QLabel* l : {value_, unit_, range_, percent_, warning_, peak_, exposure_}) {
        // The ones alone in their row are as wide as the window, and their
        // text is fitted to it.
        const bool alone = l == warning_ || l == peak_ || l == exposure_;
        l->setSizePolicy(alone ? QSizePolicy::Ignored : QSizePolicy::Preferred,
                         QSizePolicy::Ignored);
    }

    // The table on the panel's black, in light text.
    stats_ = new StatsView(this);
    QPalette light = stats_->palette();
    light.setColor(QPalette::WindowText, QColor(220, 220, 220));
    stats_->setPalette(light);

    auto* reading = new QHBoxLayout;
    reading->addWidget(value_, 3);
    reading->addWidget(unit_, 1);
    auto* rangeRow = new QHBoxLayout;
    rangeRow->addWidget(range_);
    rangeRow->addStretch(1);
    rangeRow->addWidget(percent_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 8, 16, 8);
    layout->addLayout(reading, 5);
    layout->addLayout(rangeRow, 1);
    layout->addWidget(bar_, 1);
    layout->addWidget(warning_, 1);
    layout->addWidget(exposure_, 1);
    layout->addWidget(exposureBar_, 1);
    layout->addWidget(peak_, 1);
    layout->addWidget(stats_, 0, Qt::AlignHCenter);
    history_.addListener(this);
    refresh();
}

BarWindow::~BarWindow() { history_.removeListener(this); }

void BarWindow::historyChanged(unsigned) {
    // A few labels: cheap enough for every reading.
    if (isVisible()) refresh();
}

void BarWindow::showEvent(QShowEvent* e) {
    SideWindow::showEvent(e);
    refresh();
}

void BarWindow::resizeEvent(QResizeEvent* e) {
    SideWindow::resizeEvent(e);
    fitFonts();
}

void BarWindow::fitFonts() {
    // The digits take what the window gives them: readable from afar on a
    // large window, still whole on a small one. The statistics first: the
    // other rows share what they leave.
    int px = std::max(height() * 3 / 100, 12);
    stats_->setTextPixelSize(px);
    // No more than about half the height for the table, whatever rows it has.
    const int room = height() * kStatsShare / 100, needed = stats_->sizeHint().height();
    if (needed > room) {
        px = std::max(px * room / needed, 11);
        stats_->setTextPixelSize(px);
    }
    layout()->activate();
    const int digits = std::min(value_->height() * 75 / 100, width() * 17 / 100);
    SetPixelSize(value_, digits);
    SetPixelSize(unit_, digits * 45 / 100);
    for (QLabel* l : {range_, percent_, warning_}) SetPixelSize(l, l->height() * 70 / 100);
    FitPixelSize(peak_, peak_->height() * 70 / 100);
    FitPixelSize(exposure_, exposure_->height() * 70 / 100);
}

void BarWindow::refresh() {
    const bool reading = history_.hasReading() && !history_.probeLost();
    const Measurement& r = history_.current();
    auto set = [](QLabel* l, const QString& text) {
        if (l->text() != text) l->setText(text);
    };
    const Readout readout = LatestReadout(history_);
    set(value_, readout.value);
    set(unit_, readout.unit);
    const QColor digits = readout.alarm ? kOverRed : kPanelGreen;
    if (value_->palette().color(QPalette::WindowText) != digits) {
        QPalette p = value_->palette();
        p.setColor(QPalette::WindowText, digits);
        value_->setPalette(p);
    }
    set(range_, reading
                    ? QStringLiteral("%1 %2")
                          .arg(r.autoRange ? QStringLiteral("AutoRange") : QStringLiteral("Range"))
                          .arg(r.range)
                    : QString());
    set(percent_, reading ? QStringLiteral("%1 % of range").arg(r.percent) : QString());
    bar_->setState(r.percent, r.overRange, r.underRange, reading);
    QPalette pal = warning_->palette();
    pal.setColor(QPalette::WindowText, r.overRange ? kOverRed : kUnderYellow);
    warning_->setPalette(pal);
    set(warning_, !reading       ? QString()
                  : r.overRange  ? QStringLiteral("Over Range")
                  : r.underRange ? QStringLiteral("Under Range")
                                 : QString());

    const DisplayUnit unit = history_.displayUnit();
    const RunningStats& live = history_.liveStats(unit.quantity);
    set(peak_, live.empty() ? QStringLiteral("Peak -")
                            : QStringLiteral("Peak %1 %2 at %3")
                                  .arg(FormatValue(unit.fromSi(live.max().value)),
                                       QString::fromLatin1(unit.label.c_str()),
                                       FormatTimeOfDay(live.max().at, r.utcOffsetSeconds)));
    stats_->showStats(history_);
    showExposure(reading);  // after the statistics: their rows change the room left
}

void BarWindow::showExposure(bool reading) {
    const std::optional<Reference>& ref = history_.reference();
    if (exposure_->isVisibleTo(this) != ref.has_value()) {
        exposure_->setVisible(ref.has_value());
        exposureBar_->setVisible(ref.has_value());
        fitFonts();  // the rows share the height anew
    }
    if (!ref) return;
    const Measurement& r = history_.current();
    std::string why;
    std::optional<Comparison> c;
    if (reading && r.inRange()) c = CompareReading(*ref, r, &why);
    const double alarm = history_.alarmPercent();
    exposureBar_->setState(c ? c->percent : std::numeric_limits<double>::quiet_NaN(), alarm);
    const QString text =
        c ? Qs(FormatPercent(c->percent) + " of " + c->levelText)
          : Qs(ReferenceName(*ref) + (reading ? ": no percent for this reading" : ": no reading"));
    if (exposure_->text() != text) {
        exposure_->setText(text);
        FitPixelSize(exposure_, exposure_->height() * 70 / 100);
    }
    QPalette pal = exposure_->palette();
    pal.setColor(QPalette::WindowText, c && c->percent >= alarm ? kOverRed : kExposureCyan);
    exposure_->setPalette(pal);
}

QString BarWindow::exposureText() const { return exposure_->text(); }

QString BarWindow::valueText() const { return value_->text(); }
bool BarWindow::valueInRed() const {
    return value_->palette().color(QPalette::WindowText) == kOverRed;
}
QString BarWindow::unitText() const { return unit_->text(); }
QString BarWindow::rangeText() const { return range_->text(); }
QString BarWindow::warningText() const { return warning_->text(); }
QString BarWindow::peakText() const { return peak_->text(); }

}  // namespace fenwyd::ui
