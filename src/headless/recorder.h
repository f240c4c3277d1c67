// Follows the instrument and turns each reading, battery reading and link
// event into a record: written to the record file and, with a broker,
// published to PREFIX/reading, PREFIX/battery or PREFIX/event.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "headless/records.h"
#include "instrument/observer.h"
#include "instrument/seams.h"

namespace fenwyd::headless {

class RecordFile;
class MqttPublisher;
class ExposureJudge;

class Recorder : public InstrumentObserver {
public:
    // file and mqtt may be null; say reports write failures, once per spell.
    Recorder(Clock& clock, RecordFile* file, MqttPublisher* mqtt,
             std::function<void(const std::string&)> say);

    void readingShown(const Measurement& reading, int32_t row) override;
    void batteryRead(int64_t utcMs, double volts) override;
    void linkLost(int64_t utcMs) override;
    void linkBack(int64_t utcMs) override;

    // The first record of a run, "start", and the last, "stop" (reason: why
    // it ended).
    void start(const std::string& version, const std::string& device, const std::string& options);
    void stop(const std::string& reason);

    // The records' layout (as the file's), and with a reference the judge
    // that adds the exposure to each reading and writes the exceedance
    // events. Both before start().
    void setLayout(const RecordLayout& layout) { layout_ = layout; }
    void setJudge(ExposureJudge* judge) { judge_ = judge; }

    uint64_t recordsWritten() const { return written_; }
    uint64_t recordsLost() const { return lost_; }

    // Every record as it is made (the tests follow them here).
    std::function<void(const Record&)> onRecord;
    // Once, when the file's reader went away (a pipe whose reader ended):
    // nothing more can reach it. With the system's reason.
    std::function<void(const std::string&)> onOutputGone;

private:
    void keep(Record record);
    Clock& clock_;
    RecordFile* file_;
    MqttPublisher* mqtt_;
    std::function<void(const std::string&)> say_;
    RecordLayout layout_;
    ExposureJudge* judge_ = nullptr;
    uint64_t seq_ = 0;
    uint64_t written_ = 0;
    uint64_t lost_ = 0;
    bool failing_ = false;
    bool gone_ = false;
};

}  // namespace fenwyd::headless
