// Which commands the operator may use: one function of the logging, upload
// and link state (and of what has happened to the data log since start-up),
// instead of writes spread over the procedures that change that state.
#pragma once

#include "instrument/instrument_state.h"

namespace fenwyd {

struct Availability {
    bool saveAs = false;           // File > "Save as..."
    bool saveButton = false;       // the toolbar's Save
    bool logSwitch = false;        // "Log Data", the toolbar's Log, the Log label
    bool logPause = false;         // "Log Pause", menu and toolbar
    bool zoomIn = false;           // the toolbar's Zoom In
    bool zoomOut = false;          // the toolbar's Zoom Out
    bool unitsMenu = false;        // Probe > Units
    bool zero = false;             // Probe > Zero
    bool clearPeak = false;        // Probe > Clear Peak
    bool batteryInterval = false;  // Probe > Auto Update Interval
    bool upload = false;           // Probe > Upload Data
    bool markPoint = false;        // Probe > Mark Point, its toolbar button
    bool report = false;           // File > "Report...": a savable log with rows
};

// After start-up: a log is savable once logging has stopped, an upload has
// ended or a log has been loaded (the toolbar's Save: not for an upload);
// nothing that changes the log runs while it is logged into; logging
// cannot start while an upload runs. A point is marked from a live reading
// on the panel, one at a time.
Availability CommandsAvailable(const InstrumentState& st);

}  // namespace fenwyd
