#include "app/console_pages.h"

#include "net/service_interface.h"

namespace kx {

std::string ConsolePageUrl(Registry& registry, ConsolePage page) {
    std::string_view scheme = "http://";
    std::string_view path;
    switch (page) {
    case ConsolePage::Main:
        path = kTournamentConsolePage;
        break;
    case ConsolePage::CreateAccount:
        scheme = "https://";
        path = kCreateAccountPage;
        break;
    case ConsolePage::Timeout:
        scheme = "https://";
        path = kTimeoutPage;
        break;
    case ConsolePage::SoftwareVersions:
        path = kSoftwareVersionsPage;
        break;
    case ConsolePage::TourList:
        path = kTourListFramePage;
        break;
    case ConsolePage::Standings:
        path = kStandingsPage;
        break;
    }
    return std::string(scheme) + ServiceHost(registry) + std::string(path);
}

std::optional<std::string_view> NavigationTarget(Registry& registry, std::string_view url) {
    for (const ConsolePage page : {ConsolePage::Main, ConsolePage::CreateAccount,
                                   ConsolePage::Timeout, ConsolePage::SoftwareVersions}) {
        if (url == ConsolePageUrl(registry, page)) return std::nullopt;
    }
    return kMainFrameName;
}

std::optional<std::string_view> RefreshTarget(Registry& registry, std::string_view url) {
    if (url == ConsolePageUrl(registry, ConsolePage::Main)) return std::nullopt;
    return kMainFrameName;
}

}  // namespace kx
