// The layouts of the probe's replies: a reading ("RD"), a stored reading (the
// second part of "NX"), the battery voltage ("BT"), the number of stored
// readings ("NS") and the record number of an upload step ("LG"). One table
// holds the character positions; the cutter checks a reply before it cuts it,
// and the same table lays replies out for the probe simulator and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace fenwyd {

enum class ReplyKind { Reading, Stored, Battery, UploadCount, RecordNumber };

// A measurement as the probe sends it, every field as text, so a test or the
// simulator can also lay out a corrupt one.
struct ReplyText {
    // Four raw digits, no decimal point; for the other kinds their number
    // (hundredths of a volt, a count, a record number).
    std::string value = "1999";
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
// reading, "BT" and "NS" at 2..3; "LG" anywhere, in any case.
bool HasReplyCode(ReplyKind kind, const std::string& reply);

// Checks the reply (code, length, and digits in the value, range and
// percent fields) and cuts it; nothing when any of them is wrong. Readings
// and stored readings only.
std::optional<ProbeReading> CutReply(ReplyKind kind, const std::string& reply);

// The number field of a battery, count or record-number reply, as text for
// the caller's own conversion; nothing without the reply's code. The
// battery's is at 4..7, the count is the reply's last four characters, the
// record number the four after the first "LG" (after position 1 when there
// is none, as an upload step without its code still names a record).
std::optional<std::string> CutNumberField(ReplyKind kind, const std::string& reply);

// 1-based position of the first "LG" in the reply, letters compared without
// regard to case; 0 when there is none.
int FindRecordCode(const std::string& reply);
// The record number field after an "LG" at codePosition (0: none).
std::string RecordNumberAt(const std::string& reply, int codePosition);

// The reply text the probe would send for these fields.
std::string LayOutReply(ReplyKind kind, const ReplyText& fields);

// Shortest reply of each layout.
std::size_t ReplyLength(ReplyKind kind);

}  // namespace fenwyd
