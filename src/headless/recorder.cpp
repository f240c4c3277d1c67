#include "headless/recorder.h"

#include "headless/exposure_judge.h"
#include "headless/mqtt_publisher.h"
#include "headless/record_file.h"

namespace fenwyd::headless {

Recorder::Recorder(Clock& clock, RecordFile* file, MqttPublisher* mqtt,
                   std::function<void(const std::string&)> say)
    : clock_(clock), file_(file), mqtt_(mqtt), say_(std::move(say)) {}

namespace {
Record Stamped(RecordKind kind, int64_t utcMs, int32_t offsetS) {
    Record r;
    r.kind = kind;
    r.utcMs = utcMs;
    r.utcOffsetSeconds = offsetS;
    return r;
}
}  // namespace

void Recorder::readingShown(const Measurement& reading, int32_t /*row*/) {
    Record r = Stamped(RecordKind::Reading, reading.utcMs, reading.utcOffsetSeconds);
    r.reading = reading;
    std::optional<Record> crossing;
    if (judge_ != nullptr) crossing = judge_->judge(r);
    keep(std::move(r));
    if (crossing) keep(std::move(*crossing));
}

void Recorder::batteryRead(int64_t utcMs, double volts) {
    Record r = Stamped(RecordKind::Battery, utcMs, clock_.utcOffsetSeconds());
    r.volts = volts;
    keep(std::move(r));
}

void Recorder::linkLost(int64_t utcMs) {
    Record r = Stamped(RecordKind::Event, utcMs, clock_.utcOffsetSeconds());
    r.event = kEventLinkLost;
    keep(std::move(r));
}

void Recorder::linkBack(int64_t utcMs) {
    Record r = Stamped(RecordKind::Event, utcMs, clock_.utcOffsetSeconds());
    r.event = kEventLinkBack;
    keep(std::move(r));
}

void Recorder::start(const std::string& version, const std::string& device,
                     const std::string& options) {
    Record r = Stamped(RecordKind::Event, clock_.utcMs(), clock_.utcOffsetSeconds());
    r.event = kEventStart;
    r.version = version;
    r.device = device;
    r.options = options;
    keep(std::move(r));
}

void Recorder::stop(const std::string& reason) {
    if (judge_ != nullptr) {
        if (std::optional<Record> end = judge_->finish(clock_.utcMs(), clock_.utcOffsetSeconds())) {
            keep(std::move(*end));
        }
    }
    Record r = Stamped(RecordKind::Event, clock_.utcMs(), clock_.utcOffsetSeconds());
    r.event = kEventStop;
    r.reason = reason;
    keep(std::move(r));
}

void Recorder::keep(Record record) {
    record.seq = ++seq_;
    if (file_ != nullptr) {
        QString error;
        if (!gone_ && file_->write(record, error)) {
            ++written_;
            if (failing_) say_("writing to " + file_->name().toStdString() + " again");
            failing_ = false;
        } else {
            ++lost_;
            if (!gone_ && file_->readerGone()) {
                gone_ = true;
                if (onOutputGone) {
                    onOutputGone(error.toStdString());
                } else {
                    say_("cannot write to " + file_->name().toStdString() + ": " +
                         error.toStdString());
                }
            } else if (!failing_ && !gone_) {
                say_("cannot write to " + file_->name().toStdString() + ": " + error.toStdString());
            }
            failing_ = true;
        }
    }
    // The broker gets the record even when the file could not take it.
    if (mqtt_ != nullptr)
        mqtt_->publish(KindName(record.kind), JsonText(record, layout_).toStdString());
    if (onRecord) onRecord(record);
}

}  // namespace fenwyd::headless
