// Operator requests that go to the probe through the pending-command slot,
// and the start of a probe-memory upload.
#include "instrument/instrument.h"
#include "measure/probe_model.h"

namespace fenwyd {

void Instrument::LabRange_Click() {
    // On the highest range the probe's next step is auto-range, which needs
    // the longer settling wait of "AutoScale".
    st.PendingCmnd = st.ProbeRange == kHighestRange ? "AutoScale" : "SC";
}

void Instrument::LabUnits_Click() { st.PendingCmnd = "EH"; }

void Instrument::LabBattery_Click() { st.PendingCmnd = "BT"; }

void Instrument::mnuProbeUpdateNow_Click() { st.PendingCmnd = "BT"; }

void Instrument::SetUpReadBattTemp(int16_t& TimeInterval) {
    readBattTempTimer_->setEnabled(true);
    st.BattTempUpdateInterval = TimeInterval;
    view.mnuProbeUpdateoff.checked = false;
    view.mnuProbeUpdate5.checked = false;
    view.mnuProbeUpdate30.checked = false;
    view.mnuProbeUpdate60.checked = false;
    switch (TimeInterval) {
        case 0:
            view.mnuProbeUpdateoff.checked = true;
            readBattTempTimer_->setEnabled(false);
            break;
        case 5: view.mnuProbeUpdate5.checked = true; break;
        case 30: view.mnuProbeUpdate30.checked = true; break;
        case 60: view.mnuProbeUpdate60.checked = true; break;
        default:
            st.BattTempUpdateInterval = 30;
            view.mnuProbeUpdate30.checked = true;
            break;
    }
    p_.display.changed();
}

void Instrument::mnuProbeUpdateInterval_Click(int16_t minutes) { SetUpReadBattTemp(minutes); }

void Instrument::mnuProbeUploadData_Click() {
    // Not while live logging: the upload would overwrite its rows.
    if (st.RecordOn != 0) return;
    st.UploadActive = 1;
    view.ProgressBar1Value = 0;
    view.ProgressBar1Visible = true;
    st.DataUploaded = 1;
    SetBusyPointer(true);
    ShowAvailability();
    NotifyLog({DataLogChange::Started, LogSource::Upload});
}

}  // namespace fenwyd
