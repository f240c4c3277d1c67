// The configuration file: five probe settings, one per line.
#pragma once

#include <cstdint>
#include <string>

namespace fenwyd {

struct FreeCfg {
    int16_t CommPortNo = 2;
    std::string ProbeUnits = "V/m";
    std::string DefaultSavePath;  // the caller presets the program's folder
    std::string SampleRate = "15";
    int16_t BattTempUpdateInterval = 30;
};

// Reads port, units, save folder, sample rate and interval in that order
// straight into cfg. Text lines lose their leading blanks; numbers are
// decimal integers, blanks around them ignored. A missing file, fewer than
// five lines or a number that is not a 16-bit integer stops reading: false,
// with the values read before the failure kept. Lines after the fifth are
// ignored.
bool LoadFreeCfgFile(const std::string& path, FreeCfg& cfg);

// Writes the five lines with CR LF, integers as " 2 " (a '-' instead of the
// leading blank when negative). false on failure; the old file is then intact.
bool SaveFreeCfgFile(const std::string& path, const FreeCfg& cfg);

}  // namespace fenwyd
