// Fault soak: the real serial path against the simulator with a seeded
// schedule of silences, garbage, late replies and hang-ups, logging all the
// while. FENWYD_SOAK_SECONDS (default 120) and FENWYD_SOAK_SEED (default 1)
// set the length and the schedule.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "e2e/e2e_support.h"
#include "measure/reply_layout.h"

namespace fenwyd::testing {
namespace {

int EnvInt(const char* name, int fallback) {
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok ? v : fallback;
}

long ResidentKb() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

// The real port, with every read kept and classified by what came before it:
// the reply to a command, the reply to the "KR" follow-up, or the flush after
// a loss.
class WatchedPort : public SerialPort {
public:
    struct Read {
        std::string data;
        bool reply;  // read right after a command other than "KR": interpreted
    };
    bool open(int16_t portNo) override { return real.open(portNo); }
    void close() override { real.close(); }
    bool isOpen() const override { return real.isOpen(); }
    void write(const std::string& bytes) override {
        real.write(bytes);
        lastWrite = bytes;
        readSinceWrite = false;
    }
    std::string readAll() override {
        std::string data = real.readAll();
        const bool reply = !readSinceWrite && lastWrite != "KR\r";
        readSinceWrite = true;
        if (!data.empty()) reads.push_back({data, reply});
        return data;
    }
    std::string deviceName(int16_t portNo) const override { return real.deviceName(portNo); }
    bool deviceLost() const override { return real.deviceLost(); }

    QtSerialPort real;
    std::string lastWrite;
    bool readSinceWrite = false;
    std::vector<Read> reads;
};

TEST(Soak, FaultScheduleKeepsTheProgramHonest) {
    const int seconds = EnvInt("FENWYD_SOAK_SECONDS", 120);
    TempFolder links;
    probesim::Options o;
    o.model = 'E';
    o.seed = static_cast<std::uint32_t>(EnvInt("FENWYD_SOAK_SEED", 1));
    o.excursionRate = 0.03;
    o.linkPath = (links.path() / "probe-tty").string();
    o.faults.silentRate = 0.015;
    o.faults.silentLen = 6;
    o.faults.garbageRate = 0.03;
    o.faults.lateRate = 0.03;
    o.faults.lateMs = 450;
    o.faults.hangupAfter = 120;
    o.faults.reconnectMs = 1500;
    probesim::ProbeSim sim(o);
    ASSERT_TRUE(sim.start()) << sim.lastError();
    MapPort(2, sim.devicePath());

    WatchedPort port;
    QtClock clock;
    ScriptedDialogs dialogs;
    MemorySettings settings;
    RecordingDisplay display;
    TempFolder folder;
    Instrument in{Platform{port, clock, dialogs, settings, display, folder.str(), ""}};
    in.OpenCommPort(2);
    ASSERT_EQ(in.st.CommPortOpenOk, 1);
    in.HRTReadProbe().setEnabled(true);
    in.ToggleRecordOn();

    int losses = 0, returns = 0, badLostLooks = 0, badReturns = 0;
    int16_t lastTimeOut = in.st.TimeOut;
    bool wasLost = true;
    long rssAfterWarmUp = 0;
    QElapsedTimer t;
    t.start();
    int lastCommands = 0;
    qint64 lastProgress = 0;
    while (t.elapsed() < seconds * 1000LL) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
        const int16_t to = in.st.TimeOut;
        if (to == 5) {
            if (in.view.LabXYZField.caption != "No Probe") ++badLostLooks;
            if (!wasLost) ++losses;
            wasLost = true;
        } else if (to == 0 && wasLost && lastTimeOut != 0) {
            ++returns;
            wasLost = false;
            // The set-up ran: units and rate shown again.
            if (!in.view.LabUnits.visible || !in.view.LabSamRate.visible) ++badReturns;
        }
        lastTimeOut = to;
        if (rssAfterWarmUp == 0 && t.elapsed() > 15000) rssAfterWarmUp = ResidentKb();
        // No hang: the simulator keeps hearing commands (or is hung up).
        if (sim.commandCount() != lastCommands || !sim.isConnected()) {
            lastCommands = sim.commandCount();
            lastProgress = t.elapsed();
        }
        ASSERT_LT(t.elapsed() - lastProgress, 15000) << "no traffic for 15 s";
        ASSERT_LT(in.st.RecordCnt, 32000) << "run shorter soaks or fewer readings";
    }
    in.HRTReadProbe().setEnabled(false);
    const long rssEnd = ResidentKb();

    // Expected rows: every in-range reading that began the reply to a command.
    std::vector<std::string> expected;
    int swallowed = 0;
    for (const WatchedPort::Read& r : port.reads) {
        for (std::size_t pos = r.data.find("RD"); pos != std::string::npos;
             pos = r.data.find("RD", pos + 1)) {
            if (pos < 1 || r.data[pos - 1] != '@') continue;
            const std::string reading = r.data.substr(pos - 1, ReplyLength(ReplyKind::Reading));
            const auto cut = CutReply(ReplyKind::Reading, reading);
            if (!cut || cut->overRange() || cut->underRange()) continue;
            if (r.reply && pos == 1) {
                expected.push_back(reading);
            } else {
                ++swallowed;  // merged behind another reply: the protocol shows only the first
            }
        }
    }
    // Each expected reading was really sent, in this order.
    const std::vector<std::string> sent = sim.readingsSent();
    std::size_t at = 0;
    for (const std::string& e : expected) {
        while (at < sent.size() && sent[at] != e) ++at;
        ASSERT_LT(at, sent.size()) << "not sent by the probe: " << e;
        ++at;
    }
    // The log holds exactly those, none lost, none doubled.
    ASSERT_EQ(in.st.RecordCnt, static_cast<int32_t>(expected.size()));
    Harness decode;
    decode.in.st.ProbeModel = 8204;
    decode.in.ToggleRecordOn();
    for (const std::string& e : expected) {
        decode.in.st.ProbeData = e;
        decode.in.ProcessData(1);
    }
    for (int i = 1; i <= in.st.RecordCnt; ++i) {
        ASSERT_FLOAT_EQ(in.st.RecordData[i][1], decode.in.st.RecordData[i][1]) << "row " << i;
        ASSERT_FLOAT_EQ(in.st.RecordData[i][2], decode.in.st.RecordData[i][2]) << "row " << i;
    }

    const probesim::Stats s = sim.stats();
    std::printf(
        "soak %d s: %d commands, %d readings sent, %d logged, %d merged behind another reply; "
        "%d garbage, %d late, %d silenced, %d hang-ups; %d losses, %d returns; "
        "resident %ld kB after warm-up, %ld kB at the end\n",
        seconds, s.commands, s.readings, in.st.RecordCnt, swallowed, s.garbage, s.late, s.silenced,
        s.hangUps, losses, returns, rssAfterWarmUp, rssEnd);
    EXPECT_EQ(badLostLooks, 0) << "lost without the No Probe look";
    EXPECT_EQ(badReturns, 0) << "returned without the set-up";
    EXPECT_GT(losses, 0) << "the schedule should lose the probe at least once";
    EXPECT_GT(returns, 1);
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_LT(rssEnd - rssAfterWarmUp, 4096) << "resident memory grew by more than 4 MB";
}

}  // namespace
}  // namespace fenwyd::testing
