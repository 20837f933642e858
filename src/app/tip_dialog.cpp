#include "app/tip_dialog.h"

#include <algorithm>

#include "resources/tip_template.h"

namespace kx {

namespace {

using namespace tip_control;

// The row beneath the page that holds the check box and Close.
constexpr int kButtonRowHeight = 30;
constexpr int kRightMargin = 5;
constexpr int kCloseTopGap = 2;
// A page may ask for any size; no screen is larger than this, and the
// layout's sums stay far from overflowing.
constexpr std::int32_t kMostPixels = 32767;

PixelRect At(int left, int top, const PixelRect& size_of) {
    return {left, top, left + size_of.width(), top + size_of.height()};
}

}  // namespace

TipDialog::TipDialog(TipRequest* request) : Dialog(TipTemplate()), request_(request) {}

void TipDialog::OnInit() {
    if (request_ == nullptr) {
        host().ShowMessageBox("No parameters passed to tip dialog", "Error",
                              MessageBoxButtons::Ok);
        host().EndDialog(0);
        return;
    }
    if (request_->width > 0 || request_->height > 0) LayOut(request_->width, request_->height);
    // The tip's page is shown and nothing more: its browser takes no page commands.
    if (Browser* browser = host().GetBrowser(kBrowser)) browser->Navigate(request_->url);
    host().CenterOnOwner();
}

void TipDialog::LayOut(std::int32_t width, std::int32_t height) {
    // A size given for one side only keeps the template's other side; taken
    // as it stands, the window would be a sliver with Close outside it.
    const PixelRect client = host().GetClientRect();
    width = width > 0 ? std::min(width, kMostPixels) : client.width();
    height = height > 0 ? std::min(height, kMostPixels) : client.height() - kButtonRowHeight;

    host().SetClientSize(width, height + kButtonRowHeight);
    host().MoveItem(kBrowser, {0, 0, width - kRightMargin, height});
    host().MoveItem(kDontShowAgain, At(0, height, host().GetItemRect(kDontShowAgain)));
    const PixelRect close = host().GetItemRect(kClose);
    host().MoveItem(kClose,
                    At(width - close.width() - kRightMargin, height + kCloseTopGap, close));
}

void TipDialog::OnCommand(int id, int /*notification*/) {
    // Escape arrives as Cancel, which the tip does not handle: Close is the
    // only way out.
    if (id != kClose || request_ == nullptr) return;
    request_->bShowAgain = host().GetCheck(kDontShowAgain) == CheckState::Checked ? 0 : 1;
    host().EndDialog(1);
}

}  // namespace kx
