// The map and table exports read back by Python's json, xml.etree and csv
// modules: coordinates in longitude, latitude order, no coordinates where
// there was no fix, and any text a user types surviving the round trip.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "position/geo_export.h"
#include "support/fake_gpsd.h"

namespace fenwyd::testing {
namespace {

// What a Python script (given the file as argv[1]) printed, as JSON.
QJsonDocument ReadWithPython(const char* script, const std::filesystem::path& file) {
    TempFolder home;
    QProcess p;
    p.setProcessEnvironment(IsolatedEnvironment(home));
    p.start(QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3",
            {"-c", script, QString::fromStdString(file.string())});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        ADD_FAILURE() << "python: " << p.readAllStandardError().toStdString();
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput());
}

constexpr int64_t kT = 1712404800250;  // 2024-04-06T12:00:00.250Z
// Quotes, markup, a comma, a line break and a stray Latin-1 byte (not UTF-8).
const std::string kTricky = "Gate \"A\", <north> & 'east'\nby the \xB5 meter";
const QString kTrickyRead = QString::fromUtf8("Gate \"A\", <north> & 'east'\nby the \uFFFD meter");

Position At(double lat, double lon, std::optional<double> alt, FixMode fix = FixMode::ThreeD) {
    Position p;
    p.latitude = lat;
    p.longitude = lon;
    p.fix = alt ? fix : FixMode::TwoD;
    p.altitudeM = alt;
    if (alt) p.ellipsoidHeightM = *alt + 47.2;
    return p;
}

// P1 with a 3D fix; P2 indoors, typed by hand; P3 with a position that is
// no fix. Track rows 3 and 6 had no fix, row 5 a 2D one.
struct Survey {
    std::vector<SurveyPoint> points{3};
    std::vector<TrackRow> track;
    TempFolder dir;

    Survey() {
        for (int i = 0; i < 3; ++i) {
            points[i].number = i + 1;
            points[i].utcMs = kT;
            points[i].value = {"1.999", -3, "Gauss", "mG"};
        }
        points[0].name = kTricky;
        points[0].position = At(52.2053, -1.51, 61.7);
        points[0].exposurePercent = 12.5;
        points[0].dwell = Dwell{10, 0.0021, 0.00195};
        points[1].local = LocalPosition{"B4", 3.5, -2.0};
        points[2].position = At(10, 20, 5.0, FixMode::None);
        const std::optional<Position> at[] = {
            At(52.2050, -1.5100, 61.0), At(52.2051, -1.5101, 61.2),         std::nullopt,
            At(52.2052, -1.5102, 61.4), At(52.2053, -1.5103, std::nullopt), std::nullopt};
        for (int i = 0; i < 6; ++i) {
            track.push_back(TrackRow{kT + i * 1000, {"2.5", 0, "V/m", "V/m"}, at[i], 40.0});
        }
    }
    std::filesystem::path write(const char* name, const std::string& text) {
        WriteFile(dir.path() / name, text);
        return dir.path() / name;
    }
};

void ExpectHas(const QJsonObject& o, const QJsonObject& want) {
    for (auto it = want.begin(); it != want.end(); ++it) {
        EXPECT_EQ(o.value(it.key()), it.value()) << it.key().toStdString();
    }
}

TEST(GeoExport, GeoJsonReadByPythonHasLongitudeFirstAndNothingInvented) {
    Survey s;
    const auto file = s.write("survey.geojson", GeoJsonText(s.points, s.track));
    const QJsonArray features = ReadWithPython(
                                    "import json, sys\n"
                                    "def refuse(c): sys.exit('not JSON: ' + c)\n"
                                    "with open(sys.argv[1], encoding='utf-8') as f:\n"
                                    "    print(json.dumps(json.load(f, "
                                    "parse_constant=refuse)))\n",
                                    file)
                                    .object()
                                    .value("features")
                                    .toArray();
    ASSERT_EQ(features.size(), 3 + 4 + 1) << "3 points, 4 rows with a fix, the track";
    const auto geometry = [&](int i) { return features[i].toObject().value("geometry"); };
    const auto properties = [&](int i) {
        return features[i].toObject().value("properties").toObject();
    };
    EXPECT_EQ(geometry(0).toObject().value("coordinates"), QJsonArray({-1.51, 52.2053, 108.9}))
        << "longitude, latitude, height above the ellipsoid (RFC 7946)";
    ExpectHas(properties(0), {{"point", "P1"},
                              {"name", kTrickyRead},
                              {"time", "2024-04-06T12:00:00.250Z"},
                              {"value", 0.001999},
                              {"unit", "Gauss"},
                              {"label", "mG"},
                              {"exposure_percent", 12.5},
                              {"altitude_m", 61.7},
                              {"dwell_mean", 0.00195}});
    for (int i : {1, 2}) {
        EXPECT_TRUE(geometry(i).isNull()) << "P" << i + 1 << " had no fix";
        EXPECT_EQ(properties(i).value("name"), QString("P%1").arg(i + 1));
        EXPECT_FALSE(properties(i).contains("exposure_percent"));
    }
    ExpectHas(properties(1), {{"grid", "B4"}, {"x_m", 3.5}, {"y_m", -2}});
    for (int i = 3, row = 0; i < 7; ++i, row += row == 1 ? 2 : 1) {
        EXPECT_EQ(properties(i).value("time"), QString("2024-04-06T12:00:0%1.250Z").arg(row));
    }
    // The line breaks where the fix was lost; without a height on every
    // vertex it has none at all.
    EXPECT_EQ(geometry(7).toObject().value("type"), "MultiLineString");
    EXPECT_EQ(geometry(7).toObject().value("coordinates"),
              QJsonArray({QJsonArray{QJsonArray{-1.51, 52.205}, QJsonArray{-1.5101, 52.2051}},
                          QJsonArray{QJsonArray{-1.5102, 52.2052}, QJsonArray{-1.5103, 52.2053}}}));
}

TEST(GeoExport, KmlReadByPythonsXmlParser) {
    Survey s;
    const auto file = s.write("survey.kml", KmlText(s.points, s.track, "Site <1> & more"));
    const QJsonArray placemarks =
        ReadWithPython(
            "import json, sys, xml.etree.ElementTree as ET\n"
            "k = '{http://www.opengis.net/kml/2.2}'\n"
            "print(json.dumps([{'name': p.findtext(k + 'name'),\n"
            "    'when': p.findtext(k + 'TimeStamp/' + k + 'when'),\n"
            "    'data': {d.get('name'): d.findtext(k + 'value') for d in p.iter(k + "
            "'Data')},\n"
            "    'coordinates': [c.text for c in p.iter(k + 'coordinates')]}\n"
            "    for p in ET.parse(sys.argv[1]).getroot().iter(k + 'Placemark')]))\n",
            file)
            .array();
    ASSERT_EQ(placemarks.size(), 3 + 1);
    ExpectHas(placemarks[0].toObject(),
              {{"name", kTrickyRead},
               {"when", "2024-04-06T12:00:00.250Z"},
               {"coordinates", QJsonArray({"-1.5100000,52.2053000,61.7"})}});  // height: MSL
    ExpectHas(placemarks[0].toObject().value("data").toObject(),
              {{"exposure_percent", "12.5"}, {"value", "0.001999"}, {"unit", "Gauss"}});
    EXPECT_EQ(placemarks[1].toObject().value("coordinates"), QJsonArray());
    EXPECT_EQ(placemarks[2].toObject().value("coordinates"), QJsonArray());
    EXPECT_EQ(placemarks[3].toObject().value("coordinates"),
              QJsonArray({"-1.5100000,52.2050000 -1.5101000,52.2051000",
                          "-1.5102000,52.2052000 -1.5103000,52.2053000"}));
}

TEST(GeoExport, PointsCsvReadByPythonsCsvModule) {
    Survey s;
    const std::string text = PointsCsvText(s.points);
    const QJsonArray rows = ReadWithPython(
                                "import csv, json, sys\n"
                                "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                "    print(json.dumps([dict(r) for r in csv.DictReader(f)]))\n",
                                s.write("points.csv", text))
                                .array();
    ASSERT_EQ(rows.size(), 3);
    ExpectHas(rows[0].toObject(), {{"point", "P1"},
                                   {"name", kTrickyRead},
                                   {"latitude", "52.2053000"},
                                   {"longitude", "-1.5100000"},
                                   {"altitude_m", "61.7"},
                                   {"value", "0.001999"},
                                   {"exposure_percent", "12.5"}});
    ExpectHas(rows[1].toObject(),
              {{"latitude", ""}, {"grid", "B4"}, {"x_m", "3.5"}, {"y_m", "-2"}});
    ExpectHas(rows[2].toObject(), {{"latitude", ""}, {"longitude", ""}, {"altitude_m", ""}});
    // Every record ends in CR LF; the only bare LF is the one inside the name.
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    std::size_t bareLf = 0;
    for (std::size_t i = 0; i < text.size(); ++i) bareLf += text[i] == '\n' && text[i - 1] != '\r';
    EXPECT_EQ(bareLf, 1u);
}

}  // namespace
}  // namespace fenwyd::testing
