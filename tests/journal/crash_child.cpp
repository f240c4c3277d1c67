// The program's logic and journal with the real serial port, for the crash
// soak: restores what the last run left, logs, and says on stdout each row
// it has counted (after the journal has it). The soak kills it at random.
// Usage: fenwyd_crash_child JOURNAL FOLDER
#include <QCoreApplication>
#include <cstdio>
#include <cstring>

#include "instrument/instrument.h"
#include "journal/journal.h"
#include "journal/recorder.h"
#include "qt/qt_platform.h"
#include "qt/qt_serial_port.h"
#include "support/fakes.h"

namespace {

// Prints each row the way the "Record Cnt" display would count it.
struct Counter : fenwyd::InstrumentObserver {
    std::string lastReply;
    fenwyd::Instrument* in = nullptr;
    void dataLogChanged(const fenwyd::DataLogChange& c) override {
        if (c.kind != fenwyd::DataLogChange::RowStored) return;
        uint32_t bits = 0;
        std::memcpy(&bits, &c.reading->mantissa, sizeof bits);
        std::printf("counted %d %08x %d %s\n", c.row, bits, c.reading->exponent,
                    in->st.ProbeData.c_str());
        std::fflush(stdout);
    }
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) return 2;
    fenwyd::QtSerialPort port;
    fenwyd::QtClock clock;
    fenwyd::testing::ScriptedDialogs dialogs;  // every question: Yes
    fenwyd::testing::MemorySettings settings;
    fenwyd::testing::RecordingDisplay display;
    fenwyd::Instrument in{fenwyd::Platform{port, clock, dialogs, settings, display, argv[2], ""}};
    fenwyd::journal::Journal journal;
    if (!journal.open(argv[1])) {
        std::fprintf(stderr, "journal: %s\n", journal.error().c_str());
        return 3;
    }
    fenwyd::journal::Recorder recorder{journal, clock, dialogs};
    Counter counter;
    counter.in = &in;
    in.addObserver(&recorder);
    in.addObserver(&counter);  // after the journal: a counted row is a kept row

    fenwyd::journal::OfferRestore(journal, in, dialogs);
    std::printf("restored %d %lld\n", static_cast<int>(in.st.RecordCnt),
                static_cast<long long>(recorder.currentLog()));
    std::fflush(stdout);

    in.OpenCommPort(2);
    if (in.st.CommPortOpenOk != 1) return 4;
    in.HRTReadProbe().setEnabled(true);
    in.ToggleRecordOn();
    return QCoreApplication::exec();
}
