// What a report is made from: plain data the window and the command line
// both fill in, from the data log, the journal or saved data files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "exposure/comparison.h"
#include "instrument/instrument_state.h"

namespace fenwyd::report {

// A place of a survey where a reading was taken: a position from a
// receiver, or one typed by hand (a grid square of a site plan, or x and y
// on it).
struct SurveyPoint {
    std::string name;
    int64_t utcMs = 0;  // 0: not known
    int32_t utcOffsetSeconds = 0;
    // The reading there: valueText x 10^exponent in unitsText, shown in unitsLabel.
    std::string valueText;
    int16_t exponent = 0;
    std::string unitsText;
    std::string unitsLabel;
    std::optional<double> latitude, longitude;  // degrees, north and east positive
    std::optional<double> altitude;             // metres
    std::string gridLabel;                      // "B4"; empty: none typed
    std::optional<double> x, y;                 // metres on the site plan
};

struct ReportInput {
    std::string title;  // typed, or the data file's name
    // The test-condition answers, or a data file's header notes.
    std::vector<std::pair<std::string, std::string>> notes;
    std::string probeModel;  // "QM-8204"; empty: taken from the rows when they carry one
    // Each row in its own unit. Uploaded rows carry sample numbers; live rows
    // a time of day, and their full UTC time where it is known (journal rows;
    // data-file rows have only the time of day).
    std::vector<LoggedRow> rows;
    bool uploaded = false;
    // Where the rows came from ("run.csv, run_2.csv"), and for data files
    // when they were saved (the header's date and time, as written).
    std::string source;
    std::string savedDate, savedTime;
    std::optional<Reference> reference;  // nothing: no reference level chosen
    double alarmPercent = 100;
    std::vector<SurveyPoint> points;
    // Anything the reader must know about the input ("Page 2 of 3 was not
    // found"); each is printed in the summary.
    std::vector<std::string> remarks;
    int64_t madeUtcMs = 0;  // when the report is made; 0: now
};

}  // namespace fenwyd::report
