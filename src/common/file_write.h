// Whole-file writes: the file is either replaced completely, flushed to disk,
// or left exactly as it was.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace fenwyd {

// Hands one piece of the new contents to the file; false when it could not be
// written.
using ChunkWriter = std::function<bool(const char* data, std::size_t size)>;

// Replaces the file at path (8-bit local encoding) by what body writes
// through the ChunkWriter it is given. The contents go to a temporary file in
// the same folder that is flushed to disk and then renamed over the target:
// a symbolic link is followed (the link stays), the permissions of the file
// replaced are kept. On failure the old file is untouched, no temporary file
// remains and reason holds the system's error text. body returns false when a
// write failed.
bool WriteFileReplacing(const std::string& path,
                        const std::function<bool(const ChunkWriter&)>& body, std::string& reason);
bool WriteFileReplacing(const std::string& path, const std::string& bytes, std::string& reason);

// The whole contents of a regular file, read without blocking on a FIFO or a
// device. False for anything that is not a readable regular file (missing, a
// folder, a FIFO, a device) or larger than maxBytes.
bool ReadRegularFile(const std::string& path, std::string& contents,
                     std::size_t maxBytes = 16 * 1024 * 1024);

}  // namespace fenwyd
