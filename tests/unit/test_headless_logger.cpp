// The unattended logger on the instrument's logic: records from readings,
// battery readings and link events, dialogs that answer for themselves, the
// record file, and a broker that is not there. Virtual clock, scripted port.
#include <gtest/gtest.h>

#include <QFile>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "common/textconv.h"
#include "headless/exposure_judge.h"
#include "headless/headless_seams.h"
#include "headless/mqtt_publisher.h"
#include "headless/record_file.h"
#include "headless/recorder.h"
#include "support/harness.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fenwyd::testing {
namespace {

using headless::HeadlessDialogs;
using headless::NullDisplay;
using headless::Record;
using headless::RecordKind;

// The instrument as the logger runs it, following the probe's replies.
struct LoggerRig {
    LoggerRig() {
        in.addObserver(&dialogs);
        in.addObserver(&recorder);
        recorder.onRecord = [this](const Record& r) { records.push_back(r); };
        in.OpenCommPort(2);
        in.HRTReadProbe().setEnabled(true);
    }
    void answer(const std::string& reading, const std::string& battery = "@BT0895") {
        port.responder = [reading, battery](const std::string& cmd) {
            if (cmd == "RD") return reading;
            if (cmd == "BT") return battery;
            return std::string();
        };
    }
    void silence() {
        port.responder = [](const std::string&) { return std::string(); };
    }
    // One tick and its transaction, to its end.
    void tick() {
        in.HRTReadProbe_Timer();
        clock.runUntil([this] { return !in.InTransaction(); });
    }
    // "reading 0.001999", "battery 8.95", "event link-back"
    std::vector<std::string> take() {
        std::vector<std::string> out;
        for (const Record& r : records) {
            switch (r.kind) {
                case RecordKind::Reading:
                    out.push_back("reading " +
                                  headless::ScaledDecimal(r.reading.valueText, r.reading.exponent));
                    break;
                case RecordKind::Battery:
                    out.push_back("battery " + FormatShortest(r.volts));
                    break;
                case RecordKind::Event: out.push_back("event " + r.event); break;
            }
        }
        records.clear();
        return out;
    }

    TempFolder folder;
    VirtualClock clock;
    FakeSerialPort port{clock};
    std::vector<std::string> said;
    HeadlessDialogs dialogs{[this](const std::string& line) { said.push_back(line); },
                            [this] { return in.st.ProbeTypeCode; }};
    MemorySettings settings;
    NullDisplay display;
    Instrument in{Platform{port, clock, dialogs, settings, display, folder.str(), ""}};
    headless::Recorder recorder{clock, nullptr, nullptr,
                                [this](const std::string& line) { said.push_back(line); }};
    std::vector<Record> records;
};

using Lines = std::vector<std::string>;

TEST(HeadlessLogger, ReadingsBatteryAndTheLinkBecomeRecordsInOrder) {
    LoggerRig rig;
    rig.answer(Rd("1999", 'E', '0', 'G'));
    rig.tick();
    rig.tick();
    EXPECT_EQ(rig.take(), Lines({"event link-back", "reading 0.001999", "reading 0.001999"}));
    ASSERT_TRUE(rig.records.empty());

    rig.in.LabBattery_Click();
    rig.tick();
    EXPECT_EQ(rig.take(), Lines({"battery 8.95"}));

    rig.silence();
    for (int i = 0; i < 4; ++i) rig.tick();
    EXPECT_TRUE(rig.take().empty()) << "four silent transactions are not a loss";
    rig.tick();
    rig.tick();
    EXPECT_EQ(rig.take(), Lines({"event link-lost"})) << "lost once, however long it lasts";

    rig.answer(Rd("1500", 'E', '1', 'T', 'U'));
    rig.tick();
    EXPECT_EQ(rig.take(), Lines({"event link-back", "reading 0.0000015"}));
    EXPECT_TRUE(rig.said.empty());
}

TEST(HeadlessLogger, ReadingRecordsCarryTheReplysFieldsAndSequenceNumbers) {
    LoggerRig rig;
    rig.clock.offsetSeconds = -5 * 3600;
    rig.answer(Rd("1234", 'E', '4', 'V', 'O', 'A', "20"));
    rig.tick();
    ASSERT_EQ(rig.records.size(), 2u);
    const Record& r = rig.records[1];
    EXPECT_EQ(rig.records[0].seq, 1u);
    EXPECT_EQ(r.seq, 2u);
    EXPECT_EQ(r.utcMs, rig.clock.utcMs());
    EXPECT_EQ(r.utcOffsetSeconds, -5 * 3600);
    EXPECT_EQ(r.reading.valueText, "123.4");
    EXPECT_EQ(headless::ScaledDecimal(r.reading.valueText, r.reading.exponent), "123400");
    EXPECT_EQ(r.reading.unitsText, "V/m");
    EXPECT_EQ(r.reading.unitsLabel, "k V/m");
    EXPECT_EQ(r.reading.range, 4);
    EXPECT_TRUE(r.reading.autoRange);
    EXPECT_EQ(r.reading.percent, 100);
    EXPECT_TRUE(r.reading.overRange);
    EXPECT_EQ(r.reading.model, 8204);
}

TEST(HeadlessLogger, ModelQuestionsTakeTheReplysLetterAndWarnOncePerLink) {
    struct Row {
        char letter;
        int16_t model;
        const char* answer;
    };
    const Row rows[] = {
        {'X', 8204, "answered Yes"}, {'v', 8203, "answered No"}, {'e', 8204, "answered Yes"}};
    for (const Row& row : rows) {
        LoggerRig rig;
        rig.answer(Rd("1000", row.letter));
        rig.tick();
        rig.tick();
        EXPECT_EQ(rig.in.st.ProbeModel, row.model) << row.letter;
        ASSERT_EQ(rig.said.size(), 1u) << row.letter;
        EXPECT_NE(rig.said[0].find("Is the connected probe a QM-8204?"), std::string::npos);
        EXPECT_NE(rig.said[0].find(row.answer), std::string::npos) << rig.said[0];
        EXPECT_EQ(rig.said[0].rfind("warning: ", 0), 0u) << rig.said[0];
    }

    // A QM-8203 reply with a range only the QM-8204 has: the question comes
    // with every reading, the warning once until the link is lost.
    LoggerRig rig;
    rig.answer(Rd("1000", 'V', '3', 'V'));
    for (int i = 0; i < 5; ++i) rig.tick();
    EXPECT_EQ(rig.in.st.ProbeModel, 8203) << "the reply says QM-8203";
    ASSERT_EQ(rig.said.size(), 1u);
    EXPECT_NE(rig.said[0].find("not supported for the QM-8203"), std::string::npos);
    EXPECT_NE(rig.said[0].find("answered No"), std::string::npos);
    EXPECT_EQ(rig.records.back().reading.unitsLabel, "");

    rig.silence();
    for (int i = 0; i < 5; ++i) rig.tick();
    rig.answer(Rd("1000", 'V', '3', 'V'));
    rig.tick();
    EXPECT_EQ(rig.said.size(), 2u) << "said again after the link came back";
}

TEST(HeadlessLogger, AMessageBoxIsOneLineForTheOperator) {
    LoggerRig rig;
    rig.answer(Rd());
    rig.in.cmdSendCmnd_Click("XY\r\nZ");
    rig.tick();
    ASSERT_EQ(rig.said.size(), 1u);
    EXPECT_EQ(rig.said[0], "Command XY  Z not found");
}

// ------------------------------------------------------------- record file

TEST(RecordFile, EachRecordIsInTheFileAsSoonAsItIsWritten) {
    TempFolder folder;
    const auto path = folder.path() / "run.csv";
    headless::RecordFile file(QString::fromStdString(path.string()), headless::OutputFormat::Csv);
    QString error;
    ASSERT_EQ(file.open(error), headless::RecordFile::Opened::Yes) << error.toStdString();
    EXPECT_EQ(ReadFile(path), headless::CsvHeader());

    Record r;
    r.kind = RecordKind::Event;
    r.event = headless::kEventLinkBack;
    r.seq = 1;
    ASSERT_TRUE(file.write(r, error));
    EXPECT_EQ(ReadFile(path), headless::CsvHeader() + headless::CsvLine(r)) << "not buffered";

    // Log rotation: the file is moved away, then the logger is told.
    const auto rotated = folder.path() / "run.csv.1";
    std::filesystem::rename(path, rotated);
    r.seq = 2;
    ASSERT_TRUE(file.write(r, error));
    ASSERT_TRUE(file.reopen(error));
    r.seq = 3;
    ASSERT_TRUE(file.write(r, error));
    EXPECT_EQ(ReadFile(path), headless::CsvHeader() + headless::CsvLine(r));
    EXPECT_NE(ReadFile(rotated).find(",2,"), std::string::npos);
    file.close();

    // A restarted logger appends to what is there, without a second header.
    headless::RecordFile again(QString::fromStdString(path.string()), headless::OutputFormat::Csv);
    ASSERT_EQ(again.open(error), headless::RecordFile::Opened::Yes);
    r.seq = 4;
    ASSERT_TRUE(again.write(r, error));
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.find("kind,"), 0u);
    EXPECT_EQ(text.find("kind,", 1), std::string::npos);
    EXPECT_NE(text.find(",4,"), std::string::npos);

    headless::RecordFile lines(QString::fromStdString((folder.path() / "run.jsonl").string()),
                               headless::OutputFormat::Jsonl);
    ASSERT_EQ(lines.open(error), headless::RecordFile::Opened::Yes);
    ASSERT_TRUE(lines.write(r, error));
    EXPECT_EQ(ReadFile(folder.path() / "run.jsonl"), headless::JsonText(r).toStdString() + "\n");
}

TEST(RecordFile, AFullDiskIsReportedOnceAndCounted) {
    if (!QFile::exists(QStringLiteral("/dev/full"))) GTEST_SKIP() << "no /dev/full here";
    headless::RecordFile file(QStringLiteral("/dev/full"), headless::OutputFormat::Jsonl);
    QString error;
    ASSERT_EQ(file.open(error), headless::RecordFile::Opened::Yes) << error.toStdString();
    LoggerRig rig;
    std::vector<std::string> said;
    headless::Recorder recorder(rig.clock, &file, nullptr,
                                [&](const std::string& line) { said.push_back(line); });
    rig.in.addObserver(&recorder);
    rig.answer(Rd());
    rig.tick();
    rig.tick();
    EXPECT_EQ(recorder.recordsLost(), 3u);
    EXPECT_EQ(recorder.recordsWritten(), 0u);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("cannot write to /dev/full"), std::string::npos) << said[0];
    rig.in.removeObserver(&recorder);
}

#if !defined(_WIN32)
// A file size limit for this process, with SIGXFSZ ignored (as the logger
// does): past it a write takes only part of a record, then fails with
// EFBIG, as on a disk that fills up. Both are put back at the end of scope.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = saved;
        lower.rlim_cur = bytes;
        ok = setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    }
    rlimit saved{};
    void (*oldHandler)(int) = nullptr;
    bool ok = false;
};

TEST(RecordFile, AShortWriteLeavesNoTornRecordAndSaysTheSystemsReason) {
    const QString tooLarge = QString::fromLocal8Bit(std::strerror(EFBIG));
    for (const auto format : {headless::OutputFormat::Csv, headless::OutputFormat::Jsonl}) {
        TempFolder folder;
        const auto path = folder.path() / "run.txt";
        headless::RecordFile file(QString::fromStdString(path.string()), format);
        QString error;
        ASSERT_EQ(file.open(error), headless::RecordFile::Opened::Yes);
        LoggerRig rig;
        std::vector<std::string> said;
        headless::Recorder recorder(rig.clock, &file, nullptr,
                                    [&](const std::string& line) { said.push_back(line); });
        rig.in.addObserver(&recorder);
        rig.answer(Rd());
        rig.tick();  // link-back and a reading
        const std::string before = ReadFile(path);
        ASSERT_EQ(recorder.recordsWritten(), 2u);
        {
            // Room for half a reading: the system takes that half, then
            // refuses the rest.
            FileSizeLimit limit(before.size() + 60);
            ASSERT_TRUE(limit.ok);
            rig.tick();
            rig.tick();
        }
        EXPECT_EQ(ReadFile(path), before) << "no part of a record is left behind";
        EXPECT_EQ(recorder.recordsLost(), 2u);
        ASSERT_EQ(said.size(), 1u) << "said once while it lasts";
        EXPECT_EQ(said[0], "cannot write to " + path.string() + ": " + tooLarge.toStdString());

        rig.tick();  // room again
        EXPECT_EQ(recorder.recordsWritten(), 3u);
        EXPECT_EQ(said.back(), "writing to " + path.string() + " again");
        const std::string after = ReadFile(path);
        ASSERT_EQ(after.compare(0, before.size(), before), 0);
        const std::string added = after.substr(before.size());
        EXPECT_EQ(added.find('\n'), added.size() - 1) << "one whole record: " << added;
        const bool csv = format == headless::OutputFormat::Csv;
        EXPECT_NE(added.find(csv ? "reading,5," : "\"seq\":5"), std::string::npos) << added;
        rig.in.removeObserver(&recorder);
    }
}

TEST(RecordFile, AFifoIsOpenedWithoutWaitingAndAReaderGoingAwayIsToldOnce) {
    TempFolder folder;
    const auto path = folder.path() / "records.fifo";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    headless::RecordFile file(QString::fromStdString(path.string()), headless::OutputFormat::Csv);
    QString error;
    EXPECT_EQ(file.open(error), headless::RecordFile::Opened::NoReaderYet) << "did not block";

    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(file.open(error), headless::RecordFile::Opened::Yes) << error.toStdString();
    char buffer[4096];
    const ssize_t n = ::read(reader, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0), headless::CsvHeader());
    ASSERT_TRUE(file.reopen(error)) << "log rotation leaves a FIFO as it is";

    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);  // as the logger has it
    ::close(reader);
    LoggerRig rig;
    std::vector<std::string> said, gone;
    headless::Recorder recorder(rig.clock, &file, nullptr,
                                [&](const std::string& line) { said.push_back(line); });
    recorder.onOutputGone = [&](const std::string& why) { gone.push_back(why); };
    rig.in.addObserver(&recorder);
    rig.answer(Rd());
    rig.tick();
    rig.tick();
    rig.in.removeObserver(&recorder);
    std::signal(SIGPIPE, oldPipe);
    EXPECT_TRUE(file.readerGone());
    EXPECT_EQ(gone, std::vector<std::string>({std::strerror(EPIPE)}));
    EXPECT_TRUE(said.empty()) << said[0];
    EXPECT_EQ(recorder.recordsLost(), 3u);
}
#endif

TEST(HeadlessLogger, ARunStartsAndStopsWithEventsThatCountInItsSequence) {
    LoggerRig rig;
    const int64_t t0 = rig.clock.utcMs();
    rig.recorder.start("1.0.0", "/dev/ttyUSB0", "--port /dev/ttyUSB0");
    rig.answer(Rd());
    rig.tick();
    rig.recorder.stop("SIGTERM");
    ASSERT_EQ(rig.records.size(), 4u);
    EXPECT_EQ(rig.records[0].event, "start");
    EXPECT_EQ(rig.records[0].seq, 1u);
    EXPECT_EQ(rig.records[0].version, "1.0.0");
    EXPECT_EQ(rig.records[0].device, "/dev/ttyUSB0");
    EXPECT_EQ(rig.records[0].utcMs, t0);
    EXPECT_EQ(rig.records[3].utcMs, rig.clock.utcMs());
    EXPECT_EQ(rig.records[1].event, "link-back");
    EXPECT_EQ(rig.records[2].kind, RecordKind::Reading);
    EXPECT_EQ(rig.records[3].event, "stop");
    EXPECT_EQ(rig.records[3].reason, "SIGTERM");
    EXPECT_EQ(rig.records[3].seq, 4u);
}

TEST(HeadlessLogger, ExceedanceEventsFollowTheirReadingAndAnOpenOneEndsBeforeStop) {
    LoggerRig rig;
    headless::ExposureJudge judge(*ParseTypedReference("1.5", "mG"), 100);
    rig.recorder.setJudge(&judge);
    rig.recorder.start("1.0.0", "/dev/ttyUSB0", "--port /dev/ttyUSB0");
    auto readings = [&rig] {
        return std::count_if(rig.records.begin(), rig.records.end(),
                             [](const Record& r) { return r.kind == RecordKind::Reading; });
    };
    for (const char* raw : {"1000", "1999", "1600", "1000", "1500"}) {  // 1.000 mG ...
        rig.answer(Rd(raw));
        // A battery reading may take a tick of its own.
        for (const auto n = readings(); readings() == n;) rig.tick();
    }
    rig.recorder.stop("SIGTERM");
    rig.records.erase(std::remove_if(rig.records.begin(), rig.records.end(),
                                     [](const Record& r) { return r.kind == RecordKind::Battery; }),
                      rig.records.end());
    std::vector<std::string> seen;
    for (const Record& r : rig.records) {
        seen.push_back(r.kind == RecordKind::Reading ? "reading " + r.reading.valueText
                                                     : "event " + r.event);
    }
    EXPECT_EQ(seen, Lines({"event start", "event link-back", "reading 1.0", "reading 1.999",
                           "event exceedance-start", "reading 1.6", "reading 1.0",
                           "event exceedance-end", "reading 1.5", "event exceedance-start",
                           "event exceedance-end", "event stop"}));
    EXPECT_EQ(rig.records[4].utcMs, rig.records[3].utcMs);
    EXPECT_EQ(rig.records[7].durationSeconds,
              static_cast<double>(rig.records[6].utcMs - rig.records[3].utcMs) / 1000);
    EXPECT_DOUBLE_EQ(rig.records[7].maxPercent, 1.999 / 1.5 * 100);
    EXPECT_EQ(rig.records[10].reason, "stop");
    EXPECT_EQ(rig.records[10].utcMs, rig.records[11].utcMs);
}

TEST(RecordFile, ACsvFileWithOtherColumnsIsLeftAsItIsAndSaysWhatDiffers) {
    TempFolder folder;
    const auto path = folder.path() / "run.csv";
    const QString name = QString::fromStdString(path.string());
    Record r;
    r.kind = RecordKind::Event;
    r.event = headless::kEventLinkBack;
    QString error;
    {
        headless::RecordFile plain(name, headless::OutputFormat::Csv);
        ASSERT_EQ(plain.open(error), headless::RecordFile::Opened::Yes);
        ASSERT_TRUE(plain.write(r, error));
    }
    const std::string before = ReadFile(path);
    struct Row {
        headless::RecordLayout layout;
        const char* says;
    };
    const Row rows[] = {
        {{true, false}, "these options add standard, reference_level, exposure_percent"},
        {{false, true}, "these options add lat, lon, alt, fix"},
    };
    for (const Row& row : rows) {
        headless::RecordFile file(name, headless::OutputFormat::Csv, row.layout);
        EXPECT_EQ(file.open(error), headless::RecordFile::Opened::OtherColumns);
        EXPECT_TRUE(error.startsWith(QStringLiteral("cannot append to ") + name))
            << error.toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(row.says))) << error.toStdString();
        EXPECT_TRUE(
            error.contains(QLatin1String("give a new --output file, or the options it "
                                         "was written with")));
        EXPECT_FALSE(file.write(r, error));
        EXPECT_EQ(ReadFile(path), before) << "not a byte added";
    }

    // A file of the wider layout: the same options append under its header,
    // fewer are refused.
    std::filesystem::remove(path);
    const headless::RecordLayout both{true, true};
    for (int run = 0; run < 2; ++run) {
        headless::RecordFile file(name, headless::OutputFormat::Csv, both);
        ASSERT_EQ(file.open(error), headless::RecordFile::Opened::Yes) << error.toStdString();
        ASSERT_TRUE(file.write(r, error));
    }
    EXPECT_EQ(ReadFile(path),
              headless::CsvHeader(both) + headless::CsvLine(r, both) + headless::CsvLine(r, both));
    headless::RecordFile fewer(name, headless::OutputFormat::Csv, {true, false});
    EXPECT_EQ(fewer.open(error), headless::RecordFile::Opened::OtherColumns);
    EXPECT_TRUE(
        error.contains(QLatin1String("the file has lat, lon, alt, fix which these options "
                                     "do not write")))
        << error.toStdString();

    // Not a file of the logger's at all; JSON lines have no columns to differ.
    WriteFile(path, "date;value\n");
    headless::RecordFile other(name, headless::OutputFormat::Csv);
    EXPECT_EQ(other.open(error), headless::RecordFile::Opened::OtherColumns);
    EXPECT_TRUE(error.contains(QLatin1String("does not begin with the logger's CSV header")));
    headless::RecordFile lines(name, headless::OutputFormat::Jsonl, both);
    EXPECT_EQ(lines.open(error), headless::RecordFile::Opened::Yes);
}

// ----------------------------------------------------- a broker that is away

TEST(MqttPublisher, PublishingNeverWaitsForAnAbsentBrokerAndKeepsTheNewest) {
    headless::MqttSettings s;
    s.host = "127.0.0.1";
    s.port = 1;  // nothing listens there
    s.topicPrefix = "test/probe";
    s.queueBound = 4;
    std::vector<std::string> said;
    std::mutex m;
    headless::MqttPublisher mqtt(s, [&](const std::string& line) {
        std::lock_guard<std::mutex> lock(m);
        said.push_back(line);
    });
    std::string error;
    ASSERT_TRUE(mqtt.start(error)) << error;
    for (int i = 0; i < 10; ++i) mqtt.publish("reading", "{\"seq\":" + std::to_string(i) + "}");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
        {
            std::lock_guard<std::mutex> lock(m);
            if (!said.empty()) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const headless::MqttPublisher::Counts c = mqtt.counts();
    EXPECT_EQ(c.queued, 10u);
    EXPECT_EQ(c.dropped, 6u);
    EXPECT_EQ(c.waiting, 4u);
    EXPECT_FALSE(c.connected);
    mqtt.stop(100);
    std::lock_guard<std::mutex> lock(m);
    ASSERT_FALSE(said.empty());
    EXPECT_NE(said[0].find("cannot reach the broker 127.0.0.1:1"), std::string::npos) << said[0];
    EXPECT_NE(said[0].find("up to 4"), std::string::npos) << said[0];
}

TEST(MqttPublisher, AnUnreadableCaFileIsRefusedAtStart) {
    headless::MqttSettings s;
    s.host = "127.0.0.1";
    s.topicPrefix = "t";
    s.caFile = "/nonexistent/ca.pem";
    headless::MqttPublisher mqtt(s, [](const std::string&) {});
    std::string error;
    EXPECT_FALSE(mqtt.start(error));
    EXPECT_NE(error.find("/nonexistent/ca.pem"), std::string::npos) << error;
}

}  // namespace
}  // namespace fenwyd::testing
