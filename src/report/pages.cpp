#include "report/pages.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QStringDecoder>
#include <algorithm>

namespace fenwyd::report {

namespace {

// Margins in points: 20 mm at the sides, the footer inside the bottom one.
constexpr double kSide = 56.7;
constexpr double kTop = 51;
constexpr double kBottom = 62;
constexpr double kFooterGap = 18;
constexpr double kCellPad = 3;

const QColor kRule(0x80, 0x80, 0x80);
const QColor kGrey(0x55, 0x55, 0x55);
const QColor kHeaderFill(0xe4, 0xe9, 0xf0);
const QColor kBoxFill(0xf3, 0xf3, 0xf3);

}  // namespace

QString Text(const std::string& s) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

Pages::Pages(QPagedPaintDevice& device, QPainter* painter, int totalPages, QString footerLeft,
             QString footerCentre)
    : device_(device),
      painter_(painter),
      total_(totalPages),
      footerLeft_(std::move(footerLeft)),
      footerCentre_(std::move(footerCentre)) {
    perPoint_ = device.logicalDpiX() / 72.0;
    const double w = device.width(), h = device.height();
    body_rect_ = QRectF(pt(kSide), pt(kTop), w - 2 * pt(kSide), h - pt(kTop) - pt(kBottom));
    footer_rect_ = QRectF(pt(kSide), h - pt(kBottom) + pt(kFooterGap), body_rect_.width(), pt(14));
    body_ = font(10);
    y_ = body_rect_.top();
}

QFont Pages::font(double points, bool bold) const {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

void Pages::footer() {
    if (!drawing()) return;
    QPainter& p = *painter_;
    p.save();
    p.setPen(QPen(kRule, pt(0.5)));
    p.drawLine(QPointF(footer_rect_.left(), footer_rect_.top()),
               QPointF(footer_rect_.right(), footer_rect_.top()));
    p.setPen(kGrey);
    p.setFont(font(8));
    const QRectF r = footer_rect_.adjusted(0, pt(3), 0, pt(3));
    const QFontMetricsF fm(p.font(), &device_);
    const QString pageText = QStringLiteral("Page %1 of %2").arg(page_).arg(total_);
    // The title gives way to the page number and the maker where it is long.
    const double side = (r.width() - fm.horizontalAdvance(footerCentre_)) / 2 - pt(8);
    p.drawText(r, Qt::AlignLeft | Qt::AlignTop,
               fm.elidedText(footerLeft_, Qt::ElideRight, std::max(side, pt(40))));
    p.drawText(r, Qt::AlignHCenter | Qt::AlignTop, footerCentre_);
    p.drawText(r, Qt::AlignRight | Qt::AlignTop, pageText);
    p.restore();
}

void Pages::newPage() {
    footer();
    if (drawing()) device_.newPage();
    ++page_;
    y_ = body_rect_.top();
}

void Pages::ensure(double height) {
    if (y_ + height > body_rect_.bottom() && y_ > body_rect_.top()) newPage();
}

void Pages::finish() { footer(); }

QFontMetricsF Pages::metrics(const QFont& font) const { return QFontMetricsF(font, &device_); }

double Pages::textHeight(const QString& text, const QFont& font, double width) const {
    const QFontMetricsF fm(font, &device_);
    return fm.boundingRect(QRectF(0, 0, width, 1e9), Qt::TextWordWrap, text).height();
}

void Pages::paragraph(const QString& text, const QFont& font, double spaceAfter, double indent) {
    const double w = width() - pt(indent);
    const double h = textHeight(text, font, w);
    ensure(h);
    if (drawing()) {
        painter_->setFont(font);
        painter_->setPen(Qt::black);
        painter_->drawText(QRectF(left() + pt(indent), y_, w, h), Qt::TextWordWrap, text);
    }
    y_ += h + pt(spaceAfter);
}

void Pages::headingWith(const QString& text, int level, double followedBy) {
    const QFont f = font(level == 1 ? 14 : 11.5, true);
    const double before = y_ > body_rect_.top() ? pt(level == 1 ? 12 : 8) : 0;
    const double h = textHeight(text, f, width());
    ensure(before + h + pt(6) + pt(followedBy));
    if (y_ > body_rect_.top()) y_ += before;
    if (drawing()) {
        painter_->setFont(f);
        painter_->setPen(QColor(0x1a, 0x3a, 0x5c));
        painter_->drawText(QRectF(left(), y_, width(), h), Qt::TextWordWrap, text);
        if (level == 1) {
            painter_->setPen(QPen(kRule, pt(0.5)));
            painter_->drawLine(QPointF(left(), y_ + h + pt(1.5)),
                               QPointF(left() + width(), y_ + h + pt(1.5)));
        }
    }
    y_ += h + pt(level == 1 ? 6 : 4);
}

void Pages::heading(const QString& text, int level) { headingWith(text, level, 30); }

void Pages::box(const QString& text) {
    const QFont f = font(11, true);
    const double pad = pt(6);
    const double h = textHeight(text, f, width() - 2 * pad) + 2 * pad;
    ensure(h);
    if (drawing()) {
        painter_->setPen(QPen(kRule, pt(0.75)));
        painter_->setBrush(kBoxFill);
        painter_->drawRect(QRectF(left(), y_, width(), h));
        painter_->setBrush(Qt::NoBrush);
        painter_->setFont(f);
        painter_->setPen(Qt::black);
        painter_->drawText(QRectF(left() + pad, y_ + pad, width() - 2 * pad, h - 2 * pad),
                           Qt::TextWordWrap, text);
    }
    y_ += h + pt(6);
}

void Pages::table(const std::vector<Column>& columns, const std::vector<std::vector<QString>>& rows,
                  bool keyColumn) {
    double shares = 0;
    for (const Column& c : columns) shares += c.share;
    std::vector<double> x, w;
    double at = left();
    for (const Column& c : columns) {
        x.push_back(at);
        w.push_back(width() * c.share / shares);
        at += w.back();
    }
    const bool titled = std::any_of(columns.begin(), columns.end(),
                                    [](const Column& c) { return !c.title.isEmpty(); });
    const QFont bold = font(9.5, true);
    const QFont plain = font(9.5);
    const double pad = pt(kCellPad);

    auto rowHeight = [&](const std::vector<QString>& cells, const QFont& f) {
        double h = 0;
        for (std::size_t i = 0; i < columns.size() && i < cells.size(); ++i) {
            h = std::max(h, textHeight(cells[i], f, w[i] - 2 * pad));
        }
        return h + 2 * pad;
    };
    auto drawRow = [&](const std::vector<QString>& cells, const QFont& f, double h, bool header) {
        if (!drawing()) return;
        QPainter& p = *painter_;
        if (header) p.fillRect(QRectF(left(), y_, width(), h), kHeaderFill);
        for (std::size_t i = 0; i < columns.size() && i < cells.size(); ++i) {
            p.setFont(f);
            p.setPen(keyColumn && i == 0 ? kGrey : QColor(Qt::black));
            p.drawText(QRectF(x[i] + pad, y_ + pad, w[i] - 2 * pad, h - 2 * pad),
                       columns[i].align | Qt::AlignTop | Qt::TextWordWrap, cells[i]);
        }
        p.setPen(QPen(QColor(0xc8, 0xc8, 0xc8), pt(0.4)));
        p.drawLine(QPointF(left(), y_ + h), QPointF(left() + width(), y_ + h));
    };
    std::vector<QString> titles;
    for (const Column& c : columns) titles.push_back(c.title);
    const double headerHeight = titled ? rowHeight(titles, bold) : 0;
    bool headerHere = false;
    for (const auto& cells : rows) {
        const double h = rowHeight(cells, plain);
        if (y_ + h + (headerHere ? 0 : headerHeight) > body_rect_.bottom()) {
            if (y_ > body_rect_.top()) newPage();
            headerHere = false;
        }
        if (titled && !headerHere) {
            drawRow(titles, bold, headerHeight, true);
            y_ += headerHeight;
            headerHere = true;
        }
        drawRow(cells, plain, h, false);
        y_ += h;
    }
    y_ += pt(6);
}

void Pages::block(double heightPoints, const std::function<void(const QRectF&)>& draw) {
    ensure(pt(heightPoints));
    if (drawing()) draw(QRectF(left(), y_, width(), pt(heightPoints)));
    y_ += pt(heightPoints);
}

}  // namespace fenwyd::report
