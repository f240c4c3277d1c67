#include "common/textconv.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
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

int DigitCount(uint32_t r) {
    if (r < 10000) return r < 100 ? (r < 10 ? 1 : 2) : (r < 1000 ? 3 : 4);
    return r < 1000000 ? (r < 100000 ? 5 : 6) : (r < 10000000 ? 7 : 10);
}

// r / 10^f in fixed notation, trailing zeros after the point dropped (and the
// point with them), written from the right so nothing is copied twice.
char* PutFixed(char* out, uint32_t r, int f, bool negative) {
    while (f > 0 && r % 10 == 0) {
        r /= 10;
        --f;
    }
    if (negative) *out++ = '-';
    const int nd = DigitCount(r);
    const int length = f >= nd ? f + 2 : nd + (f > 0 ? 1 : 0);
    char* const end = out + length;
    char* p = end;
    for (int i = 0; i < f; ++i) {  // past the digits of r this writes the zeros after "0."
        *--p = static_cast<char>('0' + r % 10);
        r /= 10;
    }
    if (f > 0) *--p = '.';
    if (f >= nd) {
        *--p = '0';
    } else {
        while (p > out) {
            *--p = static_cast<char>('0' + r % 10);
            r /= 10;
        }
    }
    return end;
}

// Whole numbers below ten million: plain digits, as %.7G writes them.
char* PutWhole(char* out, int32_t v) {
    const bool negative = v < 0;
    const uint32_t u = negative ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    return PutFixed(out, u, 0, negative);
}

// 10^0 .. 10^10, exact in a double.
constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};

// floor(log10(a)) for 1e-4 <= a < 1e7. No float lies between a true power of
// ten and its nearest double, so comparing against the doubles is exact.
int Decade(double a) {
    if (a < 1e0) return a < 1e-2 ? (a < 1e-3 ? -4 : -3) : (a < 1e-1 ? -2 : -1);
    if (a < 1e3) return a < 1e1 ? 0 : (a < 1e2 ? 1 : 2);
    return a < 1e5 ? (a < 1e4 ? 3 : 4) : (a < 1e6 ? 5 : 6);
}

// Rounds 0 <= x < 2^52 to a whole number, halves to even (the default
// rounding mode), without a call into the maths library.
double RoundHalfEvenSmall(double x) {
    constexpr double kTwo52 = 4503599627370496.0;
    volatile double big = x + kTwo52;  // volatile: keep the rounding step
    return big - kTwo52;
}

// The general form for 1e-4 <= |v| < 1e7 without a round trip through
// text: |v| * 10^(6 - e) is exact in a double (24-bit mantissa times at most
// 10^10), so rounding it to a whole number gives exactly the seven digits
// %.7G would, halves to even. False when the rounding carries into another
// decade; the caller then takes the slow path.
bool PutFixedSeven(char*& out, float v) {
    const double a = std::fabs(static_cast<double>(v));
    if (!(a >= 1e-4 && a < 1e7)) return false;
    const int e = Decade(a);
    const double scaled = RoundHalfEvenSmall(a * kPow10[6 - e]);
    if (scaled >= 1e7) return false;
    out = PutFixed(out, static_cast<uint32_t>(scaled), 6 - e, v < 0);
    return true;
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
    while (i < n && IsDigit(text[i])) {
        num += text[i++];
        ++intDigits;
    }
    if (i < n && text[i] == '.') {
        num += '.';
        ++i;
        while (i < n && IsDigit(text[i])) {
            num += text[i++];
            ++fracDigits;
        }
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

bool ParseInteger(const std::string& text, long long lo, long long hi, long long& value,
                  Sign sign) {
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    bool negative = false;
    if (sign == Sign::Allowed && b < e && (text[b] == '-' || text[b] == '+')) {
        negative = text[b] == '-';
        ++b;
    }
    if (b == e) return false;
    // Any bound is within 10^18, so stopping there keeps v from overflowing.
    constexpr unsigned long long kMaxMagnitude = 1000000000000000000ULL;
    unsigned long long v = 0;
    for (std::size_t i = b; i < e; ++i) {
        if (!IsDigit(text[i])) return false;
        v = v * 10 + static_cast<unsigned long long>(text[i] - '0');
        if (v > kMaxMagnitude) return false;
    }
    const long long n = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
    if (n < lo || n > hi) return false;
    value = n;
    return true;
}

bool IntegerField(const std::string& text, int& value) {
    long long v = 0;
    if (!ParseInteger(text, 0, INT_MAX, v, Sign::NotAllowed)) return false;
    value = static_cast<int>(v);
    return true;
}

std::string Mid(const std::string& s, int first, int last) {
    if (first < 1 || last < first) return std::string();
    const std::size_t start = static_cast<std::size_t>(first) - 1;
    if (start >= s.size()) return std::string();
    const std::size_t count = static_cast<std::size_t>(last) - static_cast<std::size_t>(first) + 1;
    return s.substr(start, count);
}

char* PutSingle(char* out, float v) {
    if (v == 0) {  // also -0
        *out++ = '0';
        return out;
    }
    if (v > -1e7f && v < 1e7f) {
        const auto whole = static_cast<int32_t>(v);
        if (static_cast<float>(whole) == v) return PutWhole(out, whole);
    }
    if (PutFixedSeven(out, v)) return out;
    const std::string slow = FormatGeneral(v, 7);
    for (char c : slow) *out++ = c;
    return out;
}

std::string FormatSingle(float v) {
    char buf[kMaxSingleChars];
    return std::string(buf, PutSingle(buf, v));
}

std::string FormatShortest(double v) { return FormatGeneral(v, 7); }

std::vector<std::string> SplitLines(const std::string& text, std::size_t maxLines) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size() && lines.size() < maxLines) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::size_t lineEnd = end;
        if (lineEnd > pos && text[lineEnd - 1] == '\r') --lineEnd;
        lines.push_back(text.substr(pos, lineEnd - pos));
        pos = end + 1;
    }
    return lines;
}

std::string PrintableText(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const unsigned char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            static const char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xf];
        }
    }
    return out;
}

std::string WithoutCommas(std::string text) {
    for (char& c : text) {
        if (c == ',') c = ';';
    }
    return text;
}

std::string SingleLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

}  // namespace fenwyd
