#pragma once

// The INSTALL and UPGRADE commands: after the player has confirmed, an
// installer named by the page is fetched into a directory of the user's own
// (the temporary directory where that is already private), as a new file,
// made executable and started; the console then either closes at once or
// waits for it, rebuilds its version report and reloads its last page so the
// service sees the result.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/console_window.h"
#include "base/ports.h"

namespace kx {

enum class InstallKind { Install, Upgrade };

// The longest local path the installer may be written to (MAX_PATH less its
// terminating zero).
inline constexpr std::size_t kMostInstallerPathChars = 259;

// Where the installer of `url` goes: `temp_directory` (which ends in its
// separator) followed by the URL's part after its last backslash, or after
// its last "/" when it holds no backslash, a query included. None when the
// URL holds neither, when that name would not stay a file of the directory
// itself (empty, "." or "..", or holding a "/"), or when the path would be
// longer than kMostInstallerPathChars.
std::optional<std::string> InstallerLocalPath(std::string_view temp_directory,
                                              std::string_view url);

// Reads URL, TITLE, RESTART and INSTALLCONFIRM or UPGRADECONFIRM from the
// console's params. Needs the internet, window, process, file and registry
// ports. While the started installer runs, the console takes no input and no
// command, as a modal wait does; a backend may keep its windows painted.
void RunInstallCommand(ConsoleWindow& console, InstallKind kind, Ports& ports);

}  // namespace kx
