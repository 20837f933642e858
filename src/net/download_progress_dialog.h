#pragma once

// Fetches one file into a local path while a small modal window shows what
// is coming, how much has arrived and, once the reply has told its size, how
// far along it is. The player can cancel; a partly written file stays.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/dialog.h"
#include "net/http_request_engine.h"
#include "platform/dialog_host.h"
#include "platform/inet_api.h"

namespace kx {

// "1023 bytes", "1 KB" (truncated), "1.50 MB" (rounded).
std::string FormatByteCount(std::uint32_t bytes);

class DownloadProgressDialog final : public Dialog {
public:
    explicit DownloadProgressDialog(InetApi& inet);

    // 1 when the transfer ended (whatever it brought), 2 when the player
    // cancelled or it could not start, -1 when the window could not be made.
    int RunDownload(std::string_view url, std::string_view local_path,
                    std::string_view display_name, WindowSystem& windows, WindowId parent,
                    LocalFile creation = LocalFile::Replace);

private:
    void OnInit() override;
    void OnCommand(int id, int notification) override;
    void OnInetData(std::uint32_t bytes, std::uint32_t content_length) override;
    void OnInetDone() override;
    void OnClose() override;

    // The engine's error as "%d" shows it, a signed decimal.
    int ErrorAsShown() const;
    void ShowFailure(std::string_view text);

    HttpRequestEngine engine_;
    std::string url_;
    std::string local_path_;
    LocalFile creation_ = LocalFile::Replace;
    std::string display_name_;
    std::uint32_t received_ = 0;
    std::uint32_t expected_ = 0;  // 0 until a reply announces its size
};

}  // namespace kx
