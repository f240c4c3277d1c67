#include "support/home.h"

#include <cstdlib>

namespace fenwyd::testing {

namespace fs = std::filesystem;

std::vector<std::pair<std::string, std::string>> HomeVariables(const fs::path& root) {
    return {{"HOME", root.string()},
            {"XDG_CONFIG_HOME", (root / "config").string()},
            {"XDG_DATA_HOME", (root / "data").string()},
            {"XDG_CACHE_HOME", (root / "cache").string()},
            {"XDG_RUNTIME_DIR", (root / "runtime").string()}};
}

void MakeHome(const fs::path& root) {
    for (const auto& [name, folder] : HomeVariables(root)) fs::create_directories(folder);
    std::error_code ec;
    fs::permissions(root / "runtime", fs::perms::owner_all, fs::perm_options::replace, ec);
}

PrivateHome::PrivateHome() {
    MakeHome(folder_.path());
    for (const auto& [name, value] : HomeVariables(folder_.path())) {
#ifdef _WIN32
        _putenv_s(name.c_str(), value.c_str());
#else
        ::setenv(name.c_str(), value.c_str(), 1);
#endif
    }
}

}  // namespace fenwyd::testing
