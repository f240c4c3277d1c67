#include "probe_sim.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace probesim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFullScale = 1999;    // 3.5-digit display: each range tops out at 1999 counts
constexpr int kWalkFloor = 20;      // the walk keeps at least 1 % of full scale
constexpr int kMaxRaw = 9999;       // four digits on the wire
constexpr int kBatteryStart = 900;  // hundredths of a volt: fresh 9 V block
constexpr int kBatteryFloor = 650;
constexpr int kBatteryLow = 700;           // below this the reading carries 'L'
constexpr int kBatteryMinutesPerStep = 5;  // slow self-discharge: 0.01 V per 5 minutes
constexpr int kMaxCommandLen = 64;         // longer lines are cut; they end up as "@??"
constexpr int kIdlePollMs = 100;
constexpr int kJunkMaxLen = 40;
constexpr int kHangupGraceMs =
    500;  // the host reads 300 ms after sending: let the last reply reach it

// Units letters in the order "EH" steps through them.
constexpr char kUnitsE[] = "GVTA";  // QM-8204
constexpr char kUnitsV[] = "VAGT";  // QM-8203
constexpr int kUnitsCount = 4;

double pow10i(int n) {
    double v = 1.0;
    while (n-- > 0) v *= 10.0;
    return v;
}

// Uniform in [0, 1). mt19937 output is fixed by the standard, so sequences derived
// this way (stored readings in particular) are the same on every platform.
double unit(std::mt19937& g) { return (g() >> 8) * (1.0 / 16777216.0); }

int pick(std::mt19937& g, int n) { return static_cast<int>(g() % static_cast<std::uint32_t>(n)); }

// Two digits, 00..20, in steps of 5 % of full scale.
int percentSteps(int raw) { return std::clamp((raw + 50) / 100, 0, 20); }

std::string printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

std::string errnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

struct ProbeSim::Impl {
    struct Part {
        std::string text;
        int offsetMs = 0;
    };

    struct Outgoing {
        Clock::time_point due;
        std::string text;
        bool firstPart = true;  // counts as one reply
        bool reading = false;   // a well-formed RD reply
        bool junk = false;
        bool late = false;
        bool hangupAfter = false;
    };

    // Work that touches the fds is done on the worker thread while it runs.
    struct Task {
        std::function<bool()> fn;
        bool done = false;
        bool result = false;
    };

    explicit Impl(Options o)
        : opt(std::move(o)),
          driftRng(opt.seed),
          faultRng(opt.seed ^ 0x9e3779b9u),
          junkRng(opt.seed ^ 0x7f4a7c15u) {
        opt.model = static_cast<char>(std::toupper(static_cast<unsigned char>(opt.model)));
        maxRange = opt.model == 'V' ? 2 : 4;
        unitsCycle = opt.model == 'V' ? kUnitsV : kUnitsE;
        field = 300.0 + pick(driftRng, 1200);
        raw = opt.fixedValue ? 1000 : static_cast<int>(std::lround(field));
        opt.storedCount = std::clamp(opt.storedCount, 0, kMaxRaw);
        generateStored();
        origin = Clock::now();
        batteryOrigin = origin;
    }

    // ---- configuration and state (all guarded by mu) ----
    Options opt;
    mutable std::mutex mu;
    std::condition_variable cv;
    std::thread worker;
    bool running = false;
    bool workerAlive = false;
    bool stopRequested = false;
    std::deque<Task*> tasks;
    int wakeFds[2] = {-1, -1};

    int masterFd = -1;
    int slaveKeepFd = -1;  // held so the pty stays up until (and after) the host opens it
    std::string slave;
    std::string linkTarget;  // what our symlink points at; "" when we have none
    std::string error;
    std::string lineBuf;
    std::deque<Outgoing> queue;  // due times never decrease: the probe answers in order
    std::string outBuf;          // bytes the pty has not taken yet
    Clock::time_point origin;

    int maxRange = 4;
    const char* unitsCycle = kUnitsE;
    int unitsIdx = 0;
    int range = 0;
    bool autoRange = false;
    int raw = 0;
    char rangeState = 'N';
    double field = 0.0;  // present field in range-0 counts
    int spellLeft = 0;   // readings left in an over/under-range spell
    int battery = kBatteryStart;
    Clock::time_point batteryOrigin;
    std::vector<std::string> stored;
    int uploadPos = 0;  // record number of the last NX answer; SP sets it back to 0

    bool silent = false;
    int garbageLeft = 0;
    int lateLeft = 0;
    int lateLeftMs = 0;
    int silentRunLeft = 0;
    int commandsOnPty = 0;
    bool hangupPending = false;
    Clock::time_point hangupAt;
    bool reconnectScheduled = false;
    Clock::time_point reconnectAt;

    std::mt19937 driftRng;
    std::mt19937 faultRng;
    std::mt19937 junkRng;

    std::vector<std::string> commands;
    std::vector<std::string> readings;
    std::string lastReply;
    Stats stats;
    std::vector<std::string> traceLines;  // handed to opt.log outside the lock

    // ---- helpers ----

    void trace(const std::string& line) {
        if (!opt.log) return;
        double t = std::chrono::duration<double>(Clock::now() - origin).count();
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "[%9.3f] ", t);
        traceLines.push_back(stamp + line);
    }

    // Call without mu held.
    void flushTrace() {
        std::vector<std::string> lines;
        {
            std::lock_guard<std::mutex> lk(mu);
            lines.swap(traceLines);
        }
        for (const auto& l : lines) opt.log(l);
    }

    void wake() {
        if (wakeFds[1] >= 0) {
            ssize_t r = ::write(wakeFds[1], "w", 1);
            (void)r;  // a full pipe means the worker is awake already
        }
    }

    bool runOnWorker(std::function<bool()> fn) {
        std::unique_lock<std::mutex> lk(mu);
        if (!workerAlive || std::this_thread::get_id() == worker.get_id()) {
            bool r = fn();
            lk.unlock();
            flushTrace();
            return r;
        }
        Task t{std::move(fn)};
        tasks.push_back(&t);
        wake();
        cv.wait(lk, [&] { return t.done; });
        return t.result;
    }

    void runTasks() {
        if (tasks.empty()) return;
        while (!tasks.empty()) {
            Task* t = tasks.front();
            tasks.pop_front();
            t->result = t->fn();
            t->done = true;
        }
        cv.notify_all();
    }

    // ---- pty and symlink ----

    bool openPty() {
        int m = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m < 0) {
            error = errnoText("posix_openpt");
            return false;
        }
        char name[128];
        if (::grantpt(m) != 0 || ::unlockpt(m) != 0 || ::ptsname_r(m, name, sizeof name) != 0) {
            error = errnoText("pty setup");
            ::close(m);
            return false;
        }
        ::fcntl(m, F_SETFD, FD_CLOEXEC);
        ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);

        int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (s < 0) {
            error = errnoText("open slave");
            ::close(m);
            return false;
        }
        // Raw like a real serial line: no echo of the host's commands, no CR->LF,
        // no signal characters, no output post-processing of our replies.
        termios tio{};
        if (::tcgetattr(s, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::cfsetispeed(&tio, B9600);
            ::cfsetospeed(&tio, B9600);
            tio.c_cc[VMIN] = 1;
            tio.c_cc[VTIME] = 0;
            ::tcsetattr(s, TCSANOW, &tio);
        }
        masterFd = m;
        slaveKeepFd = s;
        slave = name;
        lineBuf.clear();
        outBuf.clear();
        commandsOnPty = 0;
        return true;
    }

    bool makeLink() {
        if (opt.linkPath.empty()) return true;
        struct stat st {};
        if (::lstat(opt.linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
            error = "refusing to replace " + opt.linkPath + ": not a symlink";
            return false;
        }
        // Build beside it and rename over: the name never points nowhere mid-swap.
        std::string tmp = opt.linkPath + ".probe-sim." + std::to_string(::getpid());
        ::unlink(tmp.c_str());
        if (::symlink(slave.c_str(), tmp.c_str()) != 0) {
            error = errnoText(("symlink " + tmp).c_str());
            return false;
        }
        if (::rename(tmp.c_str(), opt.linkPath.c_str()) != 0) {
            error = errnoText(("rename to " + opt.linkPath).c_str());
            ::unlink(tmp.c_str());
            return false;
        }
        linkTarget = slave;
        return true;
    }

    // Only remove the link while it still points at our device: another
    // simulator may have taken the name over meanwhile.
    void removeLink() {
        if (linkTarget.empty()) return;
        char buf[256];
        ssize_t n = ::readlink(opt.linkPath.c_str(), buf, sizeof buf - 1);
        if (n >= 0 && std::string(buf, static_cast<size_t>(n)) == linkTarget)
            ::unlink(opt.linkPath.c_str());
        linkTarget.clear();
    }

    void closePty() {
        removeLink();
        if (masterFd >= 0) ::close(masterFd);
        if (slaveKeepFd >= 0) ::close(slaveKeepFd);
        masterFd = slaveKeepFd = -1;
        slave.clear();
        queue.clear();
        outBuf.clear();
        lineBuf.clear();
        hangupPending = false;
    }

    bool doHangUp() {
        if (masterFd < 0) return true;
        trace("hang-up " + slave);
        closePty();
        ++stats.hangUps;
        return true;
    }

    bool doReconnect() {
        if (!running) {
            error = "not started";
            return false;
        }
        doHangUp();
        reconnectScheduled = false;
        if (!openPty()) return false;
        if (!makeLink()) {
            closePty();
            return false;
        }
        ++stats.reconnects;
        trace("reconnected " + slave);
        return true;
    }

    // ---- the probe ----

    char unitsLetter() const { return unitsCycle[unitsIdx]; }

    void pickAutoRange() {
        int r = 0;
        while (r < maxRange && field > (kFullScale + 0.5) * pow10i(r)) ++r;
        range = r;
        raw = std::clamp(static_cast<int>(std::lround(field / pow10i(r))), 0, kFullScale);
    }

    // One reading's worth of drift: a slow multiplicative walk inside the current
    // range (all ranges in auto), now and then a short over/under-range spell.
    void stepValue() {
        if (opt.fixedValue) return;
        if (spellLeft > 0) {
            --spellLeft;
            return;
        }
        if (opt.excursionRate > 0.0 && unit(driftRng) < opt.excursionRate) {
            bool over = unit(driftRng) < 0.5;
            spellLeft = pick(driftRng, 4);  // 1..4 readings in all
            rangeState = over ? 'O' : 'U';
            if (autoRange) range = over ? maxRange : 0;
            raw = over ? kFullScale : pick(driftRng, 10);
            return;
        }
        double lo = kWalkFloor * pow10i(autoRange ? 0 : range);
        double hi = kFullScale * pow10i(autoRange ? maxRange : range);
        field *= 1.0 + (unit(driftRng) - 0.5) * 0.03;
        field += (unit(driftRng) - 0.5) * 2.0 * pow10i(range);  // about a count of noise
        if (field > hi) field = hi * (1.0 - 0.02 * unit(driftRng));
        if (field < lo) field = lo * (1.0 + 0.02 * unit(driftRng));
        rangeState = 'N';
        if (autoRange)
            pickAutoRange();
        else
            raw = std::clamp(static_cast<int>(std::lround(field / pow10i(range))), 0, kFullScale);
    }

    // Manual 0 -> ... -> highest -> auto -> manual 0.
    void stepRange() {
        if (autoRange) {
            autoRange = false;
            range = 0;
        } else if (range < maxRange) {
            ++range;
        } else {
            autoRange = true;
            if (!opt.fixedValue) pickAutoRange();
        }
    }

    int batteryLevel() const {
        if (opt.fixedValue) return battery;
        auto minutes =
            std::chrono::duration_cast<std::chrono::minutes>(Clock::now() - batteryOrigin).count();
        return std::max(kBatteryFloor,
                        battery - static_cast<int>(minutes / kBatteryMinutesPerStep));
    }

    // A battery read loads the cell a little, so repeated reads creep down too.
    int readBattery() {
        if (!opt.fixedValue && unit(driftRng) < 0.25)
            battery = std::max(kBatteryFloor, battery - 1);
        return batteryLevel();
    }

    std::string formatReading() {
        // @RD vvvv m r u _ s a _ pp b
        char buf[32];
        std::snprintf(buf, sizeof buf, "@RD%04d%c%d%c %c%c %02d%c", std::clamp(raw, 0, kMaxRaw),
                      opt.model, range, unitsLetter(), rangeState, autoRange ? 'A' : 'M',
                      percentSteps(raw), batteryLevel() < kBatteryLow ? 'L' : '-');
        return buf;
    }

    // Probe memory: a measurement series recorded earlier, the same for a given
    // seed; a longer memory keeps the shorter one as its beginning.
    void generateStored() {
        std::mt19937 g(opt.seed * 2654435761u + 0x5eedu);
        stored.clear();
        int r = pick(g, maxRange + 1);
        int ui = 0;
        bool am = pick(g, 2) == 0;
        double f = 200 + pick(g, 1600);
        for (int i = 0; i < opt.storedCount; ++i) {
            if (pick(g, 10) == 0) {  // operator switched range between recordings
                r = pick(g, maxRange + 1);
                am = pick(g, 2) == 0;
                f = 200 + pick(g, 1600);
            }
            if (pick(g, 25) == 0) ui = (ui + 1) % kUnitsCount;
            f = std::clamp(f * (1.0 + (unit(g) - 0.5) * 0.06), double(kWalkFloor),
                           double(kFullScale));
            int v = static_cast<int>(std::lround(f));
            char st = 'N';
            int k = pick(g, 40);
            if (k == 0) {
                st = 'O';
                v = kFullScale;
            } else if (k == 1) {
                st = 'U';
                v = pick(g, 10);
            }
            // NX vvvv _ r u _ s _ a pp m
            char buf[32];
            std::snprintf(buf, sizeof buf, "NX%04d %d%c %c %c%02d%c", v, r, unitsCycle[ui], st,
                          am ? 'A' : 'M', percentSteps(v), opt.model);
            stored.emplace_back(buf);
        }
    }

    std::string makeJunk() {
        int len = 1 + pick(junkRng, kJunkMaxLen);
        std::string s;
        if (pick(junkRng, 3) == 0) {
            // Looks like a reading at first glance; the digit fields are not digits.
            static const char kNotDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ @#?-+.:;\x01\x1b\x7f\xff";
            s = "@RD";
            while (static_cast<int>(s.size()) < len)
                s += kNotDigits[pick(junkRng, sizeof kNotDigits - 1)];
        } else {
            for (int i = 0; i < len; ++i) s += static_cast<char>(pick(junkRng, 256));
            // Never a reply the host could take for a reading or a stored reading.
            if (s.size() >= 2 && s[0] == 'N' && s[1] == 'X') s[0] = '#';
            if (s.size() >= 3 && s[1] == 'R' && s[2] == 'D') s[1] = '#';
        }
        return s;
    }

    std::vector<Part> execute(const std::string& cmd, bool& isReading) {
        char buf[32];
        isReading = false;
        if (cmd == "RD") {
            stepValue();
            isReading = true;
            return {{formatReading()}};
        }
        if (cmd == "SC") {
            stepRange();
            return {{"@SC"}};
        }
        if (cmd == "EH") {
            unitsIdx = (unitsIdx + 1) % kUnitsCount;
            return {{"@EH"}};
        }
        if (cmd == "BT") {
            std::snprintf(buf, sizeof buf, "@BT%04d", readBattery());
            return {{buf}};
        }
        if (cmd == "NS") {
            std::snprintf(buf, sizeof buf, "@NS%04d", static_cast<int>(stored.size()));
            return {{buf}};
        }
        if (cmd == "SP") {
            uploadPos = 0;
            return {{"@SP"}};
        }
        if (cmd == "NX") {
            if (stored.empty()) return {{"@LG0000"}};
            // Past the end the probe keeps repeating its last record.
            uploadPos = std::clamp(uploadPos + 1, 1, static_cast<int>(stored.size()));
            std::snprintf(buf, sizeof buf, "@LG%04d", uploadPos);
            return {{buf, 0}, {stored[uploadPos - 1], opt.nxDelayMs}};
        }
        if (cmd == "LG") return {{"@LG0000"}};
        if (cmd == "KR" || cmd == "CL" || cmd == "DD" || cmd == "MX" || cmd == "PR")
            return {{"@" + cmd}};
        return {{"@??"}};
    }

    void handleCommand(const std::string& cmd) {
        ++stats.commands;
        if (opt.keepHistory) commands.push_back(cmd);
        trace("rx " + printable(cmd));
        ++commandsOnPty;
        bool hangupNow = opt.faults.hangupAfter > 0 && commandsOnPty == opt.faults.hangupAfter;

        // Three draws per command whatever happens, so the fault pattern depends
        // only on the seed and the command's number.
        const FaultOptions& f = opt.faults;
        bool startSilence = unit(faultRng) < f.silentRate;
        bool randomJunk = unit(faultRng) < f.garbageRate;
        bool randomLate = unit(faultRng) < f.lateRate;

        // Past the scheduled hang-up's command the line is as good as gone.
        bool swallow = silent || (f.hangupAfter > 0 && commandsOnPty > f.hangupAfter);
        if (!swallow && silentRunLeft > 0) {
            --silentRunLeft;
            swallow = true;
        } else if (!swallow && startSilence) {
            silentRunLeft = std::max(1, f.silentLen) - 1;
            swallow = true;
        }
        if (swallow) {
            ++stats.silenced;
            trace("   (no reply)");
            if (hangupNow) scheduleHangup();
            return;
        }

        bool isReading = false;
        std::vector<Part> parts = execute(cmd, isReading);

        bool junk = false;
        if (garbageLeft > 0) {
            --garbageLeft;
            junk = true;
        } else if (randomJunk) {
            junk = true;
        }
        if (junk) {
            parts = {{makeJunk()}};
            isReading = false;
        }
        int delayMs = 0;
        if (lateLeft > 0) {
            --lateLeft;
            delayMs = lateLeftMs;
        } else if (randomLate) {
            delayMs = f.lateMs;
        }

        Clock::time_point now = Clock::now();
        for (size_t i = 0; i < parts.size(); ++i) {
            Outgoing o;
            o.due = now + std::chrono::milliseconds(delayMs + parts[i].offsetMs);
            if (!queue.empty()) o.due = std::max(o.due, queue.back().due);
            o.text = parts[i].text;
            o.firstPart = i == 0;
            o.reading = isReading;
            o.junk = junk;
            o.late = i == 0 && delayMs > 0;
            o.hangupAfter = hangupNow && i + 1 == parts.size();
            queue.push_back(std::move(o));
        }
    }

    void scheduleHangup() {
        hangupPending = true;
        hangupAt = Clock::now() + std::chrono::milliseconds(kHangupGraceMs);
    }

    void feed(const char* p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            char c = p[i];
            if (c == '\r' || c == '\n') {
                if (!lineBuf.empty()) {
                    std::string cmd;
                    cmd.swap(lineBuf);
                    handleCommand(cmd);
                }
            } else if (static_cast<int>(lineBuf.size()) < kMaxCommandLen) {
                lineBuf += c;
            }
        }
    }

    void flushOut() {
        while (!outBuf.empty() && masterFd >= 0) {
            ssize_t w = ::write(masterFd, outBuf.data(), outBuf.size());
            if (w > 0) {
                outBuf.erase(0, static_cast<size_t>(w));
            } else if (w < 0 && errno == EINTR) {
                continue;
            } else {
                if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                    outBuf.clear();  // nobody to deliver to
                break;
            }
        }
    }

    void sendDue(Clock::time_point now) {
        while (!queue.empty() && queue.front().due <= now) {
            Outgoing o = std::move(queue.front());
            queue.pop_front();
            if (masterFd < 0) continue;
            outBuf += o.text;
            lastReply = o.text;
            if (o.firstPart) ++stats.replies;
            if (o.junk) ++stats.garbage;
            if (o.late) ++stats.late;
            if (o.reading) {
                ++stats.readings;
                if (opt.keepHistory) readings.push_back(o.text);
            }
            trace(std::string("tx ") + (o.junk ? "(junk) " : "") + (o.late ? "(late) " : "") +
                  printable(o.text));
            if (o.hangupAfter) {
                scheduleHangup();
                break;
            }
        }
        flushOut();
    }

    void run() {
        std::unique_lock<std::mutex> lk(mu);
        for (;;) {
            runTasks();
            if (stopRequested) break;

            Clock::time_point now = Clock::now();
            if (reconnectScheduled && now >= reconnectAt && !doReconnect())
                trace("reconnect failed: " + error);
            sendDue(now);
            if (hangupPending && now >= hangupAt) {
                doHangUp();
                if (opt.faults.reconnectMs >= 0) {
                    reconnectScheduled = true;
                    reconnectAt = now + std::chrono::milliseconds(opt.faults.reconnectMs);
                }
            }

            Clock::time_point next = now + std::chrono::milliseconds(kIdlePollMs);
            if (!queue.empty()) next = std::min(next, queue.front().due);
            if (reconnectScheduled) next = std::min(next, reconnectAt);
            if (hangupPending) next = std::min(next, hangupAt);
            auto waitMs =
                std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count() + 1;
            int timeout = static_cast<int>(std::clamp<long long>(waitMs, 0, kIdlePollMs));

            pollfd fds[2] = {{wakeFds[0], POLLIN, 0}, {masterFd, POLLIN, 0}};
            if (!outBuf.empty()) fds[1].events |= POLLOUT;
            nfds_t nfds = masterFd >= 0 ? 2 : 1;
            int master = masterFd;  // only this thread closes it

            std::vector<std::string> lines;
            lines.swap(traceLines);
            lk.unlock();
            for (const auto& l : lines) opt.log(l);

            char buf[512];
            ssize_t got = 0;
            if (::poll(fds, nfds, timeout) > 0) {
                if (fds[0].revents & POLLIN) {
                    char drain[64];
                    while (::read(wakeFds[0], drain, sizeof drain) > 0) {
                    }
                }
                if (nfds == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
                    got = ::read(master, buf, sizeof buf);
            }
            lk.lock();
            if (got > 0) feed(buf, static_cast<size_t>(got));
            if (!outBuf.empty()) flushOut();
        }
        runTasks();
        workerAlive = false;
        std::vector<std::string> lines;
        lines.swap(traceLines);
        lk.unlock();
        for (const auto& l : lines) opt.log(l);
    }
};

ProbeSim::ProbeSim(Options options) : d_(new Impl(std::move(options))) {}

ProbeSim::~ProbeSim() { stop(); }

bool ProbeSim::start() {
    {
        std::lock_guard<std::mutex> lk(d_->mu);
        if (d_->running) {
            d_->error = "already running";
            return false;
        }
        if (d_->opt.model != 'E' && d_->opt.model != 'V') {
            d_->error = std::string("unknown model letter '") + d_->opt.model + "' (E or V)";
            return false;
        }
        if (::pipe2(d_->wakeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
            d_->error = errnoText("pipe");
            return false;
        }
        if (!d_->openPty() || !d_->makeLink()) {
            d_->closePty();
            ::close(d_->wakeFds[0]);
            ::close(d_->wakeFds[1]);
            d_->wakeFds[0] = d_->wakeFds[1] = -1;
            return false;
        }
        d_->trace("started on " + d_->slave);
        d_->running = true;
        d_->stopRequested = false;
        d_->workerAlive = true;
        d_->worker = std::thread([this] { d_->run(); });
    }
    return true;
}

void ProbeSim::stop() {
    {
        std::lock_guard<std::mutex> lk(d_->mu);
        if (!d_->running) return;
        d_->stopRequested = true;
        d_->wake();
    }
    if (d_->worker.joinable()) d_->worker.join();
    {
        std::lock_guard<std::mutex> lk(d_->mu);
        d_->closePty();
        d_->reconnectScheduled = false;
        for (int& fd : d_->wakeFds) {
            if (fd >= 0) ::close(fd);
            fd = -1;
        }
        d_->running = false;
        d_->trace("stopped");
    }
    d_->flushTrace();
}

bool ProbeSim::isRunning() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->running;
}

bool ProbeSim::isConnected() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->masterFd >= 0;
}

std::string ProbeSim::devicePath() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->opt.linkPath.empty() ? d_->slave : d_->opt.linkPath;
}

std::string ProbeSim::slavePath() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->slave;
}

std::string ProbeSim::lastError() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->error;
}

void ProbeSim::hangUp() {
    Impl* d = d_.get();
    d->runOnWorker([d] { return d->doHangUp(); });
}

bool ProbeSim::reconnect() {
    Impl* d = d_.get();
    return d->runOnWorker([d] { return d->doReconnect(); });
}

void ProbeSim::setSilent(bool on) {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->silent = on;
}

void ProbeSim::garbageNext(int n) {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->garbageLeft = std::max(0, n);
}

void ProbeSim::lateNext(int n, int delayMs) {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->lateLeft = std::max(0, n);
    d_->lateLeftMs = std::max(0, delayMs);
}

void ProbeSim::setValue(int raw, char rangeState) {
    std::lock_guard<std::mutex> lk(d_->mu);
    Impl& d = *d_;
    d.raw = std::clamp(raw, 0, kMaxRaw);
    d.rangeState = (rangeState == 'U' || rangeState == 'O') ? rangeState : 'N';
    d.field = std::max(1, d.raw) * pow10i(d.range);
    d.spellLeft = 0;
}

bool ProbeSim::setRange(int range) {
    std::lock_guard<std::mutex> lk(d_->mu);
    if (range < 0 || range > d_->maxRange) return false;
    d_->range = range;
    return true;
}

bool ProbeSim::setUnits(char units) {
    std::lock_guard<std::mutex> lk(d_->mu);
    for (int i = 0; i < kUnitsCount; ++i) {
        if (d_->unitsCycle[i] == units) {
            d_->unitsIdx = i;
            return true;
        }
    }
    return false;
}

void ProbeSim::setAuto(bool on) {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->autoRange = on;
    if (on && !d_->opt.fixedValue) d_->pickAutoRange();
}

void ProbeSim::setStoredCount(int n) {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->opt.storedCount = std::clamp(n, 0, kMaxRaw);
    d_->generateStored();
    d_->uploadPos = std::min(d_->uploadPos, d_->opt.storedCount);
}

void ProbeSim::setBattery(int hundredthsVolt) {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->battery = std::clamp(hundredthsVolt, 0, kMaxRaw);
    d_->batteryOrigin = Clock::now();
}

void ProbeSim::setNxDelay(int ms) {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->opt.nxDelayMs = std::max(0, ms);
}

char ProbeSim::model() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->opt.model;
}

int ProbeSim::range() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->range;
}

bool ProbeSim::isAuto() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->autoRange;
}

char ProbeSim::units() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->unitsLetter();
}

int ProbeSim::storedCount() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return static_cast<int>(d_->stored.size());
}

std::vector<std::string> ProbeSim::storedReadings() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->stored;
}

std::vector<std::string> ProbeSim::commandsReceived() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->commands;
}

int ProbeSim::commandCount() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->stats.commands;
}

std::string ProbeSim::lastReply() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->lastReply;
}

int ProbeSim::repliesSent() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->stats.replies;
}

std::vector<std::string> ProbeSim::readingsSent() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->readings;
}

Stats ProbeSim::stats() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->stats;
}

void ProbeSim::clearHistory() {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->commands.clear();
    d_->readings.clear();
}

}  // namespace probesim
