#pragma once
// An Instrument wired to the scripted seams, in a fresh program folder.
#include <filesystem>
#include <string>

#include "instrument/instrument.h"
#include "support/fakes.h"
#include "support/files.h"

namespace fenwyd::testing {

// A reading reply laid out as the probe sends it (17 characters).
std::string Rd(const std::string& raw = "1999", char model = 'E', char range = '0',
               char units = 'G', char state = 'N', char autoRange = 'M',
               const std::string& pct = "15");
// A stored reading (16 characters) from a QM-8204.
std::string Nx(const std::string& raw = "1250", char range = '1', char units = 'T',
               char state = 'N', char autoRange = 'M', const std::string& pct = "10");

// Battery (hundredths of a volt), stored-count and record-number replies,
// four digits each.
std::string Bt(const std::string& digits);
std::string Ns(const std::string& digits);
std::string Lg(const std::string& digits);

struct Harness {
    TempFolder folder;
    VirtualClock clock;
    FakeSerialPort port{clock};
    ScriptedDialogs dialogs;
    MemorySettings settings;
    RecordingDisplay display;
    Instrument in{Platform{port, clock, dialogs, settings, display, folder.str(), ""}};

    // The port open and the reading tick running, as after start-up.
    void connect(int16_t portNo = 2);
    // One reading tick now, the timer's own handler, and its transaction run
    // to its end (its waits pass on the virtual clock).
    void tick();
    // Replies: a fixed reply to every "RD", silence to the rest.
    void answerReadings(const std::string& reply);
};

}  // namespace fenwyd::testing
