#include "exposure/comparison.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace fenwyd {

namespace {

// A level as value * 10^exponent in V/m, A/m or T, kept apart so that a
// level in the reading's own unit is rounded once (200 uT is exactly
// 2000 mG, and a reading of 2000 mG exactly 100 %).
struct ExactLevel {
    double value;
    int exponent;
    bool throughMu0;
};

std::optional<ExactLevel> Level(const Reference& ref, Quantity q) {
    if (q == Quantity::Unknown) return std::nullopt;
    const auto other = [](Quantity m) {
        return m == Quantity::MagneticField ? Quantity::FluxDensity : Quantity::MagneticField;
    };
    const bool magnetic = q == Quantity::MagneticField || q == Quantity::FluxDensity;
    // B = mu0 H: from H to B multiply, from B to H divide.
    const auto viaMu0 = [q](double v) { return q == Quantity::FluxDensity ? v * kMu0 : v / kMu0; };
    if (!ref.typed) {
        if (const auto l = StandardLevel(ref.standard, q, ref.frequencyHz)) {
            return ExactLevel{l->value, l->exponent, false};
        }
        if (!magnetic) return std::nullopt;
        if (const auto l = StandardLevel(ref.standard, other(q), ref.frequencyHz)) {
            return ExactLevel{viaMu0(l->value), l->exponent, true};
        }
        return std::nullopt;
    }
    const UnitScale typed = LookUpUnitScale(ref.typedUnit);
    if (typed.quantity == q) return ExactLevel{ref.typedValue, typed.siExponent, false};
    if (magnetic && typed.quantity == other(q)) {
        return ExactLevel{viaMu0(ref.typedValue), typed.siExponent, true};
    }
    return std::nullopt;
}

// The unit as the screen shows it: the base names' labels, "T" for tesla.
std::string ShownUnit(const std::string& name) {
    if (name == "mGauss") return "mG";
    if (name == "Gauss") return "G";
    if (name == "Tesla") return "T";
    return name;
}

const char* const kLevelError = "The reference level must be a number above zero.";

void SetError(std::string* error, const std::string& text) {
    if (error != nullptr) *error = text;
}

std::string UnknownUnit(const std::string& unit) {
    return "Unknown unit \"" + unit + "\"; use mG, G, uT, nT, mA/m, A/m, V/m or kV/m.";
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

const char* const kThroughMu0 = "through B = mu0 H";

std::optional<Reference> MakeStandardReference(StandardId id, double frequencyHz,
                                               std::string* error) {
    if (!FrequencyInRange(frequencyHz)) {
        SetError(error, kFrequencyRangeError);
        return std::nullopt;
    }
    Reference ref;
    ref.standard = id;
    ref.frequencyHz = frequencyHz;
    return ref;
}

std::optional<Reference> MakeTypedReference(double value, const std::string& unit,
                                            std::string* error) {
    if (!std::isfinite(value) || value <= 0) {
        SetError(error, kLevelError);
        return std::nullopt;
    }
    const std::string name = CanonicalUnitName(unit);
    if (LookUpUnitScale(name).quantity == Quantity::Unknown) {
        SetError(error, UnknownUnit(unit));
        return std::nullopt;
    }
    Reference ref;
    ref.typed = true;
    ref.typedValue = value;
    ref.typedUnit = name;
    return ref;
}

std::optional<Reference> ParseTypedReference(const std::string& valueText,
                                             const std::string& unitText, std::string* error) {
    const std::optional<double> value = ParseDecimal(valueText);
    if (!value) {
        SetError(error, kLevelError);
        return std::nullopt;
    }
    return MakeTypedReference(*value, unitText, error);
}

std::string ReferenceName(const Reference& ref) {
    if (ref.typed) return "Typed reference level";
    return std::string(InfoOf(ref.standard).name) + ", " + FormatFrequency(ref.frequencyHz);
}

std::optional<SiLevel> LevelFor(const Reference& ref, Quantity quantity) {
    const std::optional<ExactLevel> l = Level(ref, quantity);
    if (!l) return std::nullopt;
    return SiLevel{ScaleByPowerOfTen(l->value, l->exponent), l->throughMu0};
}

std::optional<Comparison> Compare(const Reference& ref, double value, const std::string& unit,
                                  std::string* error) {
    const std::string name = CanonicalUnitName(unit);
    const UnitScale scale = LookUpUnitScale(name);
    if (scale.quantity == Quantity::Unknown) {
        SetError(error, UnknownUnit(unit));
        return std::nullopt;
    }
    if (!std::isfinite(value)) {
        SetError(error, "The reading is not a number.");
        return std::nullopt;
    }
    if (!ref.typed && !FrequencyInRange(ref.frequencyHz)) {
        SetError(error, kFrequencyRangeError);
        return std::nullopt;
    }
    const std::optional<ExactLevel> l = Level(ref, scale.quantity);
    if (!l) {
        // Only a typed level can lack the reading's quantity: V/m against a
        // magnetic level or the other way round.
        SetError(error, "The typed reference level is in " + ShownUnit(ref.typedUnit) +
                            "; a reading in " + ShownUnit(name) +
                            " measures something else and cannot be compared with it.");
        return std::nullopt;
    }
    Comparison c;
    c.level = ScaleByPowerOfTen(l->value, l->exponent - scale.siExponent);
    c.unit = ShownUnit(name);
    c.percent = 100 * value / c.level;
    c.throughMu0 = l->throughMu0;
    c.levelText = ReferenceName(ref) + ": " + FormatSignificant(c.level) + " " + c.unit;
    if (c.throughMu0) c.levelText += std::string(" (") + kThroughMu0 + ")";
    return c;
}

std::optional<Comparison> CompareSi(const Reference& ref, double valueSi, Quantity quantity,
                                    std::string* error) {
    const char* unit = quantity == Quantity::ElectricField   ? "V/m"
                       : quantity == Quantity::MagneticField ? "A/m"
                       : quantity == Quantity::FluxDensity   ? "uT"
                                                             : "";
    const int exponent = quantity == Quantity::FluxDensity ? -6 : 0;
    return Compare(ref, ScaleByPowerOfTen(valueSi, -exponent), unit, error);
}

std::string VerdictText(const Reference& ref, const Comparison& maximum) {
    std::string text = "Maximum " + FormatPercent(maximum.percent) + " of the ";
    text += ref.typed ? std::string("typed reference level") : InfoOf(ref.standard).levelName;
    text += " (" + FormatSignificant(maximum.level) + " " + maximum.unit;
    if (!ref.typed) text += " at " + FormatFrequency(ref.frequencyHz);
    if (maximum.throughMu0) text += std::string(", ") + kThroughMu0;
    return text + ")";
}

std::string FormatSignificant(double v, int digits) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-Inf" : "Inf";
    if (v == 0) return "0";
    if (digits < 1) digits = 1;
    // Scientific form rounds to the digits wanted ("7.958e+05"); its digits
    // are then laid out in fixed form.
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, digits - 1);
    if (res.ec != std::errc()) return "0";
    const std::string sci(buf, res.ptr);
    const bool negative = sci[0] == '-';
    std::string mantissa;
    std::size_t i = negative ? 1 : 0;
    for (; i < sci.size() && sci[i] != 'e'; ++i) {
        if (IsDigit(sci[i])) mantissa += sci[i];
    }
    const int exponent = std::atoi(sci.c_str() + i + 1);
    while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
    const int n = static_cast<int>(mantissa.size());
    std::string out = negative ? "-" : "";
    if (exponent < 0) {
        out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + mantissa;
    } else if (exponent >= n - 1) {
        out += mantissa + std::string(static_cast<std::size_t>(exponent - (n - 1)), '0');
    } else {
        const std::size_t point = static_cast<std::size_t>(exponent) + 1;
        out += mantissa.substr(0, point) + "." + mantissa.substr(point);
    }
    return out;
}

std::string FormatPercent(double percent) {
    // Cut, not rounded, so that "100 %" is never shown below the default
    // alarm threshold; the small bias keeps 57.3 (held as 57.29999...) 57.3.
    if (std::isnan(percent) || std::isinf(percent)) return FormatSignificant(percent) + " %";
    const double a = std::fabs(percent);
    double shown = 0;
    int digits = 0;
    if (a >= 1) {
        shown = std::floor(a * 10 + 1e-7) / 10;
        digits = static_cast<int>(std::floor(std::log10(shown))) + 2;
    } else if (a > 0) {
        const double scale = std::pow(10.0, 1 - std::floor(std::log10(a)));
        shown = std::floor(a * scale + 1e-7) / scale;
        digits = 2;
    }
    return (percent < 0 && shown > 0 ? "-" : "") + FormatSignificant(shown, digits) + " %";
}

std::string FormatFrequency(double hz) { return FormatSignificant(hz, 5) + " Hz"; }

std::optional<double> ParseDecimal(const std::string& text) {
    std::size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
    bool negative = false;
    if (b < e && (text[b] == '+' || text[b] == '-')) negative = text[b++] == '-';
    // Only digits, one '.', and an exponent with digits: from_chars alone
    // would take "inf" and "nan".
    std::string num;
    std::size_t digits = 0;
    bool point = false;
    std::size_t i = b;
    for (; i < e; ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            ++digits;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
        num += c;
    }
    if (digits == 0) return std::nullopt;
    if (i < e && (text[i] == 'e' || text[i] == 'E')) {
        num += 'e';
        ++i;
        if (i < e && (text[i] == '+' || text[i] == '-')) num += text[i++];
        const std::size_t first = i;
        while (i < e && IsDigit(text[i])) num += text[i++];
        if (i == first) return std::nullopt;
    }
    if (i != e) return std::nullopt;
    double value = 0;
    const auto res = std::from_chars(num.data(), num.data() + num.size(), value);
    if (res.ec != std::errc() || res.ptr != num.data() + num.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

}  // namespace fenwyd
