// The console's executable on Windows: the Windows parts of every port
// assembled around the core's entry function.
//
// Implements:
//  - WinMain: the registry, WinINet, the dialogs on the dialog manager,
//    processes and files, the clock, sound, the debugger output, the single
//    instance by window title, the COM server with its type library and
//    proxy/stub registration, put together as the core's entry expects;
//  - the trace file's places: the current directory, else the user's local
//    application data folder (a console installed under Program Files may
//    not write beside itself).
//
//  - the browser control in the console's and the tip's browser item, pages
//    in the control's current standards mode;
//  - the class object of KXCommServices making one game-services object per
//    creation over the core's game services.
//
// Missing: the server's lock count (the console's window decides when the
// process ends); a 32-bit proxy/stub in the registry's 32-bit view, which
// 32-bit game clients would need to reach this 64-bit console.

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "account/console_session.h"
#include "app/console_dialog.h"
#include "app/startup.h"
#include "base/ports.h"
#include "base/trace_log.h"
#include "base/unique_any.h"
#include "play/game_services.h"
#include "play/play_context.h"
#include "platform/win32/win_browser.h"
#include "platform/win32/win_browser_emulation.h"
#include "platform/win32/win_clock.h"
#include "platform/win32/win_com_server.h"
#include "platform/win32/win_debug_output.h"
#include "platform/win32/win_dialog_host.h"
#include "platform/win32/win_dll_registration.h"
#include "platform/win32/win_process_entry.h"
#include "platform/win32/win_processes.h"
#include "platform/win32/win_registry.h"
#include "platform/win32/win_services_object.h"
#include "platform/win32/win_single_instance.h"
#include "platform/win32/win_sound.h"
#include "platform/win32/win_state_store.h"
#include "platform/win32/win_type_libraries.h"
#include "platform/win32/wininet_inet_api.h"

namespace {

// Freed whether or not the call that gave it succeeded, as its contract asks.
using UniqueTaskText = kx::UniqueAny<PWSTR, &::CoTaskMemFree>;

std::filesystem::path LocalAppDataFolder() {
    UniqueTaskText folder;
    const HRESULT found = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, folder.put());
    if (FAILED(found) || !folder) return {};
    return std::filesystem::path(folder.get());
}

struct TracePlaces {
    std::filesystem::path primary;
    std::filesystem::path fallback;
};

TracePlaces TraceFilePlaces() {
    TracePlaces places;
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    if (!error) places.primary = current / kx::kTraceFileName;
    const std::filesystem::path local = LocalAppDataFolder();
    if (!local.empty()) {
        const std::filesystem::path folder = local / "Kestrix";
        std::filesystem::create_directories(folder, error);
        places.fallback = folder / kx::kTraceFileName;
    }
    return places;
}

}  // namespace

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*command_line*/,
                   int /*show*/) {
    kx::InstallWinDebugOutput();

    kx::WinRegistry registry;
    kx::WinInetApi inet;
    // The control reads its rendering mode once, before its first page.
    kx::WriteBrowserEmulation();
    kx::WinWindowSystem windows(kx::MakeWinBrowserFactory());
    kx::WinClock clock;
    kx::WinProcesses processes;
    kx::WinFiles files;
    kx::WinSound sound;
    kx::WinStateStore states;

    kx::Ports ports;
    ports.registry = &registry;
    ports.inet = &inet;
    ports.windows = &windows;
    ports.clock = &clock;
    ports.processes = &processes;
    ports.files = &files;
    ports.sound = &sound;
    ports.states = &states;

    // One services object per creation, each a COM shell around the core's.
    const kx::GameServerFactory game_servers = kx::GameServicesFactory(
        ports, kx::ThePlayContext(), kx::TheConsoleSession().strGameName);
    kx::WinComServer com([&game_servers](const kx::Guid&, REFIID iid, void** object) -> HRESULT {
        std::unique_ptr<kx::GameServer> server;
        try {
            server = game_servers();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return kx::WinServicesObject::Create(std::move(server), {}, iid, object);
    });
    kx::WinSingleInstance single_instance;
    kx::WinProcessEntry process;
    kx::WinTypeLibraries type_libraries;
    kx::WinDllRegistration dlls;
    const TracePlaces trace_places = TraceFilePlaces();

    kx::StartupParts parts;
    parts.single_instance = &single_instance;
    parts.process = &process;
    parts.com = &com;
    parts.registry = &registry;
    parts.type_libraries = &type_libraries;
    parts.dlls = &dlls;
    parts.windows = &windows;
    parts.clock = &clock;
    parts.trace_log = &kx::TheTraceLog();
    parts.trace_file = trace_places.primary;
    parts.trace_fallback = trace_places.fallback;

    return kx::ConsoleMain(parts, [&](kx::WindowId owner) {
        kx::ConsoleSession& session = kx::TheConsoleSession();
        kx::ConsoleDialog console(ports, session);
        console.RunModal(windows, owner);
    });
}
