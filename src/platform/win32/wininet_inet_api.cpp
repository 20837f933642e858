#include "platform/win32/wininet_inet_api.h"

#include <windows.h>
#include <wininet.h>

#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "platform/win32/wininet_handle_table.h"

// The port's calls bear WinINet's names without the A; WinINet's headers
// would otherwise turn the definitions below into its own names.
#undef InternetOpen
#undef InternetCrackUrl
#undef InternetConnect
#undef HttpOpenRequest
#undef HttpSendRequest
#undef HttpSendRequestEx
#undef HttpEndRequest
#undef InternetSetStatusCallback

namespace kx {
namespace {

using wininet::CallbackBridge;
using wininet::HandleKind;
using wininet::HandleTable;
using wininet::UniqueHInternet;

static_assert(sizeof(DWORD) == sizeof(std::uint32_t), "counts are handed to WinINet in place");

// Certificate and redirect checks stay on whatever a caller asks for.
constexpr DWORD kIgnoreFlags = INTERNET_FLAG_IGNORE_CERT_CN_INVALID |
                               INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                               INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                               INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;

HINTERNET ToWin(HInternet handle) { return reinterpret_cast<HINTERNET>(handle); }

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

HInternet FailHandle(DWORD error) {
    SetLastError(error);
    return 0;
}

// A copy that WinINet can read to its NUL; nothing when the text holds one,
// which would cut it short unseen.
std::optional<std::string> CText(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(text);
}

// Null for the empty text, where WinINet then takes its default.
const char* OrDefault(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

bool FitsDword(std::size_t size) { return size <= std::numeric_limits<DWORD>::max(); }

std::string Part(const char* text, DWORD length) {
    return text != nullptr ? std::string(text, length) : std::string();
}

}  // namespace

class WinInetApi::Impl {
public:
    HInternet Open(std::string_view agent, std::uint32_t access_type, std::uint32_t flags) {
        const auto agent_text = CText(agent);
        if (!agent_text) return FailHandle(ERROR_INVALID_PARAMETER);
        UniqueHInternet session(::InternetOpenA(agent_text->c_str(), access_type, nullptr, nullptr,
                                                flags & INTERNET_FLAG_ASYNC));
        if (!session) return 0;
        return table_.Add(0, HandleKind::Session, std::move(session), nullptr, nullptr);
    }

    HInternet Connect(HInternet session, std::string_view host, std::uint16_t port,
                      std::string_view user, std::string_view password, std::uint32_t service,
                      std::uint32_t flags, std::uintptr_t context) {
        const auto parent = Expect(session, HandleKind::Session);
        if (!parent) return 0;
        const auto host_text = CText(host);
        const auto user_text = CText(user);
        const auto password_text = CText(password);
        if (!host_text || !user_text || !password_text) return FailHandle(ERROR_INVALID_PARAMETER);
        auto bridge = BridgeFor(parent->callback, context);
        const DWORD_PTR win_context = bridge ? bridge->WinContext() : 0;
        UniqueHInternet connection(::InternetConnectA(
            ToWin(session), host_text->c_str(), port, OrDefault(*user_text),
            OrDefault(*password_text), service, flags, win_context));
        return Adopt(session, HandleKind::Connection, std::move(connection), parent->callback,
                     std::move(bridge));
    }

    HInternet OpenRequest(HInternet connection, std::string_view verb, std::string_view path,
                          std::uint32_t flags, std::uintptr_t context) {
        const auto parent = Expect(connection, HandleKind::Connection);
        if (!parent) return 0;
        const auto verb_text = CText(verb);
        const auto path_text = CText(path);
        if (!verb_text || !path_text) return FailHandle(ERROR_INVALID_PARAMETER);
        auto bridge = BridgeFor(parent->callback, context);
        const DWORD_PTR win_context = bridge ? bridge->WinContext() : 0;
        UniqueHInternet request(::HttpOpenRequestA(ToWin(connection), OrDefault(*verb_text),
                                                   OrDefault(*path_text), nullptr, nullptr,
                                                   nullptr, flags & ~kIgnoreFlags, win_context));
        return Adopt(connection, HandleKind::Request, std::move(request), parent->callback,
                     std::move(bridge));
    }

    bool SetCallback(HInternet handle, InternetStatusCallback callback) {
        return table_.SetCallback(handle, callback);
    }

    bool Close(HInternet handle) { return table_.Close(handle); }

    std::shared_ptr<CallbackBridge> BridgeOf(HInternet handle) const {
        return table_.BridgeOf(handle);
    }

private:
    // The handle's entry when it is of `kind`; otherwise the thread's error
    // says why and nothing is returned.
    std::optional<HandleTable::Parent> Expect(HInternet handle, HandleKind kind) {
        const auto found = table_.Find(handle);
        if (!found) {
            SetLastError(ERROR_INVALID_HANDLE);
            return std::nullopt;
        }
        if (found->kind != kind) {
            SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
            return std::nullopt;
        }
        return found;
    }

    // A handle with context 0 gets no callbacks from WinINet, so no bridge.
    static std::shared_ptr<CallbackBridge> BridgeFor(InternetStatusCallback callback,
                                                     std::uintptr_t context) {
        if (context == 0) return nullptr;
        return CallbackBridge::Make(callback, context);
    }

    HInternet Adopt(HInternet parent, HandleKind kind, UniqueHInternet handle,
                    InternetStatusCallback callback, std::shared_ptr<CallbackBridge> bridge) {
        if (!handle) {
            const DWORD error = GetLastError();
            if (bridge) bridge->Abandon();
            return FailHandle(error);
        }
        return table_.Add(parent, kind, std::move(handle), callback, std::move(bridge));
    }

    HandleTable table_;
};

WinInetApi::WinInetApi() : impl_(std::make_unique<Impl>()) {}

WinInetApi::~WinInetApi() = default;

std::uint32_t WinInetApi::LastError() { return wininet::WinInetError(GetLastError()); }

HInternet WinInetApi::InternetOpen(std::string_view agent, std::uint32_t access_type,
                                   std::uint32_t flags) {
    return impl_->Open(agent, access_type, flags);
}

bool WinInetApi::InternetSetStatusCallback(HInternet session, InternetStatusCallback callback) {
    return impl_->SetCallback(session, callback);
}

bool WinInetApi::InternetCrackUrl(std::string_view url, UrlComponents* components) {
    if (components == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const auto text = CText(url);
    if (!text || text->empty() || !FitsDword(text->size())) {
        return Fail(ERROR_INTERNET_INVALID_URL);
    }
    // Lengths of 1 with no buffers ask for pointers into the text.
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = 1;
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!::InternetCrackUrlA(text->c_str(), static_cast<DWORD>(text->size()), 0, &parts)) {
        return false;
    }
    components->scheme = Part(parts.lpszScheme, parts.dwSchemeLength);
    components->host = Part(parts.lpszHostName, parts.dwHostNameLength);
    components->port = parts.nPort;
    components->path = Part(parts.lpszUrlPath, parts.dwUrlPathLength) +
                       Part(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    return true;
}

HInternet WinInetApi::InternetConnect(HInternet session, std::string_view host, std::uint16_t port,
                                      std::string_view user, std::string_view password,
                                      std::uint32_t service, std::uint32_t flags,
                                      std::uintptr_t context) {
    return impl_->Connect(session, host, port, user, password, service, flags, context);
}

HInternet WinInetApi::HttpOpenRequest(HInternet connection, std::string_view verb,
                                      std::string_view path, std::uint32_t flags,
                                      std::uintptr_t context) {
    return impl_->OpenRequest(connection, verb, path, flags, context);
}

bool WinInetApi::HttpSendRequest(HInternet request, std::string_view headers,
                                 std::string_view body) {
    if (!FitsDword(headers.size()) || !FitsDword(body.size())) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    // A pending send reads the texts later, so it reads the bridge's copies.
    std::string_view sent_headers = headers;
    std::string_view sent_body = body;
    if (const auto bridge = impl_->BridgeOf(request)) {
        const auto [kept_headers, kept_body] = bridge->KeepSend(headers, body);
        sent_headers = *kept_headers;
        sent_body = *kept_body;
    }
    return ::HttpSendRequestA(ToWin(request), sent_headers.empty() ? nullptr : sent_headers.data(),
                              static_cast<DWORD>(sent_headers.size()),
                              sent_body.empty() ? nullptr : const_cast<char*>(sent_body.data()),
                              static_cast<DWORD>(sent_body.size())) != FALSE;
}

bool WinInetApi::HttpQueryInfoNumber(HInternet request, std::uint32_t info_level,
                                     std::uint32_t* number) {
    if (number == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    // Always as a number: a text would not fit the four bytes.
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!::HttpQueryInfoA(ToWin(request), info_level | HTTP_QUERY_FLAG_NUMBER, &value, &size,
                          nullptr)) {
        return false;
    }
    *number = value;
    return true;
}

bool WinInetApi::InternetReadFile(HInternet request, void* buffer, std::uint32_t to_read,
                                  std::uint32_t* read) {
    if (buffer == nullptr || read == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const auto bridge = impl_->BridgeOf(request);
    if (!bridge) {
        // No callback, so nothing can be pending: WinINet fills the caller's.
        return ::InternetReadFile(ToWin(request), buffer, to_read, reinterpret_cast<DWORD*>(read)) !=
               FALSE;
    }
    const CallbackBridge::ReadSpace space = bridge->BeginRead(buffer, to_read, read);
    if (!::InternetReadFile(ToWin(request), space.buffer, to_read, space.count)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) bridge->DropRead();
        SetLastError(error);
        return false;
    }
    bridge->FinishRead();
    return true;
}

bool WinInetApi::HttpSendRequestEx(HInternet request, std::uint32_t total_body_size) {
    INTERNET_BUFFERSA buffers{};
    buffers.dwStructSize = sizeof buffers;
    buffers.dwBufferTotal = total_body_size;
    return ::HttpSendRequestExA(ToWin(request), &buffers, nullptr, HSR_INITIATE, 0) != FALSE;
}

bool WinInetApi::InternetWriteFile(HInternet request, const void* data, std::uint32_t size,
                                   std::uint32_t* written) {
    if ((data == nullptr && size != 0) || written == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    DWORD count = 0;
    if (!::InternetWriteFile(ToWin(request), data, size, &count)) return false;
    *written = count;
    return true;
}

bool WinInetApi::HttpEndRequest(HInternet request) {
    return ::HttpEndRequestA(ToWin(request), nullptr, 0, 0) != FALSE;
}

bool WinInetApi::InternetCloseHandle(HInternet handle) { return impl_->Close(handle); }

}  // namespace kx
