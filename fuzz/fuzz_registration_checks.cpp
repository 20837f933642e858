// The registration form's checks, over whatever the player typed.
//
// Input: the form's fourteen fields in their order, NUL-separated.
//
// Implements:
//  - a form that passes holds what every check asks for;
//  - a refusal always has a message and a caption;
//  - an address that passes has an '@' with a local part before it and a
//    dotted domain of printable characters after it.

#include <cstdint>
#include <string>
#include <string_view>

#include "account/registration_checks.h"
#include "account/registration_lists.h"
#include "fuzz_input.h"

namespace {

bool Printable(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x21 || byte > 0x7E) return false;
    }
    return true;
}

void CheckEmail(std::string_view address) {
    if (!kx::IsValidEmail(address)) return;
    const std::size_t at = address.rfind('@');
    KX_FUZZ_CHECK(at != std::string_view::npos && at > 0);
    const std::string_view domain = address.substr(at + 1);
    KX_FUZZ_CHECK(Printable(domain));
    KX_FUZZ_CHECK(domain.find('.') != std::string_view::npos);
    KX_FUZZ_CHECK(domain.front() != '.');
    KX_FUZZ_CHECK(domain.find("..") == std::string_view::npos);
    KX_FUZZ_CHECK(address[at - 1] != '.');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto fields = kx::fuzz::Fields(kx::fuzz::AsText(data, size), '\0');
    auto field = [&](std::size_t i) {
        return i < fields.size() ? std::string(fields[i]) : std::string();
    };
    kx::RegistrationForm form;
    std::string* const slots[] = {
        &form.user_name, &form.password, &form.confirm_password, &form.email,
        &form.first_name, &form.last_name, &form.address, &form.address2,
        &form.city, &form.state, &form.other_state, &form.zip,
        &form.country, &form.about,
    };
    for (std::size_t i = 0; i < std::size(slots); ++i) *slots[i] = field(i);

    CheckEmail(form.email);
    CheckEmail(form.user_name);
    (void)kx::IsValidUserName(form.about);

    const auto fault = kx::CheckRegistrationForm(form);
    if (fault) {
        KX_FUZZ_CHECK(!fault->message.empty() && !fault->caption.empty());
        return 0;
    }
    KX_FUZZ_CHECK(!form.user_name.empty() && kx::IsValidUserName(form.user_name));
    KX_FUZZ_CHECK(!form.password.empty() && form.password == form.confirm_password);
    KX_FUZZ_CHECK(kx::IsValidEmail(form.email));
    for (const std::string* required : {&form.first_name, &form.last_name, &form.address,
                                        &form.city, &form.state, &form.zip, &form.country}) {
        KX_FUZZ_CHECK(!required->empty());
    }
    if (form.state == kx::kOtherStateItem) {
        KX_FUZZ_CHECK(!form.other_state.empty() && form.country != kx::kUnitedStatesItem);
    }
    return 0;
}
