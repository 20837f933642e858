#pragma once

// Linux backend: the console's game services on the session bus.
//
// Implements:
//  - kx::ComServer: Initialize connects to the session bus; registering the
//    class KXCommServices exports the factory and window objects at
//    /com/kestrix/Console and takes the name "com.kestrix.Console" (never
//    queued, never replacing an owner); each CreateInstance makes a services
//    object of its own at /com/kestrix/Console/KXCommServices/N, owned by the
//    calling connection and gone on its Release, when that connection drops,
//    or when the console ends;
//  - kx::SingleInstance: the console that owns the bus name is the window
//    found by the console's title, and bringing it forward calls its Window
//    interface. It connects on first use, before Initialize.
//
// The methods follow sdk/com.kestrix.Console.GameServices.xml; texts travel
// as UTF-8 and reach the core as UTF-16.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "base/ports.h"
#include "platform/com_server.h"
#include "platform/linux/bus_connection.h"
#include "platform/single_instance.h"
#include "play/play_context.h"

namespace kx {

inline constexpr const char* kBusName = "com.kestrix.Console";
inline constexpr const char* kBusRootPath = "/com/kestrix/Console";
inline constexpr const char* kBusServicesPathPrefix = "/com/kestrix/Console/KXCommServices/";
inline constexpr const char* kBusFactoryInterface = "com.kestrix.Console.Factory";
inline constexpr const char* kBusWindowInterface = "com.kestrix.Console.Window";
inline constexpr const char* kBusServerInterface = "com.kestrix.Console.IKXServer";

// The largest value buffer GetGameDataItem allocates, in 16-bit characters;
// a larger dwBufSize is served as this one.
inline constexpr std::uint32_t kBusMaxValueChars = 65536;

// UTF-8 as UTF-16 and back; malformed sequences and lone surrogates become
// U+FFFD. The bus only carries valid UTF-8, so what goes out must be valid.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

class BusGameServices final : public ComServer, public SingleInstance {
public:
    using ActivateCallback = std::function<void()>;

    // `ports`, `play` and `selected_game_name` must outlive this object: the
    // services objects read them at every call.
    BusGameServices(Ports& ports, PlayContext& play, const std::string& selected_game_name,
                    ActivateCallback activate);
    BusGameServices(const BusGameServices&) = delete;
    BusGameServices& operator=(const BusGameServices&) = delete;
    ~BusGameServices() override;

    HResult Initialize() override;
    void Uninitialize() override;
    HResult RegisterClassObject(const Guid& clsid, ClassContext context, ClassUse use,
                                ClassCookie* cookie) override;
    HResult RevokeClassObject(ClassCookie cookie) override;

    WindowId FindWindowByTitle(std::string_view title) override;
    void SetForegroundWindow(WindowId window) override;

    // How many services objects are alive (for tests and traces).
    std::size_t ObjectCount() const { return objects_.size(); }

    class ServicesObject;

private:
    struct Registration {
        ClassCookie cookie = 0;
        BusSlot factory;
        BusSlot window;
    };

    bool Connect();
    void DropEverything();
    static int OnCreateInstance(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int OnActivate(sd_bus_message* message, void* userdata, sd_bus_error* error);
    int CreateInstance(sd_bus_message* message);
    void Remove(std::uint64_t id);

    Ports& ports_;
    PlayContext& play_;
    const std::string& selected_game_name_;
    ActivateCallback activate_;

    // Declared before what is exported on it, so it goes last.
    std::unique_ptr<BusConnection> connection_;
    unsigned initialize_count_ = 0;
    std::unique_ptr<Registration> registration_;
    ClassCookie next_cookie_ = 1;
    std::map<std::uint64_t, std::unique_ptr<ServicesObject>> objects_;
    std::uint64_t next_object_id_ = 1;
    // The unique name of the other console last found by FindWindowByTitle.
    std::string other_console_;
    WindowId other_console_window_ = kNoWindow;
};

}  // namespace kx
