#include "tools/reg_data.h"

#include <cstdint>

#include "base/ascii.h"

namespace kx {
namespace {

struct TypeName {
    RegType type;
    std::string_view name;
};

constexpr TypeName kTypeNames[] = {
    {RegType::None, "REG_NONE"},           {RegType::Sz, "REG_SZ"},
    {RegType::ExpandSz, "REG_EXPAND_SZ"}, {RegType::Binary, "REG_BINARY"},
    {RegType::Dword, "REG_DWORD"},         {RegType::MultiSz, "REG_MULTI_SZ"},
    {RegType::Qword, "REG_QWORD"},
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = ToUpperAscii(c);
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decimal, or hex after "0x"; refuses anything above `max`.
std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t max) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) return std::nullopt;
        if (value > (max - static_cast<unsigned>(digit)) / base) return std::nullopt;
        value = value * base + static_cast<unsigned>(digit);
    }
    return value;
}

std::string LittleEndian(std::uint64_t value, int bytes) {
    std::string data;
    for (int i = 0; i < bytes; ++i) data += static_cast<char>((value >> (8 * i)) & 0xFF);
    return data;
}

std::string Hex(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0x0F]);
        value >>= 4;
    } while (value != 0);
    return "0x" + digits;
}

std::uint64_t ReadLittleEndian(std::string_view bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i > 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i - 1]);
    }
    return value;
}

}  // namespace

std::optional<RegType> ParseRegTypeName(std::string_view name) {
    const std::string upper = ToUpperAscii(name);
    for (const TypeName& entry : kTypeNames) {
        if (entry.name == upper) return entry.type;
    }
    return std::nullopt;
}

std::string RegTypeName(RegType type) {
    for (const TypeName& entry : kTypeNames) {
        if (entry.type == type) return std::string(entry.name);
    }
    return "REG_TYPE_" + Hex(static_cast<std::uint32_t>(type));
}

std::optional<std::string> EncodeRegData(RegType type, std::string_view text,
                                         std::string_view separator) {
    switch (type) {
        case RegType::Sz:
        case RegType::ExpandSz:
            return std::string(text) + '\0';
        case RegType::MultiSz: {
            if (separator.empty()) return std::nullopt;
            std::string data;
            while (!text.empty()) {
                const std::size_t cut = text.find(separator);
                data.append(text.substr(0, cut));
                data += '\0';
                text.remove_prefix(cut == std::string_view::npos ? text.size() : cut + separator.size());
            }
            return data + '\0';
        }
        case RegType::Dword:
        case RegType::Qword: {
            const int bytes = type == RegType::Dword ? 4 : 8;
            const std::uint64_t max = type == RegType::Dword ? 0xFFFFFFFFu : ~std::uint64_t{0};
            if (text.empty()) return LittleEndian(0, bytes);
            const std::optional<std::uint64_t> value = ParseNumber(text, max);
            if (!value) return std::nullopt;
            return LittleEndian(*value, bytes);
        }
        default: {
            if (text.size() % 2 != 0) return std::nullopt;
            std::string data;
            for (std::size_t i = 0; i < text.size(); i += 2) {
                const int high = HexDigit(text[i]);
                const int low = HexDigit(text[i + 1]);
                if (high < 0 || low < 0) return std::nullopt;
                data += static_cast<char>(high * 16 + low);
            }
            return data;
        }
    }
}

std::string FormatRegData(RegType type, std::string_view bytes) {
    switch (type) {
        case RegType::Sz:
        case RegType::ExpandSz:
            return std::string(bytes.substr(0, bytes.find('\0')));
        case RegType::MultiSz: {
            while (!bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
            std::string shown;
            for (const char c : bytes) {
                if (c == '\0') {
                    shown += "\\0";
                } else {
                    shown += c;
                }
            }
            return shown;
        }
        case RegType::Dword:
            if (bytes.size() == 4) return Hex(ReadLittleEndian(bytes));
            break;
        case RegType::Qword:
            if (bytes.size() == 8) return Hex(ReadLittleEndian(bytes));
            break;
        default:
            break;
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        shown += kDigits[byte >> 4];
        shown += kDigits[byte & 0x0F];
    }
    return shown;
}

}  // namespace kx
