#include "app/page_commands.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/ascii.h"
#include "base/ansi_text.h"
#include "base/url_parts.h"

namespace kx {

namespace {

constexpr std::string_view kConsoleErrorCaption = "Console Error";
constexpr std::string_view kParameterTextCaption = "00";

class PageCommandReader {
public:
    PageCommandReader(Document& document, PageCommandSource source, KeyValueStore& params,
                      DialogHost& host)
        : document_(document), source_(source), params_(params), host_(host) {}

    std::optional<std::string> Read(std::string_view service_host);

private:
    std::optional<std::string> Fail(std::string_view what, HResult result);

    Document& document_;
    const PageCommandSource source_;
    KeyValueStore& params_;
    DialogHost& host_;
};

std::optional<std::string> PageCommandReader::Fail(std::string_view what, HResult result) {
    const char* entry = source_ == PageCommandSource::Click ? "OnClickHTMLDocument" : "DoPageLoad";
    char code[16];
    std::snprintf(code, sizeof code, "%x",
                  static_cast<unsigned>(static_cast<std::uint32_t>(result)));
    const std::string text = std::string(what) + ": 0x" + code + " (" + entry + ")";
    host_.ShowMessageBox(text, kConsoleErrorCaption, MessageBoxButtons::Ok);
    return std::nullopt;
}

std::optional<std::string> PageCommandReader::Read(std::string_view service_host) {
    if (const HResult result = document_.QueryHtmlDocument(); Failed(result)) {
        return Fail("QueryInterface for IHtmlDocment2 failed", result);
    }

    std::u16string url;
    if (Failed(document_.GetUrl(url)) || !IsServiceOrigin(WideToAnsi(url), service_host)) {
        return std::nullopt;
    }

    std::shared_ptr<Element> element;
    if (source_ == PageCommandSource::Click) {
        if (const HResult result = document_.GetActiveElement(element); Failed(result)) {
            return Fail("Unable to acquire active element", result);
        }
    } else if (const HResult result = document_.GetBody(element); Failed(result)) {
        return Fail("Unable to acquire body element", result);
    }
    // Nothing focused, or no body yet: there is no element to carry a command.
    if (!element) return std::nullopt;

    const std::u16string_view command_attribute =
        source_ == PageCommandSource::Click ? u"KXCommand" : u"KXOnLoad";
    std::optional<std::u16string> command;
    if (const HResult result =
            element->GetAttribute(command_attribute, kAttributeAsString, command);
        Failed(result)) {
        return Fail("Unable to acquire element attribute", result);
    }
    if (!command) return std::nullopt;
    std::string word = WideToAnsi(*command);

    std::optional<std::u16string> parameter_name;
    if (const HResult result =
            element->GetAttribute(u"KXParams", kAttributeAsString, parameter_name);
        Failed(result)) {
        return Fail("Unable to acquire element attribute", result);
    }
    if (!parameter_name) return word;

    std::shared_ptr<ElementCollection> all;
    if (const HResult result = document_.GetAll(all); Failed(result)) {
        return Fail("Unable to acquire IHTMLElementCollection", result);
    }
    std::shared_ptr<Element> parameter_element;
    // A missing parameter element is no error: the command runs with the
    // parameters it had.
    if (!all || Failed(all->Item(*parameter_name, 0, parameter_element)) || !parameter_element) {
        return word;
    }

    std::u16string parameter_text;
    if (const HResult result = parameter_element->GetInnerText(parameter_text); Failed(result)) {
        return Fail("Unable to get command parameters", result);
    }
    const std::string text = WideToAnsi(parameter_text);
    if (source_ == PageCommandSource::PageLoad) {
        host_.ShowMessageBox(text, kParameterTextCaption, MessageBoxButtons::Ok);
    }
    params_.Parse(text.c_str(), 1);
    return word;
}

}  // namespace

bool IsServiceOrigin(std::string_view url, std::string_view service_host) {
    // The transport's own reader, so the host judged is the host connected to.
    UrlParts parts;
    return SplitUrl(url, &parts) == UrlFault::None &&
           EqualsIgnoringAsciiCase(parts.host, service_host);
}

std::optional<std::string> ReadPageCommand(Document& document, PageCommandSource source,
                                           std::string_view service_host,
                                           KeyValueStore& params, DialogHost& host) {
    return PageCommandReader(document, source, params, host).Read(service_host);
}

}  // namespace kx
