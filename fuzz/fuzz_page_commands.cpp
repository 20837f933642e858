// A page's command: the document's address, the element's command and
// parameter attributes, the parameter element's text and the service host
// from the settings, as a hostile page or a damaged settings store gives them.
//
// Input, NUL-separated: the page's URL, the stored service host, the source
// ("L" a page load, anything else a click), the command attribute, the
// KXParams attribute, the id of the element that holds the parameters, and
// that element's text.
//
// Implements:
//  - a command is read only from a page of the service's own host;
//  - the parameters are replaced only by a parameter element's text, parsed
//    as a record, and a refused page leaves them alone;
//  - the page addresses and their targets hold for any stored host.

#include <cstdint>
#include <map>
#include <string>

#include "app/console_pages.h"
#include "app/page_commands.h"
#include "base/ansi_text.h"
#include "base/registry_paths.h"
#include "base/url_parts.h"
#include "fuzz_input.h"
#include "net/service_interface.h"
#include "platform/common/memory_registry.h"
#include "resources/console_template.h"
#include "support/scripted_browser.h"
#include "support/scripted_window_system.h"

namespace {

using kx::fuzz::FuzzWide;

bool HostMatches(const std::u16string& url, const std::string& host) {
    const std::string ansi = kx::WideToAnsi(url);
    kx::UrlParts parts;
    if (kx::SplitUrl(ansi, &parts) != kx::UrlFault::None) return false;
    if (parts.host.size() != host.size()) return false;
    for (std::size_t i = 0; i < host.size(); ++i) {
        auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        if (fold(parts.host[i]) != fold(host[i])) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto fields = kx::fuzz::Fields(kx::fuzz::AsText(data, size), '\0');
    auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : std::string_view(); };

    kx::MemoryRegistry registry;
    if (fields.size() > 1) {
        kx::KeyPath general;
        kx::ParseKeyPath(kx::kGeneralKey, &general);
        std::string stored(field(1));
        stored += '\0';
        registry.tree(kx::Hive::LocalMachine)
            .Create(general)
            .SetValue(kx::kServiceHostValue, kx::RegType::Sz, stored);
    }
    const std::string host = kx::ServiceHost(registry);
    KX_FUZZ_CHECK(!host.empty());

    const std::u16string url = FuzzWide(field(0));
    const auto source = field(2) == "L" ? kx::PageCommandSource::PageLoad : kx::PageCommandSource::Click;
    auto page = std::make_shared<kx::test::ScriptedDocument>(url);
    kx::test::ScriptedElement& element = page->Body().AddChild();
    const std::u16string command_attribute =
        source == kx::PageCommandSource::Click ? u"KXCommand" : u"KXOnLoad";
    kx::test::ScriptedElement& carrier = source == kx::PageCommandSource::Click ? element : page->Body();
    if (fields.size() > 3) carrier.Set(command_attribute, FuzzWide(field(3)));
    if (fields.size() > 4) carrier.Set(u"KXParams", FuzzWide(field(4)));
    if (fields.size() > 5) {
        page->Body().AddChild().Set(u"id", FuzzWide(field(5))).SetText(FuzzWide(field(6)));
    }
    page->SetActiveElement(&element);

    kx::test::ScriptedWindowSystem windows;
    kx::test::ScriptedDialog dialog(windows, kx::ConsoleTemplate(), 1, 0);
    kx::KeyValueStore params;
    params.Parse("OLD=1\r\n", 1);
    const auto before = params.Values();

    const auto command = kx::ReadPageCommand(*page, source, host, params, dialog);
    const bool from_service = HostMatches(url, host);
    KX_FUZZ_CHECK(kx::IsServiceOrigin(kx::WideToAnsi(url), host) == from_service);
    if (!from_service) {
        KX_FUZZ_CHECK(!command);
        KX_FUZZ_CHECK(params.Values() == before);
    }
    if (params.Values() != before) {
        kx::KeyValueStore expected;
        expected.Parse(kx::WideToAnsi(FuzzWide(field(6))).c_str(), 1);
        KX_FUZZ_CHECK(params.Values() == expected.Values());
    }

    // Where pages go, for the address of this page.
    const std::string ansi_url = kx::WideToAnsi(url);
    (void)kx::NavigationTarget(registry, ansi_url);
    (void)kx::RefreshTarget(registry, ansi_url);
    const std::string main_page = kx::ConsolePageUrl(registry, kx::ConsolePage::Main);
    KX_FUZZ_CHECK(!kx::NavigationTarget(registry, main_page));
    KX_FUZZ_CHECK(!kx::RefreshTarget(registry, main_page));
    KX_FUZZ_CHECK(kx::IsServiceOrigin(main_page, host));
    return 0;
}
