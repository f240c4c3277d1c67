// Reading back a data file this program wrote: its header block and rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fenwyd {

// One row of the data log, its columns exactly as the log holds them.
struct LogRow {
    float time = 0;  // fraction of a day, or the sample number of an uploaded reading
    float mantissa = 0;
    float exponent = 0;  // a whole number
};

struct DataFileContents {
    std::string unitsText;  // the "Units," line
    bool uploaded = false;  // the time column holds sample numbers
    std::vector<LogRow> rows;
    // The rest of the header, as written.
    std::string dateText, timeText;  // when the page was saved
    int32_t samples = -1;            // rows of the whole log, over its pages; -1: no line
    int page = 1, pages = 1;         // "Page,k of N"
    std::vector<std::pair<std::string, std::string>> notes;  // label and answer
};

// Reads a data file's header block and rows. False, with the reason (and
// the line number), for a file that is not one this program writes: no
// header block, a row that is not "hh:mm:ss,mantissaEexponent" (or a sample
// number instead of the time), or more rows than a data log holds.
bool ReadDataFile(const std::string& path, DataFileContents& out, std::string& error);

// A saved log: the file at path, and when its header names it a page of
// several, all its pages (run.csv, run_2.csv, ...) in page order, each in its
// own unit. Pages that are missing or do not belong (another page count or
// sample total) leave the log at the one file, with `incomplete` set.
struct SavedLog {
    std::vector<std::string> paths;
    std::vector<DataFileContents> pages;
    bool incomplete = false;
};
bool ReadSavedLog(const std::string& path, SavedLog& out, std::string& error);

}  // namespace fenwyd
