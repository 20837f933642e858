#pragma once

// Windows backend: the console's dialog templates as the dialog manager
// reads them.
//
// Implements:
//  - a DLGTEMPLATE in memory from the core's template data, with its
//    controls' DLGITEMTEMPLATEs: the predefined classes by their atoms,
//    the progress bar by its class name, texts converted from the ANSI code
//    page, every item DWORD-aligned as the format demands. What it builds
//    is what a resource compiler makes of the same dialog.
//
// Missing: the browser control's own class; its item is a placeholder
// static the host replaces.

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/dialog_template.h"

namespace kx {

// The whole template, in 16-bit words (the format's own unit), ready for
// DialogBoxIndirectParamA. A placeholder item stands where a browser goes.
std::vector<std::uint16_t> BuildDialogTemplate(const DialogTemplate& dialog);

// The window class a control of this kind is made of.
std::u16string_view ControlClassName(ControlKind kind);

// The kind's own style bits that the template's style leaves implied.
std::uint32_t ControlKindStyle(ControlKind kind);

}  // namespace kx
