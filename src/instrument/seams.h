#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "position/position.h"

namespace fenwyd {

// A periodic timer with a millisecond interval whose ticks arrive on the
// user-interface thread. Enabling starts a full interval. startOnce makes it
// tick once, ms from now, and then stop: a wait that lets the window's events
// run meanwhile.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool on) = 0;
    virtual bool isEnabled() const = 0;
    virtual void startOnce(int ms) = 0;
};

// Time, waits and the event loop. The program uses the monotonic clock and
// Qt's timers; the tests a virtual clock that only moves when told to.
class Clock {
public:
    virtual ~Clock() = default;
    // Time of day in seconds since midnight, with fractions.
    virtual double secondsSinceMidnight() = 0;
    // The same moment as a full date: ms since 1970 (UTC), and the local
    // time's offset from UTC in seconds.
    virtual int64_t utcMs() = 0;
    virtual int32_t utcOffsetSeconds() = 0;
    // Current date in the system's short-date form, time in its long-time form.
    virtual std::string shortDateText() = 0;
    virtual std::string longTimeText() = 0;
    // Runs the pending window events once.
    virtual void processEventsOnce() = 0;
    // A wait nothing depends on but the operator's eye (the splash), before
    // any window is up: it sleeps on a monotonic clock without running
    // window events, and may end early once the program has been asked to end.
    virtual void pause(double ms) = 0;
    virtual std::unique_ptr<Timer> createTimer(std::function<void()> onTick) = 0;
};

// Where the computer is: a GPS receiver through gpsd, when one is set up.
class PositionSource {
public:
    virtual ~PositionSource() = default;
    // The fix that counts for a reading taken at utcMs; nothing without one.
    virtual std::optional<Position> positionAt(int64_t utcMs) = 0;
};

enum class MsgIcon { None, Information, Exclamation, Question, Critical };

struct SaveDialogRequest {
    std::string defaultExt;
    std::string filter;  // "Name (*.x)|*.x|..." pairs
    std::string title;
    std::string initDir;
    std::string fileName;
    bool overwritePrompt = true;
};

// Every window the logic opens goes through here. All are modal except the
// splash and a notice.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // OK button only; the caption is the program title.
    virtual void message(const std::string& text, MsgIcon icon) = 0;
    // Yes and No buttons; true for Yes.
    virtual bool askYesNo(const std::string& text, MsgIcon icon) = 0;
    // Cancelling gives empty text.
    virtual std::string inputBox(const std::string& prompt, const std::string& title,
                                 const std::string& defaultText) = 0;
    // False when the operator cancelled; otherwise the chosen full path.
    virtual bool saveFile(const SaveDialogRequest& request, std::string& chosen) = 0;
    // The port picker; its option buttons write commPortNo directly.
    virtual void portPicker(int16_t& commPortNo) = 0;
    virtual void showSplash() = 0;
    virtual void closeSplash() = 0;
    virtual void about(const std::string& caption, const std::string& model) = 0;
    // A message that waits for nobody: it returns at once and the program
    // goes on (reading, logging) while it shows. Where nothing else can show
    // it, it is an ordinary message.
    virtual void notice(const std::string& text, MsgIcon icon) { message(text, icon); }
    // True once the program has been asked to end (a desktop logout,
    // Ctrl+C): the dialog that was open then closed unanswered, and any
    // later one returns at once, unanswered (No, cancelled, empty).
    virtual bool programEnding() const { return false; }
};

// The per-user settings store (section and value name, text values).
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::string get(const std::string& section, const std::string& key,
                            const std::string& defaultValue) = 0;
    virtual void set(const std::string& section, const std::string& key,
                     const std::string& value) = 0;
};

enum class WindowState { Normal, Minimized, Maximized };

// The window that shows the view state. changed() asks for the view to be
// brought up to date when window events next run; repaintNow() does it at
// once (the logic asks for that where the operator must see a change
// before the next wait).
class Display {
public:
    virtual ~Display() = default;
    virtual void changed() = 0;
    virtual void repaintNow() = 0;
    virtual void repaintStatusBar() = 0;
    virtual WindowState windowState() = 0;
    virtual int windowLeftTwips() = 0;
    virtual int windowTopTwips() = 0;
    virtual void moveWindowTwips(int left, int top) = 0;
    virtual void showNormal() = 0;
};

}  // namespace fenwyd
