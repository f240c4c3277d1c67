// The unattended logger's pieces that need no probe: record texts, the
// command line and the bounded queue for the broker.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <charconv>
#include <cmath>

#include "headless/exposure_judge.h"
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

// Words as a POSIX shell splits them, for the quoting EffectiveOptions uses
// (single quotes, '\'' for a quote inside).
QStringList ShellWords(const QString& line) {
    QStringList words;
    QString word;
    bool quoted = false, any = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            any = true;
        } else if (c == QLatin1Char('\\') && !quoted && i + 1 < line.size()) {
            word += line[++i];
        } else if (c == QLatin1Char(' ') && !quoted) {
            if (any || !word.isEmpty()) words << word;
            word.clear();
            any = false;
        } else {
            word += c;
        }
    }
    if (any || !word.isEmpty()) words << word;
    return words;
}

TEST(CommandLine, ExposureAndGpsdOptionsAreTakenOrSayWhatIsWrong) {
    // Success rows: what the options become, and how the start record
    // gives them back.
    struct Good {
        QStringList args;
        const char* effective;  // the end of EffectiveOptions
    };
    const Good good[] = {
        {{"--exposure", "icnirp2010-public"},
         "--exposure icnirp2010-public --frequency 50 --alarm 100"},
        {{"--exposure=eu2013-high", "--frequency", "16.7", "--alarm", "80.5"},
         "--exposure eu2013-high --frequency 16.7 --alarm 80.5"},
        {{"--reference-level", "2000", "mG"}, "--reference-level 2000 mG --alarm 100"},
        {{"--alarm", "50", "--reference-level", "5", "mA/m"},
         "--reference-level 5 'm A/m' --alarm 50"},
        {{"--reference-level=0.2", "uT", "--gpsd", "gps.local"},
         "--reference-level 0.2 uT --alarm 100 --gpsd gps.local:2947"},
        {{"--reference-level", "1.5 kV/m"}, "--reference-level 1.5 'k V/m' --alarm 100"},
        {{"--gpsd=[::1]:3000"}, "--battery-interval 30 --gpsd '[::1]:3000'"},
        {{"--gpsd", "127.0.0.1:29470", "--exposure", "icnirp1998-occupational"},
         "--exposure icnirp1998-occupational --frequency 50 --alarm 100 --gpsd 127.0.0.1:29470"},
    };
    const QStringList base = {"fenwyd8200", "--headless", "--port", "a"};
    for (const Good& g : good) {
        const ParsedArgs p = ParseArguments(base + g.args);
        ASSERT_EQ(p.action, Action::Run)
            << g.args.join(' ').toStdString() << ": " << p.error.toStdString();
        EXPECT_TRUE(EffectiveOptions(p.options, 9600).endsWith(QLatin1String(g.effective)))
            << EffectiveOptions(p.options, 9600).toStdString();
        // The start record's options, given again, mean the same.
        const QStringList again = ShellWords(EffectiveOptions(p.options, 9600));
        const ParsedArgs q = ParseArguments(QStringList{"fenwyd8200", "--headless"} + again);
        ASSERT_EQ(q.action, Action::Run) << q.error.toStdString();
        EXPECT_EQ(EffectiveOptions(q.options, 9600), EffectiveOptions(p.options, 9600));
    }
    ParsedArgs p = ParseArguments(base + QStringList{"--exposure", "eu2013-low"});
    ASSERT_TRUE(p.options.reference);
    EXPECT_FALSE(p.options.reference->typed);
    EXPECT_EQ(p.options.reference->standard, StandardId::Eu2013Low);
    EXPECT_EQ(p.options.reference->frequencyHz, 50);
    EXPECT_EQ(p.options.alarmPercent, 100);
    EXPECT_FALSE(p.options.gpsd);
    p = ParseArguments(base + QStringList{"--reference-level", "2000", "mG", "--alarm", "75"});
    ASSERT_TRUE(p.options.reference && p.options.reference->typed);
    EXPECT_EQ(p.options.reference->typedValue, 2000);
    EXPECT_EQ(p.options.reference->typedUnit, "mG");
    EXPECT_EQ(p.options.alarmPercent, 75);
    p = ParseArguments(base + QStringList{"--gpsd", "localhost"});
    ASSERT_TRUE(p.options.gpsd);
    EXPECT_EQ(p.options.gpsd->host, "localhost");
    EXPECT_EQ(p.options.gpsd->port, 2947);
    EXPECT_FALSE(p.options.reference);
    EXPECT_EQ(EffectiveOptions(ParseArguments(base).options, 9600),
              "--port a --baud 9600 --output - --format csv --battery-interval 30")
        << "without the options the start record is as before";

    struct Bad {
        QStringList args;
        const char* error;  // part of the message
    };
    const Bad bad[] = {
        {{"--exposure", "icnirp2020"},
         "unknown --exposure 'icnirp2020'; use one of "
         "icnirp2010-public, icnirp2010-occupational"},
        {{"--exposure", "ICNIRP2010-PUBLIC"}, "unknown --exposure"},
        {{"--exposure", "eu2013-low", "--reference-level", "1", "mG"}, "either --exposure or"},
        {{"--exposure", "eu2013-low", "--exposure", "eu2013-high"}, "--exposure is given twice"},
        {{"--reference-level", "1", "mG", "--reference-level", "2", "mG"}, "given twice"},
        {{"--frequency", "60"}, "--frequency needs --exposure"},
        {{"--reference-level", "1", "mG", "--frequency", "60"}, "--frequency needs --exposure"},
        {{"--exposure", "eu2013-low", "--frequency", "0.5"}, "from 1 Hz to 3 kHz"},
        {{"--exposure", "eu2013-low", "--frequency", "3000.1"}, "from 1 Hz to 3 kHz"},
        {{"--exposure", "eu2013-low", "--frequency", "50Hz"}, "from 1 Hz to 3 kHz"},
        {{"--exposure", "eu2013-low", "--frequency", "nan"}, "from 1 Hz to 3 kHz"},
        {{"--alarm", "100"}, "--alarm needs --exposure or --reference-level"},
        {{"--exposure", "eu2013-low", "--alarm", "0"}, "--alarm must be a percent above 0"},
        {{"--exposure", "eu2013-low", "--alarm", "-5"}, "above 0"},
        {{"--exposure", "eu2013-low", "--alarm", "inf"}, "above 0"},
        {{"--exposure", "eu2013-low", "--alarm", "50%"}, "above 0"},
        {{"--reference-level"}, "needs a value and a unit (2000 mG)"},
        {{"--reference-level", "2000"}, "needs a value and a unit"},
        {{"--reference-level", "2000", "--port", "b"}, "needs a value and a unit"},
        {{"--reference-level", "0", "mG"}, "--reference-level: "},
        {{"--reference-level", "-3", "mG"}, "--reference-level: "},
        {{"--reference-level", "lots", "mG"}, "--reference-level: "},
        {{"--reference-level", "5", "furlongs"}, "--reference-level: Unknown unit \"furlongs\""},
        {{"--gpsd", ""}, "--gpsd must be HOST or HOST:PORT"},
        {{"--gpsd", "host:0"}, "1 to 65535"},
        {{"--gpsd", "host:x"}, "1 to 65535"},
        {{"--gpsd", "a b"}, "not a host name"},
        {{"--gpsd"}, "Missing value"},
    };
    for (const Bad& b : bad) {
        const ParsedArgs q = ParseArguments(base + b.args);
        EXPECT_EQ(q.action, Action::UsageError) << b.args.join(' ').toStdString();
        EXPECT_TRUE(q.error.contains(QLatin1String(b.error)))
            << b.args.join(' ').toStdString() << ": " << q.error.toStdString();
    }
    for (const char* id : {"icnirp2010-public", "icnirp2010-occupational", "icnirp1998-public",
                           "icnirp1998-occupational", "eu2013-low", "eu2013-high"}) {
        EXPECT_TRUE(HelpText().contains(QLatin1String(id))) << id;
        EXPECT_EQ(ParseArguments(base + QStringList{"--exposure", id}).action, Action::Run) << id;
    }
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
        {{"fenwyd8200", "--exposure", "eu2013-low"}, true},
        {{"fenwyd8200", "--gpsd=localhost"}, true},
        {{"fenwyd8200", "--reference-level", "1", "mG"}, true},
    };
    for (const Row& r : rows) {
        std::vector<char*> argv;
        for (const char* a : r.argv) argv.push_back(const_cast<char*>(a));
        EXPECT_EQ(WantsCommandLine(static_cast<int>(argv.size()), argv.data()), r.headless)
            << argv.back();
    }
}

// ------------------------------------------------ exposure and position fields

// A number as a reader of the records gets it from the text.
double Number(const std::string& text) {
    double v = std::nan("");
    const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    EXPECT_TRUE(res.ec == std::errc() && res.ptr == text.data() + text.size()) << text;
    return v;
}

constexpr RecordLayout kBoth{true, true};

std::map<std::string, std::string> Columns(const Record& r, const RecordLayout& layout) {
    const QStringList names =
        QString::fromStdString(CsvHeader(layout)).trimmed().split(QLatin1Char(','));
    const QStringList values =
        QString::fromStdString(CsvLine(r, layout)).trimmed().split(QLatin1Char(','));
    EXPECT_EQ(values.size(), names.size()) << CsvLine(r, layout);
    std::map<std::string, std::string> m;
    for (int i = 0; i < names.size() && i < values.size(); ++i) {
        m[names[i].toStdString()] = values[i].toStdString();
    }
    return m;
}

Record Reading(const char* shown, int exponent, const char* unit, int64_t ms = 0,
               char state = 'N') {
    Record r;
    r.kind = RecordKind::Reading;
    r.utcMs = ms;
    r.reading.valueText = shown;
    r.reading.exponent = static_cast<int16_t>(exponent);
    r.reading.unitsText = unit;
    r.reading.overRange = state == 'O';
    r.reading.underRange = state == 'U';
    return r;
}

Reference Standard(const char* key) {
    return *MakeStandardReference(*StandardFromKey(key), kDefaultFrequencyHz);
}

TEST(Records, WithoutTheNewOptionsRecordsStayAsTheyWere) {
    EXPECT_EQ(CsvHeader(),
              "kind,seq,utc,local,value,unit,label,display,range,auto_range,percent,over_range,"
              "under_range,model,volts,event\r\n");
    EXPECT_EQ(CsvHeader(RecordLayout{true, false}),
              "kind,seq,utc,local,value,unit,label,display,range,auto_range,percent,over_range,"
              "under_range,model,volts,event,standard,reference_level,exposure_percent\r\n");
    EXPECT_EQ(CsvHeader(kBoth),
              "kind,seq,utc,local,value,unit,label,display,range,auto_range,percent,over_range,"
              "under_range,model,volts,event,standard,reference_level,exposure_percent,lat,lon,"
              "alt,fix\r\n");
    // A record that holds the new fields still writes only the layout's.
    Record r = AReading();
    r.standard = "typed";
    r.referenceLevel = 2;
    r.exposurePercent = 50;
    r.reading.position = Position{52.2, -1.5, 60.0, 107.0, FixMode::ThreeD, 1, 1};
    EXPECT_EQ(CsvLine(r), CsvLine(AReading()));
    EXPECT_EQ(JsonText(r), JsonText(AReading()));
    EXPECT_EQ(QJsonDocument::fromJson(JsonText(r)).object().keys(),
              QStringList({"auto_range", "display", "kind", "label", "local", "model", "over_range",
                           "percent", "range", "seq", "under_range", "unit", "utc", "value"}));
    // Battery and event rows leave the new columns empty, JSON adds no keys.
    Record battery;
    battery.kind = RecordKind::Battery;
    battery.volts = 9;
    EXPECT_EQ(CsvLine(battery, kBoth).substr(CsvLine(battery).size() - 2), ",,,,,,,\r\n");
    EXPECT_EQ(JsonText(battery, kBoth), JsonText(battery));
}

TEST(Records, PositionsAreWrittenWhenThereIsAFixAndNothingWhenNot) {
    struct Row {
        std::optional<Position> position;
        const char *lat, *lon, *alt, *fix;
    };
    const Row rows[] = {
        {Position{52.2053, -1.51, 61.7, 108.9, FixMode::ThreeD, 1, 1}, "52.2053", "-1.51", "61.7",
         "3D"},
        // Seven decimals (about a centimetre); heights in millimetres.
        {Position{-33.856784123, 151.215297449, -0.0004, {}, FixMode::ThreeD, 1, 1}, "-33.8567841",
         "151.2152974", "0", "3D"},
        {Position{0.00000004, 179.99999996, {}, {}, FixMode::TwoD, 1, 1}, "0", "180", "", "2D"},
        {std::nullopt, "", "", "", ""},
    };
    for (const Row& row : rows) {
        Record r = AReading();
        r.reading.position = row.position;
        auto m = Columns(r, RecordLayout{false, true});
        EXPECT_EQ(m["lat"], row.lat);
        EXPECT_EQ(m["lon"], row.lon);
        EXPECT_EQ(m["alt"], row.alt);
        EXPECT_EQ(m["fix"], row.fix);
        EXPECT_EQ(m.count("standard"), 0u);
        const QJsonObject o =
            QJsonDocument::fromJson(JsonText(r, RecordLayout{false, true})).object();
        for (const char* key : {"lat", "lon", "alt", "fix"}) {
            ASSERT_TRUE(o.contains(key)) << key << ": every reading has the key";
        }
        EXPECT_EQ(o.value("lat").isNull(), !row.position);
        if (row.position) {
            EXPECT_EQ(o.value("lat").toDouble(), Number(row.lat));
            EXPECT_EQ(o.value("lon").toDouble(), Number(row.lon));
            EXPECT_EQ(o.value("fix").toString().toStdString(), row.fix);
        }
        EXPECT_EQ(o.value("alt").isNull(), *row.alt == '\0');
    }
}

TEST(ExposureJudge, ThePercentIsTheCarriedValueOverTheCarriedLevel) {
    struct Row {
        Reference ref;
        const char* shown;
        int exponent;
        const char* unit;
        const char* level;  // as written, in the reading's base unit; "" for none
    };
    const Row rows[] = {
        {Standard("icnirp2010-public"), "1.999", -3, "Gauss", "2"},  // 200 uT
        {Standard("icnirp2010-public"), "123.4", 0, "V/m", "5000"},
        {Standard("icnirp2010-public"), "19.99", 0, "A/m", "160"},
        {Standard("icnirp2010-public"), "15", -6, "Tesla", "0.0002"},
        {Standard("icnirp2010-occupational"), "1999", 0, "m A/m", "800000"},
        // No H level in the directive: B / mu0, 1000 uT / mu0 in A/m.
        {Standard("eu2013-low"), "1.5", 0, "A/m", "795.7747154594767"},
        {*MakeStandardReference(StandardId::Icnirp2010Public, 60), "1.2", 3, "V/m",
         "4166.666666666667"},
        {*ParseTypedReference("2000", "mG"), "1.25", -6, "Tesla", "0.0002"},
        {*ParseTypedReference("2000", "mG"), "0.3", 0, "Gauss", "2"},
        {*ParseTypedReference("5", "kV/m"), "1.999", -3, "Gauss", ""},  // another quantity
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.shown) + " " + row.unit);
        ExposureJudge judge(row.ref, 100);
        Record r = Reading(row.shown, row.exponent, row.unit);
        EXPECT_FALSE(judge.judge(r));
        auto m = Columns(r, kBoth);
        EXPECT_EQ(m["standard"], row.ref.typed ? "typed" : StandardName(row.ref));
        EXPECT_EQ(m["reference_level"], row.level);
        const QJsonObject o = QJsonDocument::fromJson(JsonText(r, kBoth)).object();
        if (*row.level == '\0') {
            EXPECT_EQ(m["exposure_percent"], "");
            EXPECT_TRUE(o.value("reference_level").isNull());
            EXPECT_TRUE(o.value("exposure_percent").isNull());
            continue;
        }
        // Exactly, from the texts as written, and from the JSON numbers.
        EXPECT_EQ(Number(m["value"]) / Number(m["reference_level"]) * 100,
                  Number(m["exposure_percent"]))
            << m["exposure_percent"];
        EXPECT_EQ(o.value("value").toDouble() / o.value("reference_level").toDouble() * 100,
                  o.value("exposure_percent").toDouble());
        EXPECT_EQ(o.value("standard").toString().toStdString(), m["standard"]);

        // Over and under range: the level, no percent.
        for (const char state : {'O', 'U'}) {
            Record edge = Reading(row.shown, row.exponent, row.unit, 0, state);
            EXPECT_FALSE(judge.judge(edge));
            m = Columns(edge, kBoth);
            EXPECT_EQ(m["reference_level"], row.level);
            EXPECT_EQ(m["exposure_percent"], "");
            EXPECT_TRUE(QJsonDocument::fromJson(JsonText(edge, kBoth))
                            .object()
                            .value("exposure_percent")
                            .isNull());
        }
    }
}

TEST(ExposureJudge, CrossingTheThresholdUpAndBackGivesEventsInOrder) {
    ExposureJudge judge(*ParseTypedReference("1", "G"), 100);
    struct Step {
        const char* shown;
        int64_t ms;
        char state;
        const char* event;  // made by this reading, or nullptr
    };
    const Step steps[] = {
        {"0.5", 0, 'N', nullptr},
        {"1.0", 1000, 'N', kEventExceedanceStart},  // at the threshold is above it
        {"1.5", 2000, 'N', nullptr},
        {"1.999", 2500, 'O', nullptr},  // no percent: changes nothing
        {"0.001", 2600, 'U', nullptr},
        {"0.9", 3000, 'N', kEventExceedanceEnd},
        {"0.2", 4000, 'N', nullptr},
        {"1.2", 5000, 'N', kEventExceedanceStart},
        {"1.3", 5500, 'N', nullptr},
    };
    std::vector<Record> events;
    for (const Step& s : steps) {
        Record r = Reading(s.shown, 0, "Gauss", s.ms, s.state);
        r.utcOffsetSeconds = 3600;
        const std::optional<Record> e = judge.judge(r);
        ASSERT_EQ(e.has_value(), s.event != nullptr) << s.shown << " at " << s.ms;
        if (!e) continue;
        EXPECT_EQ(e->event, s.event);
        EXPECT_EQ(e->utcMs, s.ms) << "stamped with the reading";
        EXPECT_EQ(e->utcOffsetSeconds, 3600);
        EXPECT_EQ(e->exposurePercent, r.exposurePercent) << "the crossing reading's percent";
        events.push_back(*e);
    }
    std::optional<Record> last = judge.finish(9000, 3600);
    ASSERT_TRUE(last);
    events.push_back(*last);
    EXPECT_FALSE(judge.finish(9500, 3600)) << "ended once";

    ASSERT_EQ(events.size(), 4u);
    auto m = Columns(events[0], kBoth);
    EXPECT_EQ(m["kind"], "event");
    EXPECT_EQ(m["event"], "exceedance-start");
    EXPECT_EQ(m["display"], "threshold 100 %");
    EXPECT_EQ(m["unit"], "Gauss");
    EXPECT_EQ(m["standard"], "typed");
    EXPECT_EQ(m["reference_level"], "1");
    EXPECT_EQ(m["exposure_percent"], "100");
    EXPECT_EQ(m["value"], "");
    EXPECT_EQ(m["lat"], "");

    m = Columns(events[1], kBoth);
    EXPECT_EQ(m["event"], "exceedance-end");
    EXPECT_EQ(m["display"], "threshold 100 %; lasted 2 s; highest 150 %");
    EXPECT_EQ(m["exposure_percent"], "90");
    QJsonObject o = QJsonDocument::fromJson(JsonText(events[1])).object();
    EXPECT_EQ(o.value("event").toString(), "exceedance-end");
    EXPECT_EQ(o.value("duration_seconds").toDouble(), 2.0);
    EXPECT_EQ(o.value("max_percent").toDouble(), 150.0);
    EXPECT_EQ(o.value("threshold_percent").toDouble(), 100.0);
    EXPECT_EQ(o.value("reason").toString(), "below");
    EXPECT_EQ(o.value("reference_level").toDouble(), 1.0);
    EXPECT_EQ(o.value("unit").toString(), "Gauss");

    EXPECT_EQ(events[2].event, kEventExceedanceStart);
    // The run ended while above: the spell up to its last reading.
    EXPECT_EQ(events[3].utcMs, 9000);
    EXPECT_EQ(EventDetail(events[3]),
              "threshold 100 %; lasted 0.5 s; highest 130 %; the run ended");
    o = QJsonDocument::fromJson(JsonText(events[3])).object();
    EXPECT_EQ(o.value("reason").toString(), "stop");
    EXPECT_TRUE(o.value("exposure_percent").isNull());
    EXPECT_EQ(o.value("max_percent").toDouble(), 130.0);
    EXPECT_EQ(o.value("duration_seconds").toDouble(), 0.5);
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
