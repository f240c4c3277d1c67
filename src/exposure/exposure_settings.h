// The operator's exposure choices as plain data, and their keys and values
// in the per-user settings store (section "Exposure").
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "exposure/comparison.h"
#include "exposure/reference_levels.h"

namespace fenwyd {

extern const char* const kExposureSection;  // "Exposure"

struct ExposureSettings {
    enum class Choice : uint8_t { None, Standard, Typed };
    Choice choice = Choice::None;  // None: the exposure label stays empty
    StandardId standard = StandardId::Icnirp2010Public;
    double frequencyHz = kDefaultFrequencyHz;
    double typedValue = 0;  // 0: nothing typed yet
    std::string typedUnit;  // the program's own name ("uT", "m A/m", ...)
    double alarmPercent = 100;
    bool beep = true;  // beep once per upward crossing of the alarm threshold
};

// Every key with its value text: "Standard" (a standard's key, "typed" or
// "none"), "Frequency", "TypedValue", "TypedUnit", "AlarmPercent" and "Beep"
// ("true"/"false"). Numbers are written so they read back to the same double.
std::vector<std::pair<std::string, std::string>> SaveExposureSettings(const ExposureSettings& s);

// Reads the keys through get (an empty text for a missing key). A missing or
// unreadable value - garbage, NaN, infinities, a frequency outside 1 Hz to
// 3 kHz, a level or threshold not above zero, an unknown unit - leaves that
// field at its default; its key is added to *rejected when given (missing
// keys are not).
ExposureSettings LoadExposureSettings(const std::function<std::string(const std::string&)>& get,
                                      std::vector<std::string>* rejected = nullptr);

// What the settings compare readings with; nothing while no standard is
// chosen, or when the typed level is incomplete (reason in *error).
std::optional<Reference> ReferenceFromSettings(const ExposureSettings& s,
                                               std::string* error = nullptr);

}  // namespace fenwyd
