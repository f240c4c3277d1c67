#include "common/textconv.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <system_error>

namespace fenwyd {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// %g-style text with the house conventions applied; from to_chars so the
// C/C++ locale can never turn the point into a comma.
template <typename T>
std::string FormatGeneral(T v, int precision) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-Inf" : "Inf";
    if (v == 0) return "0";  // also -0
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
    if (res.ec != std::errc()) return "0";  // cannot happen with 64 bytes
    std::string out(buf, res.ptr);
    const auto e = out.find('e');
    if (e != std::string::npos) out[e] = 'E';
    return out;
}

}  // namespace

double LeadingNumber(const std::string& text) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && IsBlank(text[i])) ++i;

    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    // Normalised copy for from_chars, which takes neither '+' nor blanks.
    std::string num;
    std::size_t intDigits = 0, fracDigits = 0;
    while (i < n && IsDigit(text[i])) { num += text[i++]; ++intDigits; }
    if (i < n && text[i] == '.') {
        num += '.';
        ++i;
        while (i < n && IsDigit(text[i])) { num += text[i++]; ++fracDigits; }
    }
    if (intDigits + fracDigits == 0) return 0.0;

    bool expNegative = false;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        std::size_t j = i + 1;
        bool eneg = false;
        if (j < n && (text[j] == '+' || text[j] == '-')) {
            eneg = text[j] == '-';
            ++j;
        }
        if (j < n && IsDigit(text[j])) {
            num += 'e';
            if (eneg) num += '-';
            while (j < n && IsDigit(text[j])) num += text[j++];
            expNegative = eneg;
        }
    }

    double value = 0.0;
    const auto res = std::from_chars(num.data(), num.data() + num.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        // Huge exponents: a positive one overflows, a negative one underflows.
        value = expNegative ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (res.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

bool IntegerField(const std::string& text, int& value) {
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    if (b == e) return false;
    int v = 0;
    for (std::size_t i = b; i < e; ++i) {
        if (!IsDigit(text[i])) return false;
        const int d = text[i] - '0';
        if (v > (INT_MAX - d) / 10) return false;
        v = v * 10 + d;
    }
    value = v;
    return true;
}

std::string Mid(const std::string& s, int first, int last) {
    if (first < 1 || last < first) return std::string();
    const std::size_t start = static_cast<std::size_t>(first) - 1;
    if (start >= s.size()) return std::string();
    const std::size_t count = static_cast<std::size_t>(last) - static_cast<std::size_t>(first) + 1;
    return s.substr(start, count);
}

std::string FormatSingle(float v) { return FormatGeneral(v, 7); }

std::string FormatShortest(double v) { return FormatGeneral(v, 7); }

std::string SingleLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

}  // namespace fenwyd
