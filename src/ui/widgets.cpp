#include "ui/widgets.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

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

void ClickLabel::setShortcut(const QKeySequence& keys) {
    shortcut_ = keys;
    // A shortcut of a hidden label does not fire, as a hidden label cannot
    // be clicked.
    auto* s = new QShortcut(keys, this);
    s->setContext(Qt::WindowShortcut);
    QObject::connect(s, &QShortcut::activated, this, [this] {
        if (onClick) onClick();
    });
}

void ClickLabel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && onClick) {
        onClick();
        e->accept();
        return;
    }
    QLabel::mousePressEvent(e);
}

namespace {
// A clickable label as a screen reader sees it: its text, its description,
// and a press action with the label's key.
class AccessibleClickLabel : public QAccessibleWidget {
public:
    explicit AccessibleClickLabel(ClickLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && label()->accessibleName().isEmpty()) return label()->text();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override {
        return label()->onClick ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& action) override {
        if (action == pressAction() && label()->onClick && label()->isVisible()) label()->onClick();
    }
    QStringList keyBindingsForAction(const QString& action) const override {
        if (action != pressAction() || label()->shortcut().isEmpty()) return {};
        return {label()->shortcut().toString(QKeySequence::NativeText)};
    }

private:
    ClickLabel* label() const { return static_cast<ClickLabel*>(widget()); }
};

QAccessibleInterface* ClickLabelFactory(const QString& className, QObject* object) {
    if (className != QLatin1String("QLabel")) return nullptr;
    if (auto* label = dynamic_cast<ClickLabel*>(object)) return new AccessibleClickLabel(label);
    return nullptr;
}
}  // namespace

void InstallAccessibleClickLabels() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(ClickLabelFactory);
}

}  // namespace fenwyd::ui
