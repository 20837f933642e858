#include "app/tip_command.h"

#include <algorithm>
#include <cstdint>

#include "base/captions.h"
#include "base/leading_integer.h"
#include "base/own_settings.h"
#include "base/registry_paths.h"
#include "app/tip_dialog.h"

namespace kx {

namespace {

// The value's data only has to fit; its presence is what suppresses the tip.
constexpr std::uint32_t kSuppressionReadSize = 25;
constexpr std::uint8_t kSuppressedData[] = {'1', '\0'};

bool IsSuppressed(Registry& registry, const std::string& tip_name) {
    OwnSettingsReader key(registry, kTipsKey);
    std::uint8_t data[kSuppressionReadSize];
    std::uint32_t size = kSuppressionReadSize;
    return key.QueryValue(tip_name, nullptr, data, &size) == kErrorSuccess;
}

void Suppress(Registry& registry, const std::string& tip_name) {
    UniqueRegKey key(registry);
    // A choice that cannot be stored is simply not remembered.
    if (CreateOwnSettingsKey(registry, kTipsKey, &key) != kErrorSuccess) return;
    registry.SetValue(key.get(), tip_name, RegType::Sz, kSuppressedData,
                      static_cast<std::uint32_t>(sizeof kSuppressedData));
}

}  // namespace

ShownTips& TheShownTips() {
    static ShownTips shown_tips;
    return shown_tips;
}

void RunTipCommand(ConsoleWindow& console, Ports& ports, ShownTips& shown_tips) {
    TipRequest request;
    if (!console.params.Lookup("URL", request.url)) {
        console.ShowMessage("URL parameter not supplied for TIP command.", kCommandErrorCaption);
        return;
    }
    std::string tip_name;
    if (!console.params.Lookup("TIPNAME", tip_name)) {
        console.ShowMessage("TIPNAME parameter not supplied for TIP command.",
                            kCommandErrorCaption);
        return;
    }
    if (std::find(shown_tips.begin(), shown_tips.end(), tip_name) != shown_tips.end()) return;
    shown_tips.push_back(tip_name);
    if (IsSuppressed(*ports.registry, tip_name)) return;

    std::string width;
    if (console.params.Lookup("WIDTH", width)) request.width = LeadingInteger(width);
    std::string height;
    if (console.params.Lookup("HEIGHT", height)) request.height = LeadingInteger(height);

    TipDialog dialog(&request);
    dialog.RunModal(*ports.windows, console.Window());
    if (request.bShowAgain == 0) Suppress(*ports.registry, tip_name);
}

}  // namespace kx
