#pragma once

// Owns one open std::FILE* so that no path out of a transfer leaves a local
// file open. Paths are 8-bit texts, opened as the C library opens them.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

#include "base/unique_any.h"

namespace kx {

enum class FileAccess {
    CreateForWriting,  // created, or truncated when it exists
    CreateNew,         // created; fails when anything, a link too, is there
    OpenForReading,    // must exist
};

class UniqueFile {
public:
    UniqueFile() = default;
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    UniqueFile(UniqueFile&& other) noexcept = default;
    UniqueFile& operator=(UniqueFile&& other) noexcept = default;
    ~UniqueFile() = default;

    // A file that is not open when the path cannot be opened that way.
    static UniqueFile Open(const std::string& path, FileAccess access);

    bool IsOpen() const { return static_cast<bool>(file_); }

    // The size in bytes, or nothing when it cannot be told.
    std::optional<std::uint64_t> Size();

    // Reads up to buffer.size() bytes; false on a read error, with `count`
    // the bytes read before it.
    bool Read(std::span<char> buffer, std::size_t* count);
    bool Write(std::span<const char> bytes);

    // Flushes and closes; true when both succeeded or nothing was open.
    bool Close();

private:
    static int CloseFile(std::FILE* file) { return std::fclose(file); }

    explicit UniqueFile(std::FILE* file) : file_(file) {}

    // A file dropped unclosed is closed without a flush check; Close reports both.
    UniqueAny<std::FILE*, &CloseFile> file_;
};

}  // namespace kx
