#pragma once

// The version report: form data naming the console's version and build and
// the version of every installed game client, sent with every page
// navigation so the service can offer upgrades.

#include <string>

#include "platform/registry.h"

namespace kx {

inline constexpr int kConsoleVersionMajor = 2;
inline constexpr int kConsoleVersionMinor = 1;
inline constexpr int kConsoleBuildNumber = 0;

// Replaces `report` with the console's two pairs and one pair per game client
// under the Clients key that has a readable "VERSION" of at most 24 characters.
void BuildVersionReport(Registry& registry, std::string& report);

}  // namespace kx
