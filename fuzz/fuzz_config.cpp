// Any bytes as the configuration file, then a save/load round trip of what
// was read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/config_file.h"
#include "scratch_folder.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A text value as it reads back: line breaks were written as blanks, and
// reading drops leading blanks.
std::string AsReadBack(std::string s) {
    for (char& c : s) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return s.substr(i);
}

// Values a successful load must all replace: no line reads as "\n<unread>".
fenwyd::FreeCfg Sentinel() {
    fenwyd::FreeCfg c;
    c.CommPortNo = -12345;
    c.ProbeUnits = "\n<unread>";
    c.DefaultSavePath = "\n<unread>";
    c.SampleRate = "\n<unread>";
    c.BattTempUpdateInterval = -12345;
    return c;
}

bool SameReadBack(const fenwyd::FreeCfg& saved, const fenwyd::FreeCfg& read) {
    return read.CommPortNo == saved.CommPortNo &&
           read.BattTempUpdateInterval == saved.BattTempUpdateInterval &&
           read.ProbeUnits == AsReadBack(saved.ProbeUnits) &&
           read.DefaultSavePath == AsReadBack(saved.DefaultSavePath) &&
           read.SampleRate == AsReadBack(saved.SampleRate);
}

void CheckTextValue(const std::string& s) {
    if (!s.empty() && IsBlank(s.front())) __builtin_trap();
    if (s.find('\n') != std::string::npos) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const fenwyd::fuzzing::ScratchFolder scratch("config");
    const std::string inPath = scratch.file("in.cfg");
    const std::string outPath = scratch.file("out.cfg");
    if (!fenwyd::fuzzing::WriteWholeFile(inPath, data, size)) return 0;

    // The program's own defaults, as the instrument presets them.
    fenwyd::FreeCfg cfg;
    cfg.DefaultSavePath = "/opt/fenwyd";
    (void)fenwyd::LoadFreeCfgFile(inPath, cfg);
    // Read or left at the default, a text value never starts with a blank.
    CheckTextValue(cfg.ProbeUnits);
    CheckTextValue(cfg.DefaultSavePath);
    CheckTextValue(cfg.SampleRate);

    // Whatever was read (all of it, or up to a failure) saves as a file that
    // loads in full.
    if (!fenwyd::SaveFreeCfgFile(outPath, cfg)) return 0;  // a full disk is no fault of the input
    fenwyd::FreeCfg again = Sentinel();
    if (!fenwyd::LoadFreeCfgFile(outPath, again)) __builtin_trap();
    if (!SameReadBack(cfg, again)) __builtin_trap();

    // A value that has been through one save reads back exactly.
    if (!fenwyd::SaveFreeCfgFile(outPath, again)) return 0;
    fenwyd::FreeCfg third = Sentinel();
    if (!fenwyd::LoadFreeCfgFile(outPath, third)) __builtin_trap();
    if (third.CommPortNo != again.CommPortNo || third.ProbeUnits != again.ProbeUnits ||
        third.DefaultSavePath != again.DefaultSavePath || third.SampleRate != again.SampleRate ||
        third.BattTempUpdateInterval != again.BattTempUpdateInterval) {
        __builtin_trap();
    }
    return 0;
}
