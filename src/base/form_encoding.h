#pragma once

#include <string>
#include <string_view>

namespace kx {

// Encodes one value of form data the way the service decodes it: a space
// becomes "+", the digits, the letters a to w and A to Z stay, and every
// other byte becomes "%XX" in upper-case hex. The service was built against
// this exact alphabet, x, y and z included, so it must not be "corrected".
std::string FormEncode(std::string_view text);

// One command request body: "COMMAND=" and the word, then "&KEY=value" per
// field in the order added. Keys and the word are written as they are; only
// values are encoded, and empty values are still sent.
class CommandBody {
public:
    explicit CommandBody(std::string_view command_word);

    CommandBody& Add(std::string_view key, std::string_view value);

    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// The text with the value of every field whose key names a password
// (PASSWORD, NEWPASSWORD, ... in any case) replaced by "********", for
// traces that someone other than the player may read. Fields begin at the
// start, after "?" or "&" or at a new line; a value ends at "&" or a line end.
std::string MaskPasswords(std::string_view form_text);

}  // namespace kx
