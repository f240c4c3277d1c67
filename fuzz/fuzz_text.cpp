// The text helpers of replies, data files and file names on any bytes and on
// any float or double bit pattern (NaN and infinities included).
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/textconv.h"
#include "datalog/export.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int TwoDigits(const std::string& s, std::size_t at) {
    return (s[at] - '0') * 10 + (s[at + 1] - '0');
}

void CheckTime(float v) {
    const fenwyd::TimeText t = fenwyd::FormatTimeStr(v);
    if (std::isnan(v) || std::isinf(v)) {
        if (t.ok) __builtin_trap();
        return;
    }
    // Any time of day is a good hh:mm:ss, midnight's end included.
    const bool timeOfDay = v >= 0.0f && v < 1.0f;
    if (timeOfDay && !t.ok) __builtin_trap();
    if (!t.ok) return;
    const std::string& s = t.text;
    if (s.size() != 8 || s[2] != ':' || s[5] != ':') __builtin_trap();
    for (std::size_t i : {0, 1, 3, 4, 6, 7}) {
        if (!IsDigit(s[i])) __builtin_trap();
    }
    if (TwoDigits(s, 3) > 59 || TwoDigits(s, 6) > 59) __builtin_trap();
    if (timeOfDay && TwoDigits(s, 0) > 24) __builtin_trap();
}

// The general form: never empty, never a comma (it would split a CSV
// column) and, for a finite value, close to the value in 7 digits.
void CheckGeneralText(const std::string& text, double v, bool checkValue) {
    if (text.empty()) __builtin_trap();
    if (text.find(',') != std::string::npos || text.find(' ') != std::string::npos) {
        __builtin_trap();
    }
    if (std::isnan(v)) {
        if (text != "NaN") __builtin_trap();
        return;
    }
    if (std::isinf(v)) {
        if (text != (v < 0 ? "-Inf" : "Inf")) __builtin_trap();
        return;
    }
    if (v == 0) {
        if (text != "0") __builtin_trap();
        return;
    }
    if (!checkValue) return;
    const double back = fenwyd::LeadingNumber(text);
    if (!(std::fabs(back - v) <= 5.000001e-7 * std::fabs(v))) __builtin_trap();
}

void CheckNumbers(float f, double d) {
    CheckTime(f);
    CheckGeneralText(fenwyd::FormatSingle(f), static_cast<double>(f), true);
    // Doubles near the ends of their range may read back through underflow
    // or rounding at the limit: only the form is checked there.
    const double mag = std::fabs(d);
    CheckGeneralText(fenwyd::FormatShortest(d), d, mag >= 1e-300 && mag <= 1e300);
}

void CheckPaths(const std::string& s, int which, int pageNo) {
    const std::size_t slash = s.rfind('/');

    std::string folder = "\x01untouched";
    const bool hasFolder = fenwyd::ParsePathFile(s, 1, folder);
    if (hasFolder != (slash != std::string::npos)) __builtin_trap();
    if (hasFolder ? folder != s.substr(0, slash) : folder != "\x01untouched") __builtin_trap();

    for (int w : {2, which == 1 ? 2 : which}) {
        std::string name;
        if (!fenwyd::ParsePathFile(s, w, name)) __builtin_trap();
        if (name != (slash == std::string::npos ? s : s.substr(slash + 1))) __builtin_trap();
    }

    const fenwyd::SaveNameSplit split = fenwyd::SplitSaveName(s);
    if (split.base + split.ext != s) __builtin_trap();
    if (!split.ext.empty()) {
        if (split.ext[0] != '.' || split.ext.find('.', 1) != std::string::npos ||
            split.ext.find('/') != std::string::npos) {
            __builtin_trap();
        }
    }
    if (fenwyd::DropExtension(s) != split.base) __builtin_trap();

    const std::string page = fenwyd::PageFileName(split, pageNo);
    const std::string expected =
        pageNo <= 1 ? s : split.base + "_" + std::to_string(pageNo) + split.ext;
    if (page != expected) __builtin_trap();
}

void CheckFields(const std::string& s, int first, int last) {
    const double n = fenwyd::LeadingNumber(s);
    if (std::isnan(n)) __builtin_trap();

    int value = -7;
    if (fenwyd::IntegerField(s, value)) {
        if (value < 0) __builtin_trap();
    } else if (value != -7) {
        __builtin_trap();
    }

    const std::string part = fenwyd::Mid(s, first, last);
    if (first < 1 || last < first) {
        if (!part.empty()) __builtin_trap();
    } else {
        const int64_t width = static_cast<int64_t>(last) - first + 1;
        if (static_cast<int64_t>(part.size()) > width) __builtin_trap();
        const std::size_t start = static_cast<std::size_t>(first) - 1;
        if (start >= s.size()) {
            if (!part.empty()) __builtin_trap();
        } else if (s.compare(start, part.size(), part) != 0 ||
                   (static_cast<int64_t>(part.size()) < width && start + part.size() != s.size())) {
            __builtin_trap();
        }
    }

    const std::string line = fenwyd::SingleLine(s);
    if (line.size() != s.size()) __builtin_trap();
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char want = s[i] == '\r' || s[i] == '\n' ? ' ' : s[i];
        if (line[i] != want) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const uint32_t fBits = in.ConsumeIntegral<uint32_t>();
    const uint64_t dBits = in.ConsumeIntegral<uint64_t>();
    float f;
    double d;
    std::memcpy(&f, &fBits, sizeof f);
    std::memcpy(&d, &dBits, sizeof d);

    // Field positions: mostly near the text, sometimes anything at all.
    const bool wide = in.ConsumeBool();
    const int first = wide ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange<int>(-2, 40);
    const int last = wide ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange<int>(-2, 40);
    const int which = in.ConsumeIntegralInRange<int>(-1, 3);
    const int pageNo = in.ConsumeIntegral<int>();
    const std::string text = in.ConsumeRemainingBytesAsString();

    CheckNumbers(f, d);
    CheckPaths(text, which, pageNo);
    CheckFields(text, first, last);
    return 0;
}
