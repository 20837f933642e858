#pragma once

// Windows backend: one game client's KXCommServices object.
//
// Implements:
//  - IKXServer's ten methods in their slot order, each passing its
//    arguments to the GameServer as they arrived (a null text is an empty
//    one; texts longer than the contract's value limit are cut there) and
//    its result code back unchanged; the record goes through in place as
//    the 184 bytes both sides agree on;
//  - IUnknown: a thread-safe reference count, QueryInterface for IUnknown
//    and IKXServer only; the GameServer goes with the last Release;
//  - nothing a client sends unwinds into COM: a failure inside a call
//    becomes E_OUTOFMEMORY or E_UNEXPECTED for that call.
//
// Missing: the server's lock count; the class object that makes these
// objects counts them.

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

// COM interfaces have no virtual destructor: an object is only ever
// destroyed by its own Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#include "kestrix_console.h"
#pragma GCC diagnostic pop
#include "platform/game_server.h"

namespace kx {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

class WinServicesObject final : public IKXServer {
public:
    // Runs once, after the last Release.
    using Released = std::function<void()>;

    // A new object holding `server`, handed out as `iid` with one reference.
    static HRESULT Create(std::unique_ptr<GameServer> server, Released released, REFIID iid,
                          void** object);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Initialize(LPCWSTR szClientName, double fVersion) override;
    HRESULT STDMETHODCALLTYPE GetGameInfo(::KXTOURINFOSTRUCT* ti) override;
    HRESULT STDMETHODCALLTYPE GetGameDataItem(LPCWSTR szSection, LPCWSTR szItem, WCHAR* szValue,
                                              DWORD dwBufSize) override;
    HRESULT STDMETHODCALLTYPE RefreshGameData() override;
    HRESULT STDMETHODCALLTYPE SaveUrlToFile(LPCWSTR szURL, LPCWSTR szFileName) override;
    HRESULT STDMETHODCALLTYPE SendFileToServer(LPCWSTR szFileName, LONG bDelete) override;
    HRESULT STDMETHODCALLTYPE GetCommandStatus() override;
    HRESULT STDMETHODCALLTYPE CancelCommand() override;
    HRESULT STDMETHODCALLTYPE SetGameDataItem(LPCWSTR szItem, LPCWSTR szValue) override;
    HRESULT STDMETHODCALLTYPE EndGame(DWORD score) override;

private:
    WinServicesObject(std::unique_ptr<GameServer> server, Released released);
    ~WinServicesObject();

    std::atomic<ULONG> references_{1};
    std::unique_ptr<GameServer> server_;
    Released released_;
};
#pragma GCC diagnostic pop

}  // namespace kx
