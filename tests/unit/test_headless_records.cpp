// The unattended logger's pieces that need no probe: record texts, the
// command line and the bounded queue for the broker.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "headless/options.h"
#include "headless/outbox.h"
#include "headless/records.h"

namespace fenwyd::headless {
namespace {

TEST(Records, IsoTimesInUtcAndLocalTime) {
    struct Row {
        int64_t ms;
        int32_t offset;
        bool utc;
        const char* text;
    };
    const Row rows[] = {
        {0, 0, true, "1970-01-01T00:00:00.000Z"},
        {-1, 0, true, "1969-12-31T23:59:59.999Z"},
        {1796551200250, 3600, true, "2026-12-06T10:00:00.250Z"},
        {1796551200250, 3600, false, "2026-12-06T11:00:00.250+01:00"},
        // Local time on the day before, and a half-hour zone.
        {1796522400000, -12600, false, "2026-12-05T22:30:00.000-03:30"},
        {1709251199999, 0, true, "2024-02-29T23:59:59.999Z"},
        {1767225599999, 20700, false, "2026-01-01T05:44:59.999+05:45"},
        {951868800000, 0, true, "2000-03-01T00:00:00.000Z"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(IsoTime(r.ms, r.offset, r.utc), r.text) << r.ms << " " << r.offset;
    }
}

TEST(Records, ValuesInTheBaseUnitAreExactDecimals) {
    struct Row {
        const char* shown;
        int exponent;
        const char* value;
    };
    const Row rows[] = {
        {"1.999", -3, "0.001999"},
        {"199.9", 3, "199900"},
        {"15", -6, "0.000015"},
        {"1.25", -6, "0.00000125"},
        {"1999", -9, "0.000001999"},
        {"12.34", 0, "12.34"},
        {"19", 0, "19"},
        {"5.0", 0, "5"},
        {"0.0", -3, "0"},
        {".0", 0, "0"},
        {"0.05", 3, "50"},
        {"100", -2, "1"},
        {"-1.5", 1, "-15"},
        {"", 0, ""},
        {"abc", 0, ""},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ScaledDecimal(r.shown, r.exponent), r.value) << r.shown << "e" << r.exponent;
    }
}

TEST(Records, CsvFieldsAreQuotedOnlyWhenTheyMustBe) {
    EXPECT_EQ(CsvField("m A/m"), "m A/m");
    EXPECT_EQ(CsvField(""), "");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\r\nlines"), "\"two\r\nlines\"");
}

Record AReading() {
    Record r;
    r.kind = RecordKind::Reading;
    r.seq = 7;
    r.utcMs = 1796551200250;
    r.utcOffsetSeconds = 3600;
    r.reading.model = 8204;
    r.reading.valueText = "1.999";
    r.reading.exponent = -3;
    r.reading.unitsText = "Gauss";
    r.reading.unitsLabel = "mG";
    r.reading.range = 2;
    r.reading.autoRange = true;
    r.reading.percent = 75;
    r.reading.overRange = true;
    return r;
}

// The CSV row of a record, by column name (no field here needs quotes).
std::map<std::string, std::string> Columns(const Record& r) {
    std::string header = CsvHeader();
    std::string line = CsvLine(r);
    EXPECT_EQ(header.substr(header.size() - 2), "\r\n");
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    const QStringList names = QString::fromStdString(header).trimmed().split(QLatin1Char(','));
    const QStringList values = QString::fromStdString(line).trimmed().split(QLatin1Char(','));
    EXPECT_EQ(values.size(), names.size()) << line;
    std::map<std::string, std::string> m;
    for (int i = 0; i < names.size() && i < values.size(); ++i) {
        m[names[i].toStdString()] = values[i].toStdString();
    }
    return m;
}

TEST(Records, CsvRowsHaveEveryColumnOfTheHeader) {
    auto m = Columns(AReading());
    EXPECT_EQ(m["kind"], "reading");
    EXPECT_EQ(m["seq"], "7");
    EXPECT_EQ(m["utc"], "2026-12-06T10:00:00.250Z");
    EXPECT_EQ(m["local"], "2026-12-06T11:00:00.250+01:00");
    EXPECT_EQ(m["value"], "0.001999");
    EXPECT_EQ(m["unit"], "Gauss");
    EXPECT_EQ(m["label"], "mG");
    EXPECT_EQ(m["display"], "1.999");
    EXPECT_EQ(m["range"], "2");
    EXPECT_EQ(m["auto_range"], "1");
    EXPECT_EQ(m["percent"], "75");
    EXPECT_EQ(m["over_range"], "1");
    EXPECT_EQ(m["under_range"], "0");
    EXPECT_EQ(m["model"], "QM-8204");
    EXPECT_EQ(m["volts"], "");

    Record battery;
    battery.kind = RecordKind::Battery;
    battery.volts = 8.95;
    m = Columns(battery);
    EXPECT_EQ(m["kind"], "battery");
    EXPECT_EQ(m["volts"], "8.95");
    EXPECT_EQ(m["value"], "");

    Record event;
    event.kind = RecordKind::Event;
    event.event = kEventLinkLost;
    m = Columns(event);
    EXPECT_EQ(m["event"], "link-lost");
    EXPECT_EQ(m["model"], "");
}

TEST(Records, JsonObjectsCarryNumbersAndFlagsAsJsonTypes) {
    const QJsonObject o = QJsonDocument::fromJson(JsonText(AReading())).object();
    EXPECT_EQ(o.value("kind").toString(), "reading");
    EXPECT_EQ(o.value("seq").toInteger(), 7);
    EXPECT_TRUE(o.value("value").isDouble());
    EXPECT_DOUBLE_EQ(o.value("value").toDouble(), 0.001999);
    EXPECT_EQ(o.value("display").toString(), "1.999");
    EXPECT_EQ(o.value("unit").toString(), "Gauss");
    EXPECT_EQ(o.value("label").toString(), "mG");
    EXPECT_EQ(o.value("auto_range").toBool(), true);
    EXPECT_EQ(o.value("over_range").toBool(), true);
    EXPECT_EQ(o.value("under_range").toBool(), false);
    EXPECT_EQ(o.value("range").toInt(), 2);
    EXPECT_EQ(o.value("percent").toInt(), 75);
    EXPECT_EQ(o.value("local").toString(), "2026-12-06T11:00:00.250+01:00");
    EXPECT_FALSE(JsonText(AReading()).contains('\n'));

    Record battery;
    battery.kind = RecordKind::Battery;
    battery.volts = 8.95;
    const QJsonObject b = QJsonDocument::fromJson(JsonText(battery)).object();
    EXPECT_DOUBLE_EQ(b.value("volts").toDouble(), 8.95);
    EXPECT_FALSE(b.contains("value"));
}

TEST(Records, StartAndStopEventsSayWhatRanAndWhyItEnded) {
    Record start;
    start.kind = RecordKind::Event;
    start.seq = 1;
    start.event = kEventStart;
    start.version = "1.0.0";
    start.device = "/dev/ttyUSB0";
    start.options = "--port /dev/ttyUSB0 --baud 9600 --output - --format csv";
    auto m = Columns(start);
    EXPECT_EQ(m["kind"], "event");
    EXPECT_EQ(m["event"], "start");
    EXPECT_EQ(m["display"],
              "version 1.0.0; device /dev/ttyUSB0; options --port /dev/ttyUSB0 --baud 9600 "
              "--output - --format csv");
    EXPECT_EQ(m["value"], "");
    EXPECT_EQ(m["model"], "");
    QJsonObject o = QJsonDocument::fromJson(JsonText(start)).object();
    EXPECT_EQ(o.value("event").toString(), "start");
    EXPECT_EQ(o.value("version").toString(), "1.0.0");
    EXPECT_EQ(o.value("device").toString(), "/dev/ttyUSB0");
    EXPECT_EQ(o.value("options").toString().toStdString(), start.options);
    EXPECT_FALSE(o.contains("reason"));

    Record stop;
    stop.kind = RecordKind::Event;
    stop.event = kEventStop;
    stop.reason = "SIGTERM";
    m = Columns(stop);
    EXPECT_EQ(m["event"], "stop");
    EXPECT_EQ(m["display"], "SIGTERM");
    o = QJsonDocument::fromJson(JsonText(stop)).object();
    EXPECT_EQ(o.value("reason").toString(), "SIGTERM");
    EXPECT_FALSE(o.contains("version"));

    // The other events keep their form: no display text, no extra keys.
    Record lost;
    lost.kind = RecordKind::Event;
    lost.event = kEventLinkLost;
    lost.reason = "not for a link event";
    EXPECT_EQ(Columns(lost)["display"], "");
    o = QJsonDocument::fromJson(JsonText(lost)).object();
    EXPECT_EQ(o.keys(), QStringList({"event", "kind", "local", "seq", "utc"}));

    // A device name with a comma or a quote stays one CSV field.
    start.device = "/dev/serial/by-id/usb-\"A,B\"";
    const std::string line = CsvLine(start);
    EXPECT_NE(line.find(",\"version 1.0.0; device /dev/serial/by-id/usb-\"\"A,B\"\"; options"),
              std::string::npos)
        << line;
}

// ------------------------------------------------------------- command line

QStringList Args(const char* line) {
    return (QStringLiteral("fenwyd8200 ") + QLatin1String(line))
        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

TEST(CommandLine, EveryWrongOptionIsAUsageErrorThatSaysWhy) {
    struct Row {
        const char* args;
        const char* error;  // part of the message
    };
    const Row rows[] = {
        {"--headless", "either --port"},
        {"--headless --port a --comm 2", "either --port"},
        {"--headless --comm 6", "1 to 5"},
        {"--headless --comm x", "1 to 5"},
        {"--headless --port a --baud 4800", "2400 or 9600"},
        {"--headless --port a --format xml", "csv or jsonl"},
        {"--headless --port a --duration 0", "above 0"},
        {"--headless --port a --duration -5", "above 0"},
        {"--headless --port a --duration 1e400", "above 0"},
        {"--headless --port a --duration soon", "above 0"},
        {"--headless --port a --battery-interval 15", "0, 5, 30 or 60"},
        {"--headless --port a --topic x", "need --mqtt"},
        {"--headless --port a --mqtt host:0", "HOST:PORT"},
        {"--headless --port a --mqtt host:99999", "HOST:PORT"},
        {"--headless --port a --mqtt [::1", "HOST:PORT"},
        {"--headless --port a --mqtt host --topic a/#", "--topic"},
        {"--headless --port a --mqtt host --topic a/+/b", "--topic"},
        {"--headless --port a --mqtt host --topic a/", "--topic"},
        {"--headless --port a --mqtt host --mqtt-password-file f", "--mqtt-user"},
        {"--headless --port a --mqtt host --mqtt-queue 0", "1 to"},
        {"--headless --port a --bogus", "Unknown option"},
        {"--headless --port", "Missing value"},
        {"--headless --port a extra", "unexpected argument"},
        {"--port a", "need --headless"},
    };
    for (const Row& r : rows) {
        const ParsedArgs p = ParseArguments(Args(r.args));
        EXPECT_EQ(p.action, Action::UsageError) << r.args;
        EXPECT_TRUE(p.error.contains(QLatin1String(r.error)))
            << r.args << ": " << p.error.toStdString();
    }
}

TEST(CommandLine, DurationAndTopicBoundsSayWhatIsWrong) {
    auto parse = [](const QString& option, const QString& value) {
        return ParseArguments({QStringLiteral("fenwyd8200"), QStringLiteral("--headless"),
                               QStringLiteral("--port"), QStringLiteral("a"),
                               QStringLiteral("--mqtt"), QStringLiteral("host"), option, value});
    };
    // Below the timer's 1 ms the logger would never end.
    for (const char* d : {"0.0001", "0.0004999", "1e-9"}) {
        const ParsedArgs p = parse(QStringLiteral("--duration"), QLatin1String(d));
        EXPECT_EQ(p.action, Action::UsageError) << d;
        EXPECT_TRUE(p.error.contains(QLatin1String("at least 0.001"))) << p.error.toStdString();
    }
    ParsedArgs p = parse(QStringLiteral("--duration"), QStringLiteral("0.001"));
    ASSERT_EQ(p.action, Action::Run) << p.error.toStdString();
    EXPECT_DOUBLE_EQ(p.options.durationSeconds, 0.001);

    // MQTT's 65535 bytes hold the prefix and "/reading".
    const QString longest(kMaxTopicPrefixBytes, QLatin1Char('a'));
    EXPECT_EQ(kMaxTopicPrefixBytes + 8, 65535);
    p = parse(QStringLiteral("--topic"), longest);
    ASSERT_EQ(p.action, Action::Run) << p.error.toStdString();
    EXPECT_EQ((p.options.topic + QStringLiteral("/reading")).toUtf8().size(), 65535);
    struct Row {
        QString topic;
        const char* error;
    };
    const Row rows[] = {
        {longest + QLatin1Char('a'), "65528 bytes in UTF-8"},
        {QString(70000, QLatin1Char('a')), "--topic is too long: 70000 bytes"},
        {QString(40000, QChar(0xE9)), "--topic is too long: 80000 bytes"},  // 'é', two bytes each
        {QString(30000, QChar(0x20AC)), "90000 bytes"},                     // the euro sign, three
        {QStringLiteral("site\tprobe"), "control characters (it holds U+0009)"},
        {QStringLiteral("site") + QChar(0x85), "U+0085"},
        {QStringLiteral("site") + QChar(0xFFFF), "U+FFFF"},
        {QStringLiteral("a/#"), "without '+', '#'"},
    };
    for (const Row& r : rows) {
        p = parse(QStringLiteral("--topic"), r.topic);
        EXPECT_EQ(p.action, Action::UsageError) << r.topic.left(20).toStdString();
        EXPECT_TRUE(p.error.contains(QLatin1String(r.error))) << p.error.toStdString();
    }
    EXPECT_TRUE(parse(QStringLiteral("--topic"), QString(30000, QChar(0xE9))).action == Action::Run)
        << "60000 bytes fit";
}

TEST(CommandLine, TheOptionsInEffectReadAsACommandLine) {
    Options o;
    o.device = QStringLiteral("/dev/serial/by-id/usb-FTDI it's-if00");
    o.output = QStringLiteral("/var/log/run.csv");
    EXPECT_EQ(EffectiveOptions(o, 9600).toStdString(),
              "--port '/dev/serial/by-id/usb-FTDI it'\\''s-if00' --baud 9600 --output "
              "/var/log/run.csv --format csv --battery-interval 30");

    o = Options();
    o.comm = 2;
    o.format = OutputFormat::Jsonl;
    o.durationSeconds = 1.5;
    o.batteryInterval = 0;
    o.mqttHost = QStringLiteral("::1");
    o.mqttUser = QStringLiteral("u");
    o.mqttPasswordFile = QStringLiteral("pw");
    o.mqttCaFile = QStringLiteral("ca.pem");
    EXPECT_EQ(EffectiveOptions(o, 2400).toStdString(),
              "--comm 2 --baud 2400 --output - --format jsonl --duration 1.5 --battery-interval 0 "
              "--mqtt '[::1]:8883' --topic fenwyd8200/comm2 --mqtt-user u --mqtt-password-file pw "
              "--mqtt-tls ca.pem --mqtt-queue 10000");
}

TEST(CommandLine, GoodOptionsAreTaken) {
    ParsedArgs p = ParseArguments(
        Args("--headless --comm 3 --baud 2400 --format jsonl --duration 1.5 --battery-interval 0 "
             "--output run.jsonl --mqtt [::1]:1884 --topic site/probe1 --mqtt-user u "
             "--mqtt-password-file pw --mqtt-queue 12"));
    ASSERT_EQ(p.action, Action::Run) << p.error.toStdString();
    const Options& o = p.options;
    EXPECT_EQ(o.comm, 3);
    EXPECT_TRUE(o.device.isEmpty());
    EXPECT_EQ(o.baud, 2400);
    EXPECT_EQ(o.format, OutputFormat::Jsonl);
    EXPECT_DOUBLE_EQ(o.durationSeconds, 1.5);
    EXPECT_EQ(o.batteryInterval, 0);
    EXPECT_EQ(o.output, "run.jsonl");
    EXPECT_EQ(o.mqttHost, "::1");
    EXPECT_EQ(MqttPort(o), 1884);
    EXPECT_EQ(o.topic, "site/probe1");
    EXPECT_EQ(o.mqttQueue, 12);

    p =
        ParseArguments(Args("--headless --port=/dev/serial/by-id/usb-FTDI-if00 --output - "
                            "--mqtt broker.local --mqtt-tls ca.pem"));
    ASSERT_EQ(p.action, Action::Run) << p.error.toStdString();
    EXPECT_EQ(p.options.device, "/dev/serial/by-id/usb-FTDI-if00");
    EXPECT_TRUE(p.options.output.isEmpty()) << "\"-\" is standard output";
    EXPECT_EQ(p.options.format, OutputFormat::Csv);
    EXPECT_EQ(p.options.batteryInterval, 30);
    EXPECT_EQ(p.options.durationSeconds, 0);
    EXPECT_EQ(MqttPort(p.options), 8883) << "TLS";
    EXPECT_EQ(DefaultTopic(p.options), "fenwyd8200/usb-FTDI-if00");

    p = ParseArguments(Args("--headless --comm 2 --mqtt 10.0.0.5"));
    EXPECT_EQ(MqttPort(p.options), 1883);
    EXPECT_EQ(DefaultTopic(p.options), "fenwyd8200/comm2");

    EXPECT_EQ(ParseArguments(Args("--help")).action, Action::Help);
    EXPECT_EQ(ParseArguments(Args("--headless --port a --help")).action, Action::Help);
    EXPECT_EQ(ParseArguments(Args("--version")).action, Action::Version);
}

TEST(CommandLine, OnlyOurOwnOptionsLeaveTheWindow) {
    struct Row {
        std::vector<const char*> argv;
        bool headless;
    };
    const Row rows[] = {
        {{"fenwyd8200"}, false},
        {{"fenwyd8200", "-platform", "offscreen"}, false},
        {{"fenwyd8200", "--style", "fusion"}, false},
        {{"fenwyd8200", "--portx"}, false},
        {{"fenwyd8200", "--headless"}, true},
        {{"fenwyd8200", "--port=/dev/ttyUSB0"}, true},
        {{"fenwyd8200", "--version"}, true},
    };
    for (const Row& r : rows) {
        std::vector<char*> argv;
        for (const char* a : r.argv) argv.push_back(const_cast<char*>(a));
        EXPECT_EQ(WantsCommandLine(static_cast<int>(argv.size()), argv.data()), r.headless)
            << argv.back();
    }
}

// --------------------------------------------------------- queue for the broker

TEST(Outbox, AFullQueueDropsTheOldestAndCountsThem) {
    Outbox box(3);
    for (int i = 1; i <= 5; ++i) box.push({"t", std::to_string(i)});
    EXPECT_EQ(box.size(), 3u);
    EXPECT_EQ(box.front().payload, "3");
    EXPECT_EQ(box.dropped(), 2u);
    EXPECT_EQ(box.takeNewlyDropped(), 2u);
    EXPECT_EQ(box.takeNewlyDropped(), 0u);
    box.pop();
    box.push({"t", "6"});
    EXPECT_EQ(box.dropped(), 2u) << "room again: nothing dropped";
    box.push({"t", "7"});
    EXPECT_EQ(box.takeNewlyDropped(), 1u);
    EXPECT_EQ(box.front().payload, "5");

    Outbox one(0);
    one.push({"t", "a"});
    one.push({"t", "b"});
    EXPECT_EQ(one.size(), 1u) << "a bound of 0 still keeps the newest";
    EXPECT_EQ(one.front().payload, "b");
}

}  // namespace
}  // namespace fenwyd::headless
