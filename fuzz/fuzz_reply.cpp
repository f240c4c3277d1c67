// Any bytes as a probe reply, in every logging and upload state, either
// straight into the reply interpreter or through the whole transaction on the
// scripted port.
//
// Input: a 5-byte header, then the reply bytes.
//   byte 0: bits 0-1 logging (off, on, paused, on), bit 2 upload active,
//           bits 3-4 upload step (0, 1, 2, 2), bits 5-6 probe model
//           (none, 8203, 8204, 8204), bit 7 model already asked
//   byte 1: bits 0-2 log count, bits 3-5 silent transactions so far (mod 6),
//           bits 6-7 readings stored in the probe (0, 5, the log count, 32000)
//   byte 2: bits 0-1 path (0 interpreter, 1 record number + interpreter,
//           2-3 transaction), bits 2-5 queued command, bits 6-7 ticks - 1
//   byte 3: bit 0 answer to yes/no boxes, bit 1 raw-reply list already full,
//           bit 2 link lost, bits 3-4 which writes are answered, bits 5-7
//           communication-return count (mod 6)
//   byte 4: where a two-part reply (record number, stored reading) splits;
//           record number position for path 1
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/command_table.h"
#include "support/harness.h"

namespace {

using fenwyd::testing::Harness;

constexpr std::size_t kHeaderSize = 5;

const char* const kCommands[] = {"RD", "NX", "BT", "NS", "SC", "EH", "AutoScale", "KR",
                                 "SP", "DD", "MX", "CL", "LG", "PR", "",          "rd"};

struct Header {
    uint8_t b[kHeaderSize] = {};
};

Harness& TheHarness() {
    // One instrument for the whole run: a temp folder per input is far too slow.
    static Harness h;
    static bool connected = false;
    if (!connected) {
        h.connect();
        connected = true;
    }
    return h;
}

void ResetInstrument(Harness& h, const Header& hd) {
    fenwyd::Instrument& in = h.in;
    in.HRTReadProbe().setEnabled(false);
    in.HRTCalSamPerSec().setEnabled(true);
    in.HRTReadBattTemp().setEnabled(true);

    // Drop whatever the last input left on the line.
    h.port.responder = nullptr;
    h.clock.wait(60000);
    (void)h.port.readAll();
    h.port.clearWrites();
    h.clock.clearDelays();
    h.clock.processEventsCalls = 0;
    h.dialogs.shown.clear();
    h.dialogs.yesNoAnswers.clear();
    h.dialogs.inputAnswers.clear();
    h.dialogs.yesNoDefault = (hd.b[3] & 0x01) != 0;
    h.display.changes = 0;
    h.display.repaints = 0;
    h.display.statusRepaints = 0;

    in.view = fenwyd::ViewState{};
    if (hd.b[3] & 0x02) {
        in.view.List1.assign(fenwyd::kList1Bound, std::string());
        in.view.List1Appended = fenwyd::kList1Bound;
    }

    // Every field but the log rows, whose contents the invariants do not read.
    fenwyd::InstrumentState& st = in.st;
    static const uint8_t kRecordOn[] = {0, 1, 2, 1};
    static const int16_t kUploadStep[] = {0, 1, 2, 2};
    static const int16_t kModel[] = {0, 8203, 8204, 8204};
    static const int32_t kRecordCnt[] = {0, 1, 2, 16000, 31998, 31999, 32000, 32000};
    st.RecordOn = kRecordOn[hd.b[0] & 3];
    st.UploadActive = (hd.b[0] >> 2) & 1;
    st.UploadStep = kUploadStep[(hd.b[0] >> 3) & 3];
    st.ProbeModel = kModel[(hd.b[0] >> 5) & 3];
    st.Model = st.ProbeModel == 8203 ? "QM-8203" : st.ProbeModel == 8204 ? "QM-8204" : "";
    st.ProbeTypeAsked = (hd.b[0] >> 7) & 1;

    st.RecordCnt = kRecordCnt[hd.b[1] & 7];
    st.TimeOut = static_cast<int16_t>(((hd.b[1] >> 3) & 7) % 6);
    switch ((hd.b[1] >> 6) & 3) {
        case 0: st.UploadTotal = 0; break;
        case 1: st.UploadTotal = 5; break;
        case 2: st.UploadTotal = static_cast<int16_t>(st.RecordCnt); break;
        default: st.UploadTotal = 32000; break;
    }
    st.DataUploaded = st.UploadActive;
    st.UploadRecordOk = false;

    st.PendingCmnd.clear();
    st.ProbeData.clear();
    st.LostComm = (hd.b[3] >> 2) & 1;
    st.CommRecoverCnt = static_cast<int16_t>(((hd.b[3] >> 5) & 7) % 6);
    st.CommPortNo = 2;
    st.CommPortOpenOk = 1;
    st.ProbeRange = 0;
    st.ProbeUnits = "V/m";
    st.ProbeTypeCode.clear();
    st.ReadingMantissa = 0;
    st.ReadingExponent = 0;
    st.UnitsText.clear();
    st.ZeroAllowed = 0;
    st.ActualSamPerSec = 0;
    st.RefreshCnt = 0;
    st.SampleRate = "15";
    st.BattTempUpdateInterval = 30;
    st.SamRateTickCnt = 0;
    st.BattTempMinuteCnt = 0;
}

void CheckInvariants(const fenwyd::Instrument& in) {
    const fenwyd::InstrumentState& st = in.st;
    if (st.RecordCnt < 0 || st.RecordCnt > fenwyd::kMaxRecords) __builtin_trap();
    if (st.RecordOn > 2) __builtin_trap();
    if (st.TimeOut < 0 || st.TimeOut > 5) __builtin_trap();
    if (in.view.List1.size() > fenwyd::kList1Bound) __builtin_trap();
    if (st.UploadStep < 0 || st.UploadStep > 2) __builtin_trap();
    if (st.UploadActive != 0 && st.UploadActive != 1) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Header hd;
    for (std::size_t i = 0; i < kHeaderSize && i < size; ++i) hd.b[i] = data[i];
    const std::string reply =
        size > kHeaderSize
            ? std::string(reinterpret_cast<const char*>(data) + kHeaderSize, size - kHeaderSize)
            : std::string();

    Harness& h = TheHarness();
    ResetInstrument(h, hd);
    fenwyd::Instrument& in = h.in;

    const int path = hd.b[2] & 3;
    if (path == 0) {
        in.st.ProbeData = reply;
        in.ProcessData(1);
    } else if (path == 1) {
        // The record number read from a position taken from the input, then
        // the reading.
        in.st.ProbeData = reply;
        in.GetDataNumber(static_cast<int16_t>(static_cast<int>(hd.b[4]) - 2));
        in.ProcessData(5);
    } else {
        const std::size_t split = hd.b[4] < reply.size() ? hd.b[4] : reply.size();
        const std::string first = reply.substr(0, split);
        const std::string second = reply.substr(split);
        const int answered = (hd.b[3] >> 3) & 3;
        const char modelChar = in.st.ProbeModel == 8203 ? 'V' : 'E';
        int writes = 0;
        h.port.responder = [&](const std::string& cmd) -> std::string {
            const int k = writes++;
            bool answer = true;
            switch (answered) {
                case 1: answer = k == 0; break;
                case 2: answer = cmd != "KR"; break;
                case 3:
                    if (k != 0) {
                        return cmd == "RD" ? fenwyd::testing::Rd("1234", modelChar) : "";
                    }
                    break;
                default: break;
            }
            if (!answer) return "";
            const fenwyd::CommandInfo* info = fenwyd::LookUpCommand(cmd);
            if (info != nullptr && info->cmndType == 5) {
                // The record number at once, the stored reading between the
                // first read and the second.
                if (!first.empty()) h.port.feed(first);
                if (!second.empty()) h.port.feed(second, fenwyd::kReplyWaitMs + 200);
                return "";
            }
            return reply;
        };
        in.st.PendingCmnd = kCommands[(hd.b[2] >> 2) & 15];
        const int ticks = ((hd.b[2] >> 6) & 3) + 1;
        for (int t = 0; t < ticks; ++t) {
            in.HRTReadProbe_Timer();
            CheckInvariants(in);
            h.clock.advance(20);
        }
        h.port.responder = nullptr;
    }
    CheckInvariants(in);
    return 0;
}
