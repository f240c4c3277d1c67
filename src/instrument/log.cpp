// The logging switch (off, logging, paused), its indicator and the commands
// that must not run while logging.
#include <algorithm>

#include "instrument/instrument.h"

namespace fenwyd {

void Instrument::RecordIndicator(const std::string& State) {
    if (State == "Log") {
        view.LabRecord.caption = "Log";
        view.LabRecord.foreColor = colors::kWhite;
        view.ShapeRecordInd.fill = colors::kRed;
    } else if (State == "Pause") {
        view.LabRecord.caption = " Pause";
        view.LabRecord.foreColor = colors::kBlack;
        view.ShapeRecordInd.fill = colors::kYellow;
    } else if (State == "Stop") {
        view.LabRecord.caption = "Log";
        view.LabRecord.foreColor = colors::kWhite;
        view.ShapeRecordInd.fill = colors::kGrey;
    }
    p_.display.changed();
}

void Instrument::ToggleRecordOn() {
    if (st.RecordOn != 0) {
        StopRecording();
        return;
    }
    // A log being uploaded is not mixed with live readings.
    if (st.UploadActive == 1) return;
    st.DataUploaded = 0;
    view.mnuProbeUploadData.enabled = false;
    view.mnuFileSaveAs.enabled = false;
    view.mnuProbeUnits57xx.enabled = false;
    view.mnuProbeZero.enabled = false;
    view.mnuProbeClearPeak.enabled = false;
    view.mnuProbeRecord.checked = true;
    view.mnuProbeUpdateProbeBatt.enabled = false;
    readBattTempTimer_->setEnabled(false);
    view.tbButtons[kTbZoomIn].enabled = false;
    view.tbButtons[kTbZoomOut].enabled = false;
    view.tbButtons[kTbSave].enabled = false;
    st.RecordCnt = 0;
    view.tbButtons[kTbRecordPause].enabled = true;
    view.mnuProbeRecordPause.enabled = true;
    st.RecordOn = 1;
    RecordIndicator("Log");
    Notify([](InstrumentObserver& o) { o.logStarted(LogSource::Live); });
}

void Instrument::StopRecording() {
    view.tbButtons[kTbRecordPause].pressed = false;
    view.mnuProbeRecordPause.enabled = false;
    view.mnuProbeRecordPause.checked = false;
    st.RecordOn = 0;
    view.mnuProbeRecord.checked = false;
    RecordIndicator("Stop");
    if (st.BattTempUpdateInterval != 0) readBattTempTimer_->setEnabled(true);
    view.mnuFileSaveAs.enabled = true;
    view.mnuProbeUploadData.enabled = true;
    if (st.ZeroAllowed == 1) view.mnuProbeZero.enabled = true;
    view.mnuProbeClearPeak.enabled = true;
    view.mnuProbeUpdateProbeBatt.enabled = true;
    view.tbButtons[kTbSave].enabled = true;
    view.tbButtons[kTbRecordPause].enabled = false;
    view.tbButtons[kTbZoomOut].enabled = true;
    p_.display.changed();
    Notify([](InstrumentObserver& o) { o.logStopped(); });
}

void Instrument::TogglePause() {
    if (st.RecordOn == 1) {
        st.RecordOn = 2;
        view.mnuProbeRecordPause.checked = true;
        RecordIndicator("Pause");
        view.tbButtons[kTbRecordPause].pressed = true;
    } else if (st.RecordOn == 2) {
        st.RecordOn = 1;
        view.mnuProbeRecordPause.checked = false;
        RecordIndicator("Log");
        view.tbButtons[kTbRecordPause].pressed = false;
    }
    p_.display.changed();
}

void Instrument::LabRecordCntLab_Click() {
    st.RecordCnt = 0;
    view.LabRecordCnt.caption = "0";
    p_.display.changed();
    Notify([](InstrumentObserver& o) { o.logErased(); });
}

bool Instrument::LoadDataLog(const std::vector<LogRow>& rows, bool uploaded,
                             const std::string& unitsText) {
    if (st.RecordOn != 0 || st.UploadActive != 0) return false;
    const auto count = static_cast<int32_t>(std::min<std::size_t>(rows.size(), kMaxRecords));
    for (int32_t i = 1; i <= count; ++i) {
        const LogRow& r = rows[static_cast<std::size_t>(i - 1)];
        auto& row = st.RecordData[static_cast<std::size_t>(i)];
        row[kLogColTime] = r.time;
        row[kLogColValue] = r.mantissa;
        row[kLogColExponent] = r.exponent;
    }
    st.RecordCnt = count;
    st.DataUploaded = uploaded ? 1 : 0;
    st.UnitsText = unitsText;
    view.LabRecordCnt.caption = std::to_string(count);
    view.mnuFileSaveAs.enabled = true;
    view.tbButtons[kTbSave].enabled = true;
    p_.display.changed();
    return true;
}

void Instrument::tbToolBar_ButtonClick(const std::string& Key) {
    if (Key == "Save") {
        mnuFileSaveAs_Click();
    } else if (Key == "Record") {
        ToggleRecordOn();
    } else if (Key == "RecordPause") {
        TogglePause();
    }
}

}  // namespace fenwyd
