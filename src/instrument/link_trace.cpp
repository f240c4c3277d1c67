#include "instrument/link_trace.h"

#include <QElapsedTimer>

#include "common/textconv.h"

Q_LOGGING_CATEGORY(lcLink, "fenwyd.link", QtWarningMsg)

namespace fenwyd {

void TraceLink(const char* direction, const std::string& bytes) {
    if (!lcLink().isDebugEnabled()) return;
    static QElapsedTimer sinceStart;  // monotonic
    if (!sinceStart.isValid()) sinceStart.start();
    qCDebug(lcLink, "%10.3f %s %s", sinceStart.nsecsElapsed() / 1e9, direction,
            PrintableText(bytes).c_str());
}

}  // namespace fenwyd
