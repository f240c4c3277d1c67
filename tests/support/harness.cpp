#include "support/harness.h"

namespace fenwyd::testing {

std::string Rd(const std::string& raw, char model, char range, char units, char state,
               char autoRange, const std::string& pct) {
    ReplyText t;
    t.value = raw;
    t.model = model;
    t.range = range;
    t.units = units;
    t.rangeState = state;
    t.autoRange = autoRange;
    t.percent = pct;
    return LayOutReply(ReplyKind::Reading, t);
}

std::string Nx(const std::string& raw, char range, char units, char state, char autoRange,
               const std::string& pct) {
    ReplyText t;
    t.value = raw;
    t.range = range;
    t.units = units;
    t.rangeState = state;
    t.autoRange = autoRange;
    t.percent = pct;
    t.model = 'E';
    return LayOutReply(ReplyKind::Stored, t);
}

namespace {
std::string NumberReply(ReplyKind kind, const std::string& digits) {
    ReplyText t;
    t.value = digits;
    return LayOutReply(kind, t);
}
}  // namespace

std::string Bt(const std::string& digits) { return NumberReply(ReplyKind::Battery, digits); }
std::string Ns(const std::string& digits) { return NumberReply(ReplyKind::UploadCount, digits); }
std::string Lg(const std::string& digits) { return NumberReply(ReplyKind::RecordNumber, digits); }

void Harness::tick() {
    in.HRTReadProbe_Timer();
    clock.runUntil([this] { return !in.InTransaction(); });
}

void Harness::connect(int16_t portNo) {
    in.OpenCommPort(portNo);
    in.HRTReadProbe().setEnabled(true);
}

void Harness::answerReadings(const std::string& reply) {
    port.responder = [reply](const std::string& cmd) { return cmd == "RD" ? reply : ""; };
}

}  // namespace fenwyd::testing
