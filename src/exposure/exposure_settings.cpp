#include "exposure/exposure_settings.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "measure/units.h"

namespace fenwyd {

namespace {

const char* const kNone = "none";
const char* const kTyped = "typed";

// Shortest text that reads back to the same double.
std::string Exact(double v) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return res.ec == std::errc() ? std::string(buf, res.ptr) : std::string("0");
}

std::optional<double> Positive(const std::string& text) {
    const std::optional<double> v = ParseDecimal(text);
    if (!v || !(*v > 0)) return std::nullopt;
    return v;
}

}  // namespace

const char* const kExposureSection = "Exposure";

std::vector<std::pair<std::string, std::string>> SaveExposureSettings(const ExposureSettings& s) {
    std::string choice = kNone;
    if (s.choice == ExposureSettings::Choice::Standard) choice = InfoOf(s.standard).key;
    if (s.choice == ExposureSettings::Choice::Typed) choice = kTyped;
    return {
        {"Standard", choice},
        {"Frequency", Exact(s.frequencyHz)},
        {"TypedValue", Exact(s.typedValue)},
        {"TypedUnit", s.typedUnit},
        {"AlarmPercent", Exact(s.alarmPercent)},
        {"Beep", s.beep ? "true" : "false"},
    };
}

ExposureSettings LoadExposureSettings(const std::function<std::string(const std::string&)>& get,
                                      std::vector<std::string>* rejected) {
    ExposureSettings s;
    const auto reject = [rejected](const char* key) {
        if (rejected != nullptr) rejected->push_back(key);
    };
    // Each key: read, and when present but unreadable, say so.
    const auto read = [&](const char* key, const auto& take) {
        const std::string text = get(key);
        if (!text.empty() && !take(text)) reject(key);
    };

    read("Standard", [&](const std::string& t) {
        if (t == kNone) return true;
        if (t == kTyped) {
            s.choice = ExposureSettings::Choice::Typed;
            return true;
        }
        const std::optional<StandardId> id = StandardFromKey(t);
        if (!id) return false;
        s.choice = ExposureSettings::Choice::Standard;
        s.standard = *id;
        return true;
    });
    read("Frequency", [&](const std::string& t) {
        const std::optional<double> v = ParseDecimal(t);
        if (!v || !FrequencyInRange(*v)) return false;
        s.frequencyHz = *v;
        return true;
    });
    read("TypedValue", [&](const std::string& t) {
        const std::optional<double> v = ParseDecimal(t);
        if (!v || *v < 0) return false;  // 0: nothing typed, as saved
        s.typedValue = *v;
        return true;
    });
    read("TypedUnit", [&](const std::string& t) {
        const std::string name = CanonicalUnitName(t);
        if (LookUpUnitScale(name).quantity == Quantity::Unknown) return false;
        s.typedUnit = name;
        return true;
    });
    read("AlarmPercent", [&](const std::string& t) {
        const std::optional<double> v = Positive(t);
        if (!v) return false;
        s.alarmPercent = *v;
        return true;
    });
    read("Beep", [&](const std::string& t) {
        if (t != "true" && t != "false") return false;
        s.beep = t == "true";
        return true;
    });
    return s;
}

std::optional<Reference> ReferenceFromSettings(const ExposureSettings& s, std::string* error) {
    switch (s.choice) {
        case ExposureSettings::Choice::None: break;
        case ExposureSettings::Choice::Standard:
            return MakeStandardReference(s.standard, s.frequencyHz, error);
        case ExposureSettings::Choice::Typed:
            return MakeTypedReference(s.typedValue, s.typedUnit, error);
    }
    if (error != nullptr) *error = "No reference level is chosen.";
    return std::nullopt;
}

}  // namespace fenwyd
