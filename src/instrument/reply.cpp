// The reply interpreter: what a probe reply shows and logs.
#include <cmath>
#include <limits>

#include "common/textconv.h"
#include "instrument/instrument.h"
#include "measure/probe_model.h"
#include "measure/reply_layout.h"
#include "measure/units.h"

namespace fenwyd {

namespace {
constexpr double kSecondsPerDay = 86400.0;
constexpr int kPercentPerStep = 5;  // the percent field counts steps of 5

// Nearest integer (an exact half to the even one), or false when the value
// does not fit the range.
bool NearestInt(double v, long lo, long hi, long& out) {
    if (!std::isfinite(v)) return false;
    const double r = std::nearbyint(v);
    if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) return false;
    out = static_cast<long>(r);
    return true;
}

// Whether the text starts (after blanks) with a number at all; an empty or
// garbled field is not the number 0.
bool StartsWithNumber(const std::string& text) {
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos) return false;
    if (text[i] == '+' || text[i] == '-') ++i;
    if (i < text.size() && text[i] == '.') ++i;
    return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

// "AutoRange 3" or "Range 3" by the auto-range letter of a reply.
std::string RangeCaption(const std::string& autoRange, int16_t range) {
    return (autoRange == "A" ? "AutoRange " : "Range ") + std::to_string(range);
}

std::string PercentCaption(int percentSteps) {
    return std::to_string(percentSteps * kPercentPerStep) + " %";
}
}  // namespace

bool Instrument::ShowRangeWarnings(const ProbeReading& r) {
    view.LabUnderRange.visible = r.underRange();
    view.LabOverRange.visible = r.overRange();
    return !r.underRange() && !r.overRange();
}

std::string Instrument::ConvertToNumber(const int16_t& locRange, const float& locField) {
    return fenwyd::ConvertToNumber(st.ProbeModel, st.ProbeUnits, locRange, locField, st.UnitsText,
                                   st.ReadingExponent);
}

void Instrument::UpdateUnits(const std::string& Units) {
    const UnitsLabel found = LookUpUnitsLabel(st.ProbeModel, Units);
    if (found.notSupported && st.ProbeModel == kModel8203) {
        view.LabUnits.caption.clear();
        p_.display.changed();
        if (p_.dialogs.askYesNo("The detected units or range selection are not supported for the "
                                "QM-8203.  Switch probe type to QM-8204",
                                MsgIcon::None)) {
            st.ProbeTypeAsked = 0;
            std::string e(1, kLetter8204);
            SetProbeType(e);
        }
        view.LabUnits.caption.clear();
    } else {
        view.LabUnits.caption = found.label;
    }
    p_.display.changed();
}

void Instrument::ProcessData(int16_t /*CmndType: the reply's own text decides*/) {
    const std::string& data = st.ProbeData;
    view.Label1 = data;
    AppendList1(data);

    if (HasReplyCode(ReplyKind::Reading, data)) {
        view.ProgressBar1Visible = false;
        if (view.BusyPointer) SetBusyPointer(false);
        // A reply with anything but digits in its range or percent field is
        // corrupt: shown raw only.
        if (const auto reading = CutReply(ReplyKind::Reading, data)) ShowReading(*reading);
    } else if (const auto battery = CutNumberField(ReplyKind::Battery, data)) {
        // Hundredths of a volt.
        const double volts = LeadingNumber(*battery) / 100.0;
        view.LabBattery.caption = FormatShortest(volts) + " V";
        const int64_t at = p_.clock.utcMs();
        Notify([&](InstrumentObserver& o) { o.batteryRead(at, volts); });
    } else if (const auto count = CutNumberField(ReplyKind::UploadCount, data)) {
        ShowUploadCount(*count);
    }
    if (const auto stored = CutReply(ReplyKind::Stored, data)) StoreUploadedReading(*stored);
    p_.display.changed();
}

Measurement Instrument::Decode(const ProbeReading& r, bool stored) {
    st.ProbeRange = static_cast<int16_t>(r.range);
    const auto field = static_cast<float>(LeadingNumber(r.value));
    st.ProbeUnits = r.units;
    const std::string valueText = ConvertToNumber(st.ProbeRange, field);
    const std::string code = std::to_string(st.ProbeRange) + st.ProbeUnits;
    Measurement m =
        MakeMeasurement(r, valueText, st.ReadingExponent, st.UnitsText,
                        LookUpUnitsLabel(st.ProbeModel, code).label, st.ProbeModel, stored);
    m.utcMs = p_.clock.utcMs();
    m.utcOffsetSeconds = p_.clock.utcOffsetSeconds();
    // A stored reading was taken somewhere else, some time ago.
    if (!stored && positions_ != nullptr) m.position = positions_->positionAt(m.utcMs);
    st.ReadingMantissa = m.mantissa;
    return m;
}

void Instrument::ShowReading(const ProbeReading& r) {
    ++st.ActualSamPerSec;
    st.ProbeRange = static_cast<int16_t>(r.range);
    st.ProbeUnits = r.units;
    view.LabBarGraph.caption = PercentCaption(r.percentSteps);

    st.ProbeTypeCode = r.model;
    SetProbeType(st.ProbeTypeCode);

    const Measurement m = Decode(r, false);
    if (!st.ReadingShown) {
        st.ReadingShown = true;
        ShowAvailability();
    }
    view.LabXYZField.caption = m.valueText;
    view.LabXYZField.foreColor = colors::kGreen;

    view.LabRange.caption = RangeCaption(r.autoRange, st.ProbeRange);
    UpdateUnits(std::to_string(st.ProbeRange) + st.ProbeUnits);

    // A save or upload result stays a while before the model returns.
    if (st.StatusHoldTicks == 0) SetStatusText("QM-" + std::to_string(st.ProbeModel));
    RefreshStatusBar();

    // Over- and under-range readings are never logged.
    const int32_t row = ShowRangeWarnings(r) && st.RecordOn == 1 ? LogReading(m) : 0;
    Notify([&](InstrumentObserver& o) { o.readingShown(m, row); });
    p_.display.repaintNow();
}

void Instrument::ShowUploadCount(const std::string& field) {
    long total = 0;
    if (!NearestInt(LeadingNumber(field), 0, std::numeric_limits<int16_t>::max() - 1, total)) {
        total = 0;
    }
    st.UploadTotal = static_cast<int16_t>(total);
    view.ProgressBar1Max = st.UploadTotal + 1;
    SetStatusText("Uploading " + std::to_string(st.UploadTotal) + " data points.  Please wait...");
    RefreshStatusBar();
}

void Instrument::StoreUploadedReading(const ProbeReading& r) {
    const Measurement m = Decode(r, true);
    view.LabXYZField.caption = FormatSingle(st.ReadingMantissa);
    view.LabXYZField.foreColor = colors::kGreen;
    view.LabBarGraph.caption = PercentCaption(r.percentSteps);

    view.LabRange.caption = RangeCaption(r.autoRange, st.ProbeRange);
    UpdateUnits(std::to_string(st.ProbeRange) + st.ProbeUnits);

    ShowRangeWarnings(r);  // shown, but a stored reading is stored anyway (and flagged)
    p_.display.repaintNow();

    // The row is the record number the probe just announced; a number that
    // names no row stores nothing.
    if (st.UploadRecordOk && st.RecordCnt >= 0 && st.RecordCnt <= kMaxRecords) {
        StoreRow(st.RecordCnt, static_cast<float>(st.RecordCnt), m, LogSource::Upload);
    }
}

int32_t Instrument::LogReading(const Measurement& m) {
    if (st.RecordCnt >= kMaxRecords) {
        // Only reachable when an upload filled the log up to its last row
        // while logging was on: the log is full, nothing more is stored.
        StopRecording();
        return 0;
    }
    ++st.RecordCnt;
    StoreRow(st.RecordCnt, static_cast<float>(p_.clock.secondsSinceMidnight() / kSecondsPerDay), m,
             LogSource::Live);
    if (st.RecordCnt == kMaxRecords) StopRecording();
    return st.RecordCnt;
}

void Instrument::GetDataNumber(int16_t LGPosition) {
    // The record number: the four characters right after "LG" (from
    // position 2 when there is no "LG").
    const std::string field = RecordNumberAt(st.ProbeData, LGPosition);
    long number = 0;
    // No record number (a silent probe) is not record 0: it must neither
    // move the count nor complete the upload.
    st.UploadRecordOk =
        StartsWithNumber(field) && NearestInt(LeadingNumber(field), 0, kMaxRecords, number);
    if (!st.UploadRecordOk) {
        // Not a row of the log: the reading that follows is not stored and the
        // upload goes on.
        p_.display.changed();
        return;
    }
    st.RecordCnt = static_cast<int32_t>(number);
    view.LabRecordCnt.caption = std::to_string(st.RecordCnt);
    if (st.RecordCnt >= 0 && st.RecordCnt <= view.ProgressBar1Max) {
        view.ProgressBar1Value = st.RecordCnt;
    }
    if (st.RecordCnt == st.UploadTotal) {
        st.UploadActive = 0;
        st.UploadStep = 0;
        SetBusyPointer(false);
        st.LogEvents.uploadEnded = true;
        ShowAvailability();
        ShowResult("Uploaded " + std::to_string(st.RecordCnt) + " data points.");
        NotifyLog({DataLogChange::Stopped, LogSource::Upload});
    }
    p_.display.changed();
}

}  // namespace fenwyd
