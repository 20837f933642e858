#pragma once

// The registration form as the player filled it in, and the checks it must
// pass before anything is sent.

#include <optional>
#include <string>
#include <string_view>

namespace kx {

// Every field as read from its control; a list without a selection reads as
// an empty text.
struct RegistrationForm {
    std::string user_name;
    std::string password;
    std::string confirm_password;
    std::string email;
    std::string first_name;
    std::string last_name;
    std::string address;
    std::string address2;
    std::string city;
    std::string state;
    std::string other_state;
    std::string zip;
    std::string country;
    std::string about;
};

struct FormFault {
    std::string_view message;
    std::string_view caption;
};

// False when the name holds a character the service cannot take in a user
// name; every other byte, above 127 included, passes.
bool IsValidUserName(std::string_view user_name);

// A deliberately simple address check: a local part of plain characters or
// quoted sections, an "@", and a domain of plain characters with at least
// one dot and no empty label before the last dot.
bool IsValidEmail(std::string_view address);

// The first check the form fails, in the order the player is told about
// them, or nothing when the form may be sent.
std::optional<FormFault> CheckRegistrationForm(const RegistrationForm& form);

}  // namespace kx
