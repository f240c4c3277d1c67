#include "headless/records.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "common/textconv.h"
#include "exposure/comparison.h"

namespace fenwyd::headless {

namespace {
constexpr int64_t kMsPerDay = 86400000;

// Floor division: times before 1970 still fall on the right day.
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Year, month, day of a day count since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(int64_t days, int64_t& y, unsigned& m, unsigned& d) {
    days += 719468;
    const int64_t era = FloorDiv(days, 146097);
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

std::string Flag(bool on) { return on ? "1" : "0"; }

std::string ModelName(int16_t model) { return model == 0 ? "" : "QM-" + std::to_string(model); }

// The reading's value in its base unit, as the exact decimal text.
std::string ValueText(const Measurement& r) { return r.baseDecimal(); }

std::string Optional(const std::optional<double>& v) { return v ? ExactNumber(*v) : ""; }

QJsonValue JsonNumber(const std::optional<double>& v) {
    return v && std::isfinite(*v) ? QJsonValue(*v) : QJsonValue();
}

bool IsExceedance(const Record& rec) {
    return rec.kind == RecordKind::Event &&
           (rec.event == kEventExceedanceStart || rec.event == kEventExceedanceEnd);
}

// The reading's position as lat, lon, alt and fix texts; empty without one.
std::vector<std::string> PositionFields(const Measurement& r) {
    if (!r.position) return {"", "", "", ""};
    const Position& p = *r.position;
    return {ExactNumber(RoundDegrees(p.latitude)), ExactNumber(RoundDegrees(p.longitude)),
            p.altitudeM ? ExactNumber(RoundMetres(*p.altitudeM)) : "", FixName(p.fix)};
}
}  // namespace

std::string ExactNumber(double v) {
    if (!std::isfinite(v)) return "";
    char buf[512];  // fixed form of any double
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return res.ec == std::errc() ? std::string(buf, res.ptr) : std::string();
}

// "+ 0.0": a value rounded to zero from below is written "0", not "-0".
double RoundDegrees(double degrees) { return std::round(degrees * 1e7) / 1e7 + 0.0; }
double RoundMetres(double metres) { return std::round(metres * 1e3) / 1e3 + 0.0; }

const char* KindName(RecordKind kind) {
    switch (kind) {
        case RecordKind::Reading: return "reading";
        case RecordKind::Battery: return "battery";
        case RecordKind::Event: return "event";
    }
    return "event";
}

std::string IsoTime(int64_t utcMs, int32_t offsetSeconds, bool utcSuffix) {
    const int64_t ms = utcMs + (utcSuffix ? 0 : static_cast<int64_t>(offsetSeconds) * 1000);
    const int64_t days = FloorDiv(ms, kMsPerDay);
    const int64_t inDay = ms - days * kMsPerDay;
    int64_t y = 0;
    unsigned mo = 0, d = 0;
    CivilFromDays(days, y, mo, d);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02d.%03d",
                  static_cast<long long>(y), mo, d, static_cast<int>(inDay / 3600000),
                  static_cast<int>(inDay / 60000 % 60), static_cast<int>(inDay / 1000 % 60),
                  static_cast<int>(inDay % 1000));
    std::string text = buf;
    if (utcSuffix) return text + "Z";
    const int32_t off = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
    std::snprintf(buf, sizeof buf, "%c%02d:%02d", offsetSeconds < 0 ? '-' : '+', off / 3600,
                  off / 60 % 60);
    return text + buf;
}

std::string EventDetail(const Record& rec) {
    if (rec.kind != RecordKind::Event) return {};
    if (rec.event == kEventStart) {
        return "version " + rec.version + "; device " + rec.device + "; options " + rec.options;
    }
    if (IsExceedance(rec)) {
        std::string text = "threshold " + FormatPercent(rec.thresholdPercent);
        if (rec.event == kEventExceedanceEnd) {
            text += "; lasted " + ExactNumber(rec.durationSeconds) + " s; highest " +
                    FormatPercent(rec.maxPercent);
            if (rec.reason == kExceedanceEndStop) text += "; the run ended";
        }
        return text;
    }
    return rec.event == kEventStop ? rec.reason : std::string();
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string CsvHeader(const RecordLayout& layout) {
    std::string header =
        "kind,seq,utc,local,value,unit,label,display,range,auto_range,percent,over_range,"
        "under_range,model,volts,event";
    if (layout.exposure) header += ",standard,reference_level,exposure_percent";
    if (layout.position) header += ",lat,lon,alt,fix";
    return header + "\r\n";
}

std::string CsvLine(const Record& rec, const RecordLayout& layout) {
    std::string fields[16];
    fields[0] = KindName(rec.kind);
    fields[1] = std::to_string(rec.seq);
    fields[2] = IsoTime(rec.utcMs, rec.utcOffsetSeconds, true);
    fields[3] = IsoTime(rec.utcMs, rec.utcOffsetSeconds, false);
    if (rec.kind == RecordKind::Reading) {
        const Measurement& r = rec.reading;
        fields[4] = ValueText(r);
        fields[5] = r.unitsText;
        fields[6] = r.unitsLabel;
        fields[7] = r.valueText;
        fields[8] = std::to_string(r.range);
        fields[9] = Flag(r.autoRange);
        fields[10] = std::to_string(r.percent);
        fields[11] = Flag(r.overRange);
        fields[12] = Flag(r.underRange);
        fields[13] = ModelName(r.model);
    } else if (rec.kind == RecordKind::Battery) {
        fields[14] = FormatShortest(rec.volts);
    } else {
        fields[7] = EventDetail(rec);
        fields[15] = rec.event;
        // The unit the level of an exceedance event is in.
        if (IsExceedance(rec)) fields[5] = rec.reading.unitsText;
    }
    std::string line = CsvField(fields[0]);
    for (std::size_t i = 1; i < std::size(fields); ++i) line += "," + CsvField(fields[i]);
    if (layout.exposure) {
        const bool judged = rec.kind == RecordKind::Reading || IsExceedance(rec);
        line += "," + CsvField(judged ? rec.standard : "");
        line += "," + (judged ? Optional(rec.referenceLevel) : "");
        line += "," + (judged ? Optional(rec.exposurePercent) : "");
    }
    if (layout.position) {
        const Measurement none;
        for (const std::string& f :
             PositionFields(rec.kind == RecordKind::Reading ? rec.reading : none)) {
            line += "," + f;
        }
    }
    return line + "\r\n";
}

QByteArray JsonText(const Record& rec, const RecordLayout& layout) {
    QJsonObject o;
    o.insert(QStringLiteral("kind"), QLatin1String(KindName(rec.kind)));
    o.insert(QStringLiteral("seq"), static_cast<qint64>(rec.seq));
    o.insert(QStringLiteral("utc"),
             QString::fromLatin1(IsoTime(rec.utcMs, rec.utcOffsetSeconds, true).c_str()));
    o.insert(QStringLiteral("local"),
             QString::fromLatin1(IsoTime(rec.utcMs, rec.utcOffsetSeconds, false).c_str()));
    auto text = [](const std::string& s) { return QString::fromLatin1(s.data(), s.size()); };
    if (rec.kind == RecordKind::Reading) {
        const Measurement& r = rec.reading;
        // The exact decimal text, read back as a number (C locale).
        const QByteArray value = QByteArray::fromStdString(ValueText(r));
        bool ok = false;
        const double number = value.toDouble(&ok);
        o.insert(QStringLiteral("value"), ok ? QJsonValue(number) : QJsonValue());
        o.insert(QStringLiteral("unit"), text(r.unitsText));
        o.insert(QStringLiteral("label"), text(r.unitsLabel));
        o.insert(QStringLiteral("display"), text(r.valueText));
        o.insert(QStringLiteral("range"), r.range);
        o.insert(QStringLiteral("auto_range"), r.autoRange);
        o.insert(QStringLiteral("percent"), r.percent);
        o.insert(QStringLiteral("over_range"), r.overRange);
        o.insert(QStringLiteral("under_range"), r.underRange);
        o.insert(QStringLiteral("model"), text(ModelName(r.model)));
        if (layout.exposure) {
            o.insert(QStringLiteral("standard"), text(rec.standard));
            o.insert(QStringLiteral("reference_level"), JsonNumber(rec.referenceLevel));
            o.insert(QStringLiteral("exposure_percent"), JsonNumber(rec.exposurePercent));
        }
        if (layout.position) {
            const std::optional<Position>& p = r.position;
            o.insert(QStringLiteral("lat"),
                     p ? QJsonValue(RoundDegrees(p->latitude)) : QJsonValue());
            o.insert(QStringLiteral("lon"),
                     p ? QJsonValue(RoundDegrees(p->longitude)) : QJsonValue());
            o.insert(QStringLiteral("alt"),
                     p && p->altitudeM ? QJsonValue(RoundMetres(*p->altitudeM)) : QJsonValue());
            o.insert(QStringLiteral("fix"),
                     p ? QJsonValue(QLatin1String(FixName(p->fix))) : QJsonValue());
        }
    } else if (rec.kind == RecordKind::Battery) {
        o.insert(QStringLiteral("volts"), rec.volts);
    } else {
        o.insert(QStringLiteral("event"), text(rec.event));
        auto utf8 = [](const std::string& s) { return QString::fromUtf8(s.data(), s.size()); };
        if (rec.event == kEventStart) {
            o.insert(QStringLiteral("version"), utf8(rec.version));
            o.insert(QStringLiteral("device"), utf8(rec.device));
            o.insert(QStringLiteral("options"), utf8(rec.options));
        } else if (rec.event == kEventStop) {
            o.insert(QStringLiteral("reason"), utf8(rec.reason));
        } else if (IsExceedance(rec)) {
            o.insert(QStringLiteral("standard"), text(rec.standard));
            o.insert(QStringLiteral("unit"), text(rec.reading.unitsText));
            o.insert(QStringLiteral("reference_level"), JsonNumber(rec.referenceLevel));
            o.insert(QStringLiteral("exposure_percent"), JsonNumber(rec.exposurePercent));
            o.insert(QStringLiteral("threshold_percent"), rec.thresholdPercent);
            if (rec.event == kEventExceedanceEnd) {
                o.insert(QStringLiteral("duration_seconds"), rec.durationSeconds);
                o.insert(QStringLiteral("max_percent"), rec.maxPercent);
                o.insert(QStringLiteral("reason"), utf8(rec.reason));
            }
        }
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

}  // namespace fenwyd::headless
