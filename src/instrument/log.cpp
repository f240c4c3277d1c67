// The logging switch (off, logging, paused), its indicator and the commands
// that must not run while logging.
#include <algorithm>
#include <cmath>
#include <limits>

#include "common/textconv.h"
#include "instrument/availability.h"
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
    if (st.UploadActive == 1) {
        ShowResult("Logging cannot start while an upload runs.");
        return;
    }
    st.DataUploaded = 0;
    view.mnuProbeRecord.checked = true;
    readBattTempTimer_->setEnabled(false);
    st.RecordCnt = 0;
    st.RecordOn = 1;
    st.LogEvents.started = true;
    ShowAvailability();
    RecordIndicator("Log");
    NotifyLog({DataLogChange::Started, LogSource::Live});
}

void Instrument::StopRecording() {
    view.tbButtons[kTbRecordPause].pressed = false;
    view.mnuProbeRecordPause.checked = false;
    st.RecordOn = 0;
    view.mnuProbeRecord.checked = false;
    RecordIndicator("Stop");
    if (st.BattTempUpdateInterval != 0) readBattTempTimer_->setEnabled(true);
    st.LogEvents.stopped = true;
    ShowAvailability();
    p_.display.changed();
    NotifyLog({DataLogChange::Stopped, LogSource::Live});
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

void Instrument::ShowAvailability() {
    const Availability a = CommandsAvailable(st);
    view.mnuFileSaveAs.enabled = a.saveAs;
    view.tbButtons[kTbSave].enabled = a.saveButton;
    view.mnuProbeRecord.enabled = a.logSwitch;
    view.tbButtons[kTbRecord].enabled = a.logSwitch;
    view.mnuProbeRecordPause.enabled = a.logPause;
    view.tbButtons[kTbRecordPause].enabled = a.logPause;
    view.tbButtons[kTbZoomIn].enabled = a.zoomIn;
    view.tbButtons[kTbZoomOut].enabled = a.zoomOut;
    view.mnuProbeUnits57xx.enabled = a.unitsMenu;
    view.mnuProbeZero.enabled = a.zero;
    view.mnuProbeClearPeak.enabled = a.clearPeak;
    view.mnuProbeUpdateProbeBatt.enabled = a.batteryInterval;
    view.mnuProbeUploadData.enabled = a.upload;
    view.mnuProbeMarkPoint.enabled = a.markPoint;
    view.mnuFileReport.enabled = a.report;
    p_.display.changed();
}

void Instrument::LabRecordCntLab_Click() {
    st.RecordCnt = 0;
    view.LabRecordCnt.caption = "0";
    p_.display.changed();
    NotifyLog({DataLogChange::Erased, st.DataUploaded ? LogSource::Upload : LogSource::Live});
}

uint8_t Instrument::UnitNameIndex(const std::string& name) {
    auto& names = st.RecordUnitNames;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) return static_cast<uint8_t>(i);
    }
    // The tables name far fewer: only odd data files could fill it, and
    // their rows then read as of no known unit.
    if (names.size() >= kMaxUnitNames) return 0;
    names.push_back(name);
    return static_cast<uint8_t>(names.size() - 1);
}

void Instrument::PutRow(int32_t row, float logTime, const Measurement& m) {
    auto& cells = st.RecordData[static_cast<std::size_t>(row)];
    cells[kLogColTime] = logTime;
    cells[kLogColValue] = m.mantissa;
    cells[kLogColExponent] = static_cast<float>(m.exponent);
    LogRowInfo& info = st.RecordInfo[static_cast<std::size_t>(row)];
    info.utcMs = m.utcMs;
    info.utcOffsetSeconds = m.utcOffsetSeconds;
    info.unit = UnitNameIndex(m.unitsText);
    info.label = UnitNameIndex(m.unitsLabel);
    info.range = static_cast<int8_t>(m.range);
    info.percent = static_cast<uint8_t>(std::clamp(m.percent, 0, 255));
    info.flags = static_cast<uint8_t>((m.overRange ? kRowOverRange : 0) |
                                      (m.underRange ? kRowUnderRange : 0) |
                                      (m.autoRange ? kRowAutoRange : 0));
    info.model = m.model;
    info.fix = m.position ? static_cast<uint8_t>(m.position->fix) : 0;
    if (m.position) {
        info.latitude = m.position->latitude;
        info.longitude = m.position->longitude;
        info.altitudeM = m.position->altitudeM ? static_cast<float>(*m.position->altitudeM)
                                               : std::numeric_limits<float>::quiet_NaN();
        info.fixUtcMs = m.position->fixUtcMs;
    }
}

void Instrument::StoreRow(int32_t row, float logTime, const Measurement& m, LogSource source) {
    PutRow(row, logTime, m);
    DataLogChange change{DataLogChange::RowStored, source};
    change.row = row;
    change.logTime = logTime;
    change.reading = &m;
    NotifyLog(change);
}

Measurement Instrument::LoggedReading(int32_t row) const {
    Measurement m;
    if (row < 1 || row > kMaxRecords) return m;
    const auto& cells = st.RecordData[static_cast<std::size_t>(row)];
    const LogRowInfo& info = st.RecordInfo[static_cast<std::size_t>(row)];
    m.mantissa = cells[kLogColValue];
    m.valueText = FormatSingle(m.mantissa);
    m.exponent = static_cast<int16_t>(std::clamp(cells[kLogColExponent], -32768.0f, 32767.0f));
    m.unitsText = UnitName(info.unit);
    m.unitsLabel = UnitName(info.label);
    m.quantity = LookUpUnitScale(m.unitsText).quantity;
    m.range = info.range;
    m.percent = info.percent;
    m.autoRange = (info.flags & kRowAutoRange) != 0;
    m.overRange = (info.flags & kRowOverRange) != 0;
    m.underRange = (info.flags & kRowUnderRange) != 0;
    m.stored = st.DataUploaded != 0;
    m.model = info.model;
    m.utcMs = info.utcMs;
    m.utcOffsetSeconds = info.utcOffsetSeconds;
    if (info.fix != 0) {
        Position p;
        p.latitude = info.latitude;
        p.longitude = info.longitude;
        if (!std::isnan(info.altitudeM)) p.altitudeM = info.altitudeM;
        p.fix = static_cast<FixMode>(info.fix);
        p.fixUtcMs = info.fixUtcMs;
        m.position = p;
    }
    return m;
}

const std::string& Instrument::UnitName(uint8_t index) const { return RowUnitName(st, index); }

void Instrument::NotifyLog(const DataLogChange& change) {
    Notify([&](InstrumentObserver& o) { o.dataLogChanged(change); });
}

bool Instrument::LoadDataLog(const std::vector<LoggedRow>& rows, bool uploaded,
                             const std::string& unitsText, const DataLogChange& loaded) {
    if (st.RecordOn != 0 || st.UploadActive != 0) return false;
    const auto count = static_cast<int32_t>(std::min<std::size_t>(rows.size(), kMaxRecords));
    for (int32_t i = 1; i <= count; ++i) {
        const LoggedRow& r = rows[static_cast<std::size_t>(i - 1)];
        PutRow(i, r.logTime, r.reading);
    }
    st.RecordCnt = count;
    st.DataUploaded = uploaded ? 1 : 0;
    // The units the log was kept in, until the next reading says otherwise
    // (an empty log saves under them).
    st.UnitsText = unitsText;
    view.LabRecordCnt.caption = std::to_string(count);
    st.LogEvents.loaded = true;
    ShowAvailability();
    DataLogChange change = loaded;
    change.kind = DataLogChange::Loaded;
    change.source = uploaded ? LogSource::Upload : LogSource::Live;
    NotifyLog(change);
    return true;
}

std::vector<LoggedRow> RowsOfSavedLog(const SavedLog& log) {
    std::vector<LoggedRow> rows;
    for (const DataFileContents& page : log.pages) {
        const Quantity quantity = LookUpUnitScale(page.unitsText).quantity;
        for (const LogRow& r : page.rows) {
            if (rows.size() >= static_cast<std::size_t>(kMaxRecords)) return rows;
            LoggedRow row;
            row.logTime = r.time;
            Measurement& m = row.reading;
            m.mantissa = r.mantissa;
            m.valueText = FormatSingle(r.mantissa);
            m.exponent = static_cast<int16_t>(r.exponent);
            m.unitsText = page.unitsText;
            m.unitsLabel = LabelOfValue(page.unitsText, m.exponent);
            m.quantity = quantity;
            m.stored = page.uploaded;
            rows.push_back(std::move(row));
        }
    }
    return rows;
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
