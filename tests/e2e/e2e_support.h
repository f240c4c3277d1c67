#pragma once
// The program's real serial path (QSerialPort, the real clock and timers)
// against the probe simulator on a pseudo-terminal.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QThread>
#include <functional>
#include <memory>

#include "instrument/instrument.h"
#include "probe_sim.h"
#include "qt/qt_platform.h"
#include "qt/qt_serial_port.h"
#include "support/fakes.h"
#include "support/harness.h"

namespace fenwyd::testing {

// Maps "CommN" to a device in the (private) per-user settings store.
inline void MapPort(int portNo, const std::string& device) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Fenwyd 8200"));
    s.setValue(QStringLiteral("Ports/Comm%1").arg(portNo), QString::fromStdString(device));
    s.sync();
}

// Runs the event loop until done() or the time runs out; false on time-out.
inline bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

inline void RunFor(int ms) {
    RunUntil([] { return false; }, ms);
}

inline probesim::Options FixedProbe(char model = 'E') {
    probesim::Options o;
    o.model = model;
    o.fixedValue = true;
    o.excursionRate = 0;
    return o;
}

// The logic with the real port and clock; dialogs, settings and display
// scripted so nothing blocks.
struct LiveRig {
    explicit LiveRig(const probesim::Options& options = FixedProbe(), int portNo = 2)
        : sim(options) {
        started = sim.start();
        if (started) MapPort(portNo, sim.devicePath());
    }
    bool connect(int16_t portNo = 2) {
        in.OpenCommPort(portNo);
        in.HRTReadProbe().setEnabled(in.st.CommPortOpenOk == 1);
        return in.st.CommPortOpenOk == 1;
    }
    int count(const std::string& cmd) const {
        int n = 0;
        for (const std::string& c : sim.commandsReceived()) n += c == cmd ? 1 : 0;
        return n;
    }

    probesim::ProbeSim sim;
    bool started = false;
    TempFolder folder;
    QtSerialPort port;
    QtClock clock;
    ScriptedDialogs dialogs;
    MemorySettings settings;
    RecordingDisplay display;
    Instrument in{Platform{port, clock, dialogs, settings, display, folder.str(), ""}};
};

}  // namespace fenwyd::testing
