#include "support/harness.h"

#include <atomic>
#include <chrono>

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

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("fenwyd-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void Harness::connect(int16_t portNo) {
    in.OpenCommPort(portNo);
    in.HRTReadProbe().setEnabled(true);
}

void Harness::answerReadings(const std::string& reply) {
    port.responder = [reply](const std::string& cmd) { return cmd == "RD" ? reply : ""; };
}

}  // namespace fenwyd::testing
