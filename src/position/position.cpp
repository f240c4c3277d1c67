#include "position/position.h"

#include <cmath>

namespace fenwyd {

bool HasFix(const Position& p) {
    return (p.fix == FixMode::TwoD || p.fix == FixMode::ThreeD) && std::isfinite(p.latitude) &&
           std::isfinite(p.longitude) && std::fabs(p.latitude) <= 90 &&
           std::fabs(p.longitude) <= 180;
}

std::optional<Position> PositionForReading(const std::optional<Position>& p, int64_t readingUtcMs) {
    if (!p || !HasFix(*p)) return std::nullopt;
    const int64_t age = readingUtcMs - p->receivedUtcMs;
    if (age > kPositionFreshMs || age < -kPositionFreshMs) return std::nullopt;
    return p;
}

const char* GpsStatusText(GpsState state) {
    switch (state) {
        case GpsState::Off: return "GPS off";
        case GpsState::Connecting: return "GPS waiting for gpsd";
        case GpsState::NoFix: return "GPS no fix";
        case GpsState::Fix2D: return "GPS 2D fix";
        case GpsState::Fix3D: return "GPS 3D fix";
    }
    return "GPS off";
}

GpsState StateFor(bool talkingToGpsd, const std::optional<Position>& latest, int64_t nowUtcMs) {
    if (!talkingToGpsd) return GpsState::Connecting;
    const std::optional<Position> fresh = PositionForReading(latest, nowUtcMs);
    if (!fresh) return GpsState::NoFix;
    return fresh->fix == FixMode::ThreeD ? GpsState::Fix3D : GpsState::Fix2D;
}

const char* FixName(FixMode fix) {
    switch (fix) {
        case FixMode::TwoD: return "2D";
        case FixMode::ThreeD: return "3D";
        case FixMode::None: return "";
    }
    return "";
}

}  // namespace fenwyd
