#include "ui/side_window.h"

#include <QAccessibleWidget>
#include <QCloseEvent>

#include "ui/artwork.h"

namespace fenwyd::ui {

namespace {
// A window to screen readers, named by its title: a plain widget is
// otherwise reported as a client area, which they present as a filler.
QAccessibleInterface* SideWindowFactory(const QString& className, QObject* object) {
    if (className != QLatin1String("QWidget")) return nullptr;
    if (auto* w = dynamic_cast<SideWindow*>(object)) {
        return new QAccessibleWidget(w, QAccessible::Window);
    }
    return nullptr;
}
}  // namespace

SideWindow::SideWindow(SettingsStore& settings, const char* section)
    : QWidget(nullptr, Qt::Window), settings_(settings), section_(section) {
    static const bool accessible = [] {
        QAccessible::installFactory(SideWindowFactory);
        return true;
    }();
    (void)accessible;
    // Closing the main window ends the program even while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowIcon(ProgramIcon());
}

void SideWindow::restorePlace() {
    const std::string saved = settings_.get(section_, "Geometry", "");
    // restoreGeometry keeps the window on a screen that still exists.
    if (!saved.empty()) restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(saved)));
}

void SideWindow::savePlace(bool open) {
    settings_.set(section_, "Geometry", saveGeometry().toBase64().toStdString());
    settings_.set(section_, "Open", open ? "1" : "0");
}

bool SideWindow::WasOpen(SettingsStore& settings, const char* section) {
    return settings.get(section, "Open", "0") == "1";
}

void SideWindow::closeEvent(QCloseEvent* e) {
    savePlace(false);
    e->accept();
}

}  // namespace fenwyd::ui
