// survey-example FILE.csv [SECONDS]: a short survey against the probe
// simulator, saved as the program saves a log. The program's own logic reads
// the simulated QM-8204 through its real serial path (QSerialPort on a
// pseudo-terminal) and logs; the field follows a walk along a fence line past
// a transformer, first in mG, then, after the units are stepped on the probe,
// in V/m. The data files it saves are what docs/report-example.pdf is made
// from (scripts/make-report-example.sh).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "instrument/instrument.h"
#include "probe_sim.h"
#include "qt/qt_platform.h"
#include "qt/qt_serial_port.h"
#include "support/fakes.h"

namespace {

// A peak of `height` over `base` at `at` seconds, `width` seconds wide.
double Bump(double t, double base, double height, double at, double width) {
    return base + height * std::exp(-std::pow((t - at) / width, 2));
}

// Runs the event loop until done() or seconds have passed.
bool RunUntil(const std::function<bool()>& done, double seconds) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > seconds * 1000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: survey-example FILE.csv [SECONDS]\n");
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 90;
    QCoreApplication app(argc, argv);

    probesim::Options options;
    options.model = 'E';
    options.fixedValue = true;  // the walk below sets every value
    probesim::ProbeSim sim(options);
    if (!sim.start()) {
        std::fprintf(stderr, "survey-example: %s\n", sim.lastError().c_str());
        return 1;
    }
    fenwyd::QtSerialPort port;
    port.setDevice(QString::fromStdString(sim.devicePath()));
    fenwyd::QtClock clock;
    fenwyd::testing::ScriptedDialogs dialogs;
    fenwyd::testing::MemorySettings settings;
    fenwyd::testing::RecordingDisplay display;
    fenwyd::Instrument in{fenwyd::Platform{port, clock, dialogs, settings, display, ".", ""}};
    in.st.NoteQuery = {
        {"Where was the measurement taken?", "Location", "Substation 4, east fence line"},
        {"Probe height above ground (m)?", "Height", "1.0 m"},
        {"Who took the readings?", "Operator", "R. Pryce"},
        {"Weather?", "Weather", "Dry, 14 C"}};
    in.OpenCommPort(2);
    in.HRTReadProbe().setEnabled(in.st.CommPortOpenOk == 1);
    if (!RunUntil([&] { return in.st.TimeOut == 0; }, 10)) {
        std::fprintf(stderr, "survey-example: the simulator does not answer\n");
        return 1;
    }

    // mG on the probe's auto ranges: 0..999.9 mG on range 2, from 1 G on
    // range 3; then V/m on range 1 (0..999.9 V/m).
    const double magnetic = seconds * 0.6;
    QElapsedTimer t;
    t.start();
    in.ToggleRecordOn();
    bool electric = false;
    while (t.elapsed() < seconds * 1000) {
        const double s = t.elapsed() / 1000.0;
        const double noise = 1 + 0.03 * std::sin(s * 7.3) + 0.02 * std::sin(s * 17.9);
        if (s < magnetic) {
            const double mG = Bump(s, 60, 1250, magnetic * 0.55, magnetic * 0.12) * noise;
            if (mG < 1000) {
                sim.setRange(2);
                sim.setValue(static_cast<int>(std::lround(mG * 10)));
            } else {
                sim.setRange(3);
                sim.setValue(static_cast<int>(std::lround(mG)));
            }
        } else {
            if (!electric) {
                sim.setUnits('V');
                sim.setRange(1);
                electric = true;
            }
            const double vm = Bump(s - magnetic, 120, 640, (seconds - magnetic) * 0.45,
                                   (seconds - magnetic) * 0.2) *
                              noise;
            sim.setValue(static_cast<int>(std::lround(vm * 10)));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(20);
    }
    in.StopRecording();
    dialogs.saveChoice = argv[1];
    in.mnuFileSaveAs_Click();
    std::printf("%s: %d readings\n", argv[1], in.st.RecordCnt);
    return in.view.StatusText.rfind("Saved", 0) == 0 ? 0 : 1;
}
