#pragma once

// The page command protocol: a clicked element's "KXCommand" or a loaded
// page's "KXOnLoad" names a console command, and "KXParams" names an element
// whose text holds its parameters.

#include <optional>
#include <string>
#include <string_view>

#include "base/key_value_store.h"
#include "platform/browser.h"
#include "platform/dialog_host.h"

namespace kx {

enum class PageCommandSource { Click, PageLoad };

// True when a document loaded from `url` may issue commands: its host is the
// service's, compared without regard to case, whatever the scheme and port.
// A page of any other origin must not make the console download and run a
// program.
bool IsServiceOrigin(std::string_view url, std::string_view service_host);

// Reads the command of the document's active element (a click) or of its
// body (a page load). When a parameter element is found its text replaces
// `params`; a page load first shows that text in a box captioned "00".
// Each document-model failure is shown once on `host`. Returns the command
// word, or nothing when no command is to run.
std::optional<std::string> ReadPageCommand(Document& document, PageCommandSource source,
                                           std::string_view service_host,
                                           KeyValueStore& params, DialogHost& host);

}  // namespace kx
