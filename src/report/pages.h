// Lays text and tables out on the pages of a paint device, top to bottom,
// starting a new page where the next piece does not fit. The whole document
// is laid out twice: once without a painter to count the pages, then drawn,
// so each footer can say "Page 2 of 5".
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QRectF>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QPagedPaintDevice;
class QPainter;

namespace fenwyd::report {

// Text of the program's strings: UTF-8 where it is valid, else Latin-1
// (data files are 8-bit text).
QString Text(const std::string& s);

struct Column {
    QString title;
    double share = 1;  // of the body's width, relative to the other columns
    Qt::Alignment align = Qt::AlignLeft;
};

class Pages {
public:
    // painter: nullptr for the counting pass. Sizes are in points; the
    // device's own units are used inside.
    Pages(QPagedPaintDevice& device, QPainter* painter, int totalPages, QString footerLeft,
          QString footerCentre);

    QPainter* painter() const { return painter_; }
    bool drawing() const { return painter_ != nullptr; }
    double pt(double points) const { return points * perPoint_; }
    QFont font(double points, bool bold = false) const;
    const QFont& body() const { return body_; }

    double left() const { return body_rect_.left(); }
    double width() const { return body_rect_.width(); }
    double y() const { return y_; }
    double top() const { return body_rect_.top(); }
    double bottom() const { return body_rect_.bottom(); }
    double room() const { return body_rect_.bottom() - y_; }
    void moveTo(double y) { y_ = y; }
    int page() const { return page_; }
    int pageCount() const { return page_; }

    void newPage();
    // A new page unless `height` still fits on this one.
    void ensure(double height);
    void skip(double points) { y_ += pt(points); }
    // The footer of the last page; call once at the end.
    void finish();

    QFontMetricsF metrics(const QFont& font) const;
    double textHeight(const QString& text, const QFont& font, double width) const;
    // Wrapped text across the body's width (or `indent` points in); kept
    // on one page.
    void paragraph(const QString& text, const QFont& font, double spaceAfter = 4,
                   double indent = 0);
    void heading(const QString& text, int level);
    // A heading that should not be left alone at a page's foot: a new page
    // unless it and `followedBy` more points fit.
    void headingWith(const QString& text, int level, double followedBy);
    // The verdict: bold text in a framed, shaded box.
    void box(const QString& text);
    // A table whose rows may wrap; the column titles (if any title is
    // given) are repeated on each page it spans. keyColumn: the first
    // column in grey, as the labels of a key/value table.
    void table(const std::vector<Column>& columns, const std::vector<std::vector<QString>>& rows,
               bool keyColumn = false);
    // A block of `height` points drawn by draw(top-left rect) on one page.
    void block(double heightPoints, const std::function<void(const QRectF&)>& draw);

private:
    void footer();

    QPagedPaintDevice& device_;
    QPainter* painter_;
    int total_;
    QString footerLeft_, footerCentre_;
    double perPoint_ = 1;
    QRectF body_rect_;
    QRectF footer_rect_;
    QFont body_;
    double y_ = 0;
    int page_ = 1;
};

}  // namespace fenwyd::report
