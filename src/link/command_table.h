#pragma once
#include <string>

namespace fenwyd {

// One row of the probe's command table.
struct CommandInfo {
    const char* name;  // as queued by the program
    int cmndType;      // 1..5, also handed to ProcessData
    int firstWaitMs;   // wait before the reply is read
    int krWaitMs;      // extra wait before the "KR" follow-up; -1: no follow-up
    bool busyPointer;  // hourglass while the command runs
    const char* wire;  // what actually goes to the probe
};

// Exact, case-sensitive look-up; nullptr for a text that is not a command.
const CommandInfo* LookUpCommand(const std::string& cmnd);

constexpr int kReplyWaitMs = 300;
constexpr int kKrReplyWaitMs = 2000;
constexpr int kSecondPartWaitMs = 1000;

}  // namespace fenwyd
