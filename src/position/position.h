// Where a reading was taken: a receiver's fix, the rule for when it counts
// for a reading, and the GPS state the status bar shows. Plain C++, no Qt.
#pragma once

#include <cstdint>
#include <optional>

namespace fenwyd {

// gpsd's own numbers (MODE_NO_FIX, MODE_2D, MODE_3D), so they store as they are.
enum class FixMode : uint8_t { None = 1, TwoD = 2, ThreeD = 3 };

struct Position {
    double latitude = 0;                     // degrees north, WGS84
    double longitude = 0;                    // degrees east, WGS84
    std::optional<double> altitudeM;         // above mean sea level (3D fixes)
    std::optional<double> ellipsoidHeightM;  // above the WGS84 ellipsoid (3D fixes)
    FixMode fix = FixMode::None;
    int64_t fixUtcMs = 0;       // the receiver's own time of the fix (ms since 1970); 0: none given
    int64_t receivedUtcMs = 0;  // this computer's clock when the fix arrived
};

// How long a fix counts for the readings after it.
constexpr int64_t kPositionFreshMs = 5000;

// A 2D or 3D fix with finite coordinates inside -90..90 and -180..180.
bool HasFix(const Position& p);

// The position that counts for a reading made at readingUtcMs (this
// computer's clock): p when it has a fix and arrived no more than 5 s before
// the reading (or after it, when a reading is matched later); nothing
// otherwise. The age is taken from when the fix arrived, not from the
// receiver's time, so a computer clock that is off does not make every fix
// stale, and a replayed log still counts.
std::optional<Position> PositionForReading(const std::optional<Position>& p, int64_t readingUtcMs);

enum class GpsState {
    Off,         // no gpsd configured
    Connecting,  // gpsd not reached (yet): trying, with back-off
    NoFix,       // talking to gpsd, no fix in the last 5 s
    Fix2D,
    Fix3D,
};

// The status-bar text: "GPS off", "GPS waiting for gpsd", "GPS no fix",
// "GPS 2D fix", "GPS 3D fix".
const char* GpsStatusText(GpsState state);

// The state of a client that is (or is not) talking to gpsd and last got
// latest, at nowUtcMs.
GpsState StateFor(bool talkingToGpsd, const std::optional<Position>& latest, int64_t nowUtcMs);

// "2D", "3D"; empty for no fix.
const char* FixName(FixMode fix);

}  // namespace fenwyd
