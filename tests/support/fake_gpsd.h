#pragma once
// A real gpsd fed by gpsfake (Debian gpsd-clients) from an NMEA log in
// tests/data/nmea, on a free local port (POSIX only).
#include <QProcess>
#include <QProcessEnvironment>
#include <string>

#include "support/files.h"

namespace fenwyd::testing {

// This process's environment with HOME, the XDG folders and TMPDIR in dir.
QProcessEnvironment IsolatedEnvironment(const TempFolder& dir);

// The path of a log: "fix-3d.nmea" (a steady 3D fix at 52.2053 N, 1.51 W,
// 61.7 m above sea level, geoid 47.2 m), "no-fix.nmea", "fix-lost.nmea"
// (40 epochs of that fix, then 40 without). Dated 2024-04-06 from 12:00:00 UTC.
std::string NmeaLog(const std::string& name);

int FreeLocalPort();
bool Accepts(int port);  // something listens on 127.0.0.1:port

// gpsfake and the gpsd it runs, in a process group of their own so both end
// with this object. The log repeats, one sentence per 50 ms. gpsd opens the
// fake receiver only when a client asks for reports, so no part of a log
// passes before a client listens.
class FakeGpsd {
public:
    static bool Installed();
    ~FakeGpsd() { stop(); }
    // Starts on a free port, or on port when it is set (a restart keeps it);
    // false with gpsfake's output.
    bool start(const std::string& log, std::string& why);
    // Returns when gpsd no longer listens.
    void stop();
    int port = 0;

private:
    TempFolder dir_;
    QProcess proc_;
};

}  // namespace fenwyd::testing
