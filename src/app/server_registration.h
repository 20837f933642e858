#pragma once

// Registering the console as the local COM server of the game-services
// class, and removing that registration again: the entries of the two
// registry scripts under HKEY_CLASSES_ROOT, the type library, and the
// proxy/stub of the game interface.

#include <array>
#include <string>
#include <utility>

#include "base/identities.h"
#include "platform/com_server.h"
#include "platform/dll_registration.h"
#include "platform/registry.h"
#include "platform/type_libraries.h"
#include "platform/hresult.h"

namespace kx {

// The registry scripts, by their resource ids.
enum class RegistryScript { Application = 100, Class = 102 };

enum class ScriptMode { Register, Unregister };

// A creatable class of the server, in the order the server handles them.
struct ClassTableEntry {
    Guid clsid;
    RegistryScript script;
};

inline constexpr std::array<ClassTableEntry, 1> kClassTable = {{
    {kClsidKXCommServices, RegistryScript::Class},
}};

// The executable as registration names it.
struct ServerModule {
    std::string path;        // the full long path: where the type library is loaded from
    std::string short_path;  // its short form; empty when the system gives none
};

class ServerRegistration {
public:
    // The registry, the type libraries and the DLL registration must outlive
    // this object.
    ServerRegistration(Registry& registry, TypeLibraries& type_libraries, DllRegistration& dlls,
                       ServerModule module)
        : registry_(registry),
          type_libraries_(type_libraries),
          dlls_(dlls),
          module_(std::move(module)) {}

    // Writes or removes the script's entries. Registering stops at the first
    // failure and keeps what it wrote; unregistering removes all it can.
    // kS_OK, or the failing registry call's error as a result code.
    HResult ApplyScript(RegistryScript script, ScriptMode mode);

    // Every class's script, then the type library, then the proxy/stub:
    // kS_OK or the first failure.
    HResult RegisterServer();

    // Every class's script, then the type library, then the proxy/stub,
    // whatever fails: always kS_OK.
    HResult UnregisterServer();

    // The proxy/stub DLL, in the executable's directory.
    std::string ProxyStubPath() const;

    // "%MODULE%": the short path, or the long one when there is no short form.
    std::string ModuleReplacement() const;

private:
    HResult RegisterTypeLibrary();
    void UnregisterTypeLibrary();

    // Loads from the executable, else from the ".tlb" file beside it; reports
    // the path used.
    HResult LoadTypeLib(TypeLibHandle* library, std::string* path_used);

    Registry& registry_;
    TypeLibraries& type_libraries_;
    DllRegistration& dlls_;
    ServerModule module_;
};

// The ".tlb" file beside the executable: its extension replaced, or ".tlb"
// appended when the file name has none.
std::string TypeLibFileBeside(const std::string& module_path);

// The script in the system registrar's own language, as the executable
// carries it among its resources: the same keys and values ApplyScript
// writes, %MODULE% left for the registrar to replace.
std::string RegistryScriptText(RegistryScript script);

// The directory part of a path: everything up to its last "\", "/" or ":".
std::string HelpDirectoryOf(const std::string& path);

}  // namespace kx
