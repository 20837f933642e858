#include "account/registration_checks.h"

#include "account/registration_lists.h"

namespace kx {

namespace {

constexpr std::string_view kInvalidUserNameCharacters = "()<>@,;:\\\"[]{}!#$%^*+?/|~'`";
constexpr std::string_view kAddressSpecials = "()<>@,;:\\\"[]";

constexpr std::string_view kFormCaption = "Registration error";
// The one check whose caption was written with a capital E.
constexpr std::string_view kConflictCaption = "Registration Error";

bool IsPrintable(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x21 && byte <= 0x7E;
}

bool IsPlain(char c) {
    return IsPrintable(c) && kAddressSpecials.find(c) == std::string_view::npos;
}

// Walks a quoted section whose opening quote is at `at`; answers the index
// just after its closing quote, or nothing when the section is malformed.
std::optional<std::size_t> SkipQuotedSection(std::string_view text, std::size_t at) {
    std::size_t i = at + 1;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') return i + 1;
        if (c == '\\') {
            if (i + 1 >= text.size()) return std::nullopt;
            const char escaped = text[i + 1];
            if (escaped != ' ' && !IsPrintable(escaped)) return std::nullopt;
            i += 2;
            continue;
        }
        if (!IsPrintable(c)) return std::nullopt;
        ++i;
    }
    return std::nullopt;
}

// The index of the "@" that ends a well-formed local part, or nothing.
std::optional<std::size_t> FindEndOfLocalPart(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"' && (i == 0 || text[i - 1] == '.')) {
            const auto after = SkipQuotedSection(text, i);
            if (!after || *after >= text.size()) return std::nullopt;
            if (text[*after] == '@') return *after;
            if (text[*after] != '.') return std::nullopt;
            i = *after + 1;
            continue;
        }
        if (c == '@') return i;
        if (!IsPlain(c)) return std::nullopt;
        ++i;
    }
    return std::nullopt;
}

bool IsValidDomain(std::string_view domain) {
    if (domain.empty()) return false;
    std::size_t dots = 0;
    for (std::size_t i = 0; i < domain.size(); ++i) {
        if (!IsPlain(domain[i])) return false;
        if (domain[i] != '.') continue;
        if (i == 0 || domain[i - 1] == '.') return false;
        ++dots;
    }
    return dots > 0;
}

}  // namespace

bool IsValidUserName(std::string_view user_name) {
    return user_name.find_first_of(kInvalidUserNameCharacters) == std::string_view::npos;
}

bool IsValidEmail(std::string_view address) {
    const auto at = FindEndOfLocalPart(address);
    if (!at || *at == 0 || address[*at - 1] == '.') return false;
    return IsValidDomain(address.substr(*at + 1));
}

std::optional<FormFault> CheckRegistrationForm(const RegistrationForm& form) {
    const bool other_state = form.state == kOtherStateItem;
    if (form.user_name.empty()) return FormFault{"Username cannot be blank.", kFormCaption};
    if (!IsValidUserName(form.user_name)) {
        return FormFault{"Username cannot contain invalid characters.", kFormCaption};
    }
    if (form.password.empty()) return FormFault{"Password cannot be blank.", kFormCaption};
    if (form.password != form.confirm_password) {
        return FormFault{"Password and Confirm Password Do not Match", kFormCaption};
    }
    if (form.email.empty()) return FormFault{"Email cannot be blank.", kFormCaption};
    if (!IsValidEmail(form.email)) {
        return FormFault{"Please enter a valid email 'name@example.com'.", kFormCaption};
    }
    if (form.first_name.empty()) return FormFault{"First Name cannot be blank.", kFormCaption};
    if (form.last_name.empty()) return FormFault{"Last Name cannot be blank.", kFormCaption};
    if (form.address.empty()) return FormFault{"Address cannot be blank.", kFormCaption};
    if (form.city.empty()) return FormFault{"City cannot be blank.", kFormCaption};
    if (form.state.empty()) return FormFault{"State cannot be blank.", kFormCaption};
    if (form.zip.empty()) {
        return FormFault{"Zip / Postal Code cannot be blank.", kFormCaption};
    }
    if (other_state && form.other_state.empty()) {
        return FormFault{"You entered other in the State field, please enter your state in the "
                         "field marked 'Other (State/Province').",
                         kFormCaption};
    }
    if (form.country.empty()) return FormFault{"Country cannot be blank.", kFormCaption};
    if (other_state && form.country == kUnitedStatesItem) {
        return FormFault{"You have entered 'Other' in the State field, please choose a country "
                         "other than the United States",
                         kConflictCaption};
    }
    return std::nullopt;
}

}  // namespace kx
