// Form encoding of the values the console sends, and the masking of
// passwords in traces.
//
// Input: the text to encode; split at NUL, the key and value of a field.
//
// Implements:
//  - encoding writes only the service's alphabet and decodes to the input;
//  - a command body is the word and the encoded fields, in order;
//  - masking keeps every byte but a password's value, and masking twice
//    changes nothing more.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/form_encoding.h"
#include "fuzz_input.h"

namespace {

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = kx::fuzz::AsText(data, size);

    const std::string encoded = kx::FormEncode(text);
    std::string decoded;
    KX_FUZZ_CHECK(kx::fuzz::StrictFormDecode(encoded, &decoded));
    KX_FUZZ_CHECK(decoded == text);
    KX_FUZZ_CHECK(encoded.size() >= text.size() && encoded.size() <= 3 * text.size());

    const auto fields = kx::fuzz::Fields(text, '\0');
    const std::string_view key = fields[0];
    const std::string_view value = fields.size() > 1 ? fields[1] : std::string_view();
    const kx::CommandBody body = kx::CommandBody("WORD").Add(key, value).Add("N", value);
    const std::string expected_body = "COMMAND=WORD&" + std::string(key) + "=" +
                                      kx::FormEncode(value) + "&N=" + kx::FormEncode(value);
    KX_FUZZ_CHECK(body.Text() == expected_body);

    const std::string masked = kx::MaskPasswords(text);
    KX_FUZZ_CHECK(kx::MaskPasswords(masked) == masked);
    // Without the word, nothing is a password and nothing changes.
    if (kx::ToUpperAscii(text).find("PASSWORD") == std::string::npos) {
        KX_FUZZ_CHECK(masked == text);
    }
    // The mask only replaces what follows a password key.
    const std::string masked_field = kx::MaskPasswords("&PASSWORD=" + kx::FormEncode(text));
    KX_FUZZ_CHECK(masked_field == "&PASSWORD=********");
    return 0;
}
