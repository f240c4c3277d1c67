#include "ui/widgets.h"

#include <QMouseEvent>
#include <QPainter>

namespace fenwyd::ui {

ShapeWidget::ShapeWidget(QWidget* parent, QColor fill, bool border)
    : QWidget(parent), fill_(fill), border_(border) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeWidget::setFill(const QColor& c) {
    if (c == fill_) return;
    fill_ = c;
    update();
}

void ShapeWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), fill_);
    if (border_) {
        p.setPen(Qt::black);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

ClickLabel::ClickLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ClickLabel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && onClick) {
        onClick();
        e->accept();
        return;
    }
    QLabel::mousePressEvent(e);
}

}  // namespace fenwyd::ui
