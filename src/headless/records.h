// The unattended logger's records: one reading, battery reading or link
// event each, as a CSV line (RFC 4180) or a JSON object. Pure and
// locale-independent: "." is the decimal separator whatever the system says.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <string>

#include "instrument/observer.h"
#include "measure/measurement.h"

namespace fenwyd::headless {

enum class RecordKind { Reading, Battery, Event };

// The columns (CSV) and keys (JSON) a run writes besides those every run
// writes: those its options ask for. Without them records are as they
// always were.
struct RecordLayout {
    bool exposure = false;  // standard, reference_level, exposure_percent
    bool position = false;  // lat, lon, alt, fix
};

struct Record {
    RecordKind kind = RecordKind::Reading;
    uint64_t seq = 0;              // 1, 2, 3... per run, over all kinds
    int64_t utcMs = 0;             // ms since 1970 (UTC)
    int32_t utcOffsetSeconds = 0;  // local time minus UTC
    Measurement reading;           // Reading
    double volts = 0;              // Battery
    std::string event;             // Event: "link-lost", "link-back", "start", "stop"
    // "start": the program's version, the device and the options in effect;
    // "stop": why the run ended ("SIGTERM", "duration"...); "exceedance-end":
    // "below" (a reading came back under the threshold) or "stop".
    std::string version, device, options, reason;

    // With a reference, for readings and exceedance events (whose reading
    // holds the crossing reading's unit): the standard's id or "typed", the
    // level in the base unit, and value / level x 100. No level where the
    // reference has none for the reading's quantity; no percent for an
    // over- or under-range reading either.
    std::string standard;
    std::optional<double> referenceLevel;
    std::optional<double> exposurePercent;
    // Exceedance events: the alarm threshold; at the end how long the spell
    // lasted (first reading at or above it to the first back below) and its
    // highest percent.
    double thresholdPercent = 0;
    double durationSeconds = 0;
    double maxPercent = 0;
};

constexpr const char* kEventLinkLost = "link-lost";
constexpr const char* kEventLinkBack = "link-back";
// The first and the last record of a run: a restarted logger appending to
// its file starts seq at 1 again, after a "start".
constexpr const char* kEventStart = "start";
constexpr const char* kEventStop = "stop";
// A reading at or above the alarm threshold after one below it, and the
// first reading back below (or the end of the run while above).
constexpr const char* kEventExceedanceStart = "exceedance-start";
constexpr const char* kEventExceedanceEnd = "exceedance-end";
constexpr const char* kExceedanceEndBelow = "below";
constexpr const char* kExceedanceEndStop = "stop";

// What a start, stop or exceedance record says, as one line of text:
// "version 1.0.0; device /dev/ttyUSB0; options --port ...", the reason,
// "threshold 100 %" or "threshold 100 %; lasted 12.5 s; highest 131.2 %".
// CSV rows carry it in the display column, which events leave empty
// otherwise.
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
std::string CsvHeader(const RecordLayout& layout = {});
std::string CsvLine(const Record& record, const RecordLayout& layout = {});

// One record as a compact JSON object, without a line end. The layout's keys
// are null where a record has no value for them.
QByteArray JsonText(const Record& record, const RecordLayout& layout = {});

// A number as the shortest decimal text that reads back as the same double,
// without an exponent ("2", "0.0002", "66.95000000000001").
std::string ExactNumber(double v);
// Degrees rounded to 7 decimals (about 1 cm), metres to 3.
double RoundDegrees(double degrees);
double RoundMetres(double metres);

}  // namespace fenwyd::headless
