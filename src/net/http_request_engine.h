#pragma once

// Runs one HTTP request at a time on a worker thread of its own, so that the
// dialog waiting for it stays responsive, sees the stages of the exchange and
// can cancel it. A form POST collects the reply body in memory; a download
// writes it to a local file. The owner hears of progress through posted
// messages and reads the results once WM_INET_DONE has arrived (or, without a
// window, once the engine is idle again).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "base/dialog_messages.h"
#include "base/manual_reset_event.h"
#include "net/internet_handle_slot.h"
#include "net/unique_file.h"
#include "platform/inet_api.h"
#include "platform/notifier.h"

namespace kx {

// What a download does with a file already at its local path.
enum class LocalFile {
    Replace,    // truncates it and writes over it
    CreateNew,  // writes nothing: the transfer ends as a file that cannot be opened does
};

enum class InternetAccess {
    Preconfigured,  // the system's internet settings, proxy included
    Direct,
};

class HttpRequestEngine {
public:
    explicit HttpRequestEngine(InetApi& inet);
    HttpRequestEngine(const HttpRequestEngine&) = delete;
    HttpRequestEngine& operator=(const HttpRequestEngine&) = delete;
    // Cancels a running request and waits for its worker before closing the handles.
    ~HttpRequestEngine();

    // Where the messages go; nullptr posts none. Set before starting a request.
    void SetNotificationWindow(std::shared_ptr<Notifier> window);

    // Closes any open handles and opens a new session; false leaves none open
    // and the error field unchanged.
    bool OpenSession(InternetAccess access);

    // Each returns true when the worker was started. False leaves the engine
    // idle with the error field set, except while a request still runs: then
    // nothing is touched.
    bool StartPost(std::string_view url, std::string_view form_data);
    // `creation` says whether a file already at `local_file` is replaced or
    // makes the download fail to write anything.
    bool StartDownload(std::string_view url, std::string_view local_file,
                       LocalFile creation = LocalFile::Replace);

    // Makes a running request end without WM_INET_DONE and waits at most five
    // seconds for its worker, counted from the request's first Cancel: a
    // dialog that cancels and then closes waits no longer than one Cancel.
    void Cancel();

    // The results of the latest request, to be read once it has ended.
    std::uint32_t StatusCode() const { return status_code_.load(); }
    std::uint32_t Error() const { return error_.load(); }
    const std::string& ResponseBody() const { return response_body_; }

    bool IsIdle() const { return idle_.IsSet(); }
    bool WaitUntilIdle(std::chrono::milliseconds timeout) const { return idle_.Wait(timeout); }

private:
    enum class Verb { Post, Get };
    enum class RequestEnd { Finished, Cancelled };
    struct Ending {
        RequestEnd how = RequestEnd::Finished;
        std::uint32_t error = 0;
    };
    struct ReadTarget;

    bool Start(Verb verb, std::string_view url, std::string_view body_or_file,
               FileAccess file_access = FileAccess::CreateForWriting);
    void RunWorker();
    Ending Transfer(ReadTarget& target, UniqueFile& file);
    // Nothing when the request goes on.
    std::optional<Ending> AfterFailedCall();
    std::optional<Ending> WaitForCompletion();
    void Finish(Ending ending, UniqueFile& file);
    void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);
    // The window a chunk's message goes to, looked up again only after the
    // owner has set another.
    Notifier* DataWindow(std::shared_ptr<Notifier>& cached, std::uint64_t& seen) const;

    static void InetCallBack(HInternet handle, std::uintptr_t context, std::uint32_t status,
                             const void* information, std::uint32_t information_length);
    void OnStatus(std::uint32_t status, const void* information, std::uint32_t information_length);

    InetApi& inet_;

    InternetHandleSlot session_;
    InternetHandleSlot connection_;
    InternetHandleSlot request_;
    ManualResetEvent completion_{InitialState::NotSignalled};
    ManualResetEvent cancel_{InitialState::NotSignalled};
    ManualResetEvent idle_{InitialState::Signalled};
    std::thread worker_;
    std::atomic<std::uint32_t> status_code_{0};
    std::atomic<std::uint32_t> error_{0};
    // Shared with the dialog that posts through it, so a late callback never
    // reaches a freed notifier.
    std::atomic<std::shared_ptr<Notifier>> window_;
    std::atomic<std::uint64_t> window_changes_{0};
    std::optional<std::chrono::steady_clock::time_point> cancel_deadline_;
    bool secure_ = false;
    bool write_to_file_ = false;
    FileAccess file_access_ = FileAccess::CreateForWriting;
    std::string verb_;
    std::string host_;
    std::string path_;
    std::string local_file_;
    std::string response_body_;
    std::string request_body_;
    std::string request_headers_;
};

}  // namespace kx
