#include "datalog/export.h"

#include <algorithm>
#include <cmath>

#include "common/file_write.h"
#include "common/textconv.h"

namespace fenwyd {

namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

std::string::size_type LastSeparator(const std::string& path) {
    for (auto i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) return i - 1;
    }
    return std::string::npos;
}

double RoundHalfEven(double x) {
    double r = std::floor(x);
    const double frac = x - r;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
    return r;
}

// At least two digits; a negative value keeps its sign in front.
void AppendTwoDigits(std::string& out, int64_t v) {
    if (v < 0) {
        out += '-';
        v = -v;
    }
    if (v < 10) out += '0';
    out += std::to_string(v);
}

char* PutTwoDigits(char* out, int64_t v) {
    *out++ = static_cast<char>('0' + v / 10);
    *out++ = static_cast<char>('0' + v % 10);
    return out;
}

// FormatTimeStr written straight into the page buffer. Times of day take the
// short way; anything else (negative, 100 hours or more, not a number) goes
// through FormatTimeStr itself so the text and its complaint stay the same.
char* PutTime(char* out, float timePerc, bool& ok) {
    const double x = static_cast<double>(timePerc) * 86400.0;
    if (x >= 0.0 && x < 359999.5) {
        const auto s = static_cast<int64_t>(std::nearbyint(x));  // halves to even
        out = PutTwoDigits(out, s / 3600);
        *out++ = ':';
        out = PutTwoDigits(out, s % 3600 / 60);
        *out++ = ':';
        out = PutTwoDigits(out, s % 60);
        ok = true;
        return out;
    }
    const TimeText t = FormatTimeStr(timePerc);
    ok = t.ok;
    for (char c : t.text) *out++ = c;
    return out;
}

// Longest data line: three numbers in their longest form and the separators.
constexpr std::size_t kMaxDataLine = 3 * kMaxSingleChars + 4;
constexpr std::size_t kChunkBytes = 64 * 1024;

void AppendLine(std::string& buf, const std::string& line) {
    buf += line;
    buf += "\r\n";
}

}  // namespace

TimeText FormatTimeStr(float timePerc) {
    const double x = static_cast<double>(timePerc) * 86400.0;
    int64_t s = 0;
    bool sane = true;
    if (std::isnan(x)) {
        sane = false;
    } else if (x > 2147483647.0) {
        s = 2147483647;
        sane = false;
    } else if (x < -2147483648.0) {
        s = -2147483647 - 1;
        sane = false;
    } else {
        s = static_cast<int64_t>(RoundHalfEven(x));
    }
    // Integer division truncating toward zero: only ever differs from
    // "rounded down" for negative times, which are wrong anyway.
    const int64_t h = s / 3600;
    const int64_t r = s % 3600;
    TimeText result;
    AppendTwoDigits(result.text, h);
    result.text += ':';
    AppendTwoDigits(result.text, r / 60);
    result.text += ':';
    AppendTwoDigits(result.text, r % 60);
    result.ok = sane && result.text.size() == 8;
    return result;
}

bool ParsePathFile(const std::string& pathFile, int which, std::string& out) {
    const auto p = LastSeparator(pathFile);
    if (which == 1) {
        if (p == std::string::npos) return false;
        out = pathFile.substr(0, p);
        return true;
    }
    out = p == std::string::npos ? pathFile : pathFile.substr(p + 1);
    return true;
}

SaveNameSplit SplitSaveName(const std::string& filenam) {
    const auto sep = LastSeparator(filenam);
    const auto nameStart = sep == std::string::npos ? 0 : sep + 1;
    const auto dot = filenam.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return {filenam, std::string()};
    return {filenam.substr(0, dot), filenam.substr(dot)};
}

std::string DropExtension(const std::string& path) { return SplitSaveName(path).base; }

std::string PageFileName(const SaveNameSplit& split, int pageNo) {
    if (pageNo <= 1) return split.base + split.ext;
    return split.base + "_" + std::to_string(pageNo) + split.ext;
}

std::vector<UnitRun> PlanPages(int32_t recordCnt, const std::vector<UnitRun>& runs,
                               const std::string& unitsText) {
    std::vector<UnitRun> pages;
    auto add = [&](int32_t first, int32_t last, const std::string& units) {
        for (int32_t from = first; from <= last; from += kSamplesPerPage) {
            pages.push_back({from, std::min(last, from + kSamplesPerPage - 1), units});
        }
    };
    int32_t next = 1;  // rows the runs do not cover are kept in unitsText
    for (const UnitRun& run : runs) {
        const int32_t first = std::max(run.first, next);
        const int32_t last = std::min(run.last, recordCnt);
        if (first > last) continue;
        if (first > next) add(next, first - 1, unitsText);
        add(first, last, run.unitsText);
        next = last + 1;
    }
    if (next <= recordCnt) add(next, recordCnt, unitsText);
    if (pages.empty()) pages.push_back({1, 0, unitsText});
    return pages;
}

ExportResult WriteDataPages(const std::string& filenam, const ExportInput& in) {
    int32_t count = in.recordCnt;
    if (count < 0 || in.recordData == nullptr) count = 0;
    if (count > kMaxRecords) count = kMaxRecords;  // the log has no rows beyond 32000

    const SaveNameSplit split = SplitSaveName(filenam);
    const std::vector<UnitRun> plan = PlanPages(count, in.unitRuns, in.unitsText);
    const auto pages = static_cast<int32_t>(plan.size());
    const std::string total = std::to_string(count);
    const std::string pagesText = std::to_string(pages);

    std::string buf;
    std::vector<std::string> written;
    for (int32_t k = 1; k <= pages; ++k) {
        const int32_t first = plan[static_cast<std::size_t>(k - 1)].first;
        const int32_t last = plan[static_cast<std::size_t>(k - 1)].last;
        const std::string units = SingleLine(plan[static_cast<std::size_t>(k - 1)].unitsText);
        const std::string pageFile = PageFileName(split, k);
        std::string shortName;
        ParsePathFile(pageFile, 2, shortName);

        buf.clear();
        AppendLine(buf, "Header");
        AppendLine(buf, "File," + SingleLine(shortName));
        AppendLine(buf, "Date," + SingleLine(in.dateText ? in.dateText() : std::string()));
        AppendLine(buf, "Time," + SingleLine(in.timeText ? in.timeText() : std::string()));
        AppendLine(buf, "Samples," + total);
        AppendLine(buf, "Columns,2");
        AppendLine(buf, "Page," + std::to_string(k) + " of " + pagesText);
        for (const NoteLine& note : in.notes) {
            if (note.answer.empty()) continue;
            // Two fields whatever the label or answer holds.
            AppendLine(buf, WithoutCommas(SingleLine(note.label)) + "," +
                                WithoutCommas(SingleLine(note.answer)));
        }
        AppendLine(buf, "Units," + units);
        AppendLine(buf, "EndHeader");
        AppendLine(buf, "Time ,Field " + units);

        // The data lines are formatted into a small buffer that is written
        // out whenever it fills: this is where a full log spends its time.
        auto body = [&](const ChunkWriter& write) {
            if (!write(buf.data(), buf.size())) return false;
            char chunk[kChunkBytes];
            char* out = chunk;
            for (int32_t i = first; i <= last; ++i) {
                if (out > chunk + kChunkBytes - kMaxDataLine) {
                    if (!write(chunk, static_cast<std::size_t>(out - chunk))) return false;
                    out = chunk;
                }
                const float* row = in.recordData[i];
                if (in.dataUploaded) {
                    out = PutSingle(out, row[kLogColTime]);
                } else {
                    bool ok = true;
                    out = PutTime(out, row[kLogColTime], ok);
                    if (!ok && in.onTimeFormatError) in.onTimeFormatError();
                }
                *out++ = ',';
                out = PutSingle(out, row[kLogColValue]);
                *out++ = 'E';
                out = PutSingle(out, row[kLogColExponent]);
                *out++ = '\r';
                *out++ = '\n';
            }
            return write(chunk, static_cast<std::size_t>(out - chunk));
        };
        std::string reason;
        if (!WriteFileReplacing(pageFile, body, reason)) return {false, pageFile, reason, {}};
        written.push_back(pageFile);
    }
    return {true, std::string(), std::string(), written};
}

}  // namespace fenwyd
