#pragma once

// MD5 (RFC 1321), incremental: the score checksum is this digest of the play
// id, tournament id and user id texts.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kx {

class Md5 {
public:
    using Digest = std::array<std::uint8_t, 16>;

    Md5();

    void Update(const void* data, std::size_t size);
    void Update(std::string_view text) { Update(text.data(), text.size()); }

    // Pads, appends the bit count and returns the digest. The object starts
    // over afterwards.
    Digest Final();

private:
    void Transform(const std::uint8_t* block);
    void Reset();

    std::array<std::uint32_t, 4> state_{};
    std::uint64_t length_ = 0;  // bytes absorbed so far
    std::array<std::uint8_t, 64> buffer_{};
};

// The digest of `text` as 32 lower-case hexadecimal digits.
std::string Md5Hex(std::string_view text);

}  // namespace kx
