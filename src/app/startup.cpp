#include "app/startup.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "base/ascii.h"
#include "base/identities.h"
#include "app/server_registration.h"
#include "platform/hresult.h"

namespace kx {
namespace {

constexpr std::string_view kRegServer = "RegServer";
constexpr std::string_view kUnregServer = "UnregServer";
constexpr std::uint32_t kShutdownPauseMs = 1000;

bool BroughtOtherConsoleForward(SingleInstance& single_instance) {
    const WindowId other = single_instance.FindWindowByTitle(kConsoleWindowTitle);
    if (other == kNoWindow) return false;
    single_instance.SetForegroundWindow(other);
    return true;
}

ServerRegistration Registration(const StartupParts& parts) {
    ServerModule module;
    module.path = parts.process->ModuleFileName();
    module.short_path = parts.process->ShortPathName(module.path);
    return ServerRegistration(*parts.registry, *parts.type_libraries, *parts.dlls,
                              std::move(module));
}

// The class objects of the ClassTable while the console serves.
class ClassObjects {
public:
    explicit ClassObjects(ComServer& com) : com_(com) {}

    // A failure leaves the later classes unregistered and is not reported:
    // the console runs anyway, only game clients cannot reach it.
    void RegisterAll() {
        for (std::size_t i = 0; i < kClassTable.size(); ++i) {
            ClassCookie cookie = 0;
            if (!Succeeded(com_.RegisterClassObject(kClassTable[i].clsid,
                                                    ClassContext::LocalServer,
                                                    ClassUse::MultipleUse, &cookie))) {
                return;
            }
            cookies_[i] = cookie;
        }
    }

    // Only registrations that were made are revoked.
    void RevokeAll() {
        for (const auto& cookie : cookies_) {
            if (!cookie) return;
            if (!Succeeded(com_.RevokeClassObject(*cookie))) return;
        }
    }

private:
    ComServer& com_;
    std::array<std::optional<ClassCookie>, kClassTable.size()> cookies_{};
};

void RunConsole(const StartupParts& parts, const RunConsoleWindow& run_console) {
    ClassObjects class_objects(*parts.com);
    class_objects.RegisterAll();
    parts.process->InitCommonControls(CommonControlClasses::Progress);
    parts.trace_log->Open(*parts.clock, parts.trace_file, parts.trace_fallback);
    parts.trace_log->Write("Init Console");
    run_console(parts.windows->ActiveWindow());
    class_objects.RevokeAll();
    parts.process->Sleep(kShutdownPauseMs);
}

}  // namespace

ServerSwitch ScanSwitches(std::string_view command_line) {
    // Stepping bytewise finds what stepping by characters finds: no trail
    // byte of a double-byte code page is "-" or "/".
    for (std::size_t at = 0; at < command_line.size(); ++at) {
        if (command_line[at] != '-' && command_line[at] != '/') continue;
        const std::string_view candidate = command_line.substr(at + 1);
        if (EqualsIgnoringAsciiCase(candidate, kUnregServer)) return ServerSwitch::UnregServer;
        if (EqualsIgnoringAsciiCase(candidate, kRegServer)) return ServerSwitch::RegServer;
    }
    return ServerSwitch::None;
}

int ConsoleMain(const StartupParts& parts, const RunConsoleWindow& run_console) {
    if (BroughtOtherConsoleForward(*parts.single_instance)) return 0;

    const std::string command_line = parts.process->CommandLine();
    // Unreported when it fails; only a success may be balanced by CoUninitialize.
    const bool com_initialized = Succeeded(parts.com->Initialize());

    int exit_code = 0;
    switch (ScanSwitches(command_line)) {
        case ServerSwitch::UnregServer: {
            ServerRegistration registration = Registration(parts);
            registration.ApplyScript(RegistryScript::Application, ScriptMode::Unregister);
            registration.UnregisterServer();
            break;
        }
        case ServerSwitch::RegServer: {
            ServerRegistration registration = Registration(parts);
            registration.ApplyScript(RegistryScript::Application, ScriptMode::Register);
            exit_code = registration.RegisterServer();
            break;
        }
        case ServerSwitch::None:
            RunConsole(parts, run_console);
            break;
    }

    if (com_initialized) parts.com->Uninitialize();
    return exit_code;
}

}  // namespace kx
