#include "platform/win32/win_services_object.h"

#include <cstddef>
#include <cwchar>
#include <new>
#include <string_view>
#include <utility>

namespace kx {
namespace {

static_assert(sizeof(WCHAR) == sizeof(char16_t), "the client's texts are the core's UTF-16");
static_assert(sizeof(::KXTOURINFOSTRUCT) == sizeof(KXTOURINFOSTRUCT), "the record is 184 bytes");
static_assert(offsetof(::KXTOURINFOSTRUCT, fJackpot) == offsetof(KXTOURINFOSTRUCT, fJackpot));
static_assert(offsetof(::KXTOURINFOSTRUCT, szEndDate) == offsetof(KXTOURINFOSTRUCT, szEndDate));

std::u16string_view Text(LPCWSTR text) {
    if (text == nullptr) return {};
    // A text that never ends is read no further than any value may be long.
    const std::size_t length = wcsnlen(text, kestrix::kMaxValueChars);
    return {reinterpret_cast<const char16_t*>(text), length};
}

// A call of the core with nothing thrown past COM's edge.
template <typename Call>
HRESULT Guarded(Call&& call) noexcept {
    try {
        return static_cast<HRESULT>(call());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace

HRESULT WinServicesObject::Create(std::unique_ptr<GameServer> server, Released released,
                                  REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!server) return E_UNEXPECTED;
    auto* created = new (std::nothrow) WinServicesObject(std::move(server), std::move(released));
    if (created == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
}

WinServicesObject::WinServicesObject(std::unique_ptr<GameServer> server, Released released)
    : server_(std::move(server)), released_(std::move(released)) {}

WinServicesObject::~WinServicesObject() {
    server_.reset();
    if (released_) released_();
}

HRESULT WinServicesObject::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IKXServer)) {
        *object = static_cast<IKXServer*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG WinServicesObject::AddRef() { return ++references_; }

ULONG WinServicesObject::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT WinServicesObject::Initialize(LPCWSTR szClientName, double fVersion) {
    return Guarded([&] { return server_->Initialize(Text(szClientName), fVersion); });
}

HRESULT WinServicesObject::GetGameInfo(::KXTOURINFOSTRUCT* ti) {
    return Guarded([&] { return server_->GetGameInfo(reinterpret_cast<KXTOURINFOSTRUCT*>(ti)); });
}

HRESULT WinServicesObject::GetGameDataItem(LPCWSTR szSection, LPCWSTR szItem, WCHAR* szValue,
                                           DWORD dwBufSize) {
    return Guarded([&] {
        return server_->GetGameDataItem(Text(szSection), Text(szItem),
                                        reinterpret_cast<char16_t*>(szValue), dwBufSize);
    });
}

HRESULT WinServicesObject::RefreshGameData() {
    return Guarded([&] { return server_->RefreshGameData(); });
}

HRESULT WinServicesObject::SaveUrlToFile(LPCWSTR szURL, LPCWSTR szFileName) {
    return Guarded([&] { return server_->SaveUrlToFile(Text(szURL), Text(szFileName)); });
}

HRESULT WinServicesObject::SendFileToServer(LPCWSTR szFileName, LONG bDelete) {
    return Guarded([&] { return server_->SendFileToServer(Text(szFileName), bDelete); });
}

HRESULT WinServicesObject::GetCommandStatus() {
    return Guarded([&] { return server_->GetCommandStatus(); });
}

HRESULT WinServicesObject::CancelCommand() {
    return Guarded([&] { return server_->CancelCommand(); });
}

HRESULT WinServicesObject::SetGameDataItem(LPCWSTR szItem, LPCWSTR szValue) {
    return Guarded([&] { return server_->SetGameDataItem(Text(szItem), Text(szValue)); });
}

HRESULT WinServicesObject::EndGame(DWORD score) {
    return Guarded([&] { return server_->EndGame(score); });
}

}  // namespace kx
