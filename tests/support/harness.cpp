#include "support/harness.h"

namespace fenwyd::testing {

std::string Rd(const std::string& raw, char model, char range, char units, char state,
               char autoRange, const std::string& pct) {
    std::string s = "@RD" + raw;
    s += model;
    s += range;
    s += units;
    s += ' ';
    s += state;
    s += autoRange;
    s += ' ';
    s += pct;
    s += '-';
    return s;
}

std::string Nx(const std::string& raw, char range, char units, char state, char autoRange,
               const std::string& pct) {
    std::string s = "NX" + raw + " ";
    s += range;
    s += units;
    s += ' ';
    s += state;
    s += ' ';
    s += autoRange;
    s += pct;
    s += 'E';
    return s;
}

void Harness::connect(int16_t portNo) {
    in.OpenCommPort(portNo);
    in.HRTReadProbe().setEnabled(true);
}

void Harness::answerReadings(const std::string& reply) {
    port.responder = [reply](const std::string& cmd) { return cmd == "RD" ? reply : ""; };
}

}  // namespace fenwyd::testing
