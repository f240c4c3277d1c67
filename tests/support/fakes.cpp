#include "support/fakes.h"

#include <algorithm>
#include <limits>

namespace fenwyd::testing {

struct VirtualClock::VTimer : Timer {
    VirtualClock& clock;
    std::function<void()> onTick;
    int intervalMs = 0;
    bool enabled = false;
    double dueMs = 0;
    unsigned generation = 0;

    VTimer(VirtualClock& c, std::function<void()> f) : clock(c), onTick(std::move(f)) {
        clock.timers_.push_back(this);
    }
    ~VTimer() override {
        auto& v = clock.timers_;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    void setInterval(int ms) override {
        intervalMs = ms;
        if (enabled) dueMs = clock.now_ + ms;
    }
    int interval() const override { return intervalMs; }
    void setEnabled(bool on) override {
        // Enabling starts a full interval.
        if (on) dueMs = clock.now_ + intervalMs;
        enabled = on;
        once = false;
        ++generation;
    }
    bool isEnabled() const override { return enabled; }
    void startOnce(int ms) override {
        // A wait: recorded as one, and the window's events run during it.
        clock.delays_.push_back(ms);
        dueMs = clock.now_ + ms;
        enabled = true;
        once = true;
        ++generation;
        ++clock.processEventsCalls;
        if (clock.onProcessEvents) clock.onProcessEvents();
    }
    bool once = false;
};

double VirtualClock::secondsSinceMidnight() {
    const double s = dayStartSeconds + now_ / 1000.0;
    return s - 86400.0 * static_cast<long long>(s / 86400.0);
}

std::unique_ptr<Timer> VirtualClock::createTimer(std::function<void()> onTick) {
    return std::make_unique<VTimer>(*this, std::move(onTick));
}

void VirtualClock::fireDue(double until) {
    for (;;) {
        VTimer* next = nullptr;
        for (VTimer* t : timers_) {
            if (t->enabled && t->dueMs <= until && (next == nullptr || t->dueMs < next->dueMs)) {
                next = t;
            }
        }
        if (next == nullptr) return;
        if (next->dueMs > now_) now_ = next->dueMs;
        if (next->once) {
            next->enabled = false;
            next->once = false;
        } else {
            // A timer that fell behind ticks once and then keeps its rhythm from now.
            next->dueMs += next->intervalMs;
            if (next->dueMs <= now_) next->dueMs = now_ + next->intervalMs;
        }
        next->onTick();
    }
}

void VirtualClock::processEventsOnce() {
    ++processEventsCalls;
    if (onProcessEvents) onProcessEvents();
    // Timers already due tick now; nothing in the future.
    fireDue(now_);
}

void VirtualClock::wait(double ms) {
    delays_.push_back(ms);
    now_ += ms;
}

void VirtualClock::advance(double ms) {
    const double target = now_ + ms;
    fireDue(target);
    if (now_ < target) now_ = target;
}

bool VirtualClock::runUntil(const std::function<bool()>& done, double limitMs) {
    const double limit = now_ + limitMs;
    while (!done()) {
        double next = std::numeric_limits<double>::infinity();
        for (VTimer* t : timers_) {
            if (t->enabled) next = std::min(next, t->dueMs);
        }
        if (next > limit) return false;
        fireDue(std::max(next, now_));
    }
    return true;
}

bool FakeSerialPort::open(int16_t portNo) {
    ++openCalls;
    if (std::find(existingPorts.begin(), existingPorts.end(), portNo) == existingPorts.end()) {
        return false;
    }
    open_ = true;
    lost = false;
    openedPort = portNo;
    openedDevice = deviceName(portNo);
    openedBaud = portBaud;
    return true;
}

bool FakeSerialPort::openDevice(const std::string& device, int32_t baudRate) {
    ++openCalls;
    open_ = false;
    if (std::find(existingDevices.begin(), existingDevices.end(), device) ==
        existingDevices.end()) {
        return false;
    }
    open_ = true;
    lost = false;
    openedDevice = device;
    openedBaud = baudRate;
    return true;
}

void FakeSerialPort::write(const std::string& bytes) {
    if (!open_) return;
    writes_.push_back({clock_.nowMs(), bytes});
    if (responder) {
        std::string cmd = bytes;
        if (!cmd.empty() && cmd.back() == '\r') cmd.pop_back();
        const std::string reply = responder(cmd);
        if (!reply.empty()) feed(reply);
    }
}

void FakeSerialPort::feed(const std::string& bytes, double delayMs) {
    incoming_.push_back({clock_.nowMs() + delayMs, bytes});
}

std::string FakeSerialPort::readAll() {
    std::string out;
    if (!open_) return out;
    while (!incoming_.empty() && incoming_.front().dueMs <= clock_.nowMs()) {
        out += incoming_.front().bytes;
        incoming_.pop_front();
    }
    return out;
}

std::vector<std::string> FakeSerialPort::writtenCommands() const {
    std::vector<std::string> out;
    for (const Write& w : writes_) {
        std::string c = w.bytes;
        if (!c.empty() && c.back() == '\r') c.pop_back();
        out.push_back(c);
    }
    return out;
}

void ScriptedDialogs::message(const std::string& text, MsgIcon icon) {
    shown.push_back({"message", text, icon});
    if (onMessage) onMessage();
}

bool ScriptedDialogs::askYesNo(const std::string& text, MsgIcon icon) {
    shown.push_back({"yesno", text, icon});
    if (onAsk) onAsk();
    if (yesNoAnswers.empty()) return yesNoDefault;
    const bool a = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return a;
}

std::string ScriptedDialogs::inputBox(const std::string& prompt, const std::string& title,
                                      const std::string& defaultText) {
    shown.push_back({"input", title + "|" + prompt + "|" + defaultText});
    if (inputAnswers.empty()) return defaultText;
    std::string a = inputAnswers.front();
    inputAnswers.pop_front();
    return a;
}

bool ScriptedDialogs::saveFile(const SaveDialogRequest& request, std::string& chosen) {
    shown.push_back({"save", request.title});
    lastSaveRequest = request;
    if (!saveAccept) return false;
    chosen = saveChoice;
    return true;
}

void ScriptedDialogs::portPicker(int16_t& commPortNo) {
    shown.push_back({"port", ""});
    if (portPickerChoice != 0) commPortNo = portPickerChoice;
}

void ScriptedDialogs::about(const std::string& caption, const std::string& model) {
    shown.push_back({"about", caption});
    aboutCaption = caption;
    aboutModel = model;
}

std::vector<std::string> ScriptedDialogs::messages() const {
    std::vector<std::string> out;
    for (const Shown& s : shown) {
        if (s.kind == "message") out.push_back(s.text);
    }
    return out;
}

std::vector<std::string> ScriptedDialogs::notices() const {
    std::vector<std::string> out;
    for (const Shown& s : shown) {
        if (s.kind == "notice") out.push_back(s.text);
    }
    return out;
}

int ScriptedDialogs::count(const std::string& kind) const {
    return static_cast<int>(
        std::count_if(shown.begin(), shown.end(), [&](const Shown& s) { return s.kind == kind; }));
}

std::string MemorySettings::get(const std::string& section, const std::string& key,
                                const std::string& defaultValue) {
    auto it = values.find(section + "/" + key);
    return it == values.end() ? defaultValue : it->second;
}

void MemorySettings::set(const std::string& section, const std::string& key,
                         const std::string& value) {
    values[section + "/" + key] = value;
}

}  // namespace fenwyd::testing
