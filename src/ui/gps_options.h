#pragma once
// Options for positions and survey points: whether positions come from
// gpsd, where it listens, and how long "Mark Point" dwells. Kept in the
// per-user settings store ("GPS" and "Points" sections).
#include <QWidget>
#include <cstdint>
#include <string>

#include "gpsd/gpsd_client.h"
#include "instrument/seams.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace fenwyd::ui {

struct SurveySettings {
    bool useGpsd = false;  // off until the operator turns it on
    std::string host = "localhost";
    uint16_t port = kGpsdDefaultPort;
    int dwellSeconds = 0;  // 0: a point is the reading of the moment

    GpsdAddress address() const { return GpsdAddress{host, port}; }
    bool operator==(const SurveySettings& o) const {
        return useGpsd == o.useGpsd && host == o.host && port == o.port &&
               dwellSeconds == o.dwellSeconds;
    }
};

// Values out of range in the store (edited by hand) give the defaults.
SurveySettings LoadSurveySettings(SettingsStore& settings);
void SaveSurveySettings(SettingsStore& settings, const SurveySettings& s);

// The section of the Options dialog.
class SurveyOptions : public QWidget {
public:
    SurveyOptions(QWidget* parent, const SurveySettings& current);
    SurveySettings settings() const;
    // False, with the reason shown under the host, when gpsd is to be used
    // and the host cannot be.
    bool check();

    QCheckBox* useGpsd = nullptr;
    QLineEdit* host = nullptr;
    QSpinBox* port = nullptr;
    QSpinBox* dwell = nullptr;
    QLabel* problem = nullptr;

private:
    void follow();
};

}  // namespace fenwyd::ui
