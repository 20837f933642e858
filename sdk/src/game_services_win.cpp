// The game SDK on Windows: KXCommServices over COM, the console being the
// local server of class KXCommServices.

#include "kestrix/game_services.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

// The interface's declaration as the console's interface description makes
// it; COM interfaces have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#include "kestrix_console.h"
#pragma GCC diagnostic pop

namespace kestrix {
namespace {

static_assert(sizeof(::KXTOURINFOSTRUCT) == sizeof(KXTOURINFOSTRUCT), "the record is 184 bytes");

// The game's UTF-8 as the console's UTF-16; bytes that are not UTF-8 become
// U+FFFD as the system converts them.
std::wstring Wide(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(std::min<std::size_t>(text.size(), 0x7FFFFFFF));
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string Narrow(const wchar_t* text, std::size_t length) {
    if (length == 0) return {};
    const int size = static_cast<int>(length);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, size, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

}  // namespace

std::string VerifyFilePath() {
    char folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof folder, folder);
    std::string path = length > 0 && length < sizeof folder ? std::string(folder, length) : ".\\";
    if (path.back() != '\\' && path.back() != '/') path += '\\';
    return path + kVerifyFileName;
}

std::optional<KXCommServices> KXCommServices::Create(std::int32_t* hr,
                                                     std::chrono::milliseconds /*timeout*/) {
    std::int32_t result = S_OK;
    if (hr == nullptr) hr = &result;
    // A thread that chose its apartment already keeps it.
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool owns_com = SUCCEEDED(init);
    if (FAILED(init) && init != RPC_E_CHANGED_MODE) {
        *hr = init;
        return std::nullopt;
    }
    IKXServer* server = nullptr;
    const HRESULT created = CoCreateInstance(CLSID_KXCommServices, nullptr, CLSCTX_LOCAL_SERVER,
                                             IID_IKXServer, reinterpret_cast<void**>(&server));
    if (FAILED(created) || server == nullptr) {
        if (owns_com) CoUninitialize();
        *hr = FAILED(created) ? created : E_FAIL;
        return std::nullopt;
    }
    *hr = S_OK;
    return KXCommServices(server, owns_com);
}

KXCommServices::KXCommServices(IKXServer* server, bool owns_com)
    : server_(server), ownsCom_(owns_com) {}

KXCommServices::KXCommServices(KXCommServices&& other) noexcept
    : server_(std::exchange(other.server_, nullptr)),
      ownsCom_(std::exchange(other.ownsCom_, false)),
      path_(other.path_) {}

KXCommServices& KXCommServices::operator=(KXCommServices&& other) noexcept {
    if (this != &other) {
        Release();
        server_ = std::exchange(other.server_, nullptr);
        ownsCom_ = std::exchange(other.ownsCom_, false);
    }
    return *this;
}

KXCommServices::~KXCommServices() { Release(); }

void KXCommServices::Release() noexcept {
    if (server_ != nullptr) std::exchange(server_, nullptr)->Release();
    if (std::exchange(ownsCom_, false)) CoUninitialize();
}

std::int32_t KXCommServices::Initialize(std::string_view szClientName, double fVersion) {
    if (server_ == nullptr) return E_POINTER;
    return server_->Initialize(Wide(szClientName).c_str(), fVersion);
}

std::int32_t KXCommServices::GetGameInfo(KXTOURINFOSTRUCT* ti) {
    if (server_ == nullptr) return E_POINTER;
    if (ti == nullptr) return E_POINTER;
    return server_->GetGameInfo(reinterpret_cast<::KXTOURINFOSTRUCT*>(ti));
}

std::int32_t KXCommServices::GetGameDataItem(std::string_view szSection, std::string_view szItem,
                                             std::string& szValue, std::uint32_t dwBufSize) {
    if (server_ == nullptr) return E_POINTER;
    // The console serves no larger buffer, so none larger goes across.
    const std::uint32_t chars = std::min(dwBufSize, kMaxValueChars);
    std::vector<wchar_t> buffer(std::max<std::uint32_t>(chars, 1), L'\0');
    const HRESULT hr = server_->GetGameDataItem(Wide(szSection).c_str(), Wide(szItem).c_str(),
                                                buffer.data(), chars);
    if (SUCCEEDED(hr)) {
        const auto end = std::find(buffer.begin(), buffer.end(), L'\0');
        szValue = Narrow(buffer.data(), static_cast<std::size_t>(end - buffer.begin()));
    }
    return hr;
}

std::int32_t KXCommServices::RefreshGameData() {
    return server_ != nullptr ? server_->RefreshGameData() : E_POINTER;
}

std::int32_t KXCommServices::SaveUrlToFile(std::string_view szURL, std::string_view szFileName) {
    if (server_ == nullptr) return E_POINTER;
    return server_->SaveUrlToFile(Wide(szURL).c_str(), Wide(szFileName).c_str());
}

std::int32_t KXCommServices::SendFileToServer(std::string_view szFileName, std::int32_t bDelete) {
    if (server_ == nullptr) return E_POINTER;
    return server_->SendFileToServer(Wide(szFileName).c_str(), bDelete);
}

std::int32_t KXCommServices::GetCommandStatus() {
    return server_ != nullptr ? server_->GetCommandStatus() : E_POINTER;
}

std::int32_t KXCommServices::CancelCommand() {
    return server_ != nullptr ? server_->CancelCommand() : E_POINTER;
}

std::int32_t KXCommServices::SetGameDataItem(std::string_view szItem, std::string_view szValue) {
    if (server_ == nullptr) return E_POINTER;
    return server_->SetGameDataItem(Wide(szItem).c_str(), Wide(szValue).c_str());
}

std::int32_t KXCommServices::EndGame(std::uint32_t score) {
    return server_ != nullptr ? server_->EndGame(score) : E_POINTER;
}

}  // namespace kestrix
