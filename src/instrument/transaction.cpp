// The probe link: opening the port, the reading tick and one command
// transaction with its lost/returning-communication counters.
#include <algorithm>

#include "instrument/instrument.h"
#include "instrument/link_trace.h"
#include "link/command_table.h"
#include "measure/reply_layout.h"

namespace fenwyd {

namespace {
constexpr int16_t kLostTimeOut = 5;
constexpr int16_t kRecoverBtCount = 5;
constexpr int kSendCmndTypeWithKr = 3;  // command types 3..5 are followed by "KR"
constexpr int kTwoPartCmndType = 5;     // record number first, stored reading later

}  // namespace

void Instrument::OpenCommPort(int16_t CommNo) {
    for (int i = 1; i <= kPortCount; ++i) view.mnucommcomm[i].checked = false;
    if (p_.port.isOpen()) p_.port.close();
    if (CommNo < 1 || CommNo > kPortCount || !p_.port.open(CommNo)) {
        ShowPortMapping();
        std::string text =
            "Unable to open the selected comm port.  Reselect comm port or check system "
            "configuration.";
        if (CommNo >= 1 && CommNo <= kPortCount) {
            // Which device, and why, as the system put it.
            const std::string detail = OpenFailureDetail(CommNo, p_.port.deviceName(CommNo),
                                                         p_.port.lastOpenError(), kOnLinux);
            if (!detail.empty()) text += "\n\n" + detail;
        }
        p_.dialogs.message(text, MsgIcon::Exclamation);
        ClearDisplay();
        // The panel is back to "No Probe"; so is the link, as at start-up, so
        // that the first reply on the next port runs the probe set-up again
        // and the units and the rate show.
        st.TimeOut = kLostTimeOut;
        st.LostComm = 1;
        return;
    }
    view.mnucommcomm[CommNo].checked = true;
    st.CommPortNo = CommNo;
    st.CommPortOpenOk = 1;
    ShowPortMapping();
}

void Instrument::HRTReadProbe_Timer() {
    // Only one transaction at a time (the tick timer is off while one runs).
    if (inTransaction_) return;
    // The device went away under the open port (an adapter pulled out): try
    // the same port again at every tick, so reading resumes by itself when a
    // device of that name is back. Until then each transaction is silence.
    if (st.CommPortOpenOk == 1 && p_.port.deviceLost()) p_.port.open(st.CommPortNo);

    if (st.UploadActive == 1) {
        static const char* const kUploadCmnds[] = {"NS", "SP", "NX"};
        const int16_t step = std::clamp<int16_t>(st.UploadStep, 0, 2);
        st.PendingCmnd = kUploadCmnds[step];
        if (step < 2) st.UploadStep = static_cast<int16_t>(step + 1);
    }
    // The command is taken out of the slot before it is sent, so a request
    // queued while this transaction waits is not wiped: it goes out at the
    // next tick.
    std::string cmnd = st.PendingCmnd.empty() ? std::string("RD") : st.PendingCmnd;
    st.PendingCmnd.clear();
    SendCmnd(cmnd);
}

void Instrument::DELAY(float dlay) {
    // The window's events run during the wait; the transaction goes on at
    // its next step when the wait is over.
    stepTimer_->startOnce(static_cast<int>(dlay));
}

void Instrument::WriteProbe(const std::string& bytes) {
    TraceLink("tx", bytes);
    p_.port.write(bytes);
}

std::string Instrument::ReadProbe() {
    std::string bytes = p_.port.readAll();
    if (!bytes.empty()) TraceLink("rx", bytes);
    return bytes;
}

void Instrument::SendCmnd(std::string& Cmnd) {
    inTransaction_ = true;
    readProbeTimer_->setEnabled(false);

    const CommandInfo* info = LookUpCommand(Cmnd);
    if (info == nullptr) {
        p_.dialogs.message("Command " + Cmnd + " not found", MsgIcon::None);
        EndTransaction();
        return;
    }
    if (info->busyPointer) SetBusyPointer(true);
    Cmnd = info->wire;  // "AutoScale" goes out (and is reported) as "SC"

    tx_.info = info;
    tx_.awaitingReply = true;
    WriteProbe(Cmnd + "\r");
    WaitThen(info->firstWaitMs, Step::FirstPart);
}

void Instrument::WaitThen(int ms, Step next) {
    tx_.next = next;
    DELAY(static_cast<float>(ms));
}

void Instrument::TransactionStep() {
    const Step step = tx_.next;
    tx_.next = Step::None;
    const CommandInfo& info = *tx_.info;
    switch (step) {
        case Step::None: return;
        case Step::FirstPart:
            st.ProbeData = ReadProbe();
            if (info.cmndType == kTwoPartCmndType) {
                // The record number comes first; the stored reading follows
                // later and replaces it.
                AppendList1(st.ProbeData);
                GetDataNumber(static_cast<int16_t>(FindRecordCode(st.ProbeData)));
                WaitThen(kSecondPartWaitMs, Step::SecondPart);
                return;
            }
            Interpret();
            return;
        case Step::SecondPart:
            st.ProbeData = ReadProbe();
            Interpret();
            return;
        case Step::WriteKr:
            WriteProbe("KR\r");
            WaitThen(kKrReplyWaitMs, Step::KrReply);
            return;
        case Step::KrReply: {
            // The "KR" reply is shown, not interpreted, and does not count for
            // the link supervision.
            const std::string krReply = ReadProbe();
            view.Label1 = krReply + st.ProbeData;
            if (st.UploadActive == 0) SetBusyPointer(false);
            p_.display.changed();
            EndTransaction();
            return;
        }
    }
}

void Instrument::Interpret() {
    const CommandInfo& info = *tx_.info;
    const bool reply = !st.ProbeData.empty();
    interpreting_ = true;
    if (reply) {
        CountReply();
        ProcessData(static_cast<int16_t>(info.cmndType));
    } else {
        CountSilence();
    }
    interpreting_ = false;
    tx_.awaitingReply = false;
    // What the operator asked for while the reply was awaited is done now,
    // after it: the reading is logged, or not, by the state before the click.
    RunQueue(afterReply_);
    if (reply && info.cmndType >= kSendCmndTypeWithKr && info.krWaitMs >= 0) {
        if (info.krWaitMs > 0) {
            WaitThen(info.krWaitMs, Step::WriteKr);
        } else {
            tx_.next = Step::WriteKr;
            TransactionStep();
        }
        return;
    }
    EndTransaction();
}

void Instrument::EndTransaction() {
    tx_ = Transaction();
    inTransaction_ = false;
    readProbeTimer_->setEnabled(true);
    RunQueue(whenIdle_);
}

void Instrument::RunQueue(std::vector<std::function<void()>>& queue) {
    // An action may queue another; each runs once, in order.
    std::vector<std::function<void()>> due;
    due.swap(queue);
    for (auto& f : due) f();
}

void Instrument::AfterReply(std::function<void()> action) {
    if (inTransaction_ && tx_.awaitingReply) {
        afterReply_.push_back(std::move(action));
    } else {
        action();
    }
}

void Instrument::WhenIdle(std::function<void()> action) {
    if (Busy()) {
        whenIdle_.push_back(std::move(action));
    } else {
        action();
    }
}

void Instrument::AbandonTransaction() {
    stepTimer_->setEnabled(false);
    tx_ = Transaction();
    inTransaction_ = false;
    afterReply_.clear();
    whenIdle_.clear();
}

void Instrument::CountReply() {
    if (st.LostComm == 1) {
        ++st.CommRecoverCnt;
        st.LostComm = 0;
    }
    if (st.TimeOut >= kLostTimeOut) {
        const int64_t at = p_.clock.utcMs();
        Notify([&](InstrumentObserver& o) { o.linkBack(at); });
    }
    if (st.CommRecoverCnt > 0 && st.CommRecoverCnt < kRecoverBtCount) ++st.CommRecoverCnt;
    if (st.CommRecoverCnt == kRecoverBtCount) {
        // Re-read the battery shortly after communication returns.
        st.PendingCmnd = "BT";
        st.CommRecoverCnt = 0;
    }
    if (st.TimeOut > 1) SetUp57XX();
    st.TimeOut = 0;
}

void Instrument::CountSilence() {
    if (st.TimeOut < kLostTimeOut - 1) {
        ++st.TimeOut;
    } else if (st.TimeOut == kLostTimeOut - 1) {
        // Fifth silent transaction in a row: the probe is lost.
        ClearDisplay();
        st.TimeOut = kLostTimeOut;
        const int64_t at = p_.clock.utcMs();
        Notify([&](InstrumentObserver& o) { o.linkLost(at); });
        if (st.UploadActive == 1) {
            st.UploadActive = 0;
            st.UploadStep = 0;
            ShowAvailability();
            NotifyLog({DataLogChange::Stopped, LogSource::Upload});
            p_.dialogs.message(
                "Upload terminated due to probe timeout.  Cycle probe power and retry.",
                MsgIcon::Information);
            ShowResult("Upload terminated");
        }
        st.ProbeData = ReadProbe();  // anything late is dropped
        st.ProbeTypeAsked = 0;
        SetBusyPointer(false);
    } else {
        st.ProbeData.clear();
        st.RefreshCnt = 0;
        st.LostComm = 1;
        st.CommRecoverCnt = 0;
        ClearDisplay();
    }
}

}  // namespace fenwyd
