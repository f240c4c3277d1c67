#include "datalog/data_file.h"

#include <cfloat>
#include <cmath>

#include "common/file_write.h"
#include "common/textconv.h"
#include "datalog/export.h"

namespace fenwyd {

namespace {

constexpr std::size_t kMaxDataFileBytes = 8 * 1024 * 1024;
constexpr double kSecondsPerDay = 86400.0;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits from s[i] on; the index after them.
std::size_t SkipDigits(const std::string& s, std::size_t i) {
    while (i < s.size() && IsDigit(s[i])) ++i;
    return i;
}

// The whole of s is one decimal number: an optional sign, digits with at
// most one '.', and, where allowed, an exponent (E or e, digits). With
// signedExponent the exponent must carry its sign, as the writer's
// "1.5E+07" does; that tells a mantissa's own exponent from the column's.
enum class Exponent { None, Any, Signed };
bool IsDecimal(const std::string& s, Exponent exponent) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    const std::size_t intStart = i;
    i = SkipDigits(s, i);
    bool digits = i > intStart;
    if (i < s.size() && s[i] == '.') {
        const std::size_t fracStart = ++i;
        i = SkipDigits(s, i);
        digits = digits || i > fracStart;
    }
    if (!digits) return false;
    if (i < s.size() && exponent != Exponent::None && (s[i] == 'E' || s[i] == 'e')) {
        ++i;
        const bool sign = i < s.size() && (s[i] == '-' || s[i] == '+');
        if (exponent == Exponent::Signed && !sign) return false;
        if (sign) ++i;
        const std::size_t expStart = i;
        i = SkipDigits(s, i);
        if (i == expStart) return false;
    }
    return i == s.size();
}

// A number a single-precision column can hold: finite and not beyond the
// largest single (1e400 or 1e39 would become an infinity).
bool SingleValue(const std::string& s, float& out) {
    const double v = LeadingNumber(s);
    if (!std::isfinite(v) || std::fabs(v) > FLT_MAX) return false;
    out = static_cast<float>(v);
    return true;
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

// "1.25E-6": the mantissa and the exponent, each as the log holds it. The
// writer gives a mantissa in exponent form ("1.5E+07E-3") only for
// magnitudes the display never shows, always with the exponent's sign.
// False with the reason.
bool Value(const std::string& s, LogRow& row, std::string& why) {
    const std::size_t e = s.rfind('E');
    const std::string mantissa = e == std::string::npos ? s : s.substr(0, e);
    const bool ownExponent = mantissa.find_first_of("Ee") != std::string::npos;
    long long exponent = 0;
    if (e == std::string::npos || e == 0 ||
        !IsDecimal(mantissa, ownExponent ? Exponent::Signed : Exponent::None) ||
        !ParseInteger(s.substr(e + 1), -99, 99, exponent, Sign::Allowed)) {
        why = "\"" + PrintableText(s) +
              "\" is not a value written as mantissa E exponent (such as 1.25E-6, exponent -99 "
              "to 99)";
        return false;
    }
    if (!SingleValue(mantissa, row.mantissa)) {
        why = "the mantissa \"" + PrintableText(mantissa) + "\" is beyond what a data log holds";
        return false;
    }
    row.exponent = static_cast<float>(exponent);
    return true;
}

// The line "Time ,Field <unit>" that follows "EndHeader".
bool IsColumnTitles(const std::string& line) {
    const std::size_t comma = line.find(',');
    if (comma == std::string::npos) return false;
    const std::string first = line.substr(0, comma);
    const std::size_t start = first.find_first_not_of(' ');
    const std::size_t end = first.find_last_not_of(' ');
    if (start == std::string::npos || first.substr(start, end - start + 1) != "Time") {
        return false;
    }
    const std::size_t field = line.find_first_not_of(' ', comma + 1);
    return field != std::string::npos && line.compare(field, 5, "Field") == 0;
}

// One data line as a row; false with the reason.
bool Row(const std::string& line, bool uploaded, LogRow& row, std::string& why) {
    const std::size_t comma = line.find(',');
    if (comma == std::string::npos) {
        why = "no comma between the time and the value";
        return false;
    }
    const std::string when = line.substr(0, comma);
    if (uploaded) {
        if (!IsDecimal(when, Exponent::Any)) {
            why = "\"" + PrintableText(when) + "\" is not a sample number";
            return false;
        }
        if (!SingleValue(when, row.time)) {
            why =
                "the sample number \"" + PrintableText(when) + "\" is beyond what a data log holds";
            return false;
        }
    } else if (!TimeOfDay(when, row.time)) {
        why = "\"" + PrintableText(when) + "\" is not a time of day (hh:mm:ss)";
        return false;
    }
    return Value(line.substr(comma + 1), row, why);
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
    ++i;
    // The column titles, when the file has them; a file without them starts
    // its readings here.
    if (i < lines.size() && IsColumnTitles(lines[i])) ++i;
    out.rows.clear();
    bool first = true;
    for (; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        if (first) {
            const std::size_t comma = lines[i].find(',');
            out.uploaded = lines[i].substr(0, comma).find(':') == std::string::npos;
        }
        first = false;
        LogRow row;
        std::string why;
        if (!Row(lines[i], out.uploaded, row, why)) {
            error = "line " + std::to_string(i + 1) + " is not a row of readings: " + why;
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
