// Positions for the logger's readings from gpsd: the instrument's position
// source, fed by a gpsd client on the event loop. gpsd being absent, going
// away or coming back never holds up a reading; each change of the GPS
// state is one line for the operator.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "gpsd/gpsd_client.h"
#include "instrument/seams.h"

namespace fenwyd::headless {

class GpsdFeed : public PositionSource {
public:
    // nowUtcMs: the clock the readings are stamped with; say: one line on
    // standard error ("gpsd localhost:2947: GPS 3D fix").
    GpsdFeed(const GpsdAddress& address, std::function<int64_t()> nowUtcMs,
             std::function<void(const std::string&)> say);
    // Starts talking to gpsd; returns at once.
    void start();

    std::optional<Position> positionAt(int64_t utcMs) override { return client_.positionAt(utcMs); }
    GpsState state() const { return client_.state(); }

private:
    GpsdAddress address_;
    std::function<void(const std::string&)> say_;
    GpsdClient client_;
    bool problemSaid_ = false;  // once per spell without gpsd
};

}  // namespace fenwyd::headless
