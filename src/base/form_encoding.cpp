#include "base/form_encoding.h"

namespace kx {

namespace {

bool StaysUnencoded(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'w') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string FormEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == ' ') {
            out += '+';
        } else if (StaysUnencoded(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

CommandBody::CommandBody(std::string_view command_word) : text_("COMMAND=") {
    text_ += command_word;
}

CommandBody& CommandBody::Add(std::string_view key, std::string_view value) {
    text_ += '&';
    text_ += key;
    text_ += '=';
    text_ += FormEncode(value);
    return *this;
}

}  // namespace kx
