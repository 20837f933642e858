#include "net/unique_file.h"

namespace kx {

namespace {

// "x" is C11's exclusive creation: a file or link planted at the path makes
// the open fail rather than be written through. The Windows runtime the
// console links (msvcrt) knows no "x"; there a file already at the path is
// refused by asking first, which is as much as that runtime allows.
#if defined(_WIN32)
constexpr const char* kCreateNewMode = "wb";
constexpr bool kAskFirst = true;
#else
constexpr const char* kCreateNewMode = "wbx";
constexpr bool kAskFirst = false;
#endif

}  // namespace

UniqueFile UniqueFile::Open(const std::string& path, FileAccess access) {
    if (access == FileAccess::CreateNew && kAskFirst) {
        if (UniqueFile(std::fopen(path.c_str(), "rb")).IsOpen()) return UniqueFile();
    }
    const char* mode = access == FileAccess::CreateForWriting ? "wb"
                       : access == FileAccess::CreateNew      ? kCreateNewMode
                                                              : "rb";
    return UniqueFile(std::fopen(path.c_str(), mode));
}

std::optional<std::uint64_t> UniqueFile::Size() {
    std::FILE* const file = file_.get();
    if (file == nullptr) return std::nullopt;
    const long start = std::ftell(file);
    if (start < 0 || std::fseek(file, 0, SEEK_END) != 0) return std::nullopt;
    const long end = std::ftell(file);
    if (std::fseek(file, start, SEEK_SET) != 0 || end < 0) return std::nullopt;
    return static_cast<std::uint64_t>(end);
}

bool UniqueFile::Read(std::span<char> buffer, std::size_t* count) {
    *count = 0;
    std::FILE* const file = file_.get();
    if (file == nullptr) return false;
    *count = std::fread(buffer.data(), 1, buffer.size(), file);
    return std::ferror(file) == 0;
}

bool UniqueFile::Write(std::span<const char> bytes) {
    std::FILE* const file = file_.get();
    if (file == nullptr) return false;
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

bool UniqueFile::Close() {
    std::FILE* const file = file_.release();
    if (file == nullptr) return true;
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return flushed && closed;
}

}  // namespace kx
