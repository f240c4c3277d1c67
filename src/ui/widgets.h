#pragma once
// Small widgets of the instrument face: filled shapes and clickable labels.
#include <QColor>
#include <QKeySequence>
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
// what it shows comes from the probe. A screen reader sees the shown text as
// its name and can press it; a key does the same as the click while the
// label is shown.
class ClickLabel : public QLabel {
public:
    explicit ClickLabel(QWidget* parent);
    std::function<void()> onClick;
    void setShortcut(const QKeySequence& keys);
    QKeySequence shortcut() const { return shortcut_; }

protected:
    void mousePressEvent(QMouseEvent* e) override;

private:
    QKeySequence shortcut_;
};

// Lets assistive technology press clickable labels (call once, before the
// first window is shown).
void InstallAccessibleClickLabels();

}  // namespace fenwyd::ui
