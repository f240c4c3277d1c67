#include "headless/headless_main.h"

#if defined(__unix__)
#include <limits.h>
#include <unistd.h>
#endif

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>

#include "headless/exposure_judge.h"
#include "headless/gps_feed.h"
#include "headless/headless_seams.h"
#include "headless/mqtt_publisher.h"
#include "headless/options.h"
#include "headless/record_file.h"
#include "headless/recorder.h"
#include "instrument/instrument.h"
#include "qt/qt_platform.h"
#include "qt/qt_serial_port.h"
#include "qt/signal_watch.h"

namespace fenwyd::headless {

namespace {
constexpr qint32 kDefaultBaud = 9600;
constexpr int16_t kDevicePortNo = 1;  // --port: the number only names the port inside the logic
constexpr int kMqttDrainMs = 5000;    // at the end, time for queued records to reach the broker
constexpr qint64 kLongestTimerMs = 86400000;
constexpr int kReaderPollMs = 100;  // a FIFO without a reader is tried again this often

// One line for the operator on standard error (the journal, under systemd).
void SayLine(const std::string& line) { std::fprintf(stderr, "fenwyd8200: %s\n", line.c_str()); }

void Say(const QString& line) { SayLine(line.toLocal8Bit().toStdString()); }

// The first line of the password file, without its line end.
bool ReadPassword(const QString& path, std::string& password, QString& error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = f.errorString();
        return false;
    }
    QByteArray line = f.readLine();
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    password = line.toStdString();
    return true;
}

QString FormatName(OutputFormat f) {
    return f == OutputFormat::Csv ? QStringLiteral("CSV") : QStringLiteral("JSON lines");
}
}  // namespace

void HandOver(char** argv) {
#if defined(__linux__)
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return;
    std::string path(self, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return;
    path = path.substr(0, slash + 1) + kLeanProgram;
    if (::access(path.c_str(), X_OK) != 0) return;  // a copied program alone: run here
    ::execv(path.c_str(), argv);
#else
    (void)argv;
#endif
}

int Main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const ParsedArgs parsed = ParseArguments(QCoreApplication::arguments());
    switch (parsed.action) {
        case Action::Help: std::fputs(HelpText().toLocal8Bit().constData(), stdout); return kExitOk;
        case Action::Version:
            std::fputs(VersionText().toLocal8Bit().constData(), stdout);
            return kExitOk;
        case Action::UsageError:
            Say(parsed.error);
            std::fputs(UsageLine().toLocal8Bit().constData(), stderr);
            std::fputs("Try 'fenwyd8200 --help' for the options.\n", stderr);
            return kExitUsage;
        case Action::Run: break;
    }
    const Options& o = parsed.options;

    // A reader of the output that goes away, or a file size limit, is a
    // write error to report and count, not the end of the process.
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // SIGINT and SIGTERM end the run; SIGHUP reopens the output file (the
    // log-rotation convention). Watched from the start, so a signal that
    // comes while the output waits for its reader still ends the run.
#ifdef SIGHUP
    SignalWatch signalWatch({SIGINT, SIGTERM, SIGHUP});
#else
    SignalWatch signalWatch({SIGINT, SIGTERM});
#endif
    // How the run ends: the first reason wins. An end that comes before the
    // event loop runs keeps it from running.
    int exitCode = kExitOk;
    std::string endReason;
    // Once the logic runs, the run ends after the transaction in progress,
    // so the reading in flight is finished and written.
    Instrument* logic = nullptr;
    auto end = [&exitCode, &endReason, &logic](int code, const std::string& reason) {
        if (!endReason.empty()) return;
        exitCode = code;
        endReason = reason;
        if (logic != nullptr) {
            logic->WhenIdle([code] { QCoreApplication::exit(code); });
        } else {
            QCoreApplication::exit(code);
        }
    };
    RecordFile* output = nullptr;  // once there, SIGHUP reopens it
    signalWatch.onSignal = [&](int sig) {
#ifdef SIGHUP
        if (sig == SIGHUP) {
            QString error;
            if (output != nullptr && !output->reopen(error)) {
                Say(QStringLiteral("cannot reopen %1: %2").arg(output->name(), error));
            }
            return;
        }
#endif
        end(kExitOk, sig == SIGINT ? "SIGINT" : "SIGTERM");
    };

    MqttSettings mqttSettings;
    if (!o.mqttHost.isEmpty()) {
        mqttSettings.host = o.mqttHost.toStdString();
        mqttSettings.port = MqttPort(o);
        mqttSettings.topicPrefix = (o.topic.isEmpty() ? DefaultTopic(o) : o.topic).toStdString();
        mqttSettings.user = o.mqttUser.toStdString();
        mqttSettings.caFile = QFile::encodeName(o.mqttCaFile).toStdString();
        mqttSettings.queueBound = static_cast<std::size_t>(o.mqttQueue);
        QString error;
        if (!o.mqttPasswordFile.isEmpty() &&
            !ReadPassword(o.mqttPasswordFile, mqttSettings.password, error)) {
            Say(QStringLiteral("cannot read the password file %1: %2")
                    .arg(o.mqttPasswordFile, error));
            return kExitUsage;
        }
        if (!o.mqttCaFile.isEmpty() && !QFileInfo(o.mqttCaFile).isReadable()) {
            Say(QStringLiteral("cannot read the CA file %1").arg(o.mqttCaFile));
            return kExitUsage;
        }
    }

    // The window's logic with its seams answered here: no window, no
    // splash, no configuration or notes file (the command line holds the
    // settings, and the window's own files stay untouched).
    QtSerialPort port;
    if (!o.device.isEmpty()) {
        port.setDevice(o.device);
        port.setBaudRate(o.baud > 0 ? o.baud : kDefaultBaud);
    } else if (o.baud > 0) {
        port.setBaudRate(o.baud);
    }
    QtClock clock;
    QtSettingsStore settings;
    NullDisplay display;
    Instrument* instrument = nullptr;
    HeadlessDialogs dialogs(
        SayLine, [&instrument] { return instrument ? instrument->st.ProbeTypeCode : ""; });
    const std::string programFolder =
        QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    Instrument in{Platform{port, clock, dialogs, settings, display, programFolder, ""}};
    logic = &in;
    instrument = &in;
    in.addObserver(&dialogs);

    int16_t interval = static_cast<int16_t>(o.batteryInterval);
    in.SetUpReadBattTemp(interval);
    const int16_t portNo = o.comm > 0 ? static_cast<int16_t>(o.comm) : kDevicePortNo;
    in.OpenCommPort(portNo);
    const QString device = QString::fromStdString(port.deviceName(portNo));
    if (in.st.CommPortOpenOk != 1) {
        Say(QStringLiteral("cannot open %1: %2")
                .arg(device, QString::fromStdString(port.lastOpenError().text)));
        return kExitPortFailed;
    }
    in.ClearDisplay();

    // The exposure and position columns only when asked for: without those
    // options the records are as they always were.
    RecordLayout layout;
    layout.exposure = o.reference.has_value();
    layout.position = o.gpsd.has_value();
    RecordFile file(o.output, o.format, layout);
    output = &file;
    QString fileError;
    const RecordFile::Opened opened = file.open(fileError);
    if (opened == RecordFile::Opened::No) {
        Say(QStringLiteral("cannot write to %1: %2").arg(file.name(), fileError));
        return kExitOutputFailed;
    }
    if (opened == RecordFile::Opened::OtherColumns) {
        Say(fileError);
        return kExitUsage;
    }

    std::unique_ptr<MqttPublisher> mqtt;
    if (!o.mqttHost.isEmpty()) {
        mqtt = std::make_unique<MqttPublisher>(mqttSettings, SayLine);
        std::string error;
        if (!mqtt->start(error)) {
            SayLine("mqtt: " + error);
            return kExitUsage;
        }
    }
    Recorder recorder(clock, &file, mqtt.get(), SayLine);
    recorder.setLayout(layout);
    std::optional<ExposureJudge> judge;
    if (o.reference) {
        judge.emplace(*o.reference, o.alarmPercent);
        recorder.setJudge(&*judge);
    }
    // Positions from gpsd for the live readings; reading never waits for it.
    std::unique_ptr<GpsdFeed> gps;
    if (o.gpsd) {
        gps = std::make_unique<GpsdFeed>(
            *o.gpsd, [&clock] { return clock.utcMs(); }, SayLine);
        in.SetPositionSource(gps.get());
        gps->start();
    }
    recorder.onOutputGone = [&](const std::string& reason) {
        Say(QStringLiteral("the reader of %1 has gone away (%2): ending")
                .arg(file.name(), QString::fromStdString(reason)));
        end(kExitOutputFailed, "output lost");
    };

    // The end of --duration, in steps a timer can hold.
    QElapsedTimer running;
    running.start();
    QTimer endTimer;
    endTimer.setSingleShot(true);
    const qint64 durationMs = std::llround(o.durationSeconds * 1000.0);
    auto armEnd = [&] {
        const qint64 left = durationMs - running.elapsed();
        if (left <= 0) {
            end(kExitOk, "duration");
        } else {
            endTimer.start(static_cast<int>(std::min(left, kLongestTimerMs)));
        }
    };
    QObject::connect(&endTimer, &QTimer::timeout, armEnd);
    if (durationMs > 0) armEnd();

    // Reading starts once the output is there: the first record is "start".
    bool started = false;
    auto startRun = [&] {
        started = true;
        in.addObserver(&recorder);
        recorder.start(VersionText().trimmed().section(QLatin1Char(' '), -1).toStdString(),
                       device.toStdString(), EffectiveOptions(o, port.baudRate()).toStdString());
        Say(QStringLiteral("reading %1; %2 records to %3%4")
                .arg(device, FormatName(o.format), file.name(),
                     mqtt ? QStringLiteral(" and to %1:%2 under %3")
                                .arg(o.mqttHost)
                                .arg(MqttPort(o))
                                .arg(QString::fromStdString(mqttSettings.topicPrefix))
                          : QString()));
        if (o.reference) {
            Say(QStringLiteral("each reading against %1; alarm at %2")
                    .arg(QString::fromStdString(ReferenceName(*o.reference)),
                         QString::fromStdString(FormatPercent(o.alarmPercent))));
        }
        in.HRTReadProbe().setEnabled(true);
    };
    // A FIFO nobody reads yet: wait for its reader with the event loop
    // running, so signals and --duration still end the run.
    QTimer readerTimer;
    readerTimer.setInterval(kReaderPollMs);
    QObject::connect(&readerTimer, &QTimer::timeout, [&] {
        QString error;
        switch (file.open(error)) {
            case RecordFile::Opened::NoReaderYet: return;
            case RecordFile::Opened::Yes:
                readerTimer.stop();
                startRun();
                return;
            case RecordFile::Opened::No:
            case RecordFile::Opened::OtherColumns:  // a FIFO has no columns yet: not here
                readerTimer.stop();
                Say(QStringLiteral("cannot write to %1: %2").arg(file.name(), error));
                end(kExitOutputFailed, "output failed");
                return;
        }
    });
    if (opened == RecordFile::Opened::NoReaderYet) {
        Say(QStringLiteral("waiting for a program to read %1").arg(file.name()));
        readerTimer.start();
    } else {
        startRun();
    }
    if (endReason.empty()) QCoreApplication::exec();

    // A transaction in progress has finished: its record is whole.
    readerTimer.stop();
    in.HRTReadProbe().setEnabled(false);
    in.SetPositionSource(nullptr);
    if (started) {
        in.removeObserver(&recorder);
        recorder.stop(endReason.empty() ? "ended" : endReason);
    }
    if (port.isOpen()) port.close();
    file.close();
    if (mqtt) mqtt->stop(kMqttDrainMs);

    // What became of the records.
    if (!started) {
        Say(QStringLiteral("ended (%1) before a program opened %2 for reading: no records written")
                .arg(QString::fromStdString(endReason), file.name()));
        return kExitOutputFailed;
    }
    const uint64_t lost = recorder.recordsLost();
    Say(QStringLiteral("%1 records written to %2%3")
            .arg(recorder.recordsWritten())
            .arg(file.name(),
                 lost > 0 ? QStringLiteral(", %1 could not be written").arg(lost) : QString()));
    if (mqtt) {
        const MqttPublisher::Counts c = mqtt->counts();
        SayLine("mqtt: " + std::to_string(c.queued) +
                " records queued: " + std::to_string(c.delivered) + " delivered to the broker, " +
                std::to_string(c.dropped) + " dropped while the broker was away, " +
                std::to_string(c.waiting) + " not delivered at exit");
    }
    return lost > 0 ? kExitOutputFailed : exitCode;
}

}  // namespace fenwyd::headless
