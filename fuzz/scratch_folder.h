// A private folder per fuzzing process for the file targets, removed at exit.
#pragma once
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace fenwyd::fuzzing {

class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& tag) {
        namespace fs = std::filesystem;
        // Memory-backed when there is one: every input writes and renames
        // files, and a disk makes that the bulk of the time.
        std::error_code ec;
        fs::path base = "/dev/shm";
        if (::access(base.c_str(), W_OK) != 0 || !fs::is_directory(base, ec)) {
            base = fs::temp_directory_path();
        }
        dir_ = base / ("fenwyd-fuzz-" + tag + "-" + std::to_string(static_cast<long>(::getpid())));
        fs::create_directories(dir_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string file(const char* name) const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};

// The input bytes as a file, as the program would find it.
inline bool WriteWholeFile(const std::string& path, const uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace fenwyd::fuzzing
