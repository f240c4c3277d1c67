#pragma once
// Tests never touch the user's own files: each test program, and through its
// environment every process it starts, lives in a home of its own.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/files.h"

namespace fenwyd::testing {

// HOME and the XDG folders (configuration, data, cache, runtime) inside
// root: the one list of what makes a home.
std::vector<std::pair<std::string, std::string>> HomeVariables(const std::filesystem::path& root);
// Makes those folders; the runtime folder private to the user, as programs
// that use it expect.
void MakeHome(const std::filesystem::path& root);

// For the life of the object this process's home and XDG folders are a
// fresh temporary folder, removed afterwards. Made first thing in the main()
// of every test program, before anything reads them.
class PrivateHome {
public:
    PrivateHome();
    const std::filesystem::path& path() const { return folder_.path(); }

private:
    TempFolder folder_;
};

}  // namespace fenwyd::testing
