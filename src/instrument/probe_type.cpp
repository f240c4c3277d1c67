// Which probe model is connected, and the display set-up when replies return.
#include "instrument/instrument.h"
#include "measure/probe_model.h"

namespace fenwyd {

void Instrument::SetProbeType(std::string& LocType) {
    if (st.ProbeTypeAsked == 1) return;
    const std::string letter8203(1, kLetter8203), letter8204(1, kLetter8204);
    if (LocType == letter8203 && st.ProbeModel == kModel8203) return;
    if (LocType == letter8204 && st.ProbeModel == kModel8204) return;

    if (LocType != letter8204 && LocType != letter8203) {
        // The reply names neither model: ask once.
        st.ProbeTypeAsked = 1;
        p_.display.changed();
        LocType = p_.dialogs.askYesNo("Is the connected probe a QM-8204?", MsgIcon::Question)
                      ? letter8204
                      : letter8203;
    }
    const bool is8204 = LocType == letter8204;
    view.mnuProbeType820x[2].checked = is8204;
    view.mnuProbeType820x[1].checked = !is8204;
    st.ProbeModel = is8204 ? kModel8204 : kModel8203;
    st.Model = is8204 ? "QM-8204" : "QM-8203";
    p_.display.changed();
}

void Instrument::mnuProbeType820x_Click(int16_t Index) {
    // Model and the asked flag stay: the about box keeps the identified model,
    // and while nobody was asked the next reading sets the model again.
    const bool is8203 = Index == 1;
    st.ProbeModel = is8203 ? kModel8203 : kModel8204;
    view.mnuProbeType820x[1].checked = is8203;
    view.mnuProbeType820x[2].checked = !is8203;
    p_.display.changed();
}

void Instrument::SetUp57XX() {
    view.LabUnits.visible = true;
    view.LabSamRate.visible = true;
    st.ZeroAllowed = 0;
    view.CmbSampleRateItems.clear();
    view.CmbSampleRateIndex = -1;
    st.RefreshCnt = 0;
    view.CmbSampleRateItems.push_back("1");
    view.CmbSampleRateItems.push_back("2");
    SelectSampleRateText(st.SampleRate);
    st.RefreshCnt = 0;
    RefreshStatusBar();
    p_.display.changed();
}

void Instrument::SelectSampleRateText(const std::string& text) {
    int index = -1;
    for (std::size_t i = 0; i < view.CmbSampleRateItems.size(); ++i) {
        if (view.CmbSampleRateItems[i] == text) index = static_cast<int>(i);
    }
    // A text the list does not hold selects the last item instead.
    if (index < 0) index = static_cast<int>(view.CmbSampleRateItems.size()) - 1;
    if (index < 0) return;
    CmbSampleRate_Click(index);
}

}  // namespace fenwyd
