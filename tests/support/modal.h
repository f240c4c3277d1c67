#pragma once
// Answering modal dialogs from a test: they run their own event loops, so
// the answer is given from a timer in that loop. Header only, for the tests
// that link the widgets.
#include <QApplication>
#include <QTimer>
#include <functional>
#include <memory>

namespace fenwyd::testing {

// Runs f in the event loop of the next modal dialog to show (or of the one
// open now) as soon as it is on the screen, while the returned watch lives.
inline std::unique_ptr<QTimer> InNextDialog(std::function<void(QWidget*)> f) {
    auto watch = std::make_unique<QTimer>();
    QTimer* t = watch.get();
    t->setInterval(5);
    QObject::connect(t, &QTimer::timeout, [t, f = std::move(f)] {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr || !w->isVisible()) return;
        t->stop();
        f(w);
    });
    t->start();
    return watch;
}

}  // namespace fenwyd::testing
