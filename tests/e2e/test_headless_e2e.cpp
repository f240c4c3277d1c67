// fenwyd8200 --headless as a service runs it: its own process, no display,
// the probe simulator on a pseudo-terminal, records read back with standard
// parsers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <set>

#include "common/textconv.h"
#include "e2e/headless_support.h"
#include "headless/options.h"
#include "headless/records.h"
#include "measure/units.h"
#include "support/fake_gpsd.h"
#include "support/process.h"

namespace fenwyd::testing {
namespace {

constexpr int kRunSeconds = 4;

// "1.0.0": the version the program reports.
QString VersionNumber() { return headless::VersionText().trimmed().section(QLatin1Char(' '), -1); }

// The simulator behind a stable link, as a USB adapter under
// /dev/serial/by-id would be; drifting values so each reading differs.
struct SimOnLink {
    SimOnLink() {
        probesim::Options o;
        o.model = 'E';
        o.linkPath = (links.path() / "probe-tty").string();
        sim = std::make_unique<probesim::ProbeSim>(o);
        started = sim->start();
    }
    QString device() const { return QString::fromStdString(sim->devicePath()); }
    TempFolder links;
    std::unique_ptr<probesim::ProbeSim> sim;
    bool started = false;
};

// What a reading reply must become: the value text, its base unit and
// exponent, and the flags, by the same tables the window uses.
struct Expected {
    std::string display, value, unit, label;
    int range = 0, percent = 0;
    bool autoRange = false, over = false, under = false;
};

Expected Decode(const std::string& reply) {
    Expected e;
    e.range = reply[8] - '0';
    const std::string units(1, reply[9]);
    int16_t exponent = 0;
    e.display =
        ConvertToNumber(8204, units, static_cast<int16_t>(e.range),
                        static_cast<float>(LeadingNumber(reply.substr(3, 4))), e.unit, exponent);
    e.value = headless::ScaledDecimal(e.display, exponent);
    e.label = LookUpUnitsLabel(8204, std::to_string(e.range) + units).label;
    e.over = reply[11] == 'O';
    e.under = reply[11] == 'U';
    e.autoRange = reply[12] == 'A';
    e.percent = std::stoi(reply.substr(14, 2)) * 5;
    return e;
}

TEST(HeadlessE2E, JsonLinesHoldWhatTheSimulatorServedInACommaDecimalLocale) {
    SimOnLink s;
    ASSERT_TRUE(s.started) << s.sim->lastError();
    const QString locale = CommaLocaleDir();
    ASSERT_FALSE(locale.isEmpty()) << "localedef could not build de_DE.UTF-8";
    const QProcessEnvironment env = ServiceEnvironment(locale);
    ASSERT_EQ(DecimalPoint(env), ",") << "the test needs a comma-decimal locale";

    TempFolder folder;
    const auto out = folder.path() / "run.jsonl";
    Logger log;
    const int64_t t0 = NowMs();
    log.start({"--headless", "--port", s.device(), "--format", "jsonl", "--output",
               QString::fromStdString(out.string()), "--duration", QString::number(kRunSeconds)},
              env);
    ASSERT_TRUE(log.finish(kRunSeconds * 1000 + 15000)) << log.err.toStdString();
    const int64_t t1 = NowMs();
    EXPECT_TRUE(log.normalExit()) << log.proc.exitCode() << " " << log.err.toStdString();

    const std::vector<QJsonObject> records = JsonLines(out);
    ASSERT_GE(records.size(), 6u);
    EXPECT_EQ(records[0].value("kind").toString(), "event");
    EXPECT_EQ(records[0].value("event").toString(), "start");
    EXPECT_EQ(records[1].value("kind").toString(), "event");
    EXPECT_EQ(records[1].value("event").toString(), "link-back");
    EXPECT_EQ(records.back().value("event").toString(), "stop");
    EXPECT_EQ(records.back().value("reason").toString(), "duration");

    std::vector<QJsonObject> readings;
    int64_t previous = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const QJsonObject& r = records[i];
        EXPECT_EQ(r.value("seq").toInteger(), static_cast<qint64>(i + 1));
        const int64_t utc = UtcMs(r.value("utc").toString());
        EXPECT_EQ(UtcMs(r.value("local").toString()), utc) << "local time names the same moment";
        EXPECT_GE(utc, t0);
        EXPECT_LE(utc, t1);
        EXPECT_GE(utc, previous);
        previous = utc;
        if (r.value("kind").toString() == "reading") readings.push_back(r);
    }

    // One record for every reading the simulator served, in order, with
    // the values it served.
    const std::vector<std::string> served = s.sim->readingsSent();
    ASSERT_EQ(readings.size(), served.size());
    for (std::size_t i = 0; i < served.size(); ++i) {
        const Expected e = Decode(served[i]);
        const QJsonObject& r = readings[i];
        SCOPED_TRACE(served[i]);
        EXPECT_EQ(r.value("display").toString().toStdString(), e.display);
        ASSERT_TRUE(r.value("value").isDouble());
        EXPECT_DOUBLE_EQ(r.value("value").toDouble(), std::stod(e.value));
        EXPECT_EQ(r.value("unit").toString().toStdString(), e.unit);
        EXPECT_EQ(r.value("label").toString().toStdString(), e.label);
        EXPECT_EQ(r.value("range").toInt(), e.range);
        EXPECT_EQ(r.value("percent").toInt(), e.percent);
        EXPECT_EQ(r.value("auto_range").toBool(), e.autoRange);
        EXPECT_EQ(r.value("over_range").toBool(), e.over);
        EXPECT_EQ(r.value("under_range").toBool(), e.under);
        EXPECT_EQ(r.value("model").toString(), "QM-8204");
        if (i > 0) {
            // 300 ms wait and a 66 ms tick; a battery reading between two
            // readings adds its 2 s "KR" wait.
            const int64_t gap =
                UtcMs(r.value("utc").toString()) - UtcMs(readings[i - 1].value("utc").toString());
            EXPECT_GE(gap, 300);
            EXPECT_LE(gap, 3000);
        }
    }
}

TEST(HeadlessE2E, CsvReadsWithPythonsCsvModuleAndKeepsItsPointsInAGermanLocale) {
    SimOnLink s;
    ASSERT_TRUE(s.started);
    const QString locale = CommaLocaleDir();
    ASSERT_FALSE(locale.isEmpty());
    TempFolder folder;
    const auto out = folder.path() / "run.csv";
    Logger log;
    log.start({"--headless", "--port", s.device(), "--output", QString::fromStdString(out.string()),
               "--duration", QString::number(kRunSeconds)},
              ServiceEnvironment(locale));
    ASSERT_TRUE(log.finish(kRunSeconds * 1000 + 15000));
    EXPECT_TRUE(log.normalExit()) << log.err.toStdString();

    const std::string text = ReadFile(out);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "whole lines, CR LF";
    int headers = 0;
    const QJsonArray rows = CsvRows(out, &headers);
    EXPECT_EQ(headers, 1);
    const std::vector<std::string> served = s.sim->readingsSent();
    std::size_t reading = 0;
    int batteries = 0;
    for (const QJsonValue& v : rows) {
        const QJsonObject row = v.toObject();
        EXPECT_EQ(row.size(), 16) << "every row has every column";
        const QString kind = row.value("kind").toString();
        if (kind == "reading") {
            ASSERT_LT(reading, served.size());
            const Expected e = Decode(served[reading++]);
            EXPECT_EQ(row.value("value").toString().toStdString(), e.value);
            EXPECT_EQ(row.value("display").toString().toStdString(), e.display);
            EXPECT_EQ(row.value("unit").toString().toStdString(), e.unit);
            EXPECT_FALSE(row.value("value").toString().contains(','));
        } else if (kind == "battery") {
            ++batteries;
            // The simulator's battery: about nine volts.
            const QString volts = row.value("volts").toString();
            EXPECT_FALSE(volts.contains(',')) << volts.toStdString();
            EXPECT_GT(volts.toDouble(), 5.0);
        } else {
            EXPECT_EQ(kind, "event");
        }
    }
    EXPECT_EQ(reading, served.size());
    EXPECT_EQ(batteries, 1) << "read once after the link came up";
}

TEST(HeadlessE2E, AnAdapterPulledAndPluggedBackGivesLostAndBackAndReadingGoesOn) {
    SimOnLink s;
    ASSERT_TRUE(s.started);
    TempFolder folder;
    const auto out = folder.path() / "run.jsonl";
    Logger log;
    log.start({"--headless", "--port", s.device(), "--format", "jsonl", "--output",
               QString::fromStdString(out.string())});
    auto kinds = [&] {
        std::vector<std::string> k;
        if (!std::filesystem::exists(out)) return k;  // not made yet
        for (const QJsonObject& r : JsonLines(out)) {
            k.push_back(r.value("kind") == "event" ? r.value("event").toString().toStdString()
                                                   : r.value("kind").toString().toStdString());
        }
        return k;
    };
    auto count = [&](const std::string& what) {
        const auto k = kinds();
        return static_cast<int>(std::count(k.begin(), k.end(), what));
    };
    ASSERT_TRUE(RunUntil([&] { return count("reading") >= 3; }, 10000));

    s.sim->hangUp();
    ASSERT_TRUE(RunUntil([&] { return count("link-lost") == 1; }, 8000)) << "five silent reads";
    const int readingsWhileLost = count("reading");
    RunFor(1500);
    EXPECT_EQ(count("reading"), readingsWhileLost);
    EXPECT_EQ(count("link-lost"), 1);

    ASSERT_TRUE(s.sim->reconnect());
    ASSERT_TRUE(RunUntil([&] { return count("link-back") == 2; }, 8000));
    ASSERT_TRUE(RunUntil([&] { return count("reading") >= readingsWhileLost + 3; }, 8000));

    log.signal(SIGTERM);
    ASSERT_TRUE(log.finish(10000));
    EXPECT_TRUE(log.normalExit()) << log.proc.exitCode() << " " << log.err.toStdString();
    const auto k = kinds();  // JsonLines checks the last line is whole
    const auto lost = std::find(k.begin(), k.end(), "link-lost");
    const auto back = std::find(lost, k.end(), "link-back");
    ASSERT_NE(back, k.end());
    EXPECT_EQ(std::count(lost, back, "reading"), 0) << "no reading while the adapter was out";
}

TEST(HeadlessE2E, SigtermAndSigintEndWithExitZeroAndAWholeLastLine) {
    for (const int signo : {SIGTERM, SIGINT}) {
        SimOnLink s;
        ASSERT_TRUE(s.started);
        TempFolder folder;
        const auto out = folder.path() / "run.csv";
        Logger log;
        log.start(
            {"--headless", "--port", s.device(), "--output", QString::fromStdString(out.string())});
        ASSERT_TRUE(RunUntil([&] { return s.sim->stats().readings >= 4; }, 10000));
        // Most likely inside a transaction's 300 ms wait, which is where the
        // logger spends most of its time.
        RunFor(150);
        log.signal(signo);
        ASSERT_TRUE(log.finish(10000)) << signo;
        EXPECT_TRUE(log.normalExit()) << signo << ": " << log.proc.exitCode();
        const std::string text = ReadFile(out);
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        const QJsonArray rows = CsvRows(out);
        EXPECT_EQ(static_cast<std::size_t>(std::count_if(
                      rows.begin(), rows.end(),
                      [](const QJsonValue& v) { return v.toObject().value("kind") == "reading"; })),
                  s.sim->readingsSent().size())
            << "the reading in flight was finished and written";
    }
}

TEST(HeadlessE2E, SighupReopensTheOutputForLogRotation) {
    SimOnLink s;
    ASSERT_TRUE(s.started);
    TempFolder folder;
    const auto out = folder.path() / "run.csv";
    const auto rotated = folder.path() / "run.csv.1";
    Logger log;
    log.start(
        {"--headless", "--port", s.device(), "--output", QString::fromStdString(out.string())});
    ASSERT_TRUE(
        RunUntil([&] { return std::filesystem::exists(out) && CsvRows(out).size() >= 3; }, 10000));
    std::filesystem::rename(out, rotated);
    log.signal(SIGHUP);
    ASSERT_TRUE(
        RunUntil([&] { return std::filesystem::exists(out) && CsvRows(out).size() >= 2; }, 10000));
    log.signal(SIGTERM);
    ASSERT_TRUE(log.finish(10000));
    EXPECT_TRUE(log.normalExit());

    int headers = 0;
    const QJsonArray before = CsvRows(rotated, &headers);
    EXPECT_EQ(headers, 1);
    const QJsonArray after = CsvRows(out, &headers);
    EXPECT_EQ(headers, 1) << "the new file starts with its header";
    // Sequence numbers go on across the two files, none lost or doubled.
    std::vector<int> seqs;
    for (const QJsonArray* rows : {&before, &after}) {
        for (const QJsonValue& v : *rows)
            seqs.push_back(v.toObject().value("seq").toString().toInt());
    }
    for (std::size_t i = 0; i < seqs.size(); ++i) EXPECT_EQ(seqs[i], static_cast<int>(i + 1));
}

TEST(HeadlessE2E, ARestartedLoggerMarksEachRunWithStartAndStopRecords) {
    SimOnLink s;
    ASSERT_TRUE(s.started);
    TempFolder folder;
    const QString version = VersionNumber();
    for (const char* format : {"csv", "jsonl"}) {
        SCOPED_TRACE(format);
        const auto out = folder.path() / (std::string("run.") + format);
        std::vector<std::size_t> written;  // as each run's exit line says
        for (int run = 0; run < 2; ++run) {
            Logger log;
            log.start({"--headless", "--port", s.device(), "--format", format, "--output",
                       QString::fromStdString(out.string()), "--duration", "1.5"});
            ASSERT_TRUE(log.finish(20000));
            EXPECT_TRUE(log.normalExit()) << log.err.toStdString();
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("(\\d+) records written to (.*)$"),
                                   QRegularExpression::MultilineOption)
                    .match(log.err);
            ASSERT_TRUE(m.hasMatch()) << log.err.toStdString();
            EXPECT_EQ(m.captured(2).toStdString(), out.string());
            written.push_back(m.captured(1).toULongLong());
        }
        // One object a run's record, read with the standard parsers.
        std::vector<QJsonObject> records;
        int headers = 0;
        if (std::string(format) == "csv") {
            for (const QJsonValue& v : CsvRows(out, &headers)) records.push_back(v.toObject());
            EXPECT_EQ(headers, 1) << "the second run appends without a header";
        } else {
            records = JsonLines(out);
        }
        ASSERT_EQ(records.size(), written[0] + written[1]);
        for (std::size_t begin = 0, run = 0; run < 2; begin += written[run++]) {
            const QJsonObject& start = records[begin];
            const QJsonObject& stop = records[begin + written[run] - 1];
            EXPECT_EQ(start.value("kind").toString(), "event");
            EXPECT_EQ(start.value("event").toString(), "start");
            EXPECT_EQ(start.value("seq").toVariant().toInt(), 1) << "each run counts from 1";
            EXPECT_EQ(stop.value("event").toString(), "stop");
            EXPECT_EQ(stop.value("seq").toVariant().toULongLong(), written[run]);
            const QString wanted =
                QStringLiteral(
                    "--port %1 --baud 9600 --output %2 --format %3 "
                    "--duration 1.5 --battery-interval 30")
                    .arg(s.device(), QString::fromStdString(out.string()), QLatin1String(format));
            if (std::string(format) == "csv") {
                EXPECT_EQ(start.value("display").toString(),
                          QStringLiteral("version %1; device %2; options %3")
                              .arg(version, s.device(), wanted));
                EXPECT_EQ(stop.value("display").toString(), "duration");
            } else {
                EXPECT_EQ(start.value("version").toString(), version);
                EXPECT_EQ(start.value("device").toString(), s.device());
                EXPECT_EQ(start.value("options").toString(), wanted);
                EXPECT_EQ(stop.value("reason").toString(), "duration");
            }
            for (std::size_t i = 1; i + 1 < written[run]; ++i) {
                const QJsonObject& r = records[begin + i];
                EXPECT_EQ(r.value("seq").toVariant().toULongLong(), i + 1);
                EXPECT_NE(r.value("event").toString(), "start");
                EXPECT_NE(r.value("event").toString(), "stop");
            }
        }
    }
}

TEST(HeadlessE2E, AReaderGoingAwayEndsTheRunWithItsCountsAndExitOne) {
    SimOnLink s;
    ASSERT_TRUE(s.started);
    // Standard output into a pipe whose reader takes three lines, then leaves.
    {
        TempFolder home;
        int out[2];
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        const auto errPath = home.path() / "stderr.txt";
        const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::vector<std::string> env;
        for (const QString& e : WithOwnHome(ServiceEnvironment(), home.path()).toStringList()) {
            env.push_back(e.toStdString());
        }
        struct Child {
            pid_t pid;
            ~Child() { Stop(pid, 2000); }  // whatever the outcome
        } child{Spawn(ProgramPath().toStdString(),
                      {"--headless", "--port", s.device().toStdString(), "--format", "jsonl"}, env,
                      out[1], errFd)};
        ::close(out[1]);
        ::close(errFd);
        ASSERT_GT(child.pid, 0);
        std::string line;
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(ReadLine(out[0], line, 10000)) << i;
        ::close(out[0]);
        const int code = WaitExit(child.pid, 10000);
        if (code >= 0) child.pid = -1;  // reaped
        const QString err = QString::fromStdString(ReadFile(errPath));
        EXPECT_EQ(code, 1) << "ended by itself, not by SIGPIPE (141): " << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("the reader of standard output has gone away (%1)")
                                     .arg(QString::fromLocal8Bit(std::strerror(EPIPE)))))
            << err.toStdString();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("\\d+ records written to standard output, "
                                                      "\\d+ could not be written"))
                        .match(err)
                        .hasMatch())
            << err.toStdString();
    }

    // A FIFO: no reader yet, then a reader that comes and goes.
    TempFolder folder;
    const auto fifo = folder.path() / "records.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const QString fifoName = QString::fromStdString(fifo.string());
    {
        Logger log;
        log.start({"--headless", "--port", s.device(), "--output", fifoName});
        ASSERT_TRUE(RunUntil(
            [&] { return log.readErr().contains("waiting for a program to read"); }, 10000))
            << "waits with its signals watched";
        log.signal(SIGTERM);
        ASSERT_TRUE(log.finish(10000)) << "SIGTERM ends it while no program reads";
        EXPECT_EQ(log.proc.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(log.proc.exitCode(), 1);
        EXPECT_TRUE(log.err.contains(
            QStringLiteral("ended (SIGTERM) before a program opened %1 for reading: no records "
                           "written")
                .arg(fifoName)))
            << log.err.toStdString();
    }
    {
        Logger log;
        log.start({"--headless", "--port", s.device(), "--output", fifoName});
        ASSERT_TRUE(RunUntil(
            [&] { return log.readErr().contains("waiting for a program to read"); }, 10000));
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        std::string text;
        ASSERT_TRUE(RunUntil(
            [&] {
                char buffer[4096];
                const ssize_t n = ::read(reader, buffer, sizeof buffer);
                if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
                return text.find("\r\nreading,") != std::string::npos;
            },
            10000))
            << text;
        EXPECT_EQ(text.rfind(headless::CsvHeader(), 0), 0u);
        ::close(reader);
        ASSERT_TRUE(log.finish(10000));
        EXPECT_EQ(log.proc.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(log.proc.exitCode(), 1);
        EXPECT_TRUE(
            log.err.contains(QStringLiteral("the reader of %1 has gone away").arg(fifoName)))
            << log.err.toStdString();
        EXPECT_TRUE(log.err.contains(QStringLiteral("records written to %1, ").arg(fifoName)))
            << log.err.toStdString();
    }
}

TEST(HeadlessE2E, AFileSizeLimitLeavesWholeLinesAndTheSystemsReason) {
    SimOnLink s;
    ASSERT_TRUE(s.started);
    TempFolder folder;
    const auto out = folder.path() / "run.jsonl";
    // 512 bytes (one block): the start record and a little more. SIGXFSZ
    // ignored as a service manager might leave it; the logger ignores it too.
    Logger log;
    log.startProgram(QStringLiteral("/bin/sh"),
                     {"-c", "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"", ProgramPath(),
                      "--headless", "--port", s.device(), "--format", "jsonl", "--output",
                      QString::fromStdString(out.string()), "--duration", "3"});
    ASSERT_TRUE(log.finish(20000));
    EXPECT_EQ(log.proc.exitCode(), 1) << log.err.toStdString();
    const std::string text = ReadFile(out);
    EXPECT_LE(text.size(), 512u);
    const std::vector<QJsonObject> records = JsonLines(out);  // every line whole
    ASSERT_GE(records.size(), 1u);
    EXPECT_EQ(records[0].value("event").toString(), "start");
    const QString reason = QString::fromLocal8Bit(std::strerror(EFBIG));
    EXPECT_TRUE(log.err.contains(
        QStringLiteral("cannot write to %1: %2").arg(QString::fromStdString(out.string()), reason)))
        << log.err.toStdString();
    EXPECT_FALSE(log.err.contains(QLatin1String("Unknown error"))) << log.err.toStdString();
    EXPECT_TRUE(log.err.contains(QStringLiteral("%1 records written to %2, ")
                                     .arg(records.size())
                                     .arg(QString::fromStdString(out.string()))))
        << log.err.toStdString();
}

TEST(HeadlessE2E, HelpUsageAndPortErrorsNeedNoDisplay) {
    struct Row {
        QStringList args;
        int exitCode;
        const char* says;  // on stdout for 0, else on stderr
    };
    const Row rows[] = {
        {{"--help"}, 0, "--mqtt HOST[:PORT]"},
        {{"--version"}, 0, "Fenwyd 8200 1.0.0"},
        {{"--headless"}, 2, "give either --port DEVICE or --comm N"},
        {{"--headless", "--port", "/dev/null", "--format", "xml"}, 2, "--format must be"},
        {{"--headless", "--port", "/dev/null", "--duration", "0.0001"}, 2, "at least 0.001"},
        {{"--headless", "--port", "/dev/null", "--mqtt", "localhost", "--topic",
          QString(40000, QChar(0xE9))},
         2,
         "--topic is too long: 80000 bytes"},
        {{"--headless", "--port", "/nonexistent/ttyUSB9"},
         3,
         "cannot open /nonexistent/ttyUSB9: No such file or directory"},
        {{"--headless", "--port", "/dev/null", "--mqtt", "localhost", "--mqtt-user", "u",
          "--mqtt-password-file", "/nonexistent/pw"},
         2,
         "cannot read the password file /nonexistent/pw"},
    };
    for (const Row& r : rows) {
        Logger log;
        log.start(r.args);
        ASSERT_TRUE(log.finish(10000)) << r.args.join(' ').toStdString();
        EXPECT_EQ(log.proc.exitCode(), r.exitCode) << r.args.join(' ').toStdString();
        const QString said =
            r.exitCode == 0 ? QString::fromLocal8Bit(log.proc.readAllStandardOutput()) : log.err;
        EXPECT_TRUE(said.contains(QLatin1String(r.says))) << said.toStdString();
    }
}

TEST(HeadlessE2E, CommGoesThroughThePortMappingOfTheWindow) {
    SimOnLink s;
    ASSERT_TRUE(s.started);
    TempFolder config;
    const auto confPath = config.path() / "Fenwyd 8200.conf";
    const std::string mapping = "[Ports]\nComm4=" + s.device().toStdString() + "\nBaudRate=9600\n";
    WriteFile(confPath, mapping);
    QProcessEnvironment env = ServiceEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(config.str()));
    TempFolder folder;
    const auto out = folder.path() / "run.jsonl";
    Logger log;
    log.start({"--headless", "--comm", "4", "--format", "jsonl", "--duration", "2", "--output",
               QString::fromStdString(out.string())},
              env);
    ASSERT_TRUE(log.finish(15000));
    EXPECT_TRUE(log.normalExit()) << log.err.toStdString();
    EXPECT_GE(JsonLines(out).size(), 3u);
    EXPECT_TRUE(log.err.contains(s.device())) << log.err.toStdString();
    EXPECT_EQ(ReadFile(confPath), mapping) << "the window's settings are left alone";
}

TEST(HeadlessE2E, TheServiceLoadsNoWindowLibrariesAndACopiedProgramStillLogs) {
    SimOnLink s;
    ASSERT_TRUE(s.started);
    auto windowLibraries = [](qint64 pid) {
        const std::string maps = ReadFile("/proc/" + std::to_string(pid) + "/maps");
        return maps.find("libQt6Widgets") != std::string::npos ||
               maps.find("libQt6Gui") != std::string::npos;
    };
    TempFolder folder;
    const auto out = folder.path() / "run.csv";
    Logger log;
    log.start(
        {"--headless", "--port", s.device(), "--output", QString::fromStdString(out.string())});
    ASSERT_TRUE(RunUntil([&] { return s.sim->stats().readings >= 2; }, 10000));
    EXPECT_FALSE(windowLibraries(log.proc.processId())) << "handed over to fenwyd8200-headless";
    log.signal(SIGTERM);
    ASSERT_TRUE(log.finish(10000));
    EXPECT_TRUE(log.normalExit());

    // The program copied somewhere alone (as scripts/run.sh does) runs the
    // logger itself.
    const auto copy = folder.path() / "fenwyd8200";
    std::filesystem::copy_file(ProgramPath().toStdString(), copy);
    Logger alone;
    alone.proc.setProgram(QString::fromStdString(copy.string()));
    alone.proc.setArguments({"--headless", "--port", s.device(), "--format", "jsonl", "--duration",
                             "2", "--output",
                             QString::fromStdString((folder.path() / "alone.jsonl").string())});
    alone.proc.setProcessEnvironment(ServiceEnvironment());
    const int readingsBefore = s.sim->stats().readings;
    alone.proc.start();
    ASSERT_TRUE(alone.proc.waitForStarted(10000));
    ASSERT_TRUE(RunUntil([&] { return s.sim->stats().readings >= readingsBefore + 2; }, 10000));
    EXPECT_TRUE(windowLibraries(alone.proc.processId()));
    ASSERT_TRUE(alone.finish(10000));
    EXPECT_TRUE(alone.normalExit()) << alone.err.toStdString();
    EXPECT_GE(JsonLines(folder.path() / "alone.jsonl").size(), 3u);
}

// The reading records of a JSON-lines file being written: whole lines only.
std::vector<QJsonObject> ReadingsSoFar(const std::filesystem::path& path) {
    std::vector<QJsonObject> out;
    QFile f(QString::fromStdString(path.string()));
    if (!f.open(QIODevice::ReadOnly)) return out;
    QByteArray all = f.readAll();
    all.truncate(all.lastIndexOf('\n') + 1);
    for (const QByteArray& line : all.split('\n')) {
        const QJsonObject r = QJsonDocument::fromJson(line).object();
        if (r.value("kind") == "reading") out.push_back(r);
    }
    return out;
}

// gpsd fed by gpsfake: a fix, the fix lost, gpsd stopped and started again.
TEST(HeadlessE2E, ReadingsCarryGpsdsFixOrNothingAndGpsdGoingAwayStopsNoReading) {
    if (!FakeGpsd::Installed()) GTEST_SKIP() << "no gpsfake (Debian gpsd-clients)";
    FakeGpsd gpsd;
    std::string why;
    ASSERT_TRUE(gpsd.start(NmeaLog("fix-lost.nmea"), why)) << why;
    SimOnLink s;
    ASSERT_TRUE(s.started);
    TempFolder folder;
    const auto out = folder.path() / "run.jsonl";
    Logger log;
    log.start({"--headless", "--port", s.device(), "--format", "jsonl", "--output",
               QString::fromStdString(out.string()), "--gpsd",
               QStringLiteral("127.0.0.1:%1").arg(gpsd.port)});
    auto lastFix = [&] {
        const std::vector<QJsonObject> r = ReadingsSoFar(out);
        return r.empty() ? QJsonValue(QJsonValue::Undefined) : r.back().value("fix");
    };
    ASSERT_TRUE(RunUntil([&] { return lastFix() == "3D"; }, 30000)) << log.readErr().toStdString();
    ASSERT_TRUE(RunUntil([&] { return lastFix().isNull(); }, 30000)) << "the fix is lost";
    gpsd.stop();
    const std::size_t atStop = ReadingsSoFar(out).size();
    ASSERT_TRUE(RunUntil([&] { return log.readErr().count("GPS waiting for gpsd") >= 2; }, 10000));
    ASSERT_TRUE(RunUntil([&] { return ReadingsSoFar(out).size() >= atStop + 5; }, 10000));
    ASSERT_TRUE(gpsd.start(NmeaLog("fix-3d.nmea"), why)) << why;
    ASSERT_TRUE(RunUntil([&] { return lastFix() == "3D"; }, 40000)) << "gpsd is back";
    log.signal(SIGTERM);
    ASSERT_TRUE(log.finish(15000));
    EXPECT_TRUE(log.normalExit()) << log.err.toStdString();

    // Each reading: the fed position, or none at all; no gap in the reading.
    int64_t previous = 0, longestGap = 0;
    int with = 0, without = 0;
    for (const QJsonObject& r : JsonLines(out)) {
        if (r.value("kind") != "reading") continue;
        const int64_t t = UtcMs(r.value("utc").toString());
        if (previous != 0) longestGap = std::max(longestGap, t - previous);
        previous = t;
        ASSERT_TRUE(r.contains("lat") && r.contains("lon") && r.contains("alt") &&
                    r.contains("fix"));
        if (r.value("fix").isNull()) {
            ++without;
            EXPECT_TRUE(r.value("lat").isNull() && r.value("lon").isNull() &&
                        r.value("alt").isNull());
            continue;
        }
        ++with;
        EXPECT_EQ(r.value("lat").toDouble(), 52.2053);
        EXPECT_EQ(r.value("lon").toDouble(), -1.51);
        // gpsd now and then reports a cycle with RMC alone: a 2D fix, no height.
        EXPECT_EQ(r.value("alt").toDouble(61.7), 61.7);
        EXPECT_TRUE(r.value("fix") == "3D" || (r.value("fix") == "2D" && r.value("alt").isNull()));
    }
    EXPECT_GE(with, 2);
    EXPECT_GE(without, 5);
    EXPECT_LT(longestGap, 3000) << "reading went on while gpsd was away";
    // Each change of state said once, in order.
    const QString name = QStringLiteral("fenwyd8200: gpsd 127.0.0.1:%1: ").arg(gpsd.port);
    QStringList states;
    for (const QString& line : log.err.split('\n')) {
        if (line.startsWith(name)) states << line.mid(name.size());
    }
    for (int i = 1; i < states.size(); ++i) EXPECT_NE(states[i], states[i - 1]) << i;
    EXPECT_GE(states.count("GPS 3D fix"), 2) << states.join(" | ").toStdString();
    EXPECT_EQ(states.front(), "GPS waiting for gpsd");
}

}  // namespace
}  // namespace fenwyd::testing
