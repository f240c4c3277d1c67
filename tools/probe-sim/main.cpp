// probe-sim: run a simulated QM-8203/QM-8204 probe on a pseudo-terminal.
// Prints the device path as its first line, then serves until SIGINT/SIGTERM.
#include "probe_sim.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <pthread.h>

namespace {

const char kUsage[] =
    "usage: probe-sim [--model E|V] [--stored N] [--seed S] [--link PATH] [--nx-delay MS]\n"
    "                 [--silent-rate P] [--silent-len K] [--garbage-rate P] [--late-rate P]\n"
    "                 [--late-ms MS] [--hangup-after N] [--reconnect-ms MS] [--fixed]\n"
    "                 [--excursion-rate P]\n"
    "                 [--verbose] [--help]\n";

const char kHelp[] =
    "\n"
    "Simulates a QM-8204 (model E, ranges 0..4) or QM-8203 (model V, ranges 0..2)\n"
    "field-strength probe on a pseudo-terminal. The first line on stdout is the\n"
    "device to open (the --link path when given, else /dev/pts/N).\n"
    "\n"
    "  --model E|V        probe model (default E)\n"
    "  --stored N         readings in probe memory for NS/NX (default 12)\n"
    "  --seed S           seed for drift, stored readings and faults (default 1)\n"
    "  --link PATH        keep a symlink PATH -> the pty slave, also across reconnects\n"
    "  --nx-delay MS      gap between the two parts of an NX reply (default 500)\n"
    "  --silent-rate P    chance per command that a silent run starts (default 0)\n"
    "  --silent-len K     commands left unanswered per silent run (default 1)\n"
    "  --garbage-rate P   chance per command of a junk reply (default 0)\n"
    "  --late-rate P      chance per command of a late reply (default 0)\n"
    "  --late-ms MS       delay of a late reply (default 450; the host waits 300)\n"
    "  --hangup-after N   hang up after every N commands on one pty (default 0 = never)\n"
    "  --reconnect-ms MS  reopen that long after such a hang-up; -1 = stay down (default 2000)\n"
    "  --fixed            fixed value, no drift (deterministic)\n"
    "  --excursion-rate P chance per reading of a short over/under-range spell\n"
    "                     (default 0.005; 1 = out of range all the time)\n"
    "  --verbose          log every command and reply on stderr\n"
    "  --help             this text\n";

bool parseInt(const char* s, long lo, long hi, int& out) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (errno != 0 || end == s || *end != '\0' || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

bool parseRate(const char* s, double& out) {
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s || *end != '\0' || !(v >= 0.0 && v <= 1.0)) return false;
    out = v;
    return true;
}

int usageError(const std::string& msg) {
    std::fprintf(stderr, "probe-sim: %s\n%s", msg.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    probesim::Options opt;
    opt.faults.reconnectMs = 2000;
    opt.keepHistory = false;  // a long run would only grow memory
    bool verbose = false;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.erase(eq);
            hasValue = true;
        }
        auto flag = [&](const char* name) { return arg == name; };
        // Options that take a value accept "--opt V" and "--opt=V".
        auto next = [&]() -> const char* {
            if (hasValue) return value.c_str();
            if (i + 1 < argc) return argv[++i];
            return nullptr;
        };

        if (flag("--help") || flag("-h")) {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (flag("--fixed")) {
            opt.fixedValue = true;
            continue;
        }
        if (flag("--verbose") || flag("-v")) {
            verbose = true;
            continue;
        }

        bool ok = true;
        bool known = true;
        const char* v = nullptr;
        if (flag("--model")) {
            v = next();
            ok = v && std::strlen(v) == 1 &&
                 (v[0] == 'E' || v[0] == 'V' || v[0] == 'e' || v[0] == 'v');
            if (ok) opt.model = v[0];
        } else if (flag("--stored")) {
            ok = (v = next()) && parseInt(v, 0, 9999, opt.storedCount);
        } else if (flag("--seed")) {
            int s = 0;
            ok = (v = next()) && parseInt(v, 0, 2147483647L, s);
            opt.seed = static_cast<std::uint32_t>(s);
        } else if (flag("--link")) {
            ok = (v = next()) && *v;
            if (ok) opt.linkPath = v;
        } else if (flag("--nx-delay")) {
            ok = (v = next()) && parseInt(v, 0, 600000, opt.nxDelayMs);
        } else if (flag("--silent-rate")) {
            ok = (v = next()) && parseRate(v, opt.faults.silentRate);
        } else if (flag("--silent-len")) {
            ok = (v = next()) && parseInt(v, 1, 1000000, opt.faults.silentLen);
        } else if (flag("--garbage-rate")) {
            ok = (v = next()) && parseRate(v, opt.faults.garbageRate);
        } else if (flag("--late-rate")) {
            ok = (v = next()) && parseRate(v, opt.faults.lateRate);
        } else if (flag("--late-ms")) {
            ok = (v = next()) && parseInt(v, 0, 600000, opt.faults.lateMs);
        } else if (flag("--hangup-after")) {
            ok = (v = next()) && parseInt(v, 0, 2147483647L, opt.faults.hangupAfter);
        } else if (flag("--excursion-rate")) {
            ok = (v = next()) && parseRate(v, opt.excursionRate);
        } else if (flag("--reconnect-ms")) {
            ok = (v = next()) && parseInt(v, -1, 3600000, opt.faults.reconnectMs);
        } else {
            known = false;
        }
        if (!known) return usageError("unknown option " + arg);
        if (!ok) return usageError("bad or missing value for " + arg);
    }

    if (verbose)
        opt.log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };

    // Block the stop signals before the worker thread exists so it inherits the
    // mask and sigwait() below is the only place they are taken.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    probesim::ProbeSim sim(opt);
    if (!sim.start()) {
        std::fprintf(stderr, "probe-sim: %s\n", sim.lastError().c_str());
        return 1;
    }
    std::printf("%s\n", sim.devicePath().c_str());
    std::fflush(stdout);

    int sig = 0;
    sigwait(&stopSignals, &sig);
    if (verbose) std::fprintf(stderr, "probe-sim: %s, stopping\n", strsignal(sig));
    sim.stop();  // removes the symlink
    return 0;
}
