// The unattended logger's records: one reading, battery reading or link
// event each, as a CSV line (RFC 4180) or a JSON object. Pure and
// locale-independent: "." is the decimal separator whatever the system says.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <string>

#include "instrument/observer.h"
#include "measure/measurement.h"

namespace fenwyd::headless {

enum class RecordKind { Reading, Battery, Event };

struct Record {
    RecordKind kind = RecordKind::Reading;
    uint64_t seq = 0;              // 1, 2, 3... per run, over all kinds
    int64_t utcMs = 0;             // ms since 1970 (UTC)
    int32_t utcOffsetSeconds = 0;  // local time minus UTC
    Measurement reading;           // Reading
    double volts = 0;              // Battery
    std::string event;             // Event: "link-lost", "link-back", "start", "stop"
    // "start": the program's version, the device and the options in effect;
    // "stop": why the run ended ("SIGTERM", "duration"...).
    std::string version, device, options, reason;
};

constexpr const char* kEventLinkLost = "link-lost";
constexpr const char* kEventLinkBack = "link-back";
// The first and the last record of a run: a restarted logger appending to
// its file starts seq at 1 again, after a "start".
constexpr const char* kEventStart = "start";
constexpr const char* kEventStop = "stop";

// What a start or stop record says, as one line of text: "version 1.0.0;
// device /dev/ttyUSB0; options --port ..." or the reason. CSV rows carry it
// in the display column, which events leave empty otherwise.
std::string EventDetail(const Record& record);

// "reading", "battery", "event": the record's kind as written, and the last
// part of its MQTT topic.
const char* KindName(RecordKind kind);

// ISO 8601 with milliseconds: "2026-12-06T10:00:00.250Z" for an offset of 0
// with utcSuffix, else "2026-12-06T11:00:00.250+01:00" (the local time).
std::string IsoTime(int64_t utcMs, int32_t offsetSeconds, bool utcSuffix);

using fenwyd::ScaledDecimal;

// One CSV field, quoted (with inner quotes doubled) when it holds a comma, a
// quote or a line break.
std::string CsvField(const std::string& text);

// The header row and one record's row, each ending in CR LF.
std::string CsvHeader();
std::string CsvLine(const Record& record);

// One record as a compact JSON object, without a line end.
QByteArray JsonText(const Record& record);

}  // namespace fenwyd::headless
