#pragma once
// The signals that end a program (SIGTERM at a desktop logout or from a
// service manager, SIGINT from a terminal, SIGHUP) delivered to the event
// loop, where the normal shutdown can run. The handler itself only writes a
// byte into a pipe. On Windows there are no such signals: nothing is watched.
#include <QObject>
#include <functional>
#include <initializer_list>

class QSocketNotifier;

namespace fenwyd {

class SignalWatch : public QObject {
public:
    // One watch per process.
    explicit SignalWatch(std::initializer_list<int> signalNumbers);
    ~SignalWatch() override;
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // Called from the event loop with each signal's number.
    std::function<void(int)> onSignal;

    // True once a watched signal has come, even before the event loop has
    // delivered it: the handler itself notes it.
    static bool Arrived();
    // Sleeps ms milliseconds, or less: it returns as soon as a watched
    // signal has come (at once if one came before).
    static void SleepUnlessSignalled(double ms);

private:
    void drain();
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace fenwyd
