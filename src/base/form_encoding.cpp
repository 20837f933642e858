#include "base/form_encoding.h"

#include "base/ascii.h"

namespace kx {

namespace {

bool StaysUnencoded(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'w') || (c >= 'A' && c <= 'Z');
}

bool StartsField(char c) { return c == '?' || c == '&' || c == '\n' || c == '\r'; }
bool EndsValue(char c) { return c == '&' || c == '\n' || c == '\r'; }

bool NamesPassword(std::string_view key) {
    return ToUpperAscii(key).find("PASSWORD") != std::string::npos;
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

std::string MaskPasswords(std::string_view form_text) {
    std::string out;
    out.reserve(form_text.size());
    std::size_t pos = 0;
    while (pos < form_text.size()) {
        std::size_t key_end = pos;
        while (key_end < form_text.size() && form_text[key_end] != '=' &&
               !StartsField(form_text[key_end])) {
            ++key_end;
        }
        out.append(form_text.substr(pos, key_end - pos));
        if (key_end == form_text.size()) break;
        if (form_text[key_end] != '=') {
            out += form_text[key_end];
            pos = key_end + 1;
            continue;
        }
        std::size_t value_end = key_end + 1;
        while (value_end < form_text.size() && !EndsValue(form_text[value_end])) ++value_end;
        out += '=';
        if (NamesPassword(form_text.substr(pos, key_end - pos))) {
            out += "********";
        } else {
            out.append(form_text.substr(key_end + 1, value_end - key_end - 1));
        }
        pos = value_end;
        if (pos < form_text.size()) {
            out += form_text[pos];
            ++pos;
        }
    }
    return out;
}

}  // namespace kx
