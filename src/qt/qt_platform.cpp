#include "qt/qt_platform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QSettings>
#include <chrono>
#include <thread>

#include "qt/signal_watch.h"

namespace fenwyd {

QtTimer::QtTimer(std::function<void()> onTick) {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, std::move(onTick));
}

void QtTimer::setEnabled(bool on) {
    if (on) {
        timer_.setSingleShot(false);
        timer_.start();  // (re)starts a full interval
    } else {
        timer_.stop();
    }
}

void QtTimer::startOnce(int ms) {
    timer_.setSingleShot(true);
    timer_.start(ms);
}

double QtClock::secondsSinceMidnight() {
    const QTime t = QTime::currentTime();
    return t.msecsSinceStartOfDay() / 1000.0;
}

int64_t QtClock::utcMs() { return QDateTime::currentMSecsSinceEpoch(); }

int32_t QtClock::utcOffsetSeconds() {
    // Each reading is stamped with the offset, and working it out asks the
    // system about its time zone anew (a look at /etc/localtime each time).
    // Offsets change on a whole minute: once a minute is enough.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 minute = now / 60000;
    if (minute != offsetMinute_) {
        offset_ = QDateTime::fromMSecsSinceEpoch(now).offsetFromUtc();
        offsetMinute_ = minute;
    }
    return offset_;
}

QString ShortDateFullYear(const QLocale& locale, const QDate& date) {
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QString full;
    bool quoted = false;
    for (int i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (quoted || c != QLatin1Char('y')) {
            full += c;
            ++i;
            continue;
        }
        int run = 0;
        while (i + run < format.size() && format[i + run] == QLatin1Char('y')) ++run;
        full += run == 2 ? QStringLiteral("yyyy") : format.mid(i, run);
        i += run;
    }
    return locale.toString(date, full);
}

std::string QtClock::shortDateText() {
    return ShortDateFullYear(QLocale::system(), QDate::currentDate()).toLocal8Bit().toStdString();
}

std::string QtClock::longTimeText() {
    // The long-time form without a time-zone name.
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return QLocale::system()
        .toString(QTime::currentTime(), format.trimmed())
        .toLocal8Bit()
        .toStdString();
}

void QtClock::processEventsOnce() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtClock::pause(double ms) { SignalWatch::SleepUnlessSignalled(ms); }

std::unique_ptr<Timer> QtClock::createTimer(std::function<void()> onTick) {
    return std::make_unique<QtTimer>(std::move(onTick));
}

QSettings UserSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Fenwyd 8200"));
}

namespace {
QString Key(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}
}  // namespace

std::string QtSettingsStore::get(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) {
    QSettings s = UserSettings();
    const QVariant v = s.value(Key(section, key));
    return v.isValid() ? v.toString().toStdString() : defaultValue;
}

void QtSettingsStore::set(const std::string& section, const std::string& key,
                          const std::string& value) {
    QSettings s = UserSettings();
    s.setValue(Key(section, key), QString::fromStdString(value));
}

}  // namespace fenwyd
