#include "headless/options.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <cmath>
#include <cstring>

#include "exposure/reference_levels.h"

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

QString Text(const std::string& s) { return QString::fromStdString(s); }

QString StandardKeys() {
    QStringList keys;
    for (std::size_t i = 0; i < kStandardCount; ++i) keys << QLatin1String(Standards()[i].key);
    return keys.join(QStringLiteral(", "));
}

// --reference-level takes two words, VALUE UNIT, which QCommandLineParser
// cannot: they are taken out of arguments here. "2000 mG" as one word (a
// quoted value) is taken too, and so is "--reference-level=2000 mG". Empty
// when the option is not given; false with the reason when it is wrong.
bool TakeTypedLevel(QStringList& arguments, QStringList& level, QString& error) {
    const QString name = QStringLiteral("--reference-level");
    for (int i = 1; i < arguments.size(); ++i) {
        const QString a = arguments[i];
        if (a == QLatin1String("--")) break;
        if (a != name && !a.startsWith(name + QLatin1Char('='))) continue;
        arguments.removeAt(i);
        if (!level.isEmpty()) {
            error = QStringLiteral("--reference-level is given twice");
            return false;
        }
        QString value;
        if (a != name) {
            value = a.mid(name.size() + 1);
        } else if (i < arguments.size() && !arguments[i].startsWith(QLatin1String("--"))) {
            value = arguments.takeAt(i);
        }
        // The value's first word is the number, the rest the unit ("5 m A/m").
        const QString trimmed = value.simplified();
        const int blank = trimmed.indexOf(QLatin1Char(' '));
        if (blank > 0) {
            level << trimmed.left(blank) << trimmed.mid(blank + 1);
        } else if (!trimmed.isEmpty() && i < arguments.size() &&
                   !arguments[i].startsWith(QLatin1String("--"))) {
            level << trimmed << arguments.takeAt(i);
        } else {
            error = QStringLiteral("--reference-level needs a value and a unit (2000 mG)");
            return false;
        }
        --i;
    }
    return true;
}
}  // namespace

std::string StandardName(const Reference& reference) {
    return reference.typed ? "typed" : InfoOf(reference.standard).key;
}

bool WantsCommandLine(int argc, char** argv) {
    // Only our own option names: Qt's options (-platform, --style...) still
    // go to the window.
    static const char* const kNames[] = {
        "headless",   "help",     "version",         "port",      "comm",
        "baud",       "output",   "format",          "duration",  "battery-interval",
        "mqtt",       "topic",    "mqtt-user",       "mqtt-tls",  "mqtt-password-file",
        "mqtt-queue", "exposure", "reference-level", "frequency", "alarm",
        "gpsd"};
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

ParsedArgs ParseArguments(const QStringList& given) {
    QStringList arguments = given;
    QStringList typedLevel;  // VALUE, UNIT
    QString levelError;
    const bool levelTaken = TakeTypedLevel(arguments, typedLevel, levelError);

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
    const QCommandLineOption exposure(QStringLiteral("exposure"), {}, QStringLiteral("ID"));
    const QCommandLineOption frequency(QStringLiteral("frequency"), {}, QStringLiteral("HZ"));
    const QCommandLineOption alarm(QStringLiteral("alarm"), {}, QStringLiteral("PERCENT"));
    const QCommandLineOption gpsd(QStringLiteral("gpsd"), {}, QStringLiteral("HOST"));
    parser.addOptions({headless, help,     version,  port,      comm,  baud, output,
                       format,   duration, battery,  mqtt,      topic, user, password,
                       tls,      queue,    exposure, frequency, alarm, gpsd});

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
    if (!levelTaken) return Usage(levelError);  // before its leftover words seem arguments
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

    for (const QCommandLineOption* once : {&exposure, &frequency, &alarm, &gpsd}) {
        if (parser.values(*once).size() > 1) {
            return Usage(QStringLiteral("--%1 is given twice").arg(once->names().constFirst()));
        }
    }
    if (parser.isSet(exposure) && !typedLevel.isEmpty()) {
        return Usage(QStringLiteral("give either --exposure or --reference-level, not both"));
    }
    if (parser.isSet(frequency) && !parser.isSet(exposure)) {
        return Usage(
            QStringLiteral("--frequency needs --exposure (a typed level has no frequency)"));
    }
    if (parser.isSet(alarm) && !parser.isSet(exposure) && typedLevel.isEmpty()) {
        return Usage(QStringLiteral("--alarm needs --exposure or --reference-level"));
    }
    std::string error;
    if (parser.isSet(exposure)) {
        const std::optional<StandardId> id = StandardFromKey(parser.value(exposure).toStdString());
        if (!id) {
            return Usage(QStringLiteral("unknown --exposure '%1'; use one of %2")
                             .arg(parser.value(exposure), StandardKeys()));
        }
        double hz = kDefaultFrequencyHz;
        if (parser.isSet(frequency)) {
            const std::optional<double> f = ParseDecimal(parser.value(frequency).toStdString());
            if (!f || !FrequencyInRange(*f)) {
                return Usage(QStringLiteral("--frequency: ") + QLatin1String(kFrequencyRangeError));
            }
            hz = *f;
        }
        o.reference = MakeStandardReference(*id, hz, &error);
        if (!o.reference) return Usage(QStringLiteral("--exposure: ") + Text(error));
    } else if (!typedLevel.isEmpty()) {
        o.reference =
            ParseTypedReference(typedLevel[0].toStdString(), typedLevel[1].toStdString(), &error);
        if (!o.reference) return Usage(QStringLiteral("--reference-level: ") + Text(error));
    }
    if (parser.isSet(alarm)) {
        const std::optional<double> a = ParseDecimal(parser.value(alarm).toStdString());
        if (!a || !(*a > 0)) return Usage(QStringLiteral("--alarm must be a percent above 0"));
        o.alarmPercent = *a;
    }
    if (parser.isSet(gpsd)) {
        GpsdAddress address;
        if (!ParseGpsdAddress(parser.value(gpsd).toStdString(), address, error)) {
            return Usage(QStringLiteral("--gpsd must be HOST or HOST:PORT: ") + Text(error));
        }
        o.gpsd = address;
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
    if (o.reference) {
        if (o.reference->typed) {
            add("--reference-level", QString::number(o.reference->typedValue, 'g', 15));
            words << ShellWord(Text(o.reference->typedUnit));
        } else {
            add("--exposure", Text(StandardName(*o.reference)));
            add("--frequency", QString::number(o.reference->frequencyHz, 'g', 15));
        }
        add("--alarm", QString::number(o.alarmPercent, 'g', 15));
    }
    if (o.gpsd) add("--gpsd", Text(GpsdAddressText(*o.gpsd)));
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
  --exposure ID            judge each reading against a standard's reference
                           level: icnirp2010-public, icnirp2010-occupational,
                           icnirp1998-public, icnirp1998-occupational,
                           eu2013-low or eu2013-high
  --frequency HZ           the field's frequency for --exposure, 1 to 3000
                           (default 50)
  --reference-level V UNIT or against a typed level (2000 mG, 200 uT, 5 kV/m)
  --alarm PERCENT          the threshold of the exceedance events, in percent
                           of the level (default 100)
  --gpsd HOST[:PORT]       each reading carries its position from this gpsd
                           (port 2947 by default)
  --help                   this text
  --version                the program's version

Records hold the UTC and local time (ISO 8601, milliseconds), the value in
the base unit, the unit name and display label, range, auto-range, percent,
over/under-range flags and model. A run begins with a "start" event (version,
device, options) and ends with a "stop" event (why it ended). PREFIX/status
holds a retained "online", and "offline" once the logger ends or its
connection dies. FILE may be a FIFO: the logger waits for its reader.

With --exposure or --reference-level each reading record also holds
standard, reference_level (in the record's unit) and exposure_percent
(value / reference_level x 100; empty for over- and under-range readings and
where the reference has no level for the reading's quantity), and crossing
the --alarm threshold upward and back writes "exceedance-start" and
"exceedance-end" events. With --gpsd each reading record holds lat, lon
(WGS84 degrees), alt (metres above mean sea level) and fix (2D or 3D) when
there is a fix no older than 5 s, and nothing otherwise; gpsd being away
never stops the reading. In CSV these columns follow the 16 of a run without
them; a CSV FILE written with other columns is refused (status 2): give a
new FILE, or the options it was written with.

Exit status: 0 normal end, 1 the output cannot be written (or its reader went
away), 2 usage error (or a CSV FILE with other columns), 3 the port cannot be
opened.

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
