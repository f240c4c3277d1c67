#include "common/record_text.h"

#include <algorithm>
#include <cstdio>

namespace fenwyd {

namespace {
constexpr int64_t kMsPerDay = 86400000;

// Floor division: times before 1970 still fall on the right day.
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Year, month, day of a day count since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(int64_t days, int64_t& y, unsigned& m, unsigned& d) {
    days += 719468;
    const int64_t era = FloorDiv(days, 146097);
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}
}  // namespace

std::string IsoTimeText(int64_t utcMs, int32_t offsetSeconds, bool utcSuffix) {
    const int64_t ms = utcMs + (utcSuffix ? 0 : static_cast<int64_t>(offsetSeconds) * 1000);
    const int64_t days = FloorDiv(ms, kMsPerDay);
    const int64_t inDay = ms - days * kMsPerDay;
    int64_t y = 0;
    unsigned mo = 0, d = 0;
    CivilFromDays(days, y, mo, d);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02d.%03d",
                  static_cast<long long>(y), mo, d, static_cast<int>(inDay / 3600000),
                  static_cast<int>(inDay / 60000 % 60), static_cast<int>(inDay / 1000 % 60),
                  static_cast<int>(inDay % 1000));
    std::string text = buf;
    if (utcSuffix) return text + "Z";
    const int32_t off = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
    std::snprintf(buf, sizeof buf, "%c%02d:%02d", offsetSeconds < 0 ? '-' : '+', off / 3600,
                  off / 60 % 60);
    return text + buf;
}

std::string ExactDecimal(const std::string& valueText, int exponent) {
    std::size_t i = valueText.find_first_not_of(' ');
    if (i == std::string::npos) return {};
    bool negative = false;
    if (valueText[i] == '-' || valueText[i] == '+') negative = valueText[i++] == '-';
    std::string digits;
    int fractionDigits = 0;
    bool point = false;
    for (; i < valueText.size(); ++i) {
        const char c = valueText[i];
        if (c >= '0' && c <= '9') {
            digits += c;
            if (point) ++fractionDigits;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits.empty()) return {};
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));

    // value = digits x 10^shift
    const long shift = static_cast<long>(exponent) - fractionDigits;
    std::string text;
    if (digits == "0") {
        text = "0";
    } else if (shift >= 0) {
        text = digits + std::string(static_cast<std::size_t>(shift), '0');
    } else {
        const auto fraction = static_cast<std::size_t>(-shift);
        std::string whole = "0";
        std::string part = digits;
        if (digits.size() > fraction) {
            whole = digits.substr(0, digits.size() - fraction);
            part = digits.substr(digits.size() - fraction);
        } else {
            part = std::string(fraction - digits.size(), '0') + digits;
        }
        part.erase(part.find_last_not_of('0') + 1);
        text = part.empty() ? whole : whole + "." + part;
    }
    return negative && text != "0" ? "-" + text : text;
}

}  // namespace fenwyd
