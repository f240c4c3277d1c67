// Data file export: the data log written as comma-separated page files of
// up to 32000 samples, each with a header block.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fenwyd {

constexpr int32_t kSamplesPerPage = 32000;
constexpr int32_t kMaxRecords = 32000;  // rows 1..32000 of the data log

// Columns of a data-log row.
constexpr int kLogColumns = 5;
constexpr int kLogColTime = 0;  // time of day as a fraction of a day, or the sample number
constexpr int kLogColValue = 1;
constexpr int kLogColExponent = 2;

struct TimeText {
    std::string text;
    bool ok;  // false: not hh:mm:ss (8 characters); the caller reports it
};

// A time of day (fraction of a day) as hh:mm:ss. Seconds are rounded to the
// nearest, an exact half to even; a value just before midnight gives
// "24:00:00". NaN, infinities and huge values give a non-ok text.
TimeText FormatTimeStr(float timePerc);

// Folder part (which == 1, without the trailing separator) or file-name part
// (any other which) of a path. Separators: '/' and, on Windows, '\\'.
// which == 1 on a path without separator is an invalid call: false, out
// untouched. The file-name part is the whole text when there is no separator.
bool ParsePathFile(const std::string& pathFile, int which, std::string& out);

struct SaveNameSplit {
    std::string base;  // path up to the extension's '.'
    std::string ext;   // from the last '.' of the file name, '.' included; may be empty
};

// Splits at the last '.' of the file-name part; a '.' in a folder name never
// splits.
SaveNameSplit SplitSaveName(const std::string& filenam);

// The path without its extension: the name proposed for the next save.
std::string DropExtension(const std::string& path);

// base+ext for page 1, base+"_"+k+ext for page k >= 2.
std::string PageFileName(const SaveNameSplit& split, int pageNo);

struct NoteLine {
    std::string label;
    std::string answer;  // empty: the note gives no header line
};

// Rows first..last of the data log, all in one unit.
struct UnitRun {
    int32_t first = 1;
    int32_t last = 0;
    std::string unitsText;
};

// The pages a log is written as: a data file holds rows of one unit, so a
// change of unit starts the next page as the 32000th row does. With no runs
// (or no rows) the whole log is one run in unitsText.
std::vector<UnitRun> PlanPages(int32_t recordCnt, const std::vector<UnitRun>& runs,
                               const std::string& unitsText);

struct ExportInput {
    const float (*recordData)[kLogColumns] = nullptr;  // rows 0..32000; row i = sample i
    int32_t recordCnt = 0;                             // clamped to 0..32000
    bool dataUploaded = false;      // column 0 holds sample numbers, not times of day
    std::string unitsText;          // the unit of an empty log, or of every row without runs
    std::vector<UnitRun> unitRuns;  // the unit of each row, in row order
    std::vector<NoteLine> notes;
    std::function<std::string()> dateText;  // asked once per page, as it is written
    std::function<std::string()> timeText;
    std::function<void()> onTimeFormatError;  // once per time that is not hh:mm:ss
};

struct ExportResult {
    bool ok;
    std::string failedFile;          // page file that could not be written
    std::string reason;              // system error text
    std::vector<std::string> files;  // the page files written, in order
};

// Writes all page files for filenam (run.csv, run_2.csv, ...), each headed
// with the unit of its rows. Each page
// replaces its file whole (WriteFileReplacing), so a failure leaves any older
// file of that name intact. Stops at the first failing page.
ExportResult WriteDataPages(const std::string& filenam, const ExportInput& in);

}  // namespace fenwyd
