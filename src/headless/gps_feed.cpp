#include "headless/gps_feed.h"

namespace fenwyd::headless {

GpsdFeed::GpsdFeed(const GpsdAddress& address, std::function<int64_t()> nowUtcMs,
                   std::function<void(const std::string&)> say)
    : address_(address), say_(std::move(say)) {
    client_.setClock(std::move(nowUtcMs));
    const std::string name = "gpsd " + GpsdAddressText(address_) + ": ";
    QObject::connect(&client_, &GpsdClient::stateChanged, [this, name](GpsState state) {
        if (state != GpsState::Connecting) problemSaid_ = false;
        say_(name + GpsStatusText(state));
    });
    // The client tries again with back-off; why it could not reach gpsd is
    // said once, not at every attempt.
    QObject::connect(&client_, &GpsdClient::problem, [this](const QString& text) {
        if (problemSaid_) return;
        problemSaid_ = true;
        say_(text.toLocal8Bit().toStdString());
    });
}

void GpsdFeed::start() { client_.start(address_); }

}  // namespace fenwyd::headless
