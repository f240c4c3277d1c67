#include "instrument/availability.h"

namespace fenwyd {

Availability CommandsAvailable(const InstrumentState& st) {
    const bool logging = st.RecordOn != 0;
    const LogHistory& h = st.LogEvents;
    Availability a;
    a.saveAs = !logging && (h.stopped || h.loaded || h.uploadEnded);
    a.saveButton = !logging && (h.stopped || h.loaded);
    a.logSwitch = logging || st.UploadActive == 0;
    a.logPause = logging;
    a.zoomIn = false;  // disabled at start-up, and nothing enables it
    a.zoomOut = !logging && h.stopped;
    a.unitsMenu = !h.started;
    a.zero = !logging && h.stopped && st.ZeroAllowed == 1;
    a.clearPeak = !logging;
    a.batteryInterval = !logging;
    a.upload = !logging;
    a.markPoint = st.ReadingShown && !st.PointDwell && st.UploadActive == 0;
    a.report = a.saveAs && st.RecordCnt > 0 && st.UploadActive == 0;
    return a;
}

}  // namespace fenwyd
