// The link trace: every command written and every reply read, with a
// monotonic time stamp. Silent unless switched on with
// QT_LOGGING_RULES="fenwyd.link.debug=true".
#pragma once

#include <QLoggingCategory>
#include <string>

Q_DECLARE_LOGGING_CATEGORY(lcLink)

namespace fenwyd {

void TraceLink(const char* direction, const std::string& bytes);

}  // namespace fenwyd
