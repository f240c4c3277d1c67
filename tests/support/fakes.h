#pragma once
// Scripted sides of the seams: a virtual clock whose timers and waits run in
// no real time, a scripted serial port, recorded dialogs, an in-memory
// settings store and a display that counts repaints.
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "instrument/seams.h"
#include "link/serial_port.h"

namespace fenwyd::testing {

class VirtualClock : public Clock {
public:
    // Virtual time in milliseconds since the clock was made.
    double nowMs() const { return now_; }
    // Time of day at virtual 0, in seconds since midnight.
    double dayStartSeconds = 10 * 3600.0;

    double secondsSinceMidnight() override;
    // 2026-12-06 10:00:00 UTC at virtual 0, local time = UTC unless set.
    int64_t epochUtcMs = 1796551200000;
    int32_t offsetSeconds = 0;
    int64_t utcMs() override { return epochUtcMs + static_cast<int64_t>(now_); }
    int32_t utcOffsetSeconds() override { return offsetSeconds; }
    std::string shortDateText() override { return dateText; }
    std::string longTimeText() override { return timeText; }
    void processEventsOnce() override;
    // Moves the clock on by ms, no timer ticking: time that passes unseen.
    void wait(double ms);
    void pause(double ms) override { wait(ms); }
    std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override;

    // Runs the event loop for ms of virtual time: due timers tick in order.
    void advance(double ms);
    // Runs the event loop, timer after timer, until done() (true) or until
    // nothing is due within limitMs of virtual time (false).
    bool runUntil(const std::function<bool()>& done, double limitMs = 600000);
    // Every wait() so far, in milliseconds, in order.
    const std::vector<double>& delays() const { return delays_; }
    void clearDelays() { delays_.clear(); }
    // Called at each processEventsOnce (window events run then).
    std::function<void()> onProcessEvents;
    int processEventsCalls = 0;

    std::string dateText = "12/6/2026";
    std::string timeText = "3:16:52 PM";

    struct VTimer;

private:
    void fireDue(double until);
    double now_ = 0;
    std::vector<double> delays_;
    std::vector<VTimer*> timers_;
    friend struct VTimer;
};

// A port whose replies come from a script: each write is passed to the
// responder, whose answer can be read at once (or after a delay).
class FakeSerialPort : public SerialPort {
public:
    explicit FakeSerialPort(VirtualClock& clock) : clock_(clock) {}

    bool open(int16_t portNo) override;
    void close() override {
        if (open_) ++closeCalls;
        open_ = false;
    }
    bool isOpen() const override { return open_; }
    void write(const std::string& bytes) override;
    std::string readAll() override;
    std::string deviceName(int16_t portNo) const override {
        return "/dev/fake" + std::to_string(portNo);
    }

    // Data that arrives delayMs after now.
    void feed(const std::string& bytes, double delayMs = 0);
    // Answers each written command (without its "\r"); empty = silence.
    std::function<std::string(const std::string&)> responder;

    struct Write {
        double atMs;
        std::string bytes;
    };
    const std::vector<Write>& writes() const { return writes_; }
    std::vector<std::string> writtenCommands() const;  // without "\r"
    std::string lastWrite() const { return writes_.empty() ? "" : writes_.back().bytes; }
    void clearWrites() { writes_.clear(); }

    bool deviceLost() const override { return lost; }
    // A device by name: one of existingDevices, at any speed.
    bool openDevice(const std::string& device, int32_t baudRate) override;
    PortOpenError lastOpenError() const override { return open_ ? PortOpenError{} : openError; }
    int32_t baudRate() const override { return open_ ? openedBaud : 0; }
    // Pulls the device out: the port closes and reads nothing.
    void unplug() {
        lost = true;
        open_ = false;
    }

    std::vector<int16_t> existingPorts = {1, 2, 3, 4, 5};
    std::vector<std::string> existingDevices;
    PortOpenError openError;  // what a failed open reports
    int32_t portBaud = 9600;  // the speed open(portNo) runs at
    bool lost = false;
    int16_t openedPort = 0;
    std::string openedDevice;
    int32_t openedBaud = 0;
    int openCalls = 0;
    int closeCalls = 0;

private:
    VirtualClock& clock_;
    bool open_ = false;
    struct Pending {
        double dueMs;
        std::string bytes;
    };
    std::deque<Pending> incoming_;
    std::vector<Write> writes_;
};

class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        std::string kind;  // "message", "yesno", "input", "save", "port", "splash", "about",
                           // "notice"
        std::string text;
        MsgIcon icon = MsgIcon::None;
    };
    std::vector<Shown> shown;
    std::deque<bool> yesNoAnswers;  // default answer when empty: yesNoDefault
    bool yesNoDefault = true;
    std::deque<std::string> inputAnswers;  // empty queue: the default text is kept
    bool saveAccept = true;
    std::string saveChoice;
    SaveDialogRequest lastSaveRequest;
    int16_t portPickerChoice = 0;  // 0: "Continue" without a choice
    std::string aboutCaption, aboutModel;
    std::function<void()> onMessage;  // runs while a message box is "open"
    std::function<void()> onAsk;      // runs while a yes/no question is "open"
    bool ending = false;              // what programEnding() says

    void message(const std::string& text, MsgIcon icon) override;
    bool askYesNo(const std::string& text, MsgIcon icon) override;
    std::string inputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override;
    bool saveFile(const SaveDialogRequest& request, std::string& chosen) override;
    void portPicker(int16_t& commPortNo) override;
    void showSplash() override { shown.push_back({"splash", "show"}); }
    void closeSplash() override { shown.push_back({"splash", "close"}); }
    void about(const std::string& caption, const std::string& model) override;
    void notice(const std::string& text, MsgIcon icon) override {
        shown.push_back({"notice", text, icon});
    }
    bool programEnding() const override { return ending; }

    std::vector<std::string> messages() const;  // texts of message boxes only
    std::vector<std::string> notices() const;
    int count(const std::string& kind) const;
};

class MemorySettings : public SettingsStore {
public:
    std::map<std::string, std::string> values;  // "Section/Key" -> value
    std::string get(const std::string& section, const std::string& key,
                    const std::string& defaultValue) override;
    void set(const std::string& section, const std::string& key, const std::string& value) override;
};

class RecordingDisplay : public Display {
public:
    int changes = 0;
    int repaints = 0;
    int statusRepaints = 0;
    WindowState state = WindowState::Normal;
    int left = 1000, top = 1000;
    int moves = 0;
    void changed() override { ++changes; }
    void repaintNow() override { ++repaints; }
    void repaintStatusBar() override { ++statusRepaints; }
    WindowState windowState() override { return state; }
    int windowLeftTwips() override { return left; }
    int windowTopTwips() override { return top; }
    void moveWindowTwips(int l, int t) override {
        left = l;
        top = t;
        ++moves;
    }
    void showNormal() override { state = WindowState::Normal; }
};

}  // namespace fenwyd::testing
