// The rate tick (achieved readings per second, status-bar repaint, log
// count), the battery minute tick and the sample-rate setting.
#include "common/textconv.h"
#include "instrument/instrument.h"

namespace fenwyd {

namespace {
constexpr int16_t kTicksPerRateDisplay = 4;     // 4 x 500 ms
constexpr float kRateWindowSeconds = 2.0f;      // the readings counted per rate display
constexpr int16_t kTicksPerStatusRepaint = 15;  // 15 x 500 ms
constexpr uint8_t kMaxMinuteCnt = 255;
}  // namespace

void Instrument::HRTCalSamPerSec_Timer() {
    if (st.SamRateTickCnt < kTicksPerRateDisplay - 1) {
        ++st.SamRateTickCnt;
    } else {
        const float perSecond = static_cast<float>(st.ActualSamPerSec) / kRateWindowSeconds;
        view.LabSamRate.caption = st.UploadActive == 1 ? "0" : FormatSingle(perSecond);
        st.ActualSamPerSec = 0;
        st.SamRateTickCnt = 0;
    }
    if (st.StatusHoldTicks > 0) --st.StatusHoldTicks;
    if (++st.RefreshCnt >= kTicksPerStatusRepaint) {
        RefreshStatusBar();
        st.RefreshCnt = 0;
    }
    view.LabRecordCnt.caption = std::to_string(st.RecordCnt);
    p_.display.changed();
}

void Instrument::HRTReadBattTemp_Timer() {
    // A count at or above the interval counts as reached, so lowering the
    // interval below the count still queues "BT" at the next minute.
    if (st.BattTempMinuteCnt >= st.BattTempUpdateInterval) {
        st.BattTempMinuteCnt = 0;
        st.PendingCmnd = "BT";
    } else if (st.BattTempMinuteCnt < kMaxMinuteCnt) {
        ++st.BattTempMinuteCnt;
    }
}

void Instrument::SetSampleRate(const std::string& CmbSampleRateTxt) {
    if (CmbSampleRateTxt == "Max") return;
    // The rate is a stored setting only: no timer changes.
    st.SampleRate = FormatShortest(LeadingNumber(CmbSampleRateTxt));
}

void Instrument::CmbSampleRate_Click(int index) {
    if (index < 0 || index >= static_cast<int>(view.CmbSampleRateItems.size())) return;
    view.CmbSampleRateIndex = index;
    SetSampleRate(view.CmbSampleRateItems[static_cast<std::size_t>(index)]);
    p_.display.changed();
}

}  // namespace fenwyd
