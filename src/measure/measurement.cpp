#include "measure/measurement.h"

#include <algorithm>
#include <limits>

#include "common/textconv.h"
#include "measure/reply_layout.h"

namespace fenwyd {

namespace {
constexpr int kPercentPerStep = 5;
}

double Measurement::si() const {
    const UnitScale scale = LookUpUnitScale(unitsText);
    if (scale.quantity == Quantity::Unknown) return std::numeric_limits<double>::quiet_NaN();
    // From the decimal text, not the single: 1.999 stays 1.999, not 1.99899995.
    return ScaleByPowerOfTen(LeadingNumber(valueText), exponent + scale.siExponent);
}

std::string Measurement::baseDecimal() const { return ScaledDecimal(valueText, exponent); }

Measurement MakeMeasurement(const ProbeReading& cut, const std::string& valueText, int16_t exponent,
                            const std::string& unitsText, const std::string& unitsLabel,
                            int16_t model, bool stored) {
    Measurement m;
    m.valueText = valueText;
    m.mantissa = static_cast<float>(LeadingNumber(valueText));
    m.exponent = exponent;
    m.unitsText = unitsText;
    m.unitsLabel = unitsLabel;
    m.quantity = LookUpUnitScale(unitsText).quantity;
    m.range = static_cast<int16_t>(cut.range);
    m.autoRange = cut.autoRange == "A";
    m.percent = cut.percentSteps * kPercentPerStep;
    m.overRange = cut.overRange();
    m.underRange = cut.underRange();
    m.stored = stored;
    m.model = model;
    return m;
}

std::string ScaledDecimal(const std::string& valueText, int exponent) {
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
