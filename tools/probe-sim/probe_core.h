// The probe simulator's protocol core: a QM-8203 / QM-8204 as a function from
// commands to replies, with its seeded faults. No I/O, no threads, no clock
// of its own: the caller says what time it is. The pty transport
// (probe_sim.h) feeds it the host's command lines and writes its replies.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace probesim {

// Seeded faults, decided per received command (the CLI's --*-rate options).
struct FaultOptions {
    double silentRate = 0.0;   // chance per command that a silent run starts
    int silentLen = 1;         // commands swallowed by one silent run
    double garbageRate = 0.0;  // chance per command that the reply is junk bytes
    double lateRate = 0.0;     // chance per command that the reply comes late
    int lateMs = 450;          // delay of a late reply (the host waits 300 ms)
    int hangupAfter = 0;       // hang up after every N commands on one pty; 0 = never
    int reconnectMs = -1;      // reopen this long after a scheduled hang-up; < 0 = stay down
};

struct Options {
    char model = 'E';        // 'E' = QM-8204 (ranges 0..4), 'V' = QM-8203 (ranges 0..2)
    int storedCount = 12;    // readings held in probe memory (NS / NX)
    std::uint32_t seed = 1;  // drives drift, stored readings, junk and faults
    int nxDelayMs = 500;     // gap between "@LGnnnn" and the stored reading of an NX
    std::string linkPath;    // if set: symlink to the slave device, kept across reconnects
    FaultOptions faults;
    bool fixedValue = false;       // deterministic: no drift, value only changes by setValue()
    double excursionRate = 0.005;  // chance per reading that a short over/under-range spell starts
                                   // (drift mode only; 0 = never)
    bool keepHistory = true;  // keep commandsReceived() / readingsSent(); off for long CLI runs
    // Trace of traffic and events, one line per call, from the worker thread.
    // It is called without internal locks held.
    std::function<void(const std::string&)> log;
};

// What the probe does with one command.
struct Response {
    struct Part {
        std::string text;
        int offsetMs = 0;  // after the first part
    };
    std::vector<Part> parts;  // empty: the command is swallowed (silence)
    bool reading = false;     // a well-formed RD reply
    bool junk = false;        // junk bytes instead of the reply
    int delayMs = 0;          // > 0: the reply goes out this late
    bool hangUp = false;      // the line goes down after this command (after its reply)
};

class ProbeCore {
public:
    static constexpr int kReadingLen = 17;  // "@RD" reading reply
    static constexpr int kStoredLen = 16;   // stored reading, second part of an NX reply

    explicit ProbeCore(const Options& options);

    // One command line, without its terminator, received nowMs after start.
    Response handle(const std::string& cmd, double nowMs);
    // A fresh line (pty) was opened: the hang-up schedule counts from here.
    void lineOpened() { commandsOnLine_ = 0; }

    // Live controls.
    void setSilent(bool silent) { silent_ = silent; }
    void garbageNext(int n);
    void lateNext(int n, int delayMs);
    void setValue(int raw, char rangeState);
    bool setRange(int range);
    bool setUnits(char units);
    void setAuto(bool on);
    void setStoredCount(int n);
    void setBattery(int hundredthsVolt, double nowMs);
    void setNxDelay(int ms);

    // Probe state.
    char model() const { return opt_.model; }
    int range() const { return range_; }
    bool isAuto() const { return autoRange_; }
    char units() const { return unitsCycle_[unitsIdx_]; }
    const std::vector<std::string>& storedReadings() const { return stored_; }
    const Options& options() const { return opt_; }

private:
    void pickAutoRange();
    void stepValue();
    void stepRange();
    int batteryLevel(double nowMs) const;
    int readBattery(double nowMs);
    std::string formatReading(double nowMs) const;
    void generateStored();
    std::string makeJunk();
    std::vector<Response::Part> execute(const std::string& cmd, double nowMs, bool& isReading);

    Options opt_;
    int maxRange_ = 4;
    const char* unitsCycle_;
    int unitsIdx_ = 0;
    int range_ = 0;
    bool autoRange_ = false;
    int raw_ = 0;
    char rangeState_ = 'N';
    double field_ = 0.0;  // present field in range-0 counts
    int spellLeft_ = 0;   // readings left in an over/under-range spell
    int battery_;
    double batteryOriginMs_ = 0;
    std::vector<std::string> stored_;
    int uploadPos_ = 0;  // record number of the last NX answer; SP sets it back to 0

    bool silent_ = false;
    int garbageLeft_ = 0;
    int lateLeft_ = 0;
    int lateLeftMs_ = 0;
    int silentRunLeft_ = 0;
    int commandsOnLine_ = 0;

    std::mt19937 driftRng_;
    std::mt19937 faultRng_;
    std::mt19937 junkRng_;
};

}  // namespace probesim
