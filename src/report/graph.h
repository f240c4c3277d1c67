// The graph of a report: the readings of one quantity against time or
// sample number, with the reference level and the alarm threshold as lines,
// drawn with QPainter so that every label stays text in the PDF.
#pragma once

#include <QRectF>
#include <QString>
#include <optional>
#include <string>

#include "report/figures.h"

class QPainter;

namespace fenwyd::report {

class Pages;

// The quantity a graph draws, in its unit, with the lines drawn across it.
struct GraphedQuantity {
    Quantity quantity = Quantity::Unknown;
    std::string label;            // the unit of the value axis ("mG")
    std::optional<double> level;  // the reference level in `label`
    std::optional<double> alarm;  // the alarm threshold in `label`
    double alarmPercent = 100;
};

// Height of a graph with its axis texts and caption, in points.
constexpr double kGraphHeight = 250;

// Draws the graph into `area` (device units, kGraphHeight points high);
// the caption below it says what was drawn and how.
void DrawGraph(QPainter& p, const Pages& pages, const QRectF& area, const ReportInput& in,
               const RowTimes& times, const GraphedQuantity& graphed);

}  // namespace fenwyd::report
