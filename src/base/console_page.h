#pragma once

// The service's pages the console shows; where each one is and where it loads
// is the console's business (app/console_pages.h).

namespace kx {

enum class ConsolePage {
    Main,
    CreateAccount,
    Timeout,
    SoftwareVersions,
    TourList,
    Standings,
};

}  // namespace kx
