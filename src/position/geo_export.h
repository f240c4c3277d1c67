// Survey points and the logged track for map and table tools: GeoJSON
// (RFC 7946), KML 2.2, and the points as CSV (RFC 4180). A point or row
// without a fix never gets coordinates. Output is UTF-8 (bytes of input
// text that are not UTF-8 become U+FFFD); numbers use '.' whatever the
// locale. Plain C++, no Qt; write the text with WriteFileReplacing.
#pragma once

#include <string>
#include <vector>

#include "position/survey.h"

namespace fenwyd {

// A FeatureCollection: a Point feature per survey point (geometry null
// without a fix), a Point feature per track row with a fix, and the walked
// track as a LineString (a MultiLineString where the fix was lost between
// rows). Coordinates are [longitude, latitude] with 7 decimals, plus the
// height above the WGS84 ellipsoid where every vertex has one (RFC 7946
// asks for ellipsoidal height; the height above sea level is the
// "altitude_m" property).
std::string GeoJsonText(const std::vector<SurveyPoint>& points, const std::vector<TrackRow>& track);

// A KML document: a Placemark per survey point (no geometry without a fix)
// and the track as a LineString (a MultiGeometry where the fix was lost).
// Altitudes are above sea level, KML's "absolute".
std::string KmlText(const std::vector<SurveyPoint>& points, const std::vector<TrackRow>& track,
                    const std::string& documentName);

// The points as CSV: a header row, then one row per point, CR LF ended.
std::string PointsCsvText(const std::vector<SurveyPoint>& points);

}  // namespace fenwyd
