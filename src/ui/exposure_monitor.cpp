#include "ui/exposure_monitor.h"

#include <QApplication>
#include <QWidget>

#include "common/textconv.h"
#include "ui/main_window.h"
#include "ui/text.h"

namespace fenwyd::ui {

namespace {
const char* const kNoReference =
    "No reference level chosen: choose a standard in Options, Exposure.";
}  // namespace

std::optional<Comparison> CompareReading(const Reference& ref, const Measurement& m,
                                         std::string* error) {
    const DisplayUnit unit = DisplayUnitOf(m);
    const UnitScale base = LookUpUnitScale(m.unitsText);
    if (unit.quantity == Quantity::Unknown || base.quantity == Quantity::Unknown) {
        if (error != nullptr) *error = "The reading's unit is not known.";
        return std::nullopt;
    }
    // From the decimal text, scaled once: 1.999 mG stays 1.999.
    const double value = ScaleByPowerOfTen(LeadingNumber(m.valueText),
                                           m.exponent + base.siExponent - unit.siExponent);
    return Compare(ref, value, unit.label, error);
}

std::string LevelsText(const Reference& ref) {
    struct Row {
        Quantity q;
        const char* name;
        const char* unit;
        int exponent;
    };
    const Row rows[] = {{Quantity::ElectricField, "E", "V/m", 0},
                        {Quantity::MagneticField, "H", "A/m", 0},
                        {Quantity::FluxDensity, "B", "uT", -6}};
    std::string text;
    for (const Row& r : rows) {
        const std::optional<SiLevel> l = LevelFor(ref, r.q);
        if (!l) continue;
        if (!text.empty()) text += ", ";
        text += std::string(r.name) + " " +
                FormatSignificant(ScaleByPowerOfTen(l->value, -r.exponent)) + " " + r.unit;
        if (l->throughMu0) text += std::string(" (") + kThroughMu0 + ")";
    }
    return text;
}

ExposureSettings LoadExposure(SettingsStore& store) {
    return LoadExposureSettings(
        [&store](const std::string& key) { return store.get(kExposureSection, key, ""); });
}

void SaveExposure(SettingsStore& store, const ExposureSettings& s) {
    for (const auto& [key, value] : SaveExposureSettings(s))
        store.set(kExposureSection, key, value);
}

ExposureMonitor::ExposureMonitor(FieldHistory& history, MainWindow& window)
    : beep([] { QApplication::beep(); }), history_(history), window_(window) {
    history_.addListener(this);
    apply(settings_);
}

ExposureMonitor::~ExposureMonitor() { history_.removeListener(this); }

void ExposureMonitor::apply(const ExposureSettings& s) {
    settings_ = s;
    // The history tells its listeners, this one among them.
    history_.setExposure(ReferenceFromSettings(s), s.alarmPercent);
}

void ExposureMonitor::historyChanged(unsigned changes) {
    if ((changes & (kLiveChanged | kLinkChanged | kExposureChanged)) == 0) return;
    const bool newReading = (changes & kLiveChanged) != 0 && (changes & kExposureChanged) == 0 &&
                            !history_.live().empty() && !history_.live().back().gap;
    show(newReading);
}

void ExposureMonitor::show(bool newReading) {
    ViewState& v = window_.instrument().view;
    const std::optional<Reference>& ref = history_.reference();
    const double threshold = history_.alarmPercent();
    v.LabExposureLab.visible = ref.has_value();
    std::string text, tip, description;
    bool above = false;
    if (!ref) {
        tip = kNoReference;
        description = std::string("Exposure. ") + kNoReference;
        alarm_ = false;
    } else {
        const Measurement& m = history_.current();
        const std::string alarmText = "alarm at " + FormatPercent(threshold);
        std::string why;
        std::optional<Comparison> c;
        if (!history_.hasReading() || history_.probeLost()) {
            why = "No reading.";
        } else if (m.overRange || m.underRange) {
            why = m.overRange ? "Over range: no percent." : "Under range: no percent.";
        } else {
            c = CompareReading(*ref, m, &why);
        }
        if (c) {
            text = FormatPercent(c->percent);
            above = c->percent >= threshold;
            // A beep as the field rises through the threshold; not when the
            // operator moves the threshold under the present reading.
            if (above && !alarm_ && newReading && settings_.beep && beep) beep();
            alarm_ = above;
            tip = text + " of the reference level\n" + c->levelText + "\n" + alarmText;
            description = "Exposure, percent of the reference level " + c->levelText + "; " +
                          alarmText + (above ? "; at or above the alarm threshold" : "");
        } else {
            if (history_.probeLost()) alarm_ = false;
            tip = ReferenceName(*ref) + ": " + LevelsText(*ref) + "\n" + why;
            description = "Exposure against " + ReferenceName(*ref) + ": " + LevelsText(*ref) +
                          "; " + alarmText + ". " + why;
        }
    }
    v.LabExposure.caption = text;
    v.LabExposure.foreColor = above ? colors::kRed : colors::kCyan;
    if (QWidget* w = window_.element(QStringLiteral("LabExposure"))) {
        // A screen reader hears of a changed description: only real changes.
        const QString t = Qs(tip), d = Qs(description);
        if (w->toolTip() != t) w->setToolTip(t);
        if (w->accessibleDescription() != d) w->setAccessibleDescription(d);
    }
    window_.changed();
}

}  // namespace fenwyd::ui
