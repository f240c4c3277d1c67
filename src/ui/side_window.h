#pragma once
// A window beside the main one (the graph, the large display): it remembers
// its size and place, and whether it was open at exit, in its own section of
// the per-user settings store.
#include <QWidget>
#include <string>

#include "instrument/seams.h"

namespace fenwyd::ui {

class SideWindow : public QWidget {
public:
    SideWindow(SettingsStore& settings, const char* section);

    // Size and place as last saved; the window manager's choice when none.
    virtual void restorePlace();
    // Size, place and whether the window is to reopen at the next start.
    virtual void savePlace(bool open);
    static bool WasOpen(SettingsStore& settings, const char* section);

protected:
    // Closed by the operator: it stays closed at the next start.
    void closeEvent(QCloseEvent* e) override;

    SettingsStore& settings_;
    std::string section_;
};

}  // namespace fenwyd::ui
