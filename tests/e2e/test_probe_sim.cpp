// The probe simulator, driven from the host side of its pty with plain POSIX
// calls: reply layouts, range/units stepping, memory upload, and the faults the
// end-to-end tests rely on (silence, junk, late replies, hang-up + reconnect).
#include "probe_sim.h"

#include <gtest/gtest.h>

#include <algorithm>
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

namespace {

using probesim::Options;
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

bool allDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

int maxRangeOf(char model) { return model == 'V' ? 2 : 4; }

std::string unitsCycleOf(char model) { return model == 'V' ? "VAGT" : "GVTA"; }

struct Reading {
    int raw = -1;
    char model = 0;
    int range = -1;
    char units = 0;
    char state = 0;
    char mode = 0;
    int percent = -1;
    char battery = 0;
};

// Cuts a 17-char "@RD" reply by position (1-based positions in the comments).
::testing::AssertionResult cutReading(const std::string& r, Reading& out) {
    if (r.size() != 17)
        return ::testing::AssertionFailure() << "length " << r.size() << " in \"" << r << "\"";
    if (r.compare(0, 3, "@RD") != 0)  // 1..3
        return ::testing::AssertionFailure() << "no @RD in \"" << r << "\"";
    if (!allDigits(r.substr(3, 4)) || !std::isdigit(static_cast<unsigned char>(r[8])) ||
        !allDigits(r.substr(14, 2)))  // 4..7, 9, 15..16
        return ::testing::AssertionFailure() << "digit field in \"" << r << "\"";
    if (r[10] != ' ' || r[13] != ' ')  // 11, 14
        return ::testing::AssertionFailure() << "separator in \"" << r << "\"";
    out.raw = std::atoi(r.substr(3, 4).c_str());
    out.model = r[7];
    out.range = r[8] - '0';
    out.units = r[9];
    out.state = r[11];
    out.mode = r[12];
    out.percent = std::atoi(r.substr(14, 2).c_str());
    out.battery = r[16];
    if (std::string("EV").find(out.model) == std::string::npos ||
        out.range > maxRangeOf(out.model) ||
        unitsCycleOf(out.model).find(out.units) == std::string::npos ||
        std::string("UON").find(out.state) == std::string::npos ||
        (out.mode != 'A' && out.mode != 'M') || out.percent > 20 ||
        (out.battery != 'L' && out.battery != '-'))
        return ::testing::AssertionFailure() << "field value in \"" << r << "\"";
    return ::testing::AssertionSuccess();
}

bool looksLikeReading(const std::string& r) {
    Reading ignored;
    return static_cast<bool>(cutReading(r, ignored));
}

// Cuts a 16-char stored reading (second part of an NX reply).
::testing::AssertionResult checkStored(const std::string& s, char model) {
    bool ok = s.size() == 16 && s.compare(0, 2, "NX") == 0 &&
              allDigits(s.substr(2, 4)) &&                                      // 1..2, 3..6
              s[6] == ' ' && std::isdigit(static_cast<unsigned char>(s[7])) &&  // 7, 8
              s[7] - '0' <= maxRangeOf(model) &&
              unitsCycleOf(model).find(s[8]) != std::string::npos && s[9] == ' ' &&   // 9, 10
              std::string("UON").find(s[10]) != std::string::npos && s[11] == ' ' &&  // 11, 12
              (s[12] == 'A' || s[12] == 'M') && allDigits(s.substr(13, 2)) &&         // 13, 14..15
              std::atoi(s.substr(13, 2).c_str()) <= 20 && s[15] == model;             // 16
    return ok ? ::testing::AssertionSuccess()
              : ::testing::AssertionFailure() << "bad stored \"" << s << "\"";
}

std::unique_ptr<ProbeSim> startSim(Options opt) {
    auto sim = std::make_unique<ProbeSim>(std::move(opt));
    EXPECT_TRUE(sim->start()) << sim->lastError();
    return sim;
}

Options fixedOptions(char model) {
    Options o;
    o.model = model;
    o.fixedValue = true;
    return o;
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
// Per model: the reading reply and the range/units cycles.

class ProbeSimModel : public ::testing::TestWithParam<char> {};

TEST_P(ProbeSimModel, ReadingReplyPutsEveryFieldAtItsPosition) {
    const char model = GetParam();
    auto sim = startSim(fixedOptions(model));
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());
    const std::string m(1, model);
    const std::string u(1, unitsCycleOf(model)[0]);

    sim->setValue(1500, 'N');
    EXPECT_EQ(port.ask("RD", 17), "@RD1500" + m + "0" + u + " NM 15-");

    sim->setValue(1999, 'O');
    EXPECT_EQ(port.ask("RD", 17), "@RD1999" + m + "0" + u + " OM 20-");

    sim->setValue(5, 'U');
    EXPECT_EQ(port.ask("RD", 17), "@RD0005" + m + "0" + u + " UM 00-");

    // Auto-range on the highest range; a low battery raises the flag at 17.
    sim->setValue(735, 'N');
    const int top = maxRangeOf(model);
    EXPECT_FALSE(sim->setRange(top + 1));
    ASSERT_TRUE(sim->setRange(top));
    sim->setAuto(true);
    sim->setBattery(690);
    EXPECT_EQ(port.ask("RD", 17), "@RD0735" + m + std::to_string(top) + u + " NA 07L");

    // No terminator: nothing follows the 17 characters.
    EXPECT_EQ(port.readFor(50), "");
    EXPECT_EQ(sim->readingsSent().size(), 4u);
}

TEST_P(ProbeSimModel, DriftingReadingsStayWellFormedAndMatchTheLog) {
    const char model = GetParam();
    Options opt;
    opt.model = model;
    opt.seed = 42;
    opt.excursionRate = 0.05;  // make a few over/under spells show up
    auto sim = startSim(opt);
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());

    std::vector<std::string> received;
    int normal = 0;
    for (int i = 0; i < 400; ++i) {
        if (i == 200) sim->setAuto(true);
        std::string r = port.ask("RD", 17);
        Reading f;
        ASSERT_TRUE(cutReading(r, f)) << "reading " << i;
        EXPECT_EQ(f.model, model);
        EXPECT_EQ(f.mode, i < 200 ? 'M' : 'A');
        if (i < 200) {
            EXPECT_EQ(f.range, 0) << "manual range must not move by itself";
        }
        EXPECT_LE(f.raw, 1999);
        if (f.state == 'N') {
            ++normal;
            EXPECT_LE(std::abs(f.percent * 100 - f.raw), 50) << r;  // percent follows the value
        }
        received.push_back(r);
    }
    EXPECT_GT(normal, 300) << "mostly in range";
    EXPECT_LT(normal, 400) << "some over/under spells at this rate";
    EXPECT_EQ(sim->readingsSent(), received);
    EXPECT_EQ(sim->commandsReceived(), std::vector<std::string>(400, "RD"));
}

TEST_P(ProbeSimModel, RangeStepsUpThroughAutoAndBackToZero) {
    const char model = GetParam();
    auto sim = startSim(fixedOptions(model));
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());
    const int top = maxRangeOf(model);

    // (range, mode) after each SC, starting from manual 0.
    std::vector<std::pair<int, char>> expected;
    for (int r = 1; r <= top; ++r) expected.emplace_back(r, 'M');
    expected.emplace_back(top, 'A');  // fixed value: auto keeps the range it had
    expected.emplace_back(0, 'M');
    expected.emplace_back(1, 'M');

    Reading f;
    ASSERT_TRUE(cutReading(port.ask("RD", 17), f));
    EXPECT_EQ(f.range, 0);
    EXPECT_EQ(f.mode, 'M');
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(port.ask("SC", 3), "@SC");
        EXPECT_EQ(port.ask("KR", 3), "@KR");
        ASSERT_TRUE(cutReading(port.ask("RD", 17), f));
        EXPECT_EQ(f.range, expected[i].first) << "after SC #" << i + 1;
        EXPECT_EQ(f.mode, expected[i].second) << "after SC #" << i + 1;
        EXPECT_EQ(sim->range(), expected[i].first);
        EXPECT_EQ(sim->isAuto(), expected[i].second == 'A');
    }
}

TEST_P(ProbeSimModel, AutoRangePicksTheRangeThatFitsTheField) {
    const char model = GetParam();
    Options opt;
    opt.model = model;
    opt.excursionRate = 0.0;
    auto sim = startSim(opt);
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());
    const int top = maxRangeOf(model);

    // 1200 counts on range 1 is a field that fits range 1, not range 0.
    ASSERT_TRUE(sim->setRange(1));
    sim->setValue(1200);
    ASSERT_TRUE(sim->setRange(top));
    EXPECT_EQ(port.ask("SC", 3), "@SC");
    Reading f;
    ASSERT_TRUE(cutReading(port.ask("RD", 17), f));
    EXPECT_EQ(f.mode, 'A');
    EXPECT_EQ(f.range, 1);
    EXPECT_NEAR(f.raw, 1200, 100);  // one drift step away

    // A weak field on a high manual range: auto drops to range 0.
    ASSERT_TRUE(sim->setRange(0));
    sim->setValue(150);
    sim->setAuto(false);
    ASSERT_TRUE(sim->setRange(top));
    EXPECT_EQ(port.ask("SC", 3), "@SC");
    ASSERT_TRUE(cutReading(port.ask("RD", 17), f));
    EXPECT_EQ(f.mode, 'A');
    EXPECT_EQ(f.range, 0);
}

TEST_P(ProbeSimModel, UnitsStepThroughTheModelsCycle) {
    const char model = GetParam();
    auto sim = startSim(fixedOptions(model));
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());
    const std::string cycle = unitsCycleOf(model);  // E: G V T A, V: V A G T

    for (int i = 0; i <= 4; ++i) {
        Reading f;
        ASSERT_TRUE(cutReading(port.ask("RD", 17), f));
        EXPECT_EQ(f.units, cycle[i % 4]) << "after " << i << " EH";
        EXPECT_EQ(sim->units(), cycle[i % 4]);
        EXPECT_EQ(port.ask("EH", 3), "@EH");
        EXPECT_EQ(port.ask("KR", 3), "@KR");
    }
    EXPECT_FALSE(sim->setUnits('X'));
    EXPECT_TRUE(sim->setUnits(cycle[2]));
    Reading f;
    ASSERT_TRUE(cutReading(port.ask("RD", 17), f));
    EXPECT_EQ(f.units, cycle[2]);
}

TEST_P(ProbeSimModel, StoredReadingsHaveTheNxLayout) {
    const char model = GetParam();
    Options opt;
    opt.model = model;
    opt.storedCount = 300;
    ProbeSim sim(opt);  // memory exists before start
    auto stored = sim.storedReadings();
    ASSERT_EQ(stored.size(), 300u);
    int normal = 0;
    for (const auto& s : stored) {
        EXPECT_TRUE(checkStored(s, model));
        normal += s[10] == 'N';
    }
    EXPECT_GT(normal, 250);
}

INSTANTIATE_TEST_SUITE_P(BothModels, ProbeSimModel, ::testing::Values('E', 'V'),
                         [](const ::testing::TestParamInfo<char>& info) {
                             return std::string(info.param == 'E' ? "QM8204" : "QM8203");
                         });

// ---------------------------------------------------------------------------
// Battery, acknowledgements, command framing.

TEST(ProbeSimCommands, BatteryReplyCarriesHundredthsOfAVolt) {
    auto sim = startSim(fixedOptions('E'));
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());
    sim->setBattery(895);
    EXPECT_EQ(port.ask("BT", 7), "@BT0895");
    EXPECT_EQ(port.ask("KR", 3), "@KR");

    // Drifting: starts near 9 V and never climbs.
    Options opt;
    opt.seed = 3;
    auto drifting = startSim(opt);
    HostPort port2(drifting->devicePath());
    int previous = 10000;
    for (int i = 0; i < 30; ++i) {
        std::string r = port2.ask("BT", 7);
        ASSERT_EQ(r.size(), 7u);
        ASSERT_EQ(r.substr(0, 3), "@BT");
        ASSERT_TRUE(allDigits(r.substr(3))) << r;
        int v = std::atoi(r.substr(3).c_str());
        if (i == 0) {
            EXPECT_GE(v, 880);
        }
        EXPECT_LE(v, 900);
        EXPECT_GE(v, 650);
        EXPECT_LE(v, previous);
        previous = v;
    }
}

TEST(ProbeSimCommands, ShortCommandsGetTheirAcknowledgement) {
    auto sim = startSim(fixedOptions('E'));
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());
    for (const char* cmd : {"KR", "CL", "DD", "MX", "PR", "SP"})
        EXPECT_EQ(port.ask(cmd, 3), std::string("@") + cmd);
    EXPECT_EQ(port.ask("LG", 7), "@LG0000");
    // Unknown text, including the right letters in the wrong case.
    for (const char* cmd : {"XY", "rd", "RDX", "AutoScale"})
        EXPECT_EQ(port.ask(cmd, 3), "@??") << cmd;
    EXPECT_EQ(port.readFor(50), "") << "one reply per command";
    EXPECT_EQ(sim->commandsReceived(),
              (std::vector<std::string>{"KR", "CL", "DD", "MX", "PR", "SP", "LG", "XY", "rd", "RDX",
                                        "AutoScale"}));
}

TEST(ProbeSimCommands, FramingAcceptsCrOrLfAndIgnoresEmptyLines) {
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

TEST(ProbeSimCommands, SlaveIsRawBeforeTheHostConfiguresIt) {
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

// ---------------------------------------------------------------------------
// Probe memory upload: NS, SP, NX.

TEST(ProbeSimUpload, SequenceDeliversEveryRecordThenRepeatsTheLast) {
    Options opt = fixedOptions('V');
    opt.storedCount = 5;
    opt.seed = 7;
    opt.nxDelayMs = 150;  // room to read the first part alone on a busy machine
    auto sim = startSim(opt);
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());
    const auto stored = sim->storedReadings();
    ASSERT_EQ(stored.size(), 5u);

    EXPECT_EQ(port.ask("NS", 7), "@NS0005");
    EXPECT_EQ(port.ask("SP", 3), "@SP");
    for (int k = 1; k <= 5; ++k) {
        port.send("NX");
        EXPECT_EQ(port.readCount(7), "@LG000" + std::to_string(k));
        EXPECT_EQ(port.readCount(16), stored[k - 1]);
        EXPECT_EQ(port.ask("KR", 3), "@KR");
    }
    port.send("NX");
    EXPECT_EQ(port.readCount(7 + 16), "@LG0005" + stored[4]) << "past the end: last record again";

    // SP starts over.
    EXPECT_EQ(port.ask("SP", 3), "@SP");
    port.send("NX");
    EXPECT_EQ(port.readCount(7 + 16), "@LG0001" + stored[0]);
}

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

TEST(ProbeSimUpload, MemoryIsFixedBySeedAndCount) {
    Options a;
    a.seed = 11;
    a.storedCount = 8;
    Options b = a;
    b.seed = 12;
    ProbeSim simA(a), simA2(a), simB(b);
    EXPECT_EQ(simA.storedReadings(), simA2.storedReadings());
    EXPECT_NE(simA.storedReadings(), simB.storedReadings());

    // More memory keeps the first readings; none empties it.
    auto first8 = simA.storedReadings();
    simA.setStoredCount(20);
    auto first20 = simA.storedReadings();
    ASSERT_EQ(first20.size(), 20u);
    EXPECT_TRUE(std::equal(first8.begin(), first8.end(), first20.begin()));

    ASSERT_TRUE(simA.start()) << simA.lastError();
    HostPort port(simA.devicePath());
    EXPECT_EQ(port.ask("NS", 7), "@NS0020");
    simA.setStoredCount(0);
    EXPECT_EQ(port.ask("NS", 7), "@NS0000");
    EXPECT_EQ(port.ask("NX", 7), "@LG0000");
    EXPECT_EQ(port.readFor(100), "") << "nothing stored, nothing follows";
}

// ---------------------------------------------------------------------------
// Faults.

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
    EXPECT_EQ(sim->range(), 0) << "a swallowed SC does not step the range";

    sim->setSilent(false);
    EXPECT_TRUE(looksLikeReading(port.ask("RD", 17)));
    EXPECT_EQ(sim->repliesSent(), 1);
}

TEST(ProbeSimFaults, GarbageRepliesAreNeverValidReadings) {
    auto sim = startSim(fixedOptions('E'));
    HostPort port(sim->devicePath());
    ASSERT_TRUE(port.isOpen());

    const int n = 200;
    sim->garbageNext(n);
    bool sawFakeRd = false;
    bool sawControl = false;
    size_t shortest = 99, longest = 0;
    for (int i = 0; i < n; ++i) {
        std::string junk = transact(*sim, port, "RD");
        ASSERT_FALSE(junk.empty()) << "junk reply " << i;
        ASSERT_EQ(junk.find("<mismatch"), std::string::npos) << junk;
        EXPECT_FALSE(looksLikeReading(junk)) << junk;
        EXPECT_FALSE(junk.size() >= 16 && junk.compare(0, 2, "NX") == 0) << junk;
        shortest = std::min(shortest, junk.size());
        longest = std::max(longest, junk.size());
        if (junk.compare(0, 3, "@RD") == 0) {
            sawFakeRd = true;
            EXPECT_FALSE(allDigits(junk.substr(3, 4)))
                << "fake reading with a real value field: " << junk;
        }
        sawControl |= std::any_of(junk.begin(), junk.end(), [](char c) {
            auto u = static_cast<unsigned char>(c);
            return u < 0x20 || u >= 0x7f;
        });
    }
    EXPECT_GE(shortest, 1u);
    EXPECT_LE(longest, 40u);
    EXPECT_TRUE(sawFakeRd);
    EXPECT_TRUE(sawControl);
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

TEST(ProbeSimFaults, SeededScheduleRepeatsForTheSameSeed) {
    auto outcomes = [](std::uint32_t seed) {
        Options opt = fixedOptions('E');
        opt.seed = seed;
        opt.faults.silentRate = 0.1;
        opt.faults.silentLen = 3;
        opt.faults.garbageRate = 0.2;
        auto sim = startSim(opt);
        HostPort port(sim->devicePath());
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
        EXPECT_EQ(port.readFor(50), "") << "no reply for a silenced command turns up later";
        return pattern;
    };
    const std::string a = outcomes(5);
    EXPECT_EQ(a, outcomes(5));
    EXPECT_NE(a, outcomes(6));
    EXPECT_NE(a.find('.'), std::string::npos);
    EXPECT_NE(a.find('g'), std::string::npos);
    EXPECT_GT(std::count(a.begin(), a.end(), 'r'), 30);
    // Silence comes in runs of (at least) silentLen commands.
    for (size_t i = 0; i < a.size();) {
        size_t j = a.find_first_not_of('.', i);
        if (j == std::string::npos) break;
        if (j > i) {
            EXPECT_GE(j - i, 3u) << a;
        }
        i = j + 1;
    }
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

}  // namespace
