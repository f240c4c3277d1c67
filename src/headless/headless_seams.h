// The window's seams with no window: a display that shows nothing, and
// dialogs that answer for themselves. A message box becomes one line on
// standard error; the model questions take the model the probe's reply names.
#pragma once

#include <functional>
#include <set>
#include <string>

#include "instrument/observer.h"
#include "instrument/seams.h"

namespace fenwyd::headless {

class NullDisplay : public Display {
public:
    void changed() override {}
    void repaintNow() override {}
    void repaintStatusBar() override {}
    WindowState windowState() override { return WindowState::Normal; }
    int windowLeftTwips() override { return 0; }
    int windowTopTwips() override { return 0; }
    void moveWindowTwips(int, int) override {}
    void showNormal() override {}
};

// Also an observer: a warning said once is said again only after the link
// was lost, so a question asked at every reading does not flood the log.
class HeadlessDialogs : public Dialogs, public InstrumentObserver {
public:
    // say: one line of text for the operator (standard error);
    // modelLetter: the model letter of the reply being interpreted.
    HeadlessDialogs(std::function<void(const std::string&)> say,
                    std::function<std::string()> modelLetter);

    void message(const std::string& text, MsgIcon icon) override;
    // Yes when the reply's letter names the QM-8204 ("E") or no model at
    // all (the QM-8204 has every range); no for "V", the QM-8203.
    bool askYesNo(const std::string& text, MsgIcon icon) override;
    std::string inputBox(const std::string&, const std::string&,
                         const std::string& defaultText) override {
        return defaultText;
    }
    bool saveFile(const SaveDialogRequest&, std::string&) override { return false; }
    void portPicker(int16_t&) override {}
    void showSplash() override {}
    void closeSplash() override {}
    void about(const std::string&, const std::string&) override {}

    void linkLost(int64_t) override { said_.clear(); }

private:
    void sayOnce(const std::string& line);
    std::function<void(const std::string&)> say_;
    std::function<std::string()> modelLetter_;
    std::set<std::string> said_;
};

}  // namespace fenwyd::headless
