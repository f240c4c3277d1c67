// Texts every record writer shares: times as ISO 8601 and a displayed value
// as its exact decimal in the base unit. Pure and locale-independent.
#pragma once

#include <cstdint>
#include <string>

namespace fenwyd {

// ISO 8601 with milliseconds: "2026-12-06T10:00:00.250Z" with utcSuffix,
// else the local time with its offset, "2026-12-06T11:00:00.250+01:00".
std::string IsoTimeText(int64_t utcMs, int32_t offsetSeconds = 0, bool utcSuffix = true);

// The exact decimal text of valueText x 10^exponent, without an exponent:
// ("1.999", -3) gives "0.001999", ("199.9", 3) gives "199900". Empty when
// valueText holds no digits. The result is also a valid JSON number.
std::string ExactDecimal(const std::string& valueText, int exponent);

}  // namespace fenwyd
