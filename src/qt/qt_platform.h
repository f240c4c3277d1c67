#pragma once
// The real sides of the clock, timer and settings seams (QtCore only).
#include <QDate>
#include <QLocale>
#include <QObject>
#include <QSettings>
#include <QTimer>

#include "instrument/seams.h"

namespace fenwyd {

// A date in the locale's short form, its order and separators kept, but the
// year always in four digits: "12/6/2026" rather than "12/6/26", so a file
// saved in 2026 cannot be taken for one of 1926.
QString ShortDateFullYear(const QLocale& locale, const QDate& date);

class QtTimer : public Timer {
public:
    explicit QtTimer(std::function<void()> onTick);
    void setInterval(int ms) override { timer_.setInterval(ms); }
    int interval() const override { return timer_.interval(); }
    void setEnabled(bool on) override;
    bool isEnabled() const override { return timer_.isActive(); }
    void startOnce(int ms) override;

private:
    QTimer timer_;
};

class QtClock : public Clock {
public:
    double secondsSinceMidnight() override;
    int64_t utcMs() override;
    int32_t utcOffsetSeconds() override;
    std::string shortDateText() override;
    std::string longTimeText() override;
    void processEventsOnce() override;
    // Ends as soon as an ending signal (SignalWatch) has come.
    void pause(double ms) override;
    std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override;

private:
    int64_t offsetMinute_ = -1;  // minutes since 1970 offset_ was worked out for
    int32_t offset_ = 0;
};

// The per-user settings store: organization "Fenwyd 8200", no application
// name (on Linux the file $XDG_CONFIG_HOME/Fenwyd 8200.conf).
QSettings UserSettings();

class QtSettingsStore : public SettingsStore {
public:
    std::string get(const std::string& section, const std::string& key,
                    const std::string& defaultValue) override;
    void set(const std::string& section, const std::string& key, const std::string& value) override;
};

}  // namespace fenwyd
