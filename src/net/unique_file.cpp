#include "net/unique_file.h"

#include <utility>

namespace kx {

UniqueFile::UniqueFile(UniqueFile&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}

UniqueFile& UniqueFile::operator=(UniqueFile&& other) noexcept {
    if (this != &other) {
        Close();
        file_ = std::exchange(other.file_, nullptr);
    }
    return *this;
}

UniqueFile::~UniqueFile() { Close(); }

UniqueFile UniqueFile::Open(const std::string& path, FileAccess access) {
    const char* mode = access == FileAccess::CreateForWriting ? "wb" : "rb";
    return UniqueFile(std::fopen(path.c_str(), mode));
}

std::optional<std::uint64_t> UniqueFile::Size() {
    if (file_ == nullptr) return std::nullopt;
    const long start = std::ftell(file_);
    if (start < 0 || std::fseek(file_, 0, SEEK_END) != 0) return std::nullopt;
    const long end = std::ftell(file_);
    if (std::fseek(file_, start, SEEK_SET) != 0 || end < 0) return std::nullopt;
    return static_cast<std::uint64_t>(end);
}

bool UniqueFile::Read(std::span<char> buffer, std::size_t* count) {
    *count = 0;
    if (file_ == nullptr) return false;
    *count = std::fread(buffer.data(), 1, buffer.size(), file_);
    return std::ferror(file_) == 0;
}

bool UniqueFile::Write(std::span<const char> bytes) {
    if (file_ == nullptr) return false;
    return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
}

bool UniqueFile::Close() {
    if (file_ == nullptr) return true;
    const bool flushed = std::fflush(file_) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return flushed && closed;
}

}  // namespace kx
