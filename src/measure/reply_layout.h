// The two reply layouts that carry a measurement: a reading ("RD") and a
// stored reading (the second part of "NX"). One table holds the character
// positions; the cutter checks a reply before it cuts it, and the same table
// lays replies out for the probe simulator and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace fenwyd {

enum class ReplyKind { Reading, Stored };

// A measurement as the probe sends it, every field as text, so a test or the
// simulator can also lay out a corrupt one.
struct ReplyText {
    std::string value = "1999";  // four raw digits, no decimal point
    char model = 'E';            // 'E' QM-8204, 'V' QM-8203
    char range = '0';            // range digit
    char units = 'G';            // 'V', 'A', 'G' or 'T'
    char rangeState = 'N';       // 'N' in range, 'O' over, 'U' under
    char autoRange = 'M';        // 'A' auto-range, 'M' manual
    std::string percent = "15";  // percent of range in steps of 5
    char battery = '-';          // 'L' when the battery is low (readings only)
};

// A measurement whose digit fields are digits.
struct ProbeReading {
    std::string value;  // the raw value text, read leniently by the caller
    std::string model, units, rangeState, autoRange;
    int range = 0;
    int percentSteps = 0;  // x 5 gives the percent of range
    bool overRange() const { return rangeState == "O"; }
    bool underRange() const { return rangeState == "U"; }
};

// The reply's code: "RD" at 2..3 for a reading, "NX" at 1..2 for a stored
// reading.
bool HasReplyCode(ReplyKind kind, const std::string& reply);

// Checks the reply (code, length, and digits in the value, range and
// percent fields) and cuts it; nothing when any of them is wrong.
std::optional<ProbeReading> CutReply(ReplyKind kind, const std::string& reply);

// The reply text the probe would send for these fields.
std::string LayOutReply(ReplyKind kind, const ReplyText& fields);

// Shortest reply of each layout.
std::size_t ReplyLength(ReplyKind kind);

}  // namespace fenwyd
