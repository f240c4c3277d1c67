// Turns a run of readings into what the graph draws: unbroken line segments
// (a gap ends one), markers for the logged readings, and the value range.
// More readings than the plot has pixel columns are thinned to the smallest
// and largest reading of each column, so a day of readings draws as fast as a
// minute and no peak is lost. Pure: no widgets.
#pragma once

#include <cstddef>
#include <vector>

namespace fenwyd {

// x: ms since 1970 or a sample number; y in the display unit.
struct TracePoint {
    double x = 0;
    double y = 0;
    bool gap = false;  // no value: over or under range, the probe lost, other units
    bool logged = false;
};

struct XY {
    double x, y;
    bool operator==(const XY& o) const { return x == o.x && y == o.y; }
};

struct PlotData {
    // A segment of one reading holds it twice, so that it draws as a dot.
    std::vector<std::vector<XY>> segments;
    std::vector<XY> logged;
    std::size_t readings = 0;  // readings drawn (a thinned column counts its one or two)
    bool hasValues = false;    // any value inside [x0, x1]
    double yMin = 0, yMax = 0;
    bool thinned = false;
};

// Up to this many points per pixel column are drawn as they are.
constexpr int kPointsPerColumn = 2;
// At most this many line segments; past it the rest join the last one (only
// when thinning leaves gaps in hundreds of columns).
constexpr std::size_t kMaxSegments = 256;

// points: sorted by x, those in [x0, x1] and, so the line runs to the edge,
// the nearest one outside each end; drawn `columns` pixels wide. Only values
// inside [x0, x1] count for the value range and the markers.
PlotData BuildPlot(const std::vector<TracePoint>& points, double x0, double x1, int columns);

// A step of 1, 2 or 5 times a power of ten that cuts span into at most
// maxTicks parts.
double NiceStep(double span, int maxTicks);

// Ticks of a clock-time axis over [x0, x1] (ms since 1970): at most maxTicks,
// on whole seconds, minutes or hours of local time (utcOffsetMs ahead of
// UTC), 10:15:00 rather than 10:14:51.
struct TimeTicks {
    double stepMs = 0;
    std::vector<double> at;
};
TimeTicks ClockTicks(double x0, double x1, int maxTicks, double utcOffsetMs);

}  // namespace fenwyd
