#include "datalog/data_file.h"

#include <cmath>

#include "common/file_write.h"
#include "common/textconv.h"
#include "datalog/export.h"

namespace fenwyd {

namespace {

constexpr std::size_t kMaxDataFileBytes = 8 * 1024 * 1024;
constexpr double kSecondsPerDay = 86400.0;

bool IsNumberText(const std::string& s) {
    if (s.empty()) return false;
    std::size_t i = s[0] == '-' || s[0] == '+' ? 1 : 0;
    bool digits = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9') {
            digits = true;
        } else if (s[i] != '.' && s[i] != 'E' && s[i] != 'e' && s[i] != '+' && s[i] != '-') {
            return false;
        }
    }
    return digits;
}

// "hh:mm:ss" as a fraction of a day; false for anything else.
bool TimeOfDay(const std::string& s, float& fraction) {
    if (s.size() != 8 || s[2] != ':' || s[5] != ':') return false;
    long long h = 0, m = 0, sec = 0;
    if (!ParseInteger(s.substr(0, 2), 0, 24, h, Sign::NotAllowed) ||
        !ParseInteger(s.substr(3, 2), 0, 59, m, Sign::NotAllowed) ||
        !ParseInteger(s.substr(6, 2), 0, 59, sec, Sign::NotAllowed)) {
        return false;
    }
    fraction = static_cast<float>(static_cast<double>(h * 3600 + m * 60 + sec) / kSecondsPerDay);
    return true;
}

// "1.25E-6": the mantissa and the exponent, each as the log holds it.
bool Value(const std::string& s, LogRow& row) {
    const std::size_t e = s.rfind('E');
    if (e == std::string::npos || e == 0) return false;
    const std::string mantissa = s.substr(0, e);
    long long exponent = 0;
    if (!IsNumberText(mantissa) || !ParseInteger(s.substr(e + 1), -99, 99, exponent)) return false;
    row.mantissa = static_cast<float>(LeadingNumber(mantissa));
    row.exponent = static_cast<float>(exponent);
    return std::isfinite(row.mantissa);
}

// "k of N": the page and the page count; both stay 1 for anything else.
void PageLine(const std::string& text, int& page, int& pages) {
    const std::size_t of = text.find(" of ");
    long long k = 0, n = 0;
    if (of == std::string::npos || !ParseInteger(text.substr(0, of), 1, kMaxRecords, k) ||
        !ParseInteger(text.substr(of + 4), k, kMaxRecords, n)) {
        return;
    }
    page = static_cast<int>(k);
    pages = static_cast<int>(n);
}

}  // namespace

bool ReadDataFile(const std::string& path, DataFileContents& out, std::string& error) {
    std::string text;
    if (!ReadRegularFile(path, text, kMaxDataFileBytes)) {
        error = "not a readable file of at most 8 MB";
        return false;
    }
    const std::vector<std::string> lines = SplitLines(text);
    if (lines.empty() || lines[0] != "Header") {
        error = "no \"Header\" line at the start";
        return false;
    }
    std::size_t i = 1;
    bool afterPage = false;
    for (; i < lines.size() && lines[i] != "EndHeader"; ++i) {
        const std::string& line = lines[i];
        if (line.rfind("Units,", 0) == 0) {
            out.unitsText = line.substr(6);
            afterPage = false;
        } else if (line.rfind("Page,", 0) == 0) {
            PageLine(line.substr(5), out.page, out.pages);
            afterPage = true;
        } else if (afterPage) {
            // The notes lie between the page and the units.
            const std::size_t comma = line.find(',');
            out.notes.emplace_back(line.substr(0, comma),
                                   comma == std::string::npos ? "" : line.substr(comma + 1));
        } else if (line.rfind("Date,", 0) == 0) {
            out.dateText = line.substr(5);
        } else if (line.rfind("Time,", 0) == 0) {
            out.timeText = line.substr(5);
        } else if (line.rfind("Samples,", 0) == 0) {
            long long n = 0;
            if (ParseInteger(line.substr(8), 0, kMaxRecords, n))
                out.samples = static_cast<int32_t>(n);
        }
    }
    if (i >= lines.size()) {
        error = "no \"EndHeader\" line";
        return false;
    }
    i += 2;  // past "EndHeader" and the column titles
    out.rows.clear();
    bool first = true;
    for (; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        const std::size_t comma = lines[i].find(',');
        LogRow row;
        const std::string when = comma == std::string::npos ? "" : lines[i].substr(0, comma);
        if (first) out.uploaded = when.find(':') == std::string::npos;
        first = false;
        const bool timeOk = out.uploaded ? IsNumberText(when) : TimeOfDay(when, row.time);
        if (out.uploaded) row.time = static_cast<float>(LeadingNumber(when));
        if (comma == std::string::npos || !timeOk || !Value(lines[i].substr(comma + 1), row)) {
            error = "line " + std::to_string(i + 1) + " is not a row of readings";
            return false;
        }
        if (static_cast<int32_t>(out.rows.size()) == kMaxRecords) {
            error = "more than " + std::to_string(kMaxRecords) + " rows";
            return false;
        }
        out.rows.push_back(row);
    }
    return true;
}

bool ReadSavedLog(const std::string& path, SavedLog& out, std::string& error) {
    out = SavedLog();
    DataFileContents chosen;
    if (!ReadDataFile(path, chosen, error)) return false;
    if (chosen.pages > 1) {
        // The pages are named from the first one's name: run_2.csv is page 2
        // of run.csv; page k >= 2 names page 1 by dropping its "_k".
        SaveNameSplit split = SplitSaveName(path);
        const std::string suffix = "_" + std::to_string(chosen.page);
        if (chosen.page > 1 && split.base.size() > suffix.size() &&
            split.base.compare(split.base.size() - suffix.size(), suffix.size(), suffix) == 0) {
            split.base.erase(split.base.size() - suffix.size());
        }
        SavedLog all;
        for (int k = 1; k <= chosen.pages; ++k) {
            const std::string pagePath = PageFileName(split, k);
            DataFileContents page;
            std::string ignored;
            if (k == chosen.page) {
                page = chosen;
            } else if (!ReadDataFile(pagePath, page, ignored) || page.page != k ||
                       page.pages != chosen.pages || page.samples != chosen.samples) {
                all.incomplete = true;
                break;
            }
            all.paths.push_back(k == chosen.page ? path : pagePath);
            all.pages.push_back(std::move(page));
        }
        if (!all.incomplete) {
            out = std::move(all);
            return true;
        }
        out.incomplete = true;
    }
    out.paths.push_back(path);
    out.pages.push_back(std::move(chosen));
    return true;
}

}  // namespace fenwyd
