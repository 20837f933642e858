#pragma once

// The Kestrix game SDK: a game client's side of the console's game services,
// on the session bus on Linux (interface com.kestrix.Console.IKXServer) and
// by COM on Windows (class KXCommServices, interface IKXServer). A game's
// code is the same on both.
//
// Implements:
//  - kestrix::KXCommServices over sd-bus: one private session-bus connection
//    and one services object of the console per instance, released when the
//    instance goes;
//  - on Windows, over COM: one KXCommServices object of the console's local
//    server per instance (CoCreateInstance, which starts the console when it
//    is not running), released when the instance goes; COM is initialised
//    for the calling thread when it was not yet;
//  - the result codes under a game's names, and those of the bus or COM.
//
// The tournament record KXTOURINFOSTRUCT and the codes' values come from
// kestrix/game_contract.h, the file the console itself is built with.
//
// Texts are UTF-8 on this side. Every method answers a 32-bit result code and
// never throws: a bus failure is a negative code like any other. An instance
// is not thread-safe; call it from one thread at a time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kestrix/game_contract.h"

#if defined(_WIN32)
// The system's own result macros (S_OK, E_FAIL, ...) have the values below.
#include <windows.h>
struct IKXServer;
#else
struct sd_bus;
#endif

namespace kestrix {

// Result codes, under the names a game writes. Non-negative is success;
// test with Succeeded()/Failed(). On Windows the system's macros of the same
// names stand for the first ones.
#if !defined(_WIN32)
inline constexpr std::int32_t S_OK = kS_OK;
inline constexpr std::int32_t S_FALSE = kS_FALSE;
inline constexpr std::int32_t E_NOTIMPL = kE_NOTIMPL;
inline constexpr std::int32_t E_POINTER = kE_POINTER;
inline constexpr std::int32_t E_FAIL = kE_FAIL;
inline constexpr std::int32_t E_OUTOFMEMORY = kE_OUTOFMEMORY;
inline constexpr std::int32_t E_INVALIDARG = kE_INVALIDARG;
#endif
inline constexpr std::int32_t KX_S_DOWNLOADRUNNING = kKX_S_DOWNLOADRUNNING;
inline constexpr std::int32_t KX_E_NOTINITIALIZED = kKX_E_NOTINITIALIZED;
inline constexpr std::int32_t KX_E_REFUSED = kKX_E_REFUSED;
inline constexpr std::int32_t KX_E_BUFFERTOOSMALL = kKX_E_BUFFERTOOSMALL;
inline constexpr std::int32_t KX_E_NOSUCHITEM = kKX_E_NOSUCHITEM;
inline constexpr std::int32_t KX_E_DOWNLOADBUSY = kKX_E_DOWNLOADBUSY;

// Codes of the bus or of COM rather than of the console (the same values).
#if !defined(_WIN32)
// The console has gone (it ended or crashed) since Create.
inline constexpr std::int32_t RPC_E_DISCONNECTED = MakeResult(0x80010108);
// The console is there but did not answer within the timeout.
inline constexpr std::int32_t RPC_E_TIMEOUT = MakeResult(0x8001011F);
// Create: no console serves the name and none could be started.
inline constexpr std::int32_t CO_E_SERVER_EXEC_FAILURE = MakeResult(0x80080005);
#endif
// Create on Windows: the console was never registered (velora.exe -RegServer).
inline constexpr std::int32_t KX_E_CONSOLENOTREGISTERED = MakeResult(0x80040154);

inline constexpr bool Succeeded(std::int32_t hr) { return hr >= 0; }
inline constexpr bool Failed(std::int32_t hr) { return hr < 0; }

// The result code's symbolic name, or "0x%08X" for a code not listed above.
std::string ResultName(std::int32_t hr);

// The file the console uploads for a monitored first place and deletes
// afterwards: "verify.txt" in the temporary directory the console and its
// game share ($TMPDIR when it is an absolute path, else /tmp; on Windows
// the user's temporary folder, GetTempPathA).
std::string VerifyFilePath();

class KXCommServices {
public:
    // Connects to the session bus and asks the console for a services object.
    // A call while no console runs starts one by D-Bus activation. `timeout`
    // bounds that call and every later call of this instance. On failure
    // answers nullopt and stores the code in *hr (when given):
    // CO_E_SERVER_EXEC_FAILURE (no console, none startable), RPC_E_TIMEOUT,
    // RPC_E_DISCONNECTED or E_FAIL (no session bus, a malformed answer).
    // On Windows COM starts the console and bounds the calls itself
    // (`timeout` is not used); a failure is CoCreateInstance's code, such as
    // KX_E_CONSOLENOTREGISTERED or CO_E_SERVER_EXEC_FAILURE.
    static std::optional<KXCommServices> Create(
        std::int32_t* hr = nullptr,
        std::chrono::milliseconds timeout = std::chrono::milliseconds(120000));

    KXCommServices(KXCommServices&& other) noexcept;
    KXCommServices& operator=(KXCommServices&& other) noexcept;
    KXCommServices(const KXCommServices&) = delete;
    KXCommServices& operator=(const KXCommServices&) = delete;
    // Releases the services object and closes the connection.
    ~KXCommServices();

    std::int32_t Initialize(std::string_view szClientName, double fVersion);
    // Sends *ti and receives the console's 184 bytes back into it.
    std::int32_t GetGameInfo(KXTOURINFOSTRUCT* ti);
    // dwBufSize counts 16-bit characters, the terminating zero included, as
    // the console's buffer would; szValue is set on success only.
    std::int32_t GetGameDataItem(std::string_view szSection, std::string_view szItem,
                                 std::string& szValue, std::uint32_t dwBufSize = 256);
    std::int32_t RefreshGameData();
    std::int32_t SaveUrlToFile(std::string_view szURL, std::string_view szFileName);
    std::int32_t SendFileToServer(std::string_view szFileName, std::int32_t bDelete);
    std::int32_t GetCommandStatus();
    std::int32_t CancelCommand();
    std::int32_t SetGameDataItem(std::string_view szItem, std::string_view szValue);
    std::int32_t EndGame(std::uint32_t score);

    // The services object's path at the console, for diagnostics.
    const std::string& ObjectPath() const { return path_; }

private:
#if defined(_WIN32)
    KXCommServices(IKXServer* server, bool owns_com);
    void Release() noexcept;

    IKXServer* server_ = nullptr;
    // This instance initialised COM on its thread and so uninitialises it.
    bool ownsCom_ = false;
    std::string path_ = "KXCommServices";
#else
    struct BusCloser {
        void operator()(sd_bus* bus) const noexcept;
    };
    using BusPtr = std::unique_ptr<sd_bus, BusCloser>;

    KXCommServices(BusPtr bus, std::string peer, std::string path, std::uint64_t timeout_usec);
    void Release() noexcept;

    BusPtr bus_;
    // The console's unique bus name: calls go to the console that made the
    // object, never to one that D-Bus activation would start after it ends.
    std::string peer_;
    std::string path_;
    std::uint64_t timeoutUsec_ = 0;
#endif
};

}  // namespace kestrix
