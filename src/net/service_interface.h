#pragma once

// What the console calls on the tournament service: its web host and paths.

#include <string>
#include <string_view>

#include "platform/registry.h"

namespace kx {

inline constexpr std::string_view kDefaultServiceHost = "console.kestrix.com";

inline constexpr std::string_view kCommandPath = "/ws_Console/command.asp";
inline constexpr std::string_view kCreateAccountCommandPath =
    "/ws_console/createaccount/createaccount.asp";
inline constexpr std::string_view kTournamentConsolePage = "/ws_Console/tournamentconsole.asp";
inline constexpr std::string_view kSoftwareVersionsPage = "/ws_Console/softwareversions.asp";
inline constexpr std::string_view kTourListFramePage = "/ws_Console/tourlistframe.asp";
inline constexpr std::string_view kStandingsPage = "/ws_Console/standings_container.asp";
inline constexpr std::string_view kCreateAccountPage = "/ws_Console/createaccount/default.asp";
inline constexpr std::string_view kTimeoutPage = "/ws_Console/timeout.asp";
inline constexpr std::string_view kGameLogPathFormat = "GAMELOGS/%d_%s.txt";

// Longest host name DNS allows.
inline constexpr std::size_t kMaxHostNameLength = 253;

// True for a plain DNS host name or IPv4 address: letters, digits, hyphens
// and dots, no empty label. Anything else must never reach a URL.
bool IsValidHostName(std::string_view host);

// The service's web host: the "ServiceHost" text under the general settings
// key when it holds a valid host name, else the compiled-in host.
std::string ServiceHost(Registry& registry);

}  // namespace kx
