// Checks of the simulator's replies shared by its core tests and its pty
// tests: fields from the program's own cutter, plus the strict checks the
// cutter does not make (exact length, digits, the blanks between fields,
// every value within the model's), by position, as an independent oracle.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

#include "measure/reply_layout.h"
#include "probe_core.h"

namespace probesim::testing {

using fenwyd::CutReply;
using fenwyd::ReplyKind;

inline Options fixedOptions(char model) {
    Options o;
    o.model = model;
    o.fixedValue = true;
    return o;
}

// The whole reply as the host reads it once every part is in.
inline std::string joined(const Response& r) {
    std::string s;
    for (const auto& p : r.parts) s += p.text;
    return s;
}

inline bool allDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

inline int maxRangeOf(char model) { return model == 'V' ? 2 : 4; }

inline std::string unitsCycleOf(char model) { return model == 'V' ? "VAGT" : "GVTA"; }

struct Reading {
    int raw = -1;
    char model = 0;
    int range = -1;
    char units = 0;
    char state = 0;
    char mode = 0;
    int percent = -1;
    char battery = 0;
};

// A 17-char "@RD" reply: fields from the program's cutter, and the strict
// checks it does not make (exact length, '@', digits, blanks at 11 and 14,
// every value within the model's) by position as an independent check.
inline ::testing::AssertionResult cutReading(const std::string& r, Reading& out) {
    const auto cut = CutReply(ReplyKind::Reading, r);
    if (!cut || r.size() != 17 || r[0] != '@')
        return ::testing::AssertionFailure() << "not a reading: \"" << r << "\"";
    if (!allDigits(cut->value) || !allDigits(r.substr(14, 2)))  // 4..7, 15..16
        return ::testing::AssertionFailure() << "digit field in \"" << r << "\"";
    if (r[10] != ' ' || r[13] != ' ')  // 11, 14
        return ::testing::AssertionFailure() << "separator in \"" << r << "\"";
    out.raw = std::atoi(cut->value.c_str());
    out.model = cut->model[0];
    out.range = cut->range;
    out.units = cut->units[0];
    out.state = cut->rangeState[0];
    out.mode = cut->autoRange[0];
    out.percent = cut->percentSteps;
    out.battery = r[16];  // the cutter does not look at the battery flag
    if (std::string("EV").find(out.model) == std::string::npos ||
        out.range > maxRangeOf(out.model) ||
        unitsCycleOf(out.model).find(out.units) == std::string::npos ||
        std::string("UON").find(out.state) == std::string::npos ||
        (out.mode != 'A' && out.mode != 'M') || out.percent > 20 ||
        (out.battery != 'L' && out.battery != '-'))
        return ::testing::AssertionFailure() << "field value in \"" << r << "\"";
    return ::testing::AssertionSuccess();
}

inline bool looksLikeReading(const std::string& r) {
    Reading ignored;
    return static_cast<bool>(cutReading(r, ignored));
}

// A 16-char stored reading (second part of an NX reply), checked the same way.
inline ::testing::AssertionResult checkStored(const std::string& s, char model) {
    const auto cut = CutReply(ReplyKind::Stored, s);
    const bool ok = cut && s.size() == 16 && allDigits(cut->value) &&  // 1..2, 3..6
                    s[6] == ' ' && s[9] == ' ' && s[11] == ' ' &&      // 7, 10, 12
                    allDigits(s.substr(13, 2)) &&                      // 14..15
                    cut->range <= maxRangeOf(model) &&
                    unitsCycleOf(model).find(cut->units) != std::string::npos &&
                    std::string("UON").find(cut->rangeState) != std::string::npos &&
                    (cut->autoRange == "A" || cut->autoRange == "M") && cut->percentSteps <= 20 &&
                    cut->model == std::string(1, model);  // 16
    return ok ? ::testing::AssertionSuccess()
              : ::testing::AssertionFailure() << "bad stored \"" << s << "\"";
}

}  // namespace probesim::testing
