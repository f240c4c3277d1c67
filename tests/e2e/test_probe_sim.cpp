// The probe simulator on its pty, driven from the host side of the line with
// plain POSIX calls: command framing, a raw line, replies going out byte for
// byte as the protocol core decides and when it says (late replies, the two
// NX parts), hang-up + reconnect, history and stats, and use from other
// threads. What each command gets back is tested on the core alone
// (unit/test_probe_core.cpp).
#include "probe_sim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>

#include "measure/reply_layout.h"
#include "support/sim_checks.h"

namespace {

using namespace probesim::testing;
using probesim::Options;
using probesim::ProbeCore;
using probesim::ProbeSim;
using Clock = std::chrono::steady_clock;

constexpr int kGenerousMs = 2000;  // ceiling for anything that should be prompt

// The host's end of the line: the pty slave opened like a serial port.
class HostPort {
public:
    explicit HostPort(const std::string& path, bool makeRaw = true) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0 && makeRaw) {
            termios tio{};
            ::tcgetattr(fd_, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~HostPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    HostPort(const HostPort&) = delete;
    HostPort& operator=(const HostPort&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    void writeRaw(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t w = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (w > 0)
                done += static_cast<size_t>(w);
            else if (w < 0 && errno != EAGAIN && errno != EINTR)
                return;
        }
    }

    void send(const std::string& cmd) { writeRaw(cmd + "\r"); }

    // Reads until exactly `count` bytes are in or the time is up; bytes beyond
    // `count` stay in the line for the next read.
    std::string readCount(size_t count, int timeoutMs = kGenerousMs) {
        std::string got;
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count) {
            int left = msLeft(deadline);
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, left) <= 0) continue;
            if (p.revents & (POLLHUP | POLLERR)) break;
            char buf[256];
            ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - got.size()));
            if (n > 0) got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }

    // Everything that arrives within `ms`.
    std::string readFor(int ms) {
        std::string got;
        auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        for (int left; (left = msLeft(deadline)) > 0;) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, left) <= 0) continue;
            if (p.revents & (POLLHUP | POLLERR)) break;
            char buf[256];
            ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0) got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }

    std::string ask(const std::string& cmd, size_t replyLen) {
        send(cmd);
        return readCount(replyLen);
    }

    // True once the far end has gone (hang-up seen by poll, or EIO on read).
    bool seesHangUp(int timeoutMs) {
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (int left; (left = msLeft(deadline)) > 0;) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, left) <= 0) continue;
            if (p.revents & (POLLHUP | POLLERR)) return true;
            char buf[64];
            ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n == 0 || (n < 0 && errno == EIO)) return true;
        }
        return false;
    }

private:
    static int msLeft(Clock::time_point deadline) {
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    }
    int fd_ = -1;
};

bool waitFor(const std::function<bool()>& cond, int timeoutMs = kGenerousMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!cond()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Sends one command and returns its reply exactly, whatever its length (junk
// included): the simulator says what it wrote, the line must carry just that.
std::string transact(ProbeSim& sim, HostPort& port, const std::string& cmd) {
    int before = sim.repliesSent();
    port.send(cmd);
    if (!waitFor([&] { return sim.repliesSent() > before; })) return {};
    std::string expected = sim.lastReply();
    std::string got = port.readCount(expected.size());
    return got == expected ? got : "<mismatch: " + got + ">";
}

std::unique_ptr<ProbeSim> startSim(Options opt) {
    auto sim = std::make_unique<ProbeSim>(std::move(opt));
    EXPECT_TRUE(sim->start()) << sim->lastError();
    return sim;
}

// A private folder for symlinks, removed afterwards.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/probe-sim-test-XXXXXX";
        if (::mkdtemp(tmpl)) path_ = tmpl;
    }
    ~TempDir() {
        if (path_.empty()) return;
        if (DIR* d = ::opendir(path_.c_str())) {
            while (dirent* e = ::readdir(d)) {
                std::string name = e->d_name;
                if (name != "." && name != "..") ::unlink(file(name).c_str());
            }
            ::closedir(d);
        }
        ::rmdir(path_.c_str());
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string linkTarget(const std::string& path) {
    char buf[256];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    return n < 0 ? std::string() : std::string(buf, static_cast<size_t>(n));
}

// ---------------------------------------------------------------------------
// The line: framing, raw mode, exactly one reply per command.

TEST(ProbeSimLine, FramingAcceptsCrOrLfAndIgnoresEmptyLines) {
    auto sim = startSim(fixedOptions('E'));
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());

    port.writeRaw("KR\n");
    EXPECT_EQ(port.readCount(3), "@KR");
    port.writeRaw("\r\n\r\nKR\r\n\n");
    EXPECT_EQ(port.readCount(3), "@KR");
    // A command split over two writes, then two commands in one write.
    port.writeRaw("R");
    EXPECT_EQ(port.readFor(30), "");
    port.writeRaw("D\r");
    EXPECT_TRUE(looksLikeReading(port.readCount(17)));
    port.writeRaw("KR\rEH\r");
    EXPECT_EQ(port.readCount(6), "@KR@EH");
    EXPECT_EQ(port.readFor(50), "");
    EXPECT_EQ(sim->commandsReceived(), (std::vector<std::string>{"KR", "KR", "RD", "KR", "EH"}));
    EXPECT_EQ(sim->commandCount(), 5);
}

TEST(ProbeSimLine, OverlongLineIsStillOneCommand) {
    auto sim = startSim(fixedOptions('E'));
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());

    // Longer than the simulator reads at once and than it keeps of a line: one
    // unknown command, one reply, and the next line is framed as usual.
    port.writeRaw(std::string(3000, 'R') + "\rKR\r");
    EXPECT_EQ(port.readCount(6), "@??@KR");
    EXPECT_EQ(port.readFor(50), "") << "one reply for the whole line";
    const auto cmds = sim->commandsReceived();
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_LT(cmds[0].size(), 3000u) << "a line is kept to a bounded length";
    EXPECT_EQ(cmds[0].find_first_not_of('R'), std::string::npos);
    EXPECT_EQ(cmds[1], "KR");

    // A long line that ends in a real command is not that command.
    port.send(std::string(100, ' ') + "RD");
    EXPECT_EQ(port.readCount(3), "@??");
    EXPECT_TRUE(looksLikeReading(port.ask("RD", 17)));
}

TEST(ProbeSimLine, SlaveIsRawBeforeTheHostConfiguresIt) {
    auto sim = startSim(fixedOptions('E'));
    HostPort port(sim->devicePath(), /*makeRaw=*/false);
    ASSERT_TRUE(port.isOpen());
    termios tio{};
    ASSERT_EQ(::tcgetattr(port.fd(), &tio), 0);
    EXPECT_FALSE(tio.c_lflag & ECHO) << "the host's command would come back as reply";
    EXPECT_FALSE(tio.c_lflag & ICANON);
    EXPECT_FALSE(tio.c_iflag & ICRNL) << "CR must reach the host as CR";
    EXPECT_FALSE(tio.c_oflag & OPOST);
    // And the line really behaves raw: the reply is the 17 bytes, no echo before it.
    port.send("RD");
    EXPECT_TRUE(looksLikeReading(port.readCount(17)));
}

TEST(ProbeSimLine, EachCommandGetsTheCoresReplyAndNothingMore) {
    const Options opt = fixedOptions('E');
    auto sim = startSim(opt);
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());
    ProbeCore twin(opt);  // the same probe without a line

    // Unknown text too, including the right letters in the wrong case.
    const std::vector<std::string> cmds = {"RD", "KR", "CL", "DD", "MX",  "PR",
                                           "SP", "LG", "XY", "rd", "RDX", "AutoScale",
                                           "SC", "EH", "BT", "NS", "RD"};
    for (const auto& cmd : cmds) {
        const std::string expected = joined(twin.handle(cmd, 0));
        EXPECT_EQ(port.ask(cmd, expected.size()), expected) << cmd;
    }
    // No terminator follows a reply.
    EXPECT_EQ(port.readFor(50), "") << "one reply per command";
    EXPECT_EQ(sim->commandsReceived(), cmds);
    EXPECT_EQ(sim->readingsSent().size(), 2u);
    const auto st = sim->stats();
    EXPECT_EQ(st.commands, 17);
    EXPECT_EQ(st.replies, 17);
    EXPECT_EQ(st.readings, 2);
    EXPECT_EQ(st.garbage + st.late + st.silenced, 0);
}

// ---------------------------------------------------------------------------
// History and stats.

TEST(ProbeSimHistory, ReadingsLogMatchesTheLine) {
    Options opt;
    opt.seed = 42;
    opt.excursionRate = 0.05;  // over/under spells among them
    auto sim = startSim(opt);
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());
    ProbeCore twin(opt);

    std::vector<std::string> received, decided;
    for (int i = 0; i < 400; ++i) {
        std::string r = port.ask("RD", 17);
        ASSERT_TRUE(looksLikeReading(r)) << "reading " << i << ": " << r;
        received.push_back(r);
        decided.push_back(joined(twin.handle("RD", 0)));
    }
    EXPECT_EQ(received, decided) << "the line carries the core's readings unchanged";
    EXPECT_EQ(sim->readingsSent(), received);
    EXPECT_EQ(sim->commandsReceived(), std::vector<std::string>(400, "RD"));
    EXPECT_EQ(sim->stats().readings, 400);
}

TEST(ProbeSimHistory, ClearedOrUnkeptHistoryLeavesTheCounts) {
    auto sim = startSim(fixedOptions('E'));
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());
    EXPECT_TRUE(looksLikeReading(port.ask("RD", 17)));
    EXPECT_EQ(port.ask("KR", 3), "@KR");
    sim->clearHistory();
    EXPECT_TRUE(sim->commandsReceived().empty());
    EXPECT_TRUE(sim->readingsSent().empty());
    const std::string r = port.ask("RD", 17);
    EXPECT_EQ(sim->commandsReceived(), std::vector<std::string>{"RD"});
    EXPECT_EQ(sim->readingsSent(), std::vector<std::string>{r});
    EXPECT_EQ(sim->commandCount(), 3);
    EXPECT_EQ(sim->repliesSent(), 3);
    EXPECT_EQ(sim->stats().readings, 2);

    // A long run keeps no history at all, only the counts.
    Options opt = fixedOptions('E');
    opt.keepHistory = false;
    auto quiet = startSim(opt);
    HostPort port2(quiet->devicePath());
    ASSERT_TRUE(port2.isOpen());
    EXPECT_TRUE(looksLikeReading(port2.ask("RD", 17)));
    EXPECT_EQ(port2.ask("KR", 3), "@KR");
    EXPECT_TRUE(quiet->commandsReceived().empty());
    EXPECT_TRUE(quiet->readingsSent().empty());
    EXPECT_EQ(quiet->commandCount(), 2);
    EXPECT_EQ(quiet->stats().readings, 1);
    EXPECT_EQ(quiet->lastReply(), "@KR");
}

// ---------------------------------------------------------------------------
// Probe memory upload: the two parts of an NX reply on the wire.

TEST(ProbeSimUpload, StoredReadingFollowsTheRecordNumberAfterTheDelay) {
    Options opt = fixedOptions('E');  // default 500 ms between the parts
    auto sim = startSim(opt);
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());
    EXPECT_EQ(port.ask("SP", 3), "@SP");
    port.send("NX");
    EXPECT_EQ(port.readCount(7, 300), "@LG0001") << "record number within the host's first wait";
    EXPECT_EQ(port.readFor(150), "") << "the reading is a separate, later part";
    EXPECT_EQ(port.readCount(16), sim->storedReadings().at(0));
}

// ---------------------------------------------------------------------------
// Faults as they reach the line.

TEST(ProbeSimFaults, SilentProbeRecordsButDoesNotAnswer) {
    auto sim = startSim(fixedOptions('E'));
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());
    sim->setSilent(true);
    port.send("RD");
    port.send("SC");
    EXPECT_EQ(port.readFor(300), "");
    ASSERT_TRUE(waitFor([&] { return sim->commandCount() == 2; }));
    EXPECT_EQ(sim->commandsReceived(), (std::vector<std::string>{"RD", "SC"}));
    EXPECT_EQ(sim->stats().silenced, 2);

    sim->setSilent(false);
    EXPECT_TRUE(looksLikeReading(port.ask("RD", 17)));
    EXPECT_EQ(sim->repliesSent(), 1);
}

TEST(ProbeSimFaults, GarbageGoesOutByteForByte) {
    auto sim = startSim(fixedOptions('E'));
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());

    const int n = 200;
    sim->garbageNext(n);
    bool sawControl = false;
    for (int i = 0; i < n; ++i) {
        std::string junk = transact(*sim, port, "RD");
        ASSERT_FALSE(junk.empty()) << "junk reply " << i;
        ASSERT_EQ(junk.find("<mismatch"), std::string::npos) << junk;
        sawControl |= std::any_of(junk.begin(), junk.end(), [](char c) {
            auto u = static_cast<unsigned char>(c);
            return u < 0x20 || u >= 0x7f;
        });
    }
    EXPECT_TRUE(sawControl) << "control and 8-bit bytes cross the line unchanged";
    EXPECT_EQ(sim->stats().garbage, n);
    EXPECT_TRUE(sim->readingsSent().empty()) << "junk is not logged as a reading";

    EXPECT_TRUE(looksLikeReading(port.ask("RD", 17))) << "back to normal after n";
    EXPECT_EQ(sim->readingsSent().size(), 1u);
}

TEST(ProbeSimFaults, LateReplyMissesTheHostsWaitAndKeepsItsPlace) {
    auto sim = startSim(fixedOptions('E'));
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());

    sim->lateNext(1, 600);
    port.send("RD");
    EXPECT_EQ(port.readFor(300), "") << "nothing within the host's 300 ms";
    EXPECT_TRUE(looksLikeReading(port.readCount(17)));
    EXPECT_TRUE(looksLikeReading(port.ask("RD", 17))) << "only the next n are late";

    // The probe answers in order: a prompt reply waits behind a late one.
    sim->lateNext(1, 200);
    port.send("RD");
    port.send("KR");
    std::string both = port.readCount(20);
    EXPECT_TRUE(looksLikeReading(both.substr(0, 17))) << both;
    EXPECT_EQ(both.substr(17), "@KR");
    EXPECT_EQ(sim->stats().late, 2);
}

TEST(ProbeSimFaults, SeededFaultsReachTheLineAsTheCoreDecides) {
    Options opt = fixedOptions('E');
    opt.seed = 5;
    opt.faults.silentRate = 0.1;
    opt.faults.silentLen = 3;
    opt.faults.garbageRate = 0.2;

    // '.' swallowed, 'g' junk, 'r' a reading, as the probe itself decides.
    ProbeCore twin(opt);
    std::string decided;
    for (int i = 0; i < 80; ++i) {
        const probesim::Response r = twin.handle("RD", 0);
        decided += r.parts.empty() ? '.' : r.junk ? 'g' : 'r';
    }
    ASSERT_NE(decided.find('.'), std::string::npos);
    ASSERT_NE(decided.find('g'), std::string::npos);

    auto sim = startSim(opt);
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());
    std::string pattern;
    for (int i = 0; i < 80; ++i) {
        int silencedBefore = sim->stats().silenced;
        int repliesBefore = sim->repliesSent();
        port.send("RD");
        waitFor([&] {
            return sim->stats().silenced > silencedBefore || sim->repliesSent() > repliesBefore;
        });
        if (sim->stats().silenced > silencedBefore) {
            pattern += '.';
            continue;
        }
        std::string r = port.readCount(sim->lastReply().size());
        pattern += looksLikeReading(r) ? 'r' : 'g';
    }
    EXPECT_EQ(pattern, decided);
    EXPECT_EQ(port.readFor(50), "") << "no reply for a silenced command turns up later";
}

// ---------------------------------------------------------------------------
// Hang-up and reconnect through the symlink.

TEST(ProbeSimLink, HangUpAndReconnectKeepTheNameAndTheProbeState) {
    TempDir dir;
    Options opt = fixedOptions('E');
    opt.linkPath = dir.file("qm8204");
    auto sim = startSim(opt);
    EXPECT_EQ(sim->devicePath(), opt.linkPath);
    EXPECT_EQ(linkTarget(opt.linkPath), sim->slavePath());

    auto port = std::make_unique<HostPort>(opt.linkPath);
    ASSERT_TRUE(port->isOpen());
    EXPECT_EQ(port->ask("SC", 3), "@SC");
    EXPECT_EQ(port->ask("SC", 3), "@SC");
    EXPECT_EQ(port->ask("EH", 3), "@EH");
    EXPECT_EQ(port->ask("SP", 3), "@SP");
    EXPECT_EQ(port->ask("NX", 7), "@LG0001");

    sim->hangUp();
    EXPECT_FALSE(sim->isConnected());
    EXPECT_TRUE(port->seesHangUp(kGenerousMs));
    EXPECT_FALSE(exists(opt.linkPath)) << "the device name goes with the device";
    port.reset();

    ASSERT_TRUE(sim->reconnect()) << sim->lastError();
    EXPECT_TRUE(sim->isConnected());
    EXPECT_EQ(linkTarget(opt.linkPath), sim->slavePath());
    HostPort again(opt.linkPath);
    ASSERT_TRUE(again.isOpen());
    Reading f;
    ASSERT_TRUE(cutReading(again.ask("RD", 17), f));
    EXPECT_EQ(f.range, 2);
    EXPECT_EQ(f.units, 'V');
    // Reconnect does not restart an upload either.
    again.send("NX");
    EXPECT_EQ(again.readCount(7), "@LG0002");

    const auto st = sim->stats();
    EXPECT_EQ(st.hangUps, 1);
    EXPECT_EQ(st.reconnects, 1);
    sim->stop();
    EXPECT_FALSE(exists(opt.linkPath)) << "stop removes the link";
}

TEST(ProbeSimLink, ScheduledHangUpReconnectsOnItsOwn) {
    TempDir dir;
    Options opt = fixedOptions('V');
    opt.linkPath = dir.file("probe");
    opt.faults.hangupAfter = 3;
    opt.faults.reconnectMs = 100;
    auto sim = startSim(opt);

    for (int cycle = 1; cycle <= 2; ++cycle) {
        ASSERT_TRUE(waitFor([&] { return exists(opt.linkPath); })) << "cycle " << cycle;
        HostPort port(opt.linkPath);
        ASSERT_TRUE(port.isOpen());
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(looksLikeReading(port.ask("RD", 17)))
                << "cycle " << cycle << " reading " << i;
        // The line is about to drop: a fourth command goes unanswered.
        port.send("RD");
        EXPECT_EQ(port.readFor(150), "") << "cycle " << cycle;
        EXPECT_TRUE(port.seesHangUp(kGenerousMs)) << "cycle " << cycle;
        EXPECT_EQ(sim->stats().hangUps, cycle);
    }
    ASSERT_TRUE(waitFor([&] { return sim->isConnected() && exists(opt.linkPath); }));
    EXPECT_EQ(sim->stats().reconnects, 2);
}

TEST(ProbeSimLink, ReplacesAStaleLinkButNeverAFile) {
    TempDir dir;
    Options opt = fixedOptions('E');
    opt.linkPath = dir.file("stale");
    ASSERT_EQ(::symlink("/dev/pts/does-not-exist", opt.linkPath.c_str()), 0);
    {
        auto sim = startSim(opt);
        EXPECT_EQ(linkTarget(opt.linkPath), sim->slavePath());
    }
    EXPECT_FALSE(exists(opt.linkPath)) << "destructor cleans up";

    opt.linkPath = dir.file("plain-file");
    int fd = ::open(opt.linkPath.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ProbeSim sim(opt);
    EXPECT_FALSE(sim.start());
    EXPECT_FALSE(sim.lastError().empty());
    struct stat st {};
    ASSERT_EQ(::lstat(opt.linkPath.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << "an ordinary file is left alone";
}

// ---------------------------------------------------------------------------
// Other threads.

TEST(ProbeSimThreads, ControlsAndQueriesWhileTheHostTalks) {
    Options opt;
    opt.seed = 8;
    auto sim = startSim(opt);
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());

    // One thread turns the knobs, one watches; the worker serves the host meanwhile.
    std::atomic<bool> done{false};
    std::thread knobs([&] {
        for (int i = 0; !done; ++i) {
            sim->setValue(100 + i % 1800);
            sim->setRange(i % 5);
            sim->setUnits("GVTA"[i % 4]);
            sim->setAuto(i % 7 == 0);
            sim->setBattery(650 + i % 250);
            sim->setNxDelay(i % 50);
            sim->setStoredCount(i % 30);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    std::thread watcher([&] {
        size_t seen = 0;
        while (!done) {
            seen += sim->readingsSent().size() + sim->commandsReceived().size() +
                    sim->storedReadings().size() + sim->lastReply().size() +
                    static_cast<size_t>(sim->stats().commands + sim->range() + sim->units() +
                                        sim->isAuto() + sim->isConnected());
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        EXPECT_GT(seen, 0u);
    });
    const int n = 300;
    for (int i = 0; i < n; ++i) {
        std::string r = port.ask("RD", 17);
        EXPECT_TRUE(looksLikeReading(r)) << "reading " << i << ": " << r;
    }
    done = true;
    knobs.join();
    watcher.join();
    EXPECT_EQ(sim->commandCount(), n);
    EXPECT_EQ(sim->readingsSent().size(), static_cast<size_t>(n));
    EXPECT_EQ(sim->stats().readings, n);
}

}  // namespace
