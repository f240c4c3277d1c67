#include "config/config_file.h"

#include <limits>
#include <vector>

#include "common/file_write.h"
#include "common/textconv.h"

namespace fenwyd {

namespace {

constexpr std::size_t kMaxConfigBytes = 1024 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string SkipLeadingBlanks(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return s.substr(i);
}

bool ParseInt16(const std::string& s, int16_t& value) {
    long long v = 0;
    if (!ParseInteger(s, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max(),
                      v)) {
        return false;
    }
    value = static_cast<int16_t>(v);
    return true;
}

std::string IntText(int16_t v) {
    std::string s = v < 0 ? std::string() : std::string(" ");
    s += std::to_string(v);
    s += ' ';
    return s;
}

}  // namespace

bool LoadFreeCfgFile(const std::string& path, FreeCfg& cfg) {
    // Only a regular file: a folder or a FIFO of that name counts as missing.
    std::string text;
    if (!ReadRegularFile(path, text, kMaxConfigBytes)) return false;

    const std::vector<std::string> lines = SplitLines(text, 5);  // the rest is not read

    // Each value is stored as soon as it is read, so a failure keeps the earlier ones.
    const std::size_t n = lines.size();
    if (n < 1 || !ParseInt16(lines[0], cfg.CommPortNo)) return false;
    if (n < 2) return false;
    cfg.ProbeUnits = SkipLeadingBlanks(lines[1]);
    if (n < 3) return false;
    cfg.DefaultSavePath = SkipLeadingBlanks(lines[2]);
    if (n < 4) return false;
    cfg.SampleRate = SkipLeadingBlanks(lines[3]);
    if (n < 5 || !ParseInt16(lines[4], cfg.BattTempUpdateInterval)) return false;
    return true;
}

bool SaveFreeCfgFile(const std::string& path, const FreeCfg& cfg) {
    std::string buf;
    buf += IntText(cfg.CommPortNo) + "\r\n";
    buf += SingleLine(cfg.ProbeUnits) + "\r\n";
    buf += SingleLine(cfg.DefaultSavePath) + "\r\n";
    buf += SingleLine(cfg.SampleRate) + "\r\n";
    buf += IntText(cfg.BattTempUpdateInterval) + "\r\n";
    std::string reason;
    return WriteFileReplacing(path, buf, reason);
}

}  // namespace fenwyd
