// Survey points and logged track rows, as the map and table exports take
// them. Texts are UTF-8. Plain C++, no Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "position/position.h"

namespace fenwyd {

// A value as the panel showed it.
struct ShownValue {
    std::string text;   // "1.999"
    int exponent = 0;   // text x 10^exponent is the value in the base unit
    std::string unit;   // base unit ("Gauss")
    std::string label;  // display label ("mG")
};

// Where a point is, typed by hand (indoors, where there is no fix).
struct LocalPosition {
    std::string grid;              // a grid label ("B4"); empty when not given
    std::optional<double> xM, yM;  // metres from the site's own origin; both or neither
};

// The maximum and mean of the readings over a dwell, in the base unit.
struct Dwell {
    int seconds = 0;
    double maximum = 0;
    double mean = 0;
};

struct SurveyPoint {
    int number = 0;    // 1, 2, ...; shown as P1, P2, ...
    std::string name;  // may be empty
    std::string note;
    int64_t utcMs = 0;  // when it was marked
    ShownValue value;
    int range = 0;
    bool autoRange = false;
    std::optional<Position> position;    // the fix that counted for it
    std::optional<LocalPosition> local;  // typed by hand
    std::optional<Dwell> dwell;
    std::optional<double> exposurePercent;
};

// One row of the logged track.
struct TrackRow {
    int64_t utcMs = 0;
    ShownValue value;
    std::optional<Position> position;  // the fix that counted for it
    std::optional<double> exposurePercent;
};

// "P1", "P2", ...
std::string PointLabel(int number);

}  // namespace fenwyd
