// SIGINT, SIGTERM and SIGHUP, delivered to the Qt event loop. The handlers
// only write the signal's number into a pipe; the work happens when the
// event loop reads it (between transactions, or at the start of a wait).
#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace fenwyd::headless {

class StopSignals : public QObject {
public:
    // onStop: SIGINT or SIGTERM (Ctrl+C or Ctrl+Break on Windows);
    // onReopen: SIGHUP.
    StopSignals(std::function<void()> onStop, std::function<void()> onReopen);
    ~StopSignals() override;
    // False with the reason when the handlers could not be installed.
    bool install(QString& error);

private:
    void readSignals();
    std::function<void()> onStop_;
    std::function<void()> onReopen_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace fenwyd::headless
