#pragma once
// Small widgets of the instrument face: filled shapes and clickable labels.
#include <QColor>
#include <QLabel>
#include <QWidget>
#include <functional>

namespace fenwyd::ui {

// A filled rectangle, optionally with a black border (VB-style shape).
class ShapeWidget : public QWidget {
public:
    ShapeWidget(QWidget* parent, QColor fill, bool border);
    void setFill(const QColor& c);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor fill_;
    bool border_;
};

// A label that reports clicks; it shows plain text only, since much of
// what it shows comes from the probe.
class ClickLabel : public QLabel {
public:
    explicit ClickLabel(QWidget* parent);
    std::function<void()> onClick;

protected:
    void mousePressEvent(QMouseEvent* e) override;
};

}  // namespace fenwyd::ui
