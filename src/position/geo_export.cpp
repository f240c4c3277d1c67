#include "position/geo_export.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>

#include "common/record_text.h"

namespace fenwyd {

std::string PointLabel(int number) { return "P" + std::to_string(number); }

namespace {

constexpr int kCoordinateDecimals = 7;  // about 1 cm
constexpr int kAltitudeDecimals = 2;
constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the valid UTF-8 sequence at s[i], or 0 (RFC 3629: no
// overlong forms, no surrogates, nothing beyond U+10FFFF).
std::size_t Utf8Length(const std::string& s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return 1;
    std::size_t n = 0;
    unsigned lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + n > s.size() || b(i + 1) < lo || b(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < n; ++k) {
        if (b(i + k) < 0x80 || b(i + k) > 0xBF) return 0;
    }
    return n;
}

// Calls emit with each character of s as its UTF-8 bytes; a byte that does
// not start a valid sequence comes as U+FFFD.
void ForEachChar(const std::string& s, const std::function<void(const std::string&)>& emit) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = Utf8Length(s, i);
        emit(n == 0 ? std::string(kReplacement) : s.substr(i, n));
        i += n == 0 ? 1 : n;
    }
}

std::string ValidUtf8(const std::string& s) {
    std::string out;
    ForEachChar(s, [&](const std::string& c) { out += c; });
    return out;
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    ForEachChar(s, [&](const std::string& c) {
        const unsigned char b = static_cast<unsigned char>(c[0]);
        if (c == "\"" || c == "\\") {
            out += '\\';
            out += c;
        } else if (c == "\n") {
            out += "\\n";
        } else if (c == "\r") {
            out += "\\r";
        } else if (c == "\t") {
            out += "\\t";
        } else if (b < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", b);
            out += buf;
        } else {
            out += c;
        }
    });
    return out + "\"";
}

// Character data and attribute values for XML 1.0: the five markup
// characters escaped, characters XML cannot hold as U+FFFD.
std::string XmlText(const std::string& s) {
    std::string out;
    ForEachChar(s, [&](const std::string& c) {
        const unsigned char b = static_cast<unsigned char>(c[0]);
        if (c == "&") {
            out += "&amp;";
        } else if (c == "<") {
            out += "&lt;";
        } else if (c == ">") {
            out += "&gt;";
        } else if (c == "\"") {
            out += "&quot;";
        } else if (c == "'") {
            out += "&apos;";
        } else if ((b < 0x20 && c != "\t" && c != "\n" && c != "\r") || c == "\xEF\xBF\xBE" ||
                   c == "\xEF\xBF\xBF") {
            out += kReplacement;
        } else {
            out += c;
        }
    });
    return out;
}

std::string CsvField(const std::string& text) {
    const std::string s = ValidUtf8(text);
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string quoted = "\"";
    for (const char c : s) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// Numbers with '.', whatever the locale; empty for NaN and infinities.
std::string Fixed(double v, int decimals) {
    if (!std::isfinite(v)) return {};
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

// At most `decimals` decimals, without trailing zeros.
std::string Rounded(double v, int decimals) {
    std::string s = Fixed(v, decimals);
    if (s.find('.') == std::string::npos) return s;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

// The shortest text that reads back as v.
std::string Shortest(double v) {
    if (!std::isfinite(v)) return {};
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::optional<Position> Fix(const std::optional<Position>& p) {
    if (p && HasFix(*p)) return p;
    return std::nullopt;
}

// "lon,lat" or "lon,lat,height": the order both GeoJSON and KML use.
std::string LonLat(const Position& p, const std::optional<double>& height) {
    std::string s =
        Fixed(p.longitude, kCoordinateDecimals) + "," + Fixed(p.latitude, kCoordinateDecimals);
    if (height && std::isfinite(*height)) s += "," + Rounded(*height, kAltitudeDecimals);
    return s;
}

// The runs of track rows with a fix: a row without one ends a run, so the
// line never bridges a stretch where the position was unknown. Runs of one
// row draw no line.
std::vector<std::vector<Position>> TrackRuns(const std::vector<TrackRow>& track) {
    std::vector<std::vector<Position>> runs(1);
    for (const TrackRow& row : track) {
        if (const auto p = Fix(row.position)) {
            runs.back().push_back(*p);
        } else if (!runs.back().empty()) {
            runs.emplace_back();
        }
    }
    std::vector<std::vector<Position>> lines;
    for (auto& run : runs) {
        if (run.size() >= 2) lines.push_back(std::move(run));
    }
    return lines;
}

// Heights on a line only where every vertex has one: a missing one would
// otherwise read as zero.
// The times of the first and last track rows with a fix.
std::pair<int64_t, int64_t> FixedSpan(const std::vector<TrackRow>& track) {
    std::pair<int64_t, int64_t> span{0, 0};
    bool first = true;
    for (const TrackRow& row : track) {
        if (!Fix(row.position)) continue;
        if (first) span.first = row.utcMs;
        span.second = row.utcMs;
        first = false;
    }
    return span;
}

bool AllHave(const std::vector<std::vector<Position>>& lines,
             std::optional<double> Position::*height) {
    for (const auto& line : lines) {
        for (const Position& p : line) {
            if (!(p.*height) || !std::isfinite(*(p.*height))) return false;
        }
    }
    return true;
}

std::optional<double> Given(bool use, const std::optional<double>& v) {
    return use ? v : std::nullopt;
}

// ---- GeoJSON

class JsonProperties {
public:
    void text(const char* key, const std::string& value) { add(key, JsonString(value)); }
    // A number as text, or null when it is empty.
    void number(const char* key, const std::string& value) {
        add(key, value.empty() ? "null" : value);
    }
    void literal(const char* key, const char* value) { add(key, value); }
    const std::string& str() const { return out_; }

private:
    void add(const char* key, const std::string& json) {
        out_ += (out_.empty() ? "" : ",") + JsonString(key) + ":" + json;
    }
    std::string out_;
};

void ValueProperties(JsonProperties& p, int64_t utcMs, const ShownValue& v,
                     const std::optional<Position>& fix,
                     const std::optional<double>& exposurePercent) {
    p.text("time", IsoTimeText(utcMs));
    p.number("value", ExactDecimal(v.text, v.exponent));
    p.text("unit", v.unit);
    p.text("label", v.label);
    p.text("display", v.text);
    if (fix) {
        p.text("fix", FixName(fix->fix));
        if (fix->fixUtcMs != 0) p.text("fix_time", IsoTimeText(fix->fixUtcMs));
        if (fix->altitudeM) p.number("altitude_m", Rounded(*fix->altitudeM, kAltitudeDecimals));
    }
    if (exposurePercent) p.number("exposure_percent", Shortest(*exposurePercent));
}

std::string Feature(const std::string& geometry, const JsonProperties& p) {
    return "{\"type\":\"Feature\",\"geometry\":" + geometry + ",\"properties\":{" + p.str() + "}}";
}

std::string JsonPoint(const std::optional<Position>& fix) {
    if (!fix) return "null";
    return "{\"type\":\"Point\",\"coordinates\":[" + LonLat(*fix, fix->ellipsoidHeightM) + "]}";
}

std::string JsonLine(const std::vector<Position>& line, bool heights) {
    std::string s = "[";
    for (const Position& p : line) {
        s += (s.size() > 1 ? ",[" : "[") + LonLat(p, Given(heights, p.ellipsoidHeightM)) + "]";
    }
    return s + "]";
}

}  // namespace

std::string GeoJsonText(const std::vector<SurveyPoint>& points,
                        const std::vector<TrackRow>& track) {
    std::vector<std::string> features;
    for (const SurveyPoint& pt : points) {
        const auto fix = Fix(pt.position);
        JsonProperties p;
        p.literal("kind", "\"point\"");
        p.text("point", PointLabel(pt.number));
        p.text("name", pt.name.empty() ? PointLabel(pt.number) : pt.name);
        p.text("note", pt.note);
        ValueProperties(p, pt.utcMs, pt.value, fix, pt.exposurePercent);
        p.number("range", std::to_string(pt.range));
        p.literal("auto_range", pt.autoRange ? "true" : "false");
        if (pt.local) {
            if (!pt.local->grid.empty()) p.text("grid", pt.local->grid);
            if (pt.local->xM && pt.local->yM) {
                p.number("x_m", Shortest(*pt.local->xM));
                p.number("y_m", Shortest(*pt.local->yM));
            }
        }
        if (pt.dwell) {
            p.number("dwell_s", std::to_string(pt.dwell->seconds));
            p.number("dwell_max", Shortest(pt.dwell->maximum));
            p.number("dwell_mean", Shortest(pt.dwell->mean));
        }
        features.push_back(Feature(JsonPoint(fix), p));
    }
    for (const TrackRow& row : track) {
        const auto fix = Fix(row.position);
        if (!fix) continue;
        JsonProperties p;
        p.literal("kind", "\"reading\"");
        p.literal("name", "null");
        ValueProperties(p, row.utcMs, row.value, fix, row.exposurePercent);
        features.push_back(Feature(JsonPoint(fix), p));
    }
    const auto lines = TrackRuns(track);
    if (!lines.empty()) {
        const bool heights = AllHave(lines, &Position::ellipsoidHeightM);
        std::string geometry;
        if (lines.size() == 1) {
            geometry = "{\"type\":\"LineString\",\"coordinates\":" + JsonLine(lines[0], heights);
        } else {
            geometry = "{\"type\":\"MultiLineString\",\"coordinates\":[";
            for (std::size_t i = 0; i < lines.size(); ++i) {
                geometry += (i ? "," : "") + JsonLine(lines[i], heights);
            }
            geometry += "]";
        }
        JsonProperties p;
        p.literal("kind", "\"track\"");
        p.text("name", "Track");
        const auto span = FixedSpan(track);
        p.text("time", IsoTimeText(span.first));
        p.text("time_end", IsoTimeText(span.second));
        features.push_back(Feature(geometry + "}", p));
    }
    std::string out = "{\"type\":\"FeatureCollection\",\"features\":[";
    for (std::size_t i = 0; i < features.size(); ++i) {
        out += (i ? ",\n" : "\n") + features[i];
    }
    return out + "\n]}\n";
}

// ---- KML

namespace {

void KmlData(std::string& out, const char* name, const std::string& value) {
    if (value.empty()) return;
    out += "<Data name=\"" + std::string(name) + "\"><value>" + XmlText(value) + "</value></Data>";
}

std::string KmlCoordinates(const std::vector<Position>& line, bool heights) {
    std::string s;
    for (const Position& p : line) {
        s += (s.empty() ? "" : " ") + LonLat(p, Given(heights, p.altitudeM));
    }
    return s;
}

std::string KmlLine(const std::vector<Position>& line, bool heights) {
    return std::string("<LineString><tessellate>1</tessellate><altitudeMode>") +
           (heights ? "absolute" : "clampToGround") + "</altitudeMode><coordinates>" +
           KmlCoordinates(line, heights) + "</coordinates></LineString>";
}

}  // namespace

std::string KmlText(const std::vector<SurveyPoint>& points, const std::vector<TrackRow>& track,
                    const std::string& documentName) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n<name>" +
        XmlText(documentName) + "</name>\n";
    if (!points.empty()) {
        out += "<Folder>\n<name>Survey points</name>\n";
        for (const SurveyPoint& pt : points) {
            const auto fix = Fix(pt.position);
            const std::string label = PointLabel(pt.number);
            std::string description = pt.value.text + " " + pt.value.label;
            if (!pt.note.empty()) description += "\n" + pt.note;
            out += "<Placemark><name>" + XmlText(pt.name.empty() ? label : pt.name) +
                   "</name><description>" + XmlText(description) +
                   "</description><TimeStamp><when>" + IsoTimeText(pt.utcMs) +
                   "</when></TimeStamp><ExtendedData>";
            KmlData(out, "point", label);
            KmlData(out, "value", ExactDecimal(pt.value.text, pt.value.exponent));
            KmlData(out, "unit", pt.value.unit);
            KmlData(out, "label", pt.value.label);
            KmlData(out, "display", pt.value.text);
            KmlData(out, "range", std::to_string(pt.range));
            KmlData(out, "note", pt.note);
            if (fix) {
                KmlData(out, "fix", FixName(fix->fix));
                if (fix->fixUtcMs != 0) KmlData(out, "fix_time", IsoTimeText(fix->fixUtcMs));
            }
            if (pt.local) {
                KmlData(out, "grid", pt.local->grid);
                if (pt.local->xM && pt.local->yM) {
                    KmlData(out, "x_m", Shortest(*pt.local->xM));
                    KmlData(out, "y_m", Shortest(*pt.local->yM));
                }
            }
            if (pt.dwell) {
                KmlData(out, "dwell_s", std::to_string(pt.dwell->seconds));
                KmlData(out, "dwell_max", Shortest(pt.dwell->maximum));
                KmlData(out, "dwell_mean", Shortest(pt.dwell->mean));
            }
            if (pt.exposurePercent) KmlData(out, "exposure_percent", Shortest(*pt.exposurePercent));
            out += "</ExtendedData>";
            if (fix) {
                const bool height = fix->altitudeM && std::isfinite(*fix->altitudeM);
                out += std::string("<Point><altitudeMode>") +
                       (height ? "absolute" : "clampToGround") + "</altitudeMode><coordinates>" +
                       LonLat(*fix, fix->altitudeM) + "</coordinates></Point>";
            }
            out += "</Placemark>\n";
        }
        out += "</Folder>\n";
    }
    const auto lines = TrackRuns(track);
    if (!lines.empty()) {
        const bool heights = AllHave(lines, &Position::altitudeM);
        const auto span = FixedSpan(track);
        out += "<Placemark><name>Track</name><TimeSpan><begin>" + IsoTimeText(span.first) +
               "</begin><end>" + IsoTimeText(span.second) + "</end></TimeSpan>";
        if (lines.size() == 1) {
            out += KmlLine(lines[0], heights);
        } else {
            out += "<MultiGeometry>";
            for (const auto& line : lines) out += KmlLine(line, heights);
            out += "</MultiGeometry>";
        }
        out += "</Placemark>\n";
    }
    return out + "</Document>\n</kml>\n";
}

// ---- CSV

std::string PointsCsvText(const std::vector<SurveyPoint>& points) {
    std::string out =
        "point,name,note,time,value,unit,label,display,range,auto_range,latitude,longitude,"
        "altitude_m,fix,fix_time,grid,x_m,y_m,dwell_s,dwell_max,dwell_mean,exposure_percent\r\n";
    for (const SurveyPoint& pt : points) {
        const auto fix = Fix(pt.position);
        std::vector<std::string> f = {
            PointLabel(pt.number),
            pt.name,
            pt.note,
            IsoTimeText(pt.utcMs),
            ExactDecimal(pt.value.text, pt.value.exponent),
            pt.value.unit,
            pt.value.label,
            pt.value.text,
            std::to_string(pt.range),
            pt.autoRange ? "1" : "0",
        };
        f.push_back(fix ? Fixed(fix->latitude, kCoordinateDecimals) : "");
        f.push_back(fix ? Fixed(fix->longitude, kCoordinateDecimals) : "");
        f.push_back(fix && fix->altitudeM ? Rounded(*fix->altitudeM, kAltitudeDecimals) : "");
        f.push_back(fix ? FixName(fix->fix) : "");
        f.push_back(fix && fix->fixUtcMs != 0 ? IsoTimeText(fix->fixUtcMs) : "");
        const bool xy = pt.local && pt.local->xM && pt.local->yM;
        f.push_back(pt.local ? pt.local->grid : "");
        f.push_back(xy ? Shortest(*pt.local->xM) : "");
        f.push_back(xy ? Shortest(*pt.local->yM) : "");
        f.push_back(pt.dwell ? std::to_string(pt.dwell->seconds) : "");
        f.push_back(pt.dwell ? Shortest(pt.dwell->maximum) : "");
        f.push_back(pt.dwell ? Shortest(pt.dwell->mean) : "");
        f.push_back(pt.exposurePercent ? Shortest(*pt.exposurePercent) : "");
        std::string line;
        for (std::size_t i = 0; i < f.size(); ++i) line += (i ? "," : "") + CsvField(f[i]);
        out += line + "\r\n";
    }
    return out;
}

}  // namespace fenwyd
