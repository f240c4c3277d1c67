#include "link/command_table.h"

#include <iterator>

namespace fenwyd {

namespace {
// Types 1 and 2 have no "KR" follow-up. "AutoScale" is the program's own
// pseudo-command: "SC" on the wire with a longer settling wait before "KR".
const CommandInfo kCommands[] = {
    {"RD", 1, 300, -1, false, "RD"},   {"NS", 1, 300, -1, false, "NS"},
    {"KR", 2, 300, -1, false, "KR"},   {"SP", 2, 300, -1, false, "SP"},
    {"SC", 3, 300, 0, true, "SC"},     {"EH", 3, 300, 0, true, "EH"},
    {"DD", 3, 300, 0, true, "DD"},     {"MX", 4, 300, 0, false, "MX"},
    {"BT", 4, 300, 0, false, "BT"},    {"CL", 4, 3000, 0, false, "CL"},
    {"LG", 5, 300, 3000, false, "LG"}, {"PR", 5, 300, 3000, false, "PR"},
    {"NX", 5, 300, 3000, false, "NX"}, {"AutoScale", 3, 300, 3000, true, "SC"},
};
}  // namespace

const CommandInfo* LookUpCommand(const std::string& cmnd) {
    for (const CommandInfo& c : kCommands) {
        if (cmnd == c.name) return &c;
    }
    return nullptr;
}

}  // namespace fenwyd
