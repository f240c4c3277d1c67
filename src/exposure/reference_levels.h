// Reference levels of the exposure standards from 1 Hz to 3 kHz, for the
// electric field E, the magnetic field strength H and the flux density B.
// Pure data and arithmetic: no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "measure/units.h"

namespace fenwyd {

enum class StandardId : uint8_t {
    Icnirp2010Public,
    Icnirp2010Occupational,
    Icnirp1998Public,
    Icnirp1998Occupational,
    Eu2013Low,
    Eu2013High,
};

struct StandardInfo {
    StandardId id;
    const char* key;        // stable id for the command line and the settings: "icnirp2010-public"
    const char* name;       // "ICNIRP 2010 general public"
    const char* levelName;  // "ICNIRP 2010 general public reference level"
    const char* source;     // publication and table
    bool givesH;            // false: an H reading is compared through B = mu0 H
};

// Every standard, in the order a list offers them.
constexpr std::size_t kStandardCount = 6;
const StandardInfo* Standards();
const StandardInfo& InfoOf(StandardId id);
// The standard with that key; nothing for any other text (case matters).
std::optional<StandardId> StandardFromKey(const std::string& key);

constexpr double kMinFrequencyHz = 1;
constexpr double kMaxFrequencyHz = 3000;
constexpr double kDefaultFrequencyHz = 50;
// Permeability of air, T*m/A.
constexpr double kMu0 = 4 * 3.14159265358979323846 * 1e-7;

// 1 Hz to 3 kHz, both included; false for NaN.
bool FrequencyInRange(double hz);
extern const char* const kFrequencyRangeError;  // "The frequency must be from 1 Hz to 3 kHz."

// A level in the unit of its table: value * 10^exponent is in V/m, A/m or T.
struct TableLevel {
    double value = 0;
    int exponent = 0;
};

// The standard's own level for the quantity at frequencyHz; nothing when the
// standard gives none for it (H in the EU directive) or the frequency is
// outside 1 Hz to 3 kHz.
std::optional<TableLevel> StandardLevel(StandardId id, Quantity quantity, double frequencyHz);

}  // namespace fenwyd
