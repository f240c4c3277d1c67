// The command line of the unattended logger (fenwyd8200 --headless ...).
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

#include "exposure/comparison.h"
#include "gpsd/gpsd_client.h"

namespace fenwyd::headless {

enum class OutputFormat { Csv, Jsonl };

constexpr int kDefaultMqttPort = 1883;
constexpr int kDefaultMqttTlsPort = 8883;
constexpr int kDefaultMqttQueue = 10000;  // about an hour of readings
constexpr int kDefaultBatteryInterval = 30;
constexpr double kDefaultAlarmPercent = 100;
// MQTT's bound on a topic, in bytes of UTF-8; the logger appends up to 8
// ("/reading", "/battery") to the prefix.
constexpr int kMaxTopicBytes = 65535;
constexpr int kMaxTopicPrefixBytes = kMaxTopicBytes - 8;

struct Options {
    QString device;  // --port DEVICE; empty: --comm
    int comm = 0;    // --comm N, 1..5; 0: --port
    int baud = 0;    // 0: the port mapping's BaudRate for --comm, 9600 for --port
    QString output;  // empty: standard output
    OutputFormat format = OutputFormat::Csv;
    double durationSeconds = 0;  // 0: until SIGINT or SIGTERM
    int batteryInterval = kDefaultBatteryInterval;
    QString mqttHost;  // empty: no MQTT
    int mqttPort = 0;  // 0: the default for plain or TLS
    QString topic;     // topic prefix
    QString mqttUser;
    QString mqttPasswordFile;
    QString mqttCaFile;  // TLS with this CA certificate file
    int mqttQueue = kDefaultMqttQueue;
    // --exposure ID [--frequency HZ] or --reference-level VALUE UNIT: every
    // reading is judged against it; nothing: records as without.
    std::optional<Reference> reference;
    double alarmPercent = kDefaultAlarmPercent;  // --alarm
    std::optional<GpsdAddress> gpsd;             // --gpsd HOST[:PORT]
};

// What the records name the reference by: the standard's id
// ("icnirp2010-public"), or "typed" for a level typed on the command line.
std::string StandardName(const Reference& reference);

enum class Action { Run, Help, Version, UsageError };

struct ParsedArgs {
    Action action = Action::UsageError;
    Options options;
    QString error;  // for UsageError: what is wrong, one line
};

// Whether the program was started for the logger or for its help or version
// text rather than the window. argv as main() has it.
bool WantsCommandLine(int argc, char** argv);

// arguments[0] is the program. Checks every option and value; files are
// not looked at here.
ParsedArgs ParseArguments(const QStringList& arguments);

// The MQTT port after defaults, and the default topic prefix for a port:
// "fenwyd8200/ttyUSB0", "fenwyd8200/comm2".
int MqttPort(const Options& options);
QString DefaultTopic(const Options& options);

// The options in effect, as a command line ("--port /dev/ttyUSB0 --baud 9600
// --format csv ..."), defaults included; baud: the line speed in use. For
// the record that starts a run.
QString EffectiveOptions(const Options& options, int baud);

QString HelpText();
QString UsageLine();
QString VersionText();

}  // namespace fenwyd::headless
