#include "probe_sim.h"

#include "common/textconv.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace probesim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxCommandLen = 64;  // longer lines are cut; they end up as "@??"
constexpr int kIdlePollMs = 100;
constexpr int kHangupGraceMs =
    500;  // the host reads 300 ms after sending: let the last reply reach it

std::string errnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

struct ProbeSim::Impl {
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

    explicit Impl(Options o) : opt(std::move(o)), core(opt) { origin = Clock::now(); }

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

    ProbeCore core;  // the probe itself; guarded by mu like the rest
    bool hangupPending = false;
    Clock::time_point hangupAt;
    bool reconnectScheduled = false;
    Clock::time_point reconnectAt;

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
        core.lineOpened();
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

    double nowMs() const {
        return std::chrono::duration<double, std::milli>(Clock::now() - origin).count();
    }

    void handleCommand(const std::string& cmd) {
        ++stats.commands;
        if (opt.keepHistory) commands.push_back(cmd);
        trace("rx " + fenwyd::PrintableText(cmd));

        const Response r = core.handle(cmd, nowMs());
        if (r.parts.empty()) {
            ++stats.silenced;
            trace("   (no reply)");
            if (r.hangUp) scheduleHangup();
            return;
        }
        Clock::time_point now = Clock::now();
        for (size_t i = 0; i < r.parts.size(); ++i) {
            Outgoing o;
            o.due = now + std::chrono::milliseconds(r.delayMs + r.parts[i].offsetMs);
            if (!queue.empty()) o.due = std::max(o.due, queue.back().due);
            o.text = r.parts[i].text;
            o.firstPart = i == 0;
            o.reading = r.reading;
            o.junk = r.junk;
            o.late = i == 0 && r.delayMs > 0;
            o.hangupAfter = r.hangUp && i + 1 == r.parts.size();
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
                  fenwyd::PrintableText(o.text));
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
        if (d_->core.model() != 'E' && d_->core.model() != 'V') {
            d_->error = std::string("unknown model letter '") + d_->core.model() + "' (E or V)";
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
    d_->core.setSilent(on);
}

void ProbeSim::garbageNext(int n) {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->core.garbageNext(n);
}

void ProbeSim::lateNext(int n, int delayMs) {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->core.lateNext(n, delayMs);
}

void ProbeSim::setValue(int raw, char rangeState) {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->core.setValue(raw, rangeState);
}

bool ProbeSim::setRange(int range) {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->core.setRange(range);
}

bool ProbeSim::setUnits(char units) {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->core.setUnits(units);
}

void ProbeSim::setAuto(bool on) {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->core.setAuto(on);
}

void ProbeSim::setStoredCount(int n) {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->core.setStoredCount(n);
}

void ProbeSim::setBattery(int hundredthsVolt) {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->core.setBattery(hundredthsVolt, d_->nowMs());
}

void ProbeSim::setNxDelay(int ms) {
    std::lock_guard<std::mutex> lk(d_->mu);
    d_->core.setNxDelay(ms);
}

char ProbeSim::model() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->core.model();
}

int ProbeSim::range() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->core.range();
}

bool ProbeSim::isAuto() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->core.isAuto();
}

char ProbeSim::units() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->core.units();
}

int ProbeSim::storedCount() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return static_cast<int>(d_->core.storedReadings().size());
}

std::vector<std::string> ProbeSim::storedReadings() const {
    std::lock_guard<std::mutex> lk(d_->mu);
    return d_->core.storedReadings();
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
