// fenwyd8200 --headless against a real MQTT broker (Debian's mosquitto on a
// free local port), subscribed to with mosquitto_sub: the records, the
// status topic, a broker that goes away and comes back, and the last will.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QRegularExpression>
#include <charconv>
#include <map>

#include "e2e/headless_support.h"

namespace fenwyd::testing {
namespace {

constexpr int kQueueBound = 5;

int FreeLocalPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    ::close(fd);
    return port;
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// mosquitto on 127.0.0.1, keeping its state (sessions, queued messages,
// retained messages) on disk across a restart.
struct Broker {
    TempFolder dir;
    int port = 0;
    QProcess proc;
    QString output;

    static QString Program() {
        QString p = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
        if (p.isEmpty()) {
            p = QStandardPaths::findExecutable(
                QStringLiteral("mosquitto"),
                {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
        }
        return p;
    }
    // False with the reason when it does not come up.
    bool start(std::string& why) {
        const QString program = Program();
        if (program.isEmpty()) {
            why = "no mosquitto program (Debian package mosquitto)";
            return false;
        }
        // A restart keeps its port; a first start takes a free one, and
        // another if that was taken in the meantime.
        const bool restart = port != 0;
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (!restart) port = FreeLocalPort();
            const passwd* pw = ::getpwuid(::getuid());
            // "user": as root mosquitto would switch to its own user, which
            // cannot write this folder.
            WriteFile(dir.path() / "mosquitto.conf",
                      "listener " + std::to_string(port) + " 127.0.0.1\n" +
                          "allow_anonymous true\npersistence true\npersistence_location " +
                          dir.str() + "/\nuser " + (pw ? pw->pw_name : "root") + "\n");
            proc.setProcessChannelMode(QProcess::MergedChannels);
            proc.setProcessEnvironment(OwnHomeEnvironment(dir.path()));
            proc.start(program, {QStringLiteral("-c"),
                                 QString::fromStdString((dir.path() / "mosquitto.conf").string())});
            if (!proc.waitForStarted(5000)) {
                why = proc.errorString().toStdString();
                return false;
            }
            if (RunUntil([&] { return Accepts(port) || proc.state() == QProcess::NotRunning; },
                         10000) &&
                proc.state() == QProcess::Running) {
                return true;
            }
            output += QString::fromLocal8Bit(proc.readAll());
            proc.kill();
            proc.waitForFinished(5000);
            why = output.toStdString();
            RunFor(500);
        }
        return false;
    }
    void stop() {
        proc.terminate();  // SIGTERM: saves its state
        proc.waitForFinished(10000);
        output += QString::fromLocal8Bit(proc.readAll());
    }
    ~Broker() {
        if (proc.state() != QProcess::NotRunning) stop();
    }
};

// mosquitto_sub with a session the broker keeps (clean session off, QoS 1),
// so nothing is missed while it reconnects after a broker restart.
struct Subscriber {
    TempFolder home;  // mosquitto_sub and mosquitto_pub read options files from there
    QProcess proc;
    QString text;
    int port;
    QString topic;

    Subscriber(int brokerPort, const QString& prefix) : port(brokerPort), topic(prefix) {
        proc.setProcessEnvironment(OwnHomeEnvironment(home.path()));
        proc.start(QStringLiteral("mosquitto_sub"),
                   {"-h", "127.0.0.1", "-p", QString::number(port), "-q", "1", "-c", "-i",
                    "fenwyd-e2e-sub", "-v", "-t", prefix + "/#"});
    }
    ~Subscriber() {
        proc.terminate();
        proc.waitForFinished(5000);
    }
    // (topic, payload) pairs so far.
    std::vector<std::pair<QString, QByteArray>> messages() {
        text += QString::fromUtf8(proc.readAllStandardOutput());
        std::vector<std::pair<QString, QByteArray>> out;
        for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
            const int space = line.indexOf(' ');
            if (space > 0) out.emplace_back(line.left(space), line.mid(space + 1).toUtf8());
        }
        return out;
    }
    int count(const QString& suffix) {
        int n = 0;
        for (const auto& m : messages()) n += m.first == topic + "/" + suffix ? 1 : 0;
        return n;
    }
    // Subscribed for sure: a message of our own has come through.
    bool ready() {
        return RunUntil(
            [&] {
                QProcess pub;
                pub.setProcessEnvironment(OwnHomeEnvironment(home.path()));
                pub.start(QStringLiteral("mosquitto_pub"),
                          {"-h", "127.0.0.1", "-p", QString::number(port), "-q", "1", "-t",
                           topic + "/hello", "-m", "hi"});
                pub.waitForFinished(10000);
                return count(QStringLiteral("hello")) > 0;
            },
            10000);
    }
};

QString RetainedStatus(int port, const QString& prefix) {
    TempFolder home;
    QProcess p;
    p.setProcessEnvironment(OwnHomeEnvironment(home.path()));
    p.start(QStringLiteral("mosquitto_sub"), {"-h", "127.0.0.1", "-p", QString::number(port), "-t",
                                              prefix + "/status", "-C", "1", "-W", "3"});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

TEST(BrokerE2E, RecordsReachTheBrokerAndARestartLosesNothingBeyondTheQueue) {
    Broker broker;
    std::string why;
    if (!broker.start(why)) GTEST_SKIP() << "mosquitto cannot start here: " << why;
    const QString prefix = QStringLiteral("fenwyd/e2e");
    Subscriber sub(broker.port, prefix);
    ASSERT_TRUE(sub.ready()) << "mosquitto_sub: " << sub.proc.errorString().toStdString();

    probesim::Options o;
    TempFolder links, folder;
    o.linkPath = (links.path() / "probe-tty").string();
    probesim::ProbeSim sim(o);
    ASSERT_TRUE(sim.start());
    const auto out = folder.path() / "run.jsonl";
    Logger log;
    log.start({"--headless", "--port", QString::fromStdString(o.linkPath), "--format", "jsonl",
               "--output", QString::fromStdString(out.string()), "--mqtt",
               QStringLiteral("127.0.0.1:%1").arg(broker.port), "--topic", prefix, "--mqtt-queue",
               QString::number(kQueueBound)});
    ASSERT_TRUE(RunUntil([&] { return sub.count("reading") >= 4; }, 15000))
        << log.err.toStdString();

    const int64_t tStop = NowMs();
    broker.stop();
    RunFor(5000);  // about 13 readings while the broker is away
    ASSERT_TRUE(broker.start(why)) << why;
    ASSERT_TRUE(
        RunUntil([&] { return log.readErr().contains("dropped while it was away"); }, 40000))
        << log.err.toStdString();
    const int64_t tBack = NowMs();  // the logger is connected again
    const int before = sub.count("reading");
    ASSERT_TRUE(RunUntil([&] { return sub.count("reading") >= before + kQueueBound + 4; }, 20000))
        << "records flow again";

    log.signal(SIGTERM);
    ASSERT_TRUE(log.finish(20000));
    EXPECT_TRUE(log.normalExit()) << log.err.toStdString();
    ASSERT_TRUE(RunUntil(
        [&] {
            const auto m = sub.messages();
            return !m.empty() && m.back().first == prefix + "/status" &&
                   m.back().second == "offline";
        },
        10000))
        << "the status ends \"offline\"";

    // The file has every record: logging never waited for the broker.
    const std::vector<QJsonObject> records = JsonLines(out);
    std::map<qint64, QByteArray> lines;
    int64_t lastReading = 0, longestGap = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        ASSERT_EQ(records[i].value("seq").toInteger(), static_cast<qint64>(i + 1));
        lines[static_cast<qint64>(i + 1)] =
            QJsonDocument(records[i]).toJson(QJsonDocument::Compact);
        if (records[i].value("kind") == "reading") {
            const int64_t t = UtcMs(records[i].value("utc").toString());
            if (lastReading != 0) longestGap = std::max(longestGap, t - lastReading);
            lastReading = t;
        }
    }
    EXPECT_LT(longestGap, 3000) << "reading went on while the broker was away";

    // What the broker delivered: each record as in the file (QoS 1 may
    // bring one twice), and the status "online" before the first record.
    std::map<qint64, QByteArray> got;
    std::vector<QByteArray> statuses;
    for (const auto& [topic, payload] : sub.messages()) {
        if (topic == prefix + "/status") {
            statuses.push_back(payload);
            continue;
        }
        if (topic == prefix + "/hello") continue;
        const QJsonObject r = QJsonDocument::fromJson(payload).object();
        EXPECT_EQ(topic, prefix + "/" + r.value("kind").toString()) << payload.toStdString();
        const qint64 seq = r.value("seq").toInteger();
        ASSERT_TRUE(lines.count(seq)) << payload.toStdString();
        EXPECT_EQ(QJsonDocument(r).toJson(QJsonDocument::Compact), lines[seq]);
        got[seq] = payload;
    }
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.front(), "online");
    EXPECT_EQ(statuses.back(), "offline");

    // The records not delivered: one run, as many as the logger says it
    // dropped, all made while the logger had no broker.
    std::vector<qint64> missing;
    for (const auto& [seq, line] : lines) {
        if (!got.count(seq)) missing.push_back(seq);
    }
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("(\\d+) dropped while the broker was away"))
            .match(log.err);
    ASSERT_TRUE(m.hasMatch()) << log.err.toStdString();
    const std::size_t dropped = m.captured(1).toULongLong();
    EXPECT_GT(dropped, 0u) << "the outage outlasted the queue";
    EXPECT_EQ(missing.size(), dropped) << log.err.toStdString();
    // The exit line accounts for every record: delivered, dropped or left.
    const QRegularExpressionMatch exit =
        QRegularExpression(
            QStringLiteral("mqtt: (\\d+) records queued: (\\d+) delivered to the broker, (\\d+) "
                           "dropped while the broker was away, (\\d+) not delivered at exit"))
            .match(log.err);
    ASSERT_TRUE(exit.hasMatch()) << log.err.toStdString();
    EXPECT_EQ(exit.captured(1).toULongLong(), lines.size()) << "every record, start and stop too";
    EXPECT_EQ(exit.captured(2).toULongLong(), got.size());
    EXPECT_EQ(exit.captured(3).toULongLong(), dropped);
    EXPECT_EQ(exit.captured(4).toULongLong(), 0u);
    const qint64 last = static_cast<qint64>(lines.size());
    EXPECT_EQ(QJsonDocument::fromJson(lines[1]).object().value("event"), "start");
    EXPECT_EQ(QJsonDocument::fromJson(lines[last]).object().value("event"), "stop");
    EXPECT_EQ(QJsonDocument::fromJson(lines[last]).object().value("reason"), "SIGTERM");
    EXPECT_TRUE(got.count(1) && got.count(last)) << "the start and stop events reached the broker";
    EXPECT_TRUE(log.err.contains(QStringLiteral("%1 records written to ").arg(lines.size())))
        << log.err.toStdString();
    for (std::size_t i = 1; i < missing.size(); ++i) EXPECT_EQ(missing[i], missing[i - 1] + 1);
    ASSERT_FALSE(missing.empty());
    int keptBefore = 0, keptAfter = 0;  // made while away, delivered: before and after the gap
    for (const auto& [seq, line] : lines) {
        const int64_t t = UtcMs(QJsonDocument::fromJson(line).object().value("utc").toString());
        const bool lost = std::find(missing.begin(), missing.end(), seq) != missing.end();
        if (lost) {
            EXPECT_GE(t, tStop) << "seq " << seq << " was lost although the broker was there";
            EXPECT_LE(t, tBack);
        } else if (t > tStop && t < tBack) {
            ++(seq < missing.front() ? keptBefore : keptAfter);
        }
    }
    // The queue kept the newest records: the last ones before the broker
    // was back (one more may be made as it comes back). Before the gap only
    // the few already with the library when the connection dropped.
    EXPECT_GE(keptAfter, kQueueBound);
    EXPECT_LE(keptAfter, kQueueBound + 2);
    EXPECT_LE(keptBefore, 3);
    EXPECT_EQ(RetainedStatus(broker.port, prefix), "offline");
}

TEST(BrokerE2E, AKilledLoggerLeavesOfflineThroughItsWill) {
    Broker broker;
    std::string why;
    if (!broker.start(why)) GTEST_SKIP() << "mosquitto cannot start here: " << why;
    probesim::Options o;
    TempFolder links;
    o.linkPath = (links.path() / "probe-tty").string();
    probesim::ProbeSim sim(o);
    ASSERT_TRUE(sim.start());
    const QString prefix = QStringLiteral("fenwyd/will");
    Logger log;
    log.start({"--headless", "--port", QString::fromStdString(o.linkPath), "--output", "/dev/null",
               "--mqtt", QStringLiteral("127.0.0.1:%1").arg(broker.port), "--topic", prefix});
    ASSERT_TRUE(RunUntil([&] { return RetainedStatus(broker.port, prefix) == "online"; }, 15000));
    log.signal(SIGKILL);
    log.finish(5000);
    EXPECT_TRUE(RunUntil([&] { return RetainedStatus(broker.port, prefix) == "offline"; }, 10000));
}

double Number(const QString& text) {
    const std::string s = text.toStdString();
    double v = std::nan("");
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

// The probe moved across the threshold: 0.50 G is 25 % of ICNIRP 2010's
// 200 uT (2 G) at 50 Hz, 3.00 G is 150 %, and an over-range reading has no
// percent. With mosquitto here the broker's copies are checked too.
TEST(BrokerE2E, ExposureRecordsCarryTheirPercentAndCrossingsInFileAndBroker) {
    Broker broker;
    std::string why;
    const bool mqtt = broker.start(why);
    const QString prefix = QStringLiteral("fenwyd/exposure");
    std::unique_ptr<Subscriber> sub;
    if (mqtt) {
        sub = std::make_unique<Subscriber>(broker.port, prefix);
        ASSERT_TRUE(sub->ready());
    }
    probesim::Options o = FixedProbe();
    TempFolder links, folder;
    o.linkPath = (links.path() / "probe-tty").string();
    probesim::ProbeSim sim(o);
    ASSERT_TRUE(sim.start());
    sim.setUnits('G');
    sim.setAuto(false);
    sim.setRange(4);
    sim.setValue(50);
    const auto out = folder.path() / "run.csv";
    QStringList args = {"--headless",
                        "--port",
                        QString::fromStdString(o.linkPath),
                        "--output",
                        QString::fromStdString(out.string()),
                        "--exposure",
                        "icnirp2010-public"};
    if (mqtt)
        args << "--mqtt" << QStringLiteral("127.0.0.1:%1").arg(broker.port) << "--topic" << prefix;
    Logger log;
    log.start(args);
    for (const auto& [raw, state] :
         {std::pair{50, 'N'}, {300, 'N'}, {1999, 'O'}, {300, 'N'}, {50, 'N'}, {300, 'N'}}) {
        sim.setValue(raw, state);
        const std::size_t served = sim.readingsSent().size();
        ASSERT_TRUE(RunUntil([&] { return sim.readingsSent().size() >= served + 3; }, 15000))
            << log.readErr().toStdString();
    }
    log.signal(SIGTERM);
    ASSERT_TRUE(log.finish(15000));
    EXPECT_TRUE(log.normalExit()) << log.err.toStdString();

    int headers = 0;
    const QJsonArray rows = CsvRows(out, &headers);
    EXPECT_EQ(headers, 1);
    QStringList events;  // exceedance events, each with the percent of the reading before it
    QString lastPercent;
    int judged = 0;
    for (const QJsonValue& v : rows) {
        const QJsonObject r = v.toObject();
        ASSERT_EQ(r.size(), 19) << "the 16 columns and the exposure's three";
        const QString percent = r.value("exposure_percent").toString();
        if (r.value("kind") == "reading") {
            EXPECT_EQ(r.value("standard"), "icnirp2010-public");
            EXPECT_EQ(r.value("unit"), "Gauss");
            EXPECT_EQ(r.value("reference_level"), "2") << "200 uT in Gauss";
            if (r.value("over_range") == "1") {
                EXPECT_EQ(percent, "");
            } else {
                ++judged;
                EXPECT_EQ(Number(r.value("value").toString()) /
                              Number(r.value("reference_level").toString()) * 100,
                          Number(percent))
                    << percent.toStdString();
                lastPercent = percent;
            }
        } else if (r.value("event").toString().startsWith("exceedance")) {
            events << r.value("event").toString() + " " + percent;
            if (!percent.isEmpty()) {
                EXPECT_EQ(percent, lastPercent) << "follows its reading";
            }
        }
    }
    EXPECT_GE(judged, 15);
    EXPECT_EQ(events, QStringList({"exceedance-start 150", "exceedance-end 25",
                                   "exceedance-start 150", "exceedance-end "}))
        << "the over-range readings change nothing; the run ends while above";
    if (mqtt) {
        // The four events have reached the broker (QoS 1 may bring one twice).
        ASSERT_TRUE(RunUntil(
            [&] {
                sub->messages();
                return sub->text.count("\"exceedance-") >= 4;
            },
            10000));
        int onEventTopic = 0;
        for (const auto& [topic, payload] : sub->messages()) {
            const QJsonObject r = QJsonDocument::fromJson(payload).object();
            if (r.value("kind") != "reading" && !r.value("event").toString().startsWith("exc")) {
                continue;
            }
            onEventTopic += topic == prefix + "/event";
            const QJsonObject row = rows[r.value("seq").toInt() - 1].toObject();
            EXPECT_EQ(r.value("exposure_percent").isNull(), row.value("exposure_percent") == "");
            if (!r.value("exposure_percent").isNull()) {
                EXPECT_EQ(r.value("exposure_percent").toDouble(),
                          Number(row.value("exposure_percent").toString()));
            }
        }
        EXPECT_GE(onEventTopic, 4);
    }

    // Restarted without --exposure on that file: refused, the file untouched.
    const std::string before = ReadFile(out);
    Logger again;
    again.start({"--headless", "--port", QString::fromStdString(o.linkPath), "--output",
                 QString::fromStdString(out.string())});
    ASSERT_TRUE(again.finish(10000));
    EXPECT_EQ(again.proc.exitCode(), 2);
    EXPECT_TRUE(again.err.contains(QStringLiteral("cannot append to %1").arg(out.c_str())))
        << again.err.toStdString();
    EXPECT_EQ(ReadFile(out), before);
}

}  // namespace
}  // namespace fenwyd::testing
