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
};

// Reads a data file's header block and rows. False, with the reason (and
// the line number), for a file that is not one this program writes: no
// header block, a row that is not "hh:mm:ss,mantissaEexponent" (or a sample
// number instead of the time), or more rows than a data log holds.
bool ReadDataFile(const std::string& path, DataFileContents& out, std::string& error);

}  // namespace fenwyd
