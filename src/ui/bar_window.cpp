#include "ui/bar_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/stats_view.h"

namespace fenwyd::ui {

namespace {
const QColor kPanelGreen(0, 192, 0);  // the main window's reading colour
const QColor kOverRed(255, 0, 0);
const QColor kUnderYellow(255, 255, 0);
constexpr int kTicks = 4;  // 0, 25, 50, 75, 100 %

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
    if (f.pixelSize() == px) return;
    f.setPixelSize(std::max(px, 8));
    l->setFont(f);
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
    // large window, still whole on a small one.
    const int h = height(), w = width();
    const int digits = std::min(h * 30 / 100, w * 17 / 100);
    SetPixelSize(value_, digits);
    SetPixelSize(unit_, digits * 45 / 100);
    SetPixelSize(range_, std::max(h * 6 / 100, 12));
    SetPixelSize(percent_, std::max(h * 6 / 100, 12));
    SetPixelSize(warning_, std::max(h * 8 / 100, 14));
    SetPixelSize(peak_, std::max(h * 6 / 100, 12));
    bar_->setMinimumHeight(std::max(h * 8 / 100, 20));
    stats_->setTextPixelSize(std::max(h * 3 / 100, 12));
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
}

QString BarWindow::valueText() const { return value_->text(); }
bool BarWindow::valueInRed() const {
    return value_->palette().color(QPalette::WindowText) == kOverRed;
}
QString BarWindow::unitText() const { return unit_->text(); }
QString BarWindow::rangeText() const { return range_->text(); }
QString BarWindow::warningText() const { return warning_->text(); }
QString BarWindow::peakText() const { return peak_->text(); }

}  // namespace fenwyd::ui
