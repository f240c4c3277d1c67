// The gpsd client against a real gpsd fed by gpsfake (Debian gpsd-clients)
// from the NMEA logs in tests/data/nmea: a fix, no fix, a fix that is lost,
// and gpsd stopped and started again.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <iostream>

#include "gpsd/gpsd_client.h"
#include "support/fake_gpsd.h"

namespace fenwyd::testing {
namespace {

constexpr double kLat = 52.2053, kLon = -1.51, kAltMsl = 61.7, kGeoid = 47.2;
constexpr int64_t kLogStart = 1712404800000, kLogEnd = kLogStart + 80000;  // the logs' 80 s

// Runs the event loop until done() or the time runs out; false on time-out.
bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// A client with everything it said.
struct Watch {
    GpsdClient client;
    std::vector<GpsState> states;
    std::vector<Position> fixes;
    QStringList problems;
    Watch() {
        QObject::connect(&client, &GpsdClient::stateChanged,
                         [this](GpsState s) { states.push_back(s); });
        QObject::connect(&client, &GpsdClient::positionReported,
                         [this](const Position& p) { fixes.push_back(p); });
        QObject::connect(&client, &GpsdClient::problem,
                         [this](const QString& text) { problems << text; });
    }
    void start(int port) { client.start(GpsdAddress{"127.0.0.1", static_cast<uint16_t>(port)}); }
    bool reaches(GpsState s, int ms = 20000) {
        return RunUntil([&] { return client.state() == s; }, ms);
    }
};

#define START_GPSD(fake, log)                                                       \
    if (!FakeGpsd::Installed()) GTEST_SKIP() << "no gpsfake (Debian gpsd-clients)"; \
    std::string why;                                                                \
    ASSERT_TRUE((fake).start(NmeaLog(log), why)) << why

// Every fix reported is the fed one. gpsd now and then reports a cycle
// with RMC alone, a 2D fix without heights, never other values.
void ExpectFedPositions(const std::vector<Position>& fixes) {
    for (const Position& p : fixes) {
        EXPECT_NEAR(p.latitude, kLat, 1e-7);
        EXPECT_NEAR(p.longitude, kLon, 1e-7);
        EXPECT_TRUE(p.fix == FixMode::ThreeD || !p.altitudeM);
        EXPECT_NEAR(p.altitudeM.value_or(kAltMsl), kAltMsl, 1e-3);
        EXPECT_NEAR(p.ellipsoidHeightM.value_or(kAltMsl + kGeoid), kAltMsl + kGeoid, 1e-3);
        EXPECT_TRUE(p.fixUtcMs == 0 || (p.fixUtcMs >= kLogStart && p.fixUtcMs < kLogEnd));
    }
}

bool Complete(const Position& p) {
    return p.fix == FixMode::ThreeD && p.altitudeM && p.ellipsoidHeightM && p.fixUtcMs != 0;
}

TEST(GpsdE2E, AFixArrivesWithTheFedPosition) {
    FakeGpsd gpsd;
    START_GPSD(gpsd, "fix-3d.nmea");
    Watch w;
    w.start(gpsd.port);
    EXPECT_EQ(w.client.state(), GpsState::Connecting) << "start() does not wait for gpsd";
    ASSERT_TRUE(RunUntil([&] { return !w.fixes.empty() && Complete(w.fixes.back()); }, 20000))
        << w.problems.join('\n').toStdString();
    EXPECT_EQ(w.client.state(), GpsState::Fix3D);
    EXPECT_EQ(w.states.front(), GpsState::Connecting);
    ExpectFedPositions(w.fixes);
    const Position p = w.fixes.back();
    EXPECT_TRUE(w.client.positionAt(p.receivedUtcMs + kPositionFreshMs));
    EXPECT_FALSE(w.client.positionAt(p.receivedUtcMs + kPositionFreshMs + 1));
}

TEST(GpsdE2E, NoFixReportsNoPosition) {
    FakeGpsd gpsd;
    START_GPSD(gpsd, "no-fix.nmea");
    Watch w;
    w.start(gpsd.port);
    ASSERT_TRUE(RunUntil([&] { return w.client.reportCount() >= 10; }, 20000))
        << w.problems.join('\n').toStdString();
    EXPECT_EQ(w.client.state(), GpsState::NoFix);
    EXPECT_TRUE(w.fixes.empty());
    EXPECT_FALSE(w.client.latest());
}

TEST(GpsdE2E, AFixThatIsLostNoLongerCounts) {
    FakeGpsd gpsd;
    START_GPSD(gpsd, "fix-lost.nmea");
    Watch w;
    w.start(gpsd.port);
    ASSERT_TRUE(w.reaches(GpsState::Fix3D)) << w.problems.join('\n').toStdString();
    ExpectFedPositions(w.fixes);
    ASSERT_TRUE(w.reaches(GpsState::NoFix, 30000));
    EXPECT_FALSE(w.client.latest());
    EXPECT_FALSE(w.client.positionAt(w.fixes.back().receivedUtcMs));
}

TEST(GpsdE2E, GpsdAbsentStoppedAndStartedAgain) {
    if (!FakeGpsd::Installed()) GTEST_SKIP() << "no gpsfake (Debian gpsd-clients)";
    FakeGpsd gpsd;
    gpsd.port = FreeLocalPort();
    Watch w;
    w.start(gpsd.port);  // nothing listens yet
    ASSERT_TRUE(RunUntil([&] { return w.problems.size() >= 2; }, 10000));
    EXPECT_TRUE(w.problems[0].endsWith("trying again in 1 s")) << w.problems[0].toStdString();
    EXPECT_TRUE(w.problems[1].endsWith("trying again in 2 s")) << w.problems[1].toStdString();
    EXPECT_EQ(w.client.state(), GpsState::Connecting);
    EXPECT_STREQ(GpsStatusText(w.client.state()), "GPS waiting for gpsd");

    std::string why;
    ASSERT_TRUE(gpsd.start(NmeaLog("fix-3d.nmea"), why)) << why;
    ASSERT_TRUE(w.reaches(GpsState::Fix3D, 30000));

    gpsd.stop();
    ASSERT_TRUE(w.reaches(GpsState::Connecting)) << "gpsd going away is noticed";
    EXPECT_FALSE(w.client.latest());
    ASSERT_TRUE(gpsd.start(NmeaLog("fix-3d.nmea"), why)) << why;
    QElapsedTimer back;  // from gpsd listening again
    back.start();
    ASSERT_TRUE(RunUntil([&] { return w.client.state() != GpsState::Connecting; }, 30000));
    const qint64 talking = back.elapsed();
    ASSERT_TRUE(w.reaches(GpsState::Fix3D, 30000)) << w.problems.join('\n').toStdString();
    std::cout << "[ figures  ] gpsd back -> talking " << talking << " ms, 3D fix " << back.elapsed()
              << " ms\n";
    ExpectFedPositions(w.fixes);

    // A client dropped while its connection is being opened leaves nothing
    // behind; the next one gets its fix as usual.
    {
        Watch gone;
        gone.start(gpsd.port);
    }
    Watch next;
    next.start(gpsd.port);
    EXPECT_TRUE(next.reaches(GpsState::Fix3D));
}

TEST(GpsdE2E, AHostThatDoesNotAnswerNeverHoldsTheCaller) {
    // A listener whose queue is full: a connect to it waits in the kernel,
    // as one to a remote host that drops packets does.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    auto* addr = reinterpret_cast<sockaddr*>(&a);
    ASSERT_TRUE(::bind(listener, addr, len) == 0 && ::listen(listener, 0) == 0);
    ::getsockname(listener, addr, &len);
    std::vector<int> queued;
    for (int i = 0; i < 4; ++i) {
        queued.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ::connect(queued.back(), addr, len);
    }
    auto w = std::make_unique<Watch>();
    w->start(ntohs(a.sin_port));
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(50);
    ASSERT_TRUE(RunUntil([&] { return ticks >= 10; }, 10000)) << "the event loop runs on";
    EXPECT_EQ(w->client.state(), GpsState::Connecting);
    EXPECT_TRUE(w->problems.isEmpty()) << "still connecting: " << w->problems[0].toStdString();
    w.reset();  // dropped with its attempt under way
    for (const int fd : queued) ::close(fd);
    ::close(listener);
}

}  // namespace
}  // namespace fenwyd::testing
