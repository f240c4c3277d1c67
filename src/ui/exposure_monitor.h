#pragma once
// The panel's exposure label: each reading as percent of the reference
// level the operator chose, red at or above the alarm threshold, with one
// beep as a reading crosses it upward; and the settings behind it, which
// the graph, the large display and the statistics follow through the
// field history.
#include <functional>
#include <optional>
#include <string>

#include "exposure/exposure_settings.h"
#include "instrument/seams.h"
#include "ui/field_history.h"

namespace fenwyd::ui {

class MainWindow;

// A reading against a reference in the unit the panel shows it in (mG, not
// G), so the level reads in that unit too. Nothing (and why in *error) for
// a reading whose quantity the reference has no level for.
std::optional<Comparison> CompareReading(const Reference& ref, const Measurement& m,
                                         std::string* error = nullptr);
// The levels for the three quantities: "E 5000 V/m, H 160 A/m, B 200 uT".
std::string LevelsText(const Reference& ref);

// The section "Exposure" of the per-user settings store; what cannot be
// read there leaves its default.
ExposureSettings LoadExposure(SettingsStore& store);
void SaveExposure(SettingsStore& store, const ExposureSettings& s);

class ExposureMonitor : public HistoryListener {
public:
    ExposureMonitor(FieldHistory& history, MainWindow& window);
    ~ExposureMonitor() override;
    ExposureMonitor(const ExposureMonitor&) = delete;
    ExposureMonitor& operator=(const ExposureMonitor&) = delete;

    // New settings take effect at once: the label, the figures, the lines.
    void apply(const ExposureSettings& s);
    const ExposureSettings& settings() const { return settings_; }
    // The last reading was at or above the alarm threshold.
    bool alarm() const { return alarm_; }

    // How the program beeps (tests count the beeps instead).
    std::function<void()> beep;

protected:
    void historyChanged(unsigned changes) override;

private:
    void show(bool newReading);

    FieldHistory& history_;
    MainWindow& window_;
    ExposureSettings settings_;
    bool alarm_ = false;
};

}  // namespace fenwyd::ui
