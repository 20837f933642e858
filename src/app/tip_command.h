#pragma once

// The TIP command: shows a page of the service in the tip window, at most
// once per run for each tip name and never again once the player has asked
// not to see it, which the registry remembers under the tips key.

#include <string>
#include <vector>

#include "base/console_window.h"
#include "base/ports.h"

namespace kx {

// Every tip name a TIP command got past its parameter checks with in this
// run, shown or not; never shortened.
using ShownTips = std::vector<std::string>;

// The console-wide list, empty when the process starts.
ShownTips& TheShownTips();

// Reads URL, TIPNAME, WIDTH and HEIGHT from the console's params. Needs the
// registry and window ports.
void RunTipCommand(ConsoleWindow& console, Ports& ports, ShownTips& shown_tips = TheShownTips());

}  // namespace kx
