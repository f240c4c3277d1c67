// A place typed by hand where there is no fix (indoors, underground): a
// grid label, x and y in metres from the site's own origin, or both. Plain
// C++, no Qt.
#pragma once

#include <optional>
#include <string>

#include "position/survey.h"

namespace fenwyd {

// "B4" is a grid label; "3.5, -2" (or "3.5; -2 m", "x=3.5, y=-2") is x and
// y; "B4 (3.5, -2)" is both. The two numbers need a comma or semicolon
// between them, so a label such as "Room 12" stays a label. Nothing for
// blank text.
std::optional<LocalPosition> ParsePlace(const std::string& text);

}  // namespace fenwyd
