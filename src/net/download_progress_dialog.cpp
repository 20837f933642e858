#include "net/download_progress_dialog.h"

#include <cstdint>
#include <cstdio>
#include <limits>

#include "resources/download_template.h"

namespace kx {

namespace {

using namespace download_control;

constexpr double kKilobyte = 1024.0;
constexpr double kMegabyte = 1048576.0;
constexpr std::string_view kFailureCaption = "Download Error";

int Percent(std::uint32_t received, std::uint32_t expected) {
    const double percent = static_cast<double>(received) / static_cast<double>(expected) * 100.0;
    // A reply far longer than it announced must not overflow the conversion.
    constexpr double kMost = static_cast<double>(std::numeric_limits<int>::max());
    return percent >= kMost ? std::numeric_limits<int>::max() : static_cast<int>(percent);
}

}  // namespace

std::string FormatByteCount(std::uint32_t bytes) {
    const double kilobytes = static_cast<double>(bytes) / kKilobyte;
    const double megabytes = static_cast<double>(bytes) / kMegabyte;
    char text[32];
    if (megabytes >= 1.0) {
        std::snprintf(text, sizeof text, "%.02f MB", megabytes);
    } else if (kilobytes >= 1.0) {
        std::snprintf(text, sizeof text, "%d KB", static_cast<int>(kilobytes));
    } else {
        std::snprintf(text, sizeof text, "%d bytes", static_cast<int>(bytes));
    }
    return text;
}

DownloadProgressDialog::DownloadProgressDialog(InetApi& inet)
    : Dialog(DownloadTemplate()), engine_(inet) {}

int DownloadProgressDialog::RunDownload(std::string_view url, std::string_view local_path,
                                        std::string_view display_name, WindowSystem& windows,
                                        WindowId parent, LocalFile creation) {
    url_ = url;
    local_path_ = local_path;
    creation_ = creation;
    display_name_ = display_name;
    received_ = 0;
    expected_ = 0;
    return RunModal(windows, parent);
}

void DownloadProgressDialog::OnInit() {
    host().CenterOnOwner();
    engine_.SetNotificationWindow(host().Poster());
    char failure[96];
    if (!engine_.OpenSession(InternetAccess::Preconfigured)) {
        std::snprintf(failure, sizeof failure,
                      "Unable to initialize internet connection. Error: %d", ErrorAsShown());
        ShowFailure(failure);
        return;
    }
    if (!engine_.StartDownload(url_, local_path_, creation_)) {
        std::snprintf(failure, sizeof failure, "Unable to initialize download. Error: %d",
                      ErrorAsShown());
        ShowFailure(failure);
        return;
    }
    host().SetItemText(kFileName, display_name_);
    host().SetItemText(kProgressText, "");
    host().SetProgressPosition(kProgressBar, 0);
    host().SetProgressRange(kProgressBar, 0, 100);
    host().ShowItem(kProgressBar, Visibility::Hidden);
}

int DownloadProgressDialog::ErrorAsShown() const { return static_cast<int>(engine_.Error()); }

void DownloadProgressDialog::ShowFailure(std::string_view text) {
    host().ShowMessageBox(text, kFailureCaption, MessageBoxButtons::Ok);
    host().EndDialog(2);
}

void DownloadProgressDialog::OnCommand(int id, int /*notification*/) {
    if (id != kIdCancel) return;
    engine_.Cancel();
    host().EndDialog(2);
}

void DownloadProgressDialog::OnInetData(std::uint32_t bytes, std::uint32_t content_length) {
    received_ += bytes;
    if (content_length != 0 && expected_ == 0) {
        expected_ = content_length;
        host().ShowItem(kProgressBar, Visibility::Shown);
    }
    const std::string received_text = FormatByteCount(received_);
    if (expected_ == 0) {
        host().SetItemText(kProgressText, received_text);
        return;
    }
    const int percent = Percent(received_, expected_);
    host().SetProgressPosition(kProgressBar, percent);
    const std::string expected_text = FormatByteCount(expected_);
    char text[96];
    std::snprintf(text, sizeof text, "%s of %s (%d%%)", received_text.c_str(),
                  expected_text.c_str(), percent);
    host().SetItemText(kProgressText, text);
}

void DownloadProgressDialog::OnInetDone() { host().EndDialog(1); }

void DownloadProgressDialog::OnClose() {
    // A transfer still running would otherwise post to a window that is gone.
    if (!engine_.IsIdle()) engine_.Cancel();
    engine_.SetNotificationWindow(nullptr);
}

}  // namespace kx
