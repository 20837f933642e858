#pragma once

// The service's pages the console shows, their addresses and where each is
// loaded: the whole window or the main page's frame.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/console_page.h"
#include "platform/registry.h"

namespace kx {


// The frame of the console main page that holds every other page.
inline constexpr std::string_view kMainFrameName = "maintable";

// Every navigation posts its form data with this header.
inline constexpr std::string_view kFormContentTypeHeader =
    "Content-Type: application/x-www-form-urlencoded\r\n";

// No history entry and no write to the cache.
inline constexpr std::int32_t kConsoleNavigationFlags = 10;

// Scheme, the service's host and the page's path.
std::string ConsolePageUrl(Registry& registry, ConsolePage page);

// Where a navigation to `url` goes: none (the whole window) for the four
// whole-window pages, otherwise the main page's frame.
std::optional<std::string_view> NavigationTarget(Registry& registry, std::string_view url);

// Where a reload goes: only the main page fills the whole window.
std::optional<std::string_view> RefreshTarget(Registry& registry, std::string_view url);

}  // namespace kx
