#include "instrument/link_trace.h"

#include <QElapsedTimer>
#include <cstdio>

Q_LOGGING_CATEGORY(lcLink, "fenwyd.link", QtWarningMsg)

namespace fenwyd {

namespace {
// Control and 8-bit bytes as \r, \n or \xNN, so a trace line is one line of
// plain text whatever the probe sent.
std::string Printable(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const unsigned char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}
}  // namespace

void TraceLink(const char* direction, const std::string& bytes) {
    if (!lcLink().isDebugEnabled()) return;
    static QElapsedTimer sinceStart;  // monotonic
    if (!sinceStart.isValid()) sinceStart.start();
    qCDebug(lcLink, "%10.3f %s %s", sinceStart.nsecsElapsed() / 1e9, direction,
            Printable(bytes).c_str());
}

}  // namespace fenwyd
