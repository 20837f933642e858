#pragma once

// The fixed choices and the agreement text of the registration form. The
// chosen items' texts are sent to the service as they stand, so they must
// not be tidied.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace kx {

// The agreement was laid out to fit this buffer, terminator included.
inline constexpr std::size_t kAgreementCapacity = 2048;

inline constexpr std::string_view kOtherStateItem = "OTHER";
inline constexpr std::string_view kUnitedStatesItem = "United States";

// 51 items: "OTHER", then the fifty states in alphabetical order.
std::span<const std::string_view> StateItems();
// 250 items, "United States" first.
std::span<const std::string_view> CountryItems();
// The 5 answers to "How did you hear about us?".
std::span<const std::string_view> HearAboutItems();

// The text the player agrees to, lines ended by CR LF.
std::string RegistrationAgreement();

}  // namespace kx
