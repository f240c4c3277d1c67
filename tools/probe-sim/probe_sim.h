// probe-sim: a QM-8203 / QM-8204 field-strength probe on a pseudo-terminal:
// the pty transport around the protocol core (probe_core.h).
//
// The simulator is the probe side of the serial line. It answers the two-letter
// commands the Fenwyd 8200 host sends ("RD\r", "SC\r", ...) on the master side of
// a pty; the host opens the slave device like any serial port. Linux/POSIX only.
//
// All public members are thread-safe; the pty traffic runs on one worker thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "probe_core.h"

namespace probesim {

struct Stats {
    int commands = 0;  // commands received (silenced ones included)
    int replies = 0;   // replies written; a two-part NX reply counts once
    int readings = 0;  // well-formed RD replies written
    int garbage = 0;   // junk replies written
    int late = 0;      // replies written late on purpose
    int silenced = 0;  // commands swallowed without a reply
    int hangUps = 0;
    int reconnects = 0;
};

class ProbeSim {
public:
    static constexpr int kReadingLen = ProbeCore::kReadingLen;
    static constexpr int kStoredLen = ProbeCore::kStoredLen;

    explicit ProbeSim(Options options = Options());
    ~ProbeSim();  // stop()
    ProbeSim(const ProbeSim&) = delete;
    ProbeSim& operator=(const ProbeSim&) = delete;

    // Opens the pty (raw slave, held open so it does not hang up before the host
    // opens it), makes the symlink if asked, starts the worker. False on failure,
    // with the reason in lastError().
    bool start();
    // Stops the worker, closes the pty, removes the symlink it made. Idempotent.
    void stop();
    bool isRunning() const;
    bool isConnected() const;        // a pty is open (false after hangUp())
    std::string devicePath() const;  // symlink path if one was given, else the slave path
    std::string slavePath() const;   // current /dev/pts/N ("" while hung up)
    std::string lastError() const;

    // Closes the pty and removes the symlink: the host sees the device vanish.
    void hangUp();
    // Opens a fresh pty and points the symlink at it. Range, units, value and
    // stored readings are kept. Hangs up first if still connected.
    bool reconnect();

    // Live controls.
    void setSilent(bool silent);                    // read and discard commands, answer nothing
    void garbageNext(int n);                        // next n replies are junk bytes
    void lateNext(int n, int delayMs);              // next n replies go out delayMs late
    void setValue(int raw, char rangeState = 'N');  // raw 0..9999; 'N', 'U' or 'O'
    bool setRange(int range);                       // false if out of the model's ranges
    bool setUnits(char units);                      // false if not one of the model's units
    void setAuto(bool on);
    void setStoredCount(int n);  // regenerates memory from the seed
    void setBattery(int hundredthsVolt);
    void setNxDelay(int ms);

    // Probe state.
    char model() const;
    int range() const;
    bool isAuto() const;
    char units() const;
    int storedCount() const;
    std::vector<std::string> storedReadings() const;  // the 16-char NX texts, record 1 first

    // Observability.
    std::vector<std::string> commandsReceived() const;  // without terminators, in order
    int commandCount() const;
    std::string lastReply() const;  // last text written (for NX: the stored reading)
    int repliesSent() const;
    std::vector<std::string> readingsSent() const;  // well-formed RD replies, in order written
    Stats stats() const;
    void clearHistory();  // empties commandsReceived() and readingsSent()

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace probesim
