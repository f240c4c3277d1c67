// The two probe models and their ranges.
#pragma once

#include <cstdint>

namespace fenwyd {

constexpr int16_t kModel8203 = 8203;  // QM-8203: three ranges, reply letter 'V'
constexpr int16_t kModel8204 = 8204;  // QM-8204: five ranges, reply letter 'E'
constexpr char kLetter8203 = 'V';
constexpr char kLetter8204 = 'E';
constexpr int16_t kHighestRange = 4;  // the QM-8204's last range; its next step is auto-range

}  // namespace fenwyd
