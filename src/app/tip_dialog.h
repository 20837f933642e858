#pragma once

// The tip window: a page of the service in a browser of its own, at the
// size the page asked for, with "Don't show this screen again" and Close.

#include <cstdint>
#include <string>

#include "base/dialog.h"

namespace kx {

// One tip as the TIP command asks for it; the window reports the check box back.
struct TipRequest {
    std::int32_t bShowAgain = 1;  // 0 when the player ticked the check box
    std::string url;
    std::int32_t width = -1;   // client pixels; not above 0 when not given
    std::int32_t height = -1;  // of the page, without the row beneath it
};

class TipDialog final : public Dialog {
public:
    // Without a request the window says so and ends with 0. RunModal
    // (inherited) answers 1 once the player has closed the tip.
    explicit TipDialog(TipRequest* request);

private:
    void OnInit() override;
    void OnCommand(int id, int notification) override;

    void LayOut(std::int32_t width, std::int32_t height);

    TipRequest* request_;
};

}  // namespace kx
