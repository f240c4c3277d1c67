#include "datalog/plot_data.h"

#include <algorithm>
#include <cmath>

namespace fenwyd {

namespace {

class Builder {
public:
    Builder(PlotData& out, double x0, double x1) : out_(out), x0_(x0), x1_(x1) {}

    bool inside(double x) const { return x >= x0_ && x <= x1_; }

    void add(const TracePoint& p) {
        segment_.push_back({p.x, p.y});
        ++out_.readings;
        if (!inside(p.x)) return;
        if (p.logged) out_.logged.push_back({p.x, p.y});
        if (!out_.hasValues) {
            out_.yMin = out_.yMax = p.y;
            out_.hasValues = true;
        } else {
            out_.yMin = std::min(out_.yMin, p.y);
            out_.yMax = std::max(out_.yMax, p.y);
        }
    }

    void breakLine() {
        if (segment_.empty()) return;
        if (segment_.size() == 1) segment_.push_back(segment_.front());
        if (out_.segments.size() < kMaxSegments) {
            out_.segments.push_back(std::move(segment_));
        } else {
            auto& last = out_.segments.back();
            last.insert(last.end(), segment_.begin(), segment_.end());
        }
        segment_.clear();
    }

private:
    PlotData& out_;
    double x0_, x1_;
    std::vector<XY> segment_;
};

}  // namespace

PlotData BuildPlot(const std::vector<TracePoint>& points, double x0, double x1, int columns) {
    PlotData out;
    columns = std::max(columns, 1);
    Builder b(out, x0, x1);
    if (points.size() <= static_cast<std::size_t>(kPointsPerColumn) * columns || !(x1 > x0)) {
        for (const TracePoint& p : points) {
            if (p.gap) {
                b.breakLine();
            } else {
                b.add(p);
            }
        }
        b.breakLine();
        return out;
    }

    // One pixel column at a time: its smallest and largest reading in the
    // order they came, and the same of its logged readings. A column
    // without any reading is a gap.
    out.thinned = true;
    const double perColumn = columns / (x1 - x0);
    auto columnOf = [&](double x) -> long {
        if (x < x0) return -1;
        if (x > x1) return columns;
        return std::min<long>(columns - 1, static_cast<long>((x - x0) * perColumn));
    };
    std::size_t i = 0;
    while (i < points.size()) {
        const long column = columnOf(points[i].x);
        std::size_t lo = points.size(), hi = lo, loggedLo = lo, loggedHi = lo;
        std::size_t j = i;
        for (; j < points.size() && columnOf(points[j].x) == column; ++j) {
            const TracePoint& p = points[j];
            if (p.gap) continue;
            if (lo == points.size() || p.y < points[lo].y) lo = j;
            if (hi == points.size() || p.y > points[hi].y) hi = j;
            if (!p.logged) continue;
            if (loggedLo == points.size() || p.y < points[loggedLo].y) loggedLo = j;
            if (loggedHi == points.size() || p.y > points[loggedHi].y) loggedHi = j;
        }
        if (lo == points.size()) {
            b.breakLine();
        } else {
            // Markers only for the logged extremes; the line for all.
            for (std::size_t k : {std::min(lo, hi), std::max(lo, hi)}) {
                TracePoint p = points[k];
                p.logged = k == loggedLo || k == loggedHi;
                b.add(p);
                if (lo == hi) break;
            }
            for (std::size_t k : {loggedLo, loggedHi}) {
                if (k != points.size() && k != lo && k != hi && b.inside(points[k].x)) {
                    out.logged.push_back({points[k].x, points[k].y});
                }
                if (loggedLo == loggedHi) break;
            }
        }
        i = j;
    }
    b.breakLine();
    return out;
}

double NiceStep(double span, int maxTicks) {
    if (!(span > 0) || maxTicks < 1) return 1;
    const double raw = span / maxTicks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw) return m * power;
    }
    return 10 * power;
}

TimeTicks ClockTicks(double x0, double x1, int maxTicks, double utcOffsetMs) {
    constexpr double kS = 1000, kMin = 60 * kS, kH = 60 * kMin, kDay = 24 * kH;
    static const double kSteps[] = {1 * kS,   2 * kS,   5 * kS,   10 * kS,   15 * kS,   30 * kS,
                                    1 * kMin, 2 * kMin, 5 * kMin, 10 * kMin, 15 * kMin, 30 * kMin,
                                    1 * kH,   2 * kH,   3 * kH,   6 * kH,    12 * kH,   kDay};
    TimeTicks t;
    if (!(x1 > x0) || maxTicks < 1) return t;
    const double span = x1 - x0;
    t.stepMs = 0;
    for (double step : kSteps) {
        if (span / step <= maxTicks) {
            t.stepMs = step;
            break;
        }
    }
    if (t.stepMs == 0) t.stepMs = NiceStep(span / kDay, maxTicks) * kDay;
    // Whole steps of local time.
    for (double at = std::ceil((x0 + utcOffsetMs) / t.stepMs) * t.stepMs - utcOffsetMs; at <= x1;
         at += t.stepMs) {
        t.at.push_back(at);
    }
    return t;
}

}  // namespace fenwyd
