#include "position/place.h"

#include <charconv>
#include <cmath>
#include <regex>

namespace fenwyd {

namespace {
std::string Trim(const std::string& s, const char* chars) {
    const auto first = s.find_first_not_of(chars);
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(chars) - first + 1);
}

bool ReadNumber(const std::string& text, double& out) {
    const char* begin = text.data();
    if (!text.empty() && text[0] == '+') ++begin;
    const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}
}  // namespace

std::optional<LocalPosition> ParsePlace(const std::string& text) {
    const std::string t = Trim(text, " \t\r\n");
    if (t.empty()) return std::nullopt;
    // [label and a blank or "("] [x=] X [m] , or ; [y=] Y [m] [)]
    static const std::regex xy(
        R"(^(?:(.*?)[\s(]+|\()?(?:x\s*=\s*)?([-+]?(?:\d+\.?\d*|\.\d+))\s*m?\s*[,;]\s*)"
        R"((?:y\s*=\s*)?([-+]?(?:\d+\.?\d*|\.\d+))\s*m?\s*\)?$)",
        std::regex::icase);
    LocalPosition place;
    std::smatch m;
    double x = 0, y = 0;
    if (std::regex_match(t, m, xy) && ReadNumber(m[2].str(), x) && ReadNumber(m[3].str(), y)) {
        place.xM = x;
        place.yM = y;
        place.grid = Trim(m[1].str(), " \t,;:");
    } else {
        place.grid = t;
    }
    return place;
}

}  // namespace fenwyd
