#include "headless/options.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <cmath>
#include <cstring>

namespace fenwyd::headless {

namespace {
constexpr double kMaxDurationSeconds = 10.0 * 365 * 86400;
constexpr double kMinDurationSeconds = 0.001;  // the timer's step: 1 ms
constexpr int kMaxMqttQueue = 1000000;

bool ToInt(const QString& text, int lo, int hi, int& out) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < lo || v > hi) return false;
    out = v;
    return true;
}

// HOST, HOST:PORT, [IPv6] or [IPv6]:PORT; a bare IPv6 address has no port.
bool ParseBroker(const QString& text, QString& host, int& port) {
    QString rest;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        if (close < 2) return false;
        host = text.mid(1, close - 1);
        rest = text.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':'))) return false;
    } else if (text.count(QLatin1Char(':')) == 1) {
        host = text.section(QLatin1Char(':'), 0, 0);
        rest = text.mid(host.size());
    } else {
        host = text;
    }
    if (host.isEmpty() || host.contains(QLatin1Char(' '))) return false;
    port = 0;
    if (rest.isEmpty()) return true;
    return ToInt(rest.mid(1), 1, 65535, port);
}

// Characters MQTT brokers and libmosquitto refuse in a topic: controls
// (U+0000-U+001F, U+007F-U+009F) and the Unicode non-characters.
bool RefusedInTopic(char32_t c) {
    return c <= 0x1F || (c >= 0x7F && c <= 0x9F) || (c >= 0xFDD0 && c <= 0xFDEF) ||
           (c & 0xFFFE) == 0xFFFE;
}

// Empty when the prefix makes valid topics, else what is wrong with it.
QString TopicError(const QString& topic) {
    if (topic.isEmpty() || topic.contains(QLatin1Char('+')) || topic.contains(QLatin1Char('#')) ||
        topic.endsWith(QLatin1Char('/'))) {
        return QStringLiteral("--topic must be a topic name without '+', '#' or a trailing '/'");
    }
    for (const char32_t c : topic.toUcs4()) {
        if (RefusedInTopic(c)) {
            return QStringLiteral("--topic must not hold control characters (it holds U+%1)")
                .arg(QString::number(static_cast<uint>(c), 16)
                         .toUpper()
                         .rightJustified(4, QLatin1Char('0')));
        }
    }
    const qsizetype bytes = topic.toUtf8().size();
    if (bytes > kMaxTopicPrefixBytes) {
        return QStringLiteral(
                   "--topic is too long: %1 bytes in UTF-8, and MQTT allows %2 bytes for a "
                   "whole topic, of which the logger needs %3 for \"/reading\": at most %4 bytes")
            .arg(bytes)
            .arg(kMaxTopicBytes)
            .arg(kMaxTopicBytes - kMaxTopicPrefixBytes)
            .arg(kMaxTopicPrefixBytes);
    }
    return {};
}

ParsedArgs Usage(const QString& error) {
    ParsedArgs p;
    p.action = Action::UsageError;
    p.error = error;
    return p;
}
}  // namespace

bool WantsCommandLine(int argc, char** argv) {
    // Only our own option names: Qt's options (-platform, --style...) still
    // go to the window.
    static const char* const kNames[] = {
        "headless",  "help",   "version",   "port",     "comm",
        "baud",      "output", "format",    "duration", "battery-interval",
        "mqtt",      "topic",  "mqtt-user", "mqtt-tls", "mqtt-password-file",
        "mqtt-queue"};
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--", 2) != 0) continue;
        const char* name = argv[i] + 2;
        const std::size_t length = std::strcspn(name, "=");
        for (const char* known : kNames) {
            if (std::strlen(known) == length && std::strncmp(name, known, length) == 0) {
                return true;
            }
        }
    }
    return false;
}

ParsedArgs ParseArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption headless(QStringLiteral("headless"));
    const QCommandLineOption help(QStringLiteral("help"));
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption port(QStringLiteral("port"), {}, QStringLiteral("DEVICE"));
    const QCommandLineOption comm(QStringLiteral("comm"), {}, QStringLiteral("N"));
    const QCommandLineOption baud(QStringLiteral("baud"), {}, QStringLiteral("RATE"));
    const QCommandLineOption output(QStringLiteral("output"), {}, QStringLiteral("FILE"));
    const QCommandLineOption format(QStringLiteral("format"), {}, QStringLiteral("FORMAT"));
    const QCommandLineOption duration(QStringLiteral("duration"), {}, QStringLiteral("SECONDS"));
    const QCommandLineOption battery(QStringLiteral("battery-interval"), {},
                                     QStringLiteral("MINUTES"));
    const QCommandLineOption mqtt(QStringLiteral("mqtt"), {}, QStringLiteral("HOST"));
    const QCommandLineOption topic(QStringLiteral("topic"), {}, QStringLiteral("PREFIX"));
    const QCommandLineOption user(QStringLiteral("mqtt-user"), {}, QStringLiteral("NAME"));
    const QCommandLineOption password(QStringLiteral("mqtt-password-file"), {},
                                      QStringLiteral("FILE"));
    const QCommandLineOption tls(QStringLiteral("mqtt-tls"), {}, QStringLiteral("CAFILE"));
    const QCommandLineOption queue(QStringLiteral("mqtt-queue"), {}, QStringLiteral("RECORDS"));
    parser.addOptions({headless, help, version, port, comm, baud, output, format, duration, battery,
                       mqtt, topic, user, password, tls, queue});

    if (!parser.parse(arguments)) return Usage(parser.errorText());
    if (parser.isSet(help)) {
        ParsedArgs p;
        p.action = Action::Help;
        return p;
    }
    if (parser.isSet(version)) {
        ParsedArgs p;
        p.action = Action::Version;
        return p;
    }
    if (!parser.isSet(headless)) return Usage(QStringLiteral("options need --headless"));
    if (!parser.positionalArguments().isEmpty()) {
        return Usage(QStringLiteral("unexpected argument '%1'")
                         .arg(parser.positionalArguments().constFirst()));
    }

    Options o;
    if (parser.isSet(port) == parser.isSet(comm)) {
        return Usage(QStringLiteral("give either --port DEVICE or --comm N"));
    }
    if (parser.isSet(port)) {
        o.device = parser.value(port);
        if (o.device.isEmpty()) return Usage(QStringLiteral("--port needs a device"));
    } else if (!ToInt(parser.value(comm), 1, 5, o.comm)) {
        return Usage(QStringLiteral("--comm must be 1 to 5"));
    }
    if (parser.isSet(baud)) {
        const QString b = parser.value(baud).trimmed();
        if (b != QLatin1String("2400") && b != QLatin1String("9600")) {
            return Usage(QStringLiteral("--baud must be 2400 or 9600"));
        }
        o.baud = b.toInt();
    }
    if (parser.isSet(output)) {
        o.output = parser.value(output);
        if (o.output.isEmpty()) return Usage(QStringLiteral("--output needs a file name"));
        if (o.output == QLatin1String("-")) o.output.clear();
    }
    if (parser.isSet(format)) {
        const QString f = parser.value(format);
        if (f == QLatin1String("csv")) {
            o.format = OutputFormat::Csv;
        } else if (f == QLatin1String("jsonl")) {
            o.format = OutputFormat::Jsonl;
        } else {
            return Usage(QStringLiteral("--format must be csv or jsonl"));
        }
    }
    if (parser.isSet(duration)) {
        bool ok = false;
        o.durationSeconds = parser.value(duration).trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(o.durationSeconds) || o.durationSeconds <= 0 ||
            o.durationSeconds > kMaxDurationSeconds) {
            return Usage(QStringLiteral(
                "--duration must be a number of seconds above 0 (at most ten years)"));
        }
        if (o.durationSeconds < kMinDurationSeconds) {
            return Usage(
                QStringLiteral("--duration must be a number of seconds above 0, at "
                               "least 0.001 (1 ms, the timer's step)"));
        }
    }
    if (parser.isSet(battery)) {
        // The intervals the probe menu offers; 0 switches the requests off.
        const QString b = parser.value(battery).trimmed();
        if (b != QLatin1String("0") && b != QLatin1String("5") && b != QLatin1String("30") &&
            b != QLatin1String("60")) {
            return Usage(QStringLiteral("--battery-interval must be 0, 5, 30 or 60"));
        }
        o.batteryInterval = b.toInt();
    }
    const bool anyMqtt = parser.isSet(topic) || parser.isSet(user) || parser.isSet(password) ||
                         parser.isSet(tls) || parser.isSet(queue);
    if (anyMqtt && !parser.isSet(mqtt)) {
        return Usage(QStringLiteral("--topic and the other --mqtt-... options need --mqtt"));
    }
    if (parser.isSet(mqtt) && !ParseBroker(parser.value(mqtt), o.mqttHost, o.mqttPort)) {
        return Usage(QStringLiteral("--mqtt must be HOST or HOST:PORT (port 1 to 65535)"));
    }
    if (parser.isSet(topic)) {
        o.topic = parser.value(topic);
        const QString error = TopicError(o.topic);
        if (!error.isEmpty()) return Usage(error);
    }
    o.mqttUser = parser.value(user);
    if (parser.isSet(user) && o.mqttUser.isEmpty()) {
        return Usage(QStringLiteral("--mqtt-user needs a name"));
    }
    o.mqttPasswordFile = parser.value(password);
    if (parser.isSet(password) && (o.mqttPasswordFile.isEmpty() || !parser.isSet(user))) {
        return Usage(QStringLiteral("--mqtt-password-file needs a file and --mqtt-user"));
    }
    o.mqttCaFile = parser.value(tls);
    if (parser.isSet(tls) && o.mqttCaFile.isEmpty()) {
        return Usage(QStringLiteral("--mqtt-tls needs a CA certificate file"));
    }
    if (parser.isSet(queue) && !ToInt(parser.value(queue), 1, kMaxMqttQueue, o.mqttQueue)) {
        return Usage(QStringLiteral("--mqtt-queue must be 1 to %1").arg(kMaxMqttQueue));
    }

    ParsedArgs p;
    p.action = Action::Run;
    p.options = o;
    return p;
}

int MqttPort(const Options& o) {
    if (o.mqttPort != 0) return o.mqttPort;
    return o.mqttCaFile.isEmpty() ? kDefaultMqttPort : kDefaultMqttTlsPort;
}

QString DefaultTopic(const Options& o) {
    QString name =
        o.device.isEmpty() ? QStringLiteral("comm%1").arg(o.comm) : QFileInfo(o.device).fileName();
    name.remove(QLatin1Char('+'));
    name.remove(QLatin1Char('#'));
    if (name.isEmpty()) name = QStringLiteral("probe");
    return QStringLiteral("fenwyd8200/") + name;
}

namespace {
// A value as a shell would need it: in single quotes when it holds a blank,
// a quote or nothing at all.
QString ShellWord(const QString& value) {
    static const QString special = QStringLiteral(" \t\n'\"\\$`;&|<>*?()[]{}!#~");
    bool plain = !value.isEmpty();
    for (const QChar c : value) plain = plain && !special.contains(c);
    if (plain) return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}
}  // namespace

QString EffectiveOptions(const Options& o, int baud) {
    QStringList words;
    auto add = [&words](const char* name, const QString& value) {
        words << QLatin1String(name) << ShellWord(value);
    };
    if (o.device.isEmpty()) {
        add("--comm", QString::number(o.comm));
    } else {
        add("--port", o.device);
    }
    if (baud > 0) add("--baud", QString::number(baud));
    add("--output", o.output.isEmpty() ? QStringLiteral("-") : o.output);
    add("--format",
        o.format == OutputFormat::Csv ? QStringLiteral("csv") : QStringLiteral("jsonl"));
    if (o.durationSeconds > 0) add("--duration", QString::number(o.durationSeconds, 'g', 15));
    add("--battery-interval", QString::number(o.batteryInterval));
    if (!o.mqttHost.isEmpty()) {
        const QString host = o.mqttHost.contains(QLatin1Char(':'))
                                 ? QStringLiteral("[%1]").arg(o.mqttHost)
                                 : o.mqttHost;
        add("--mqtt", QStringLiteral("%1:%2").arg(host).arg(MqttPort(o)));
        add("--topic", o.topic.isEmpty() ? DefaultTopic(o) : o.topic);
        if (!o.mqttUser.isEmpty()) add("--mqtt-user", o.mqttUser);
        if (!o.mqttPasswordFile.isEmpty()) add("--mqtt-password-file", o.mqttPasswordFile);
        if (!o.mqttCaFile.isEmpty()) add("--mqtt-tls", o.mqttCaFile);
        add("--mqtt-queue", QString::number(o.mqttQueue));
    }
    return words.join(QLatin1Char(' '));
}

QString UsageLine() {
    return QStringLiteral(
        "usage: fenwyd8200 --headless (--port DEVICE | --comm N) [options]\n"
        "       fenwyd8200 --help | --version\n");
}

QString HelpText() {
    return UsageLine() + QStringLiteral(R"(
Without options fenwyd8200 opens its window. With --headless it runs the same
probe logic with no window: each reading, battery reading and link event is
written as one record, flushed at once, until --duration has passed or it gets
SIGINT or SIGTERM. SIGHUP reopens the output file (for log rotation).

  --port DEVICE            the probe's serial device (/dev/ttyUSB0, COM3)
  --comm N                 port N (1 to 5) as the window maps it in
                           "Fenwyd 8200.conf"
  --baud 2400|9600         line speed (default: the mapping's BaudRate, or 9600)
  --output FILE            append records to FILE (default: standard output)
  --format csv|jsonl       CSV with one header row, or one JSON object a line
                           (default csv)
  --duration SECONDS       stop after this long (default: run until stopped)
  --battery-interval MIN   read the battery every 0 (never), 5, 30 or 60
                           minutes (default 30)
  --mqtt HOST[:PORT]       also publish each record to this MQTT broker
                           (port 1883, or 8883 with --mqtt-tls)
  --topic PREFIX           topics PREFIX/reading, PREFIX/battery, PREFIX/event
                           and PREFIX/status (default fenwyd8200/DEVICE-NAME)
  --mqtt-user NAME         broker user name
  --mqtt-password-file F   the password: the first line of file F
  --mqtt-tls CAFILE        connect with TLS, trusting this CA certificate
  --mqtt-queue RECORDS     records kept while the broker is away; then the
                           oldest are dropped and counted (default 10000)
  --help                   this text
  --version                the program's version

Records hold the UTC and local time (ISO 8601, milliseconds), the value in
the base unit, the unit name and display label, range, auto-range, percent,
over/under-range flags and model. A run begins with a "start" event (version,
device, options) and ends with a "stop" event (why it ended). PREFIX/status
holds a retained "online", and "offline" once the logger ends or its
connection dies. FILE may be a FIFO: the logger waits for its reader.

Exit status: 0 normal end, 1 the output cannot be written (or its reader went
away), 2 usage error, 3 the port cannot be opened.

fenwyd8200 --report FILE [FILE ...] --output REPORT.pdf [--exposure ID |
--reference-level VALUE UNIT] [--frequency HZ] [--title TEXT] [--alarm PERCENT]
writes a PDF report of saved data files without a window (the data file's
other pages are found beside it); fenwyd8200 --report --help tells more.
)");
}

QString VersionText() {
    return QStringLiteral("Fenwyd 8200 %1.%2.%3\n")
        .arg(FENWYD_VERSION_MAJOR)
        .arg(FENWYD_VERSION_MINOR)
        .arg(FENWYD_VERSION_PATCH);
}

}  // namespace fenwyd::headless
