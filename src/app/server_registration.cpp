#include "app/server_registration.h"

#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kx {
namespace {

// How the registrar treats a key: "NoRemove" keys stay on unregistration,
// "ForceRemove" keys are deleted whole before registration writes them, and
// every other key is deleted whole on unregistration.
enum class KeyRule { Plain, NoRemove, ForceRemove };

constexpr std::string_view kDefault{};  // the key's default value
constexpr std::string_view kModuleToken = "%MODULE%";

struct ScriptValue {
    std::string_view name;
    std::string_view data;  // a string value; kModuleToken stands for the executable
};

struct ScriptKey {
    KeyRule rule = KeyRule::Plain;
    std::array<std::string_view, 3> path;  // below HKEY_CLASSES_ROOT; unused parts empty
    std::array<std::optional<ScriptValue>, 2> values;
};

// A parent comes before its subkeys, as in the script text.
constexpr ScriptKey kApplicationScript[] = {
    {KeyRule::NoRemove, {"AppID"}, {}},
    {KeyRule::Plain, {"AppID", kAppIdText}, {ScriptValue{kDefault, kAppIdDescription}}},
    {KeyRule::Plain, {"AppID", kExecutableFileName}, {ScriptValue{"AppID", kAppIdText}}},
};

constexpr ScriptKey kClassScript[] = {
    {KeyRule::Plain, {kProgId}, {ScriptValue{kDefault, kClassDescription}}},
    {KeyRule::Plain, {kProgId, "CLSID"}, {ScriptValue{kDefault, kClsidKXCommServicesText}}},
    {KeyRule::Plain, {kVersionIndependentProgId}, {ScriptValue{kDefault, kClassDescription}}},
    {KeyRule::Plain,
     {kVersionIndependentProgId, "CLSID"},
     {ScriptValue{kDefault, kClsidKXCommServicesText}}},
    {KeyRule::Plain, {kVersionIndependentProgId, "CurVer"}, {ScriptValue{kDefault, kProgId}}},
    {KeyRule::NoRemove, {"CLSID"}, {}},
    {KeyRule::ForceRemove,
     {"CLSID", kClsidKXCommServicesText},
     {ScriptValue{kDefault, kClassDescription}, ScriptValue{"AppID", kAppIdText}}},
    {KeyRule::Plain,
     {"CLSID", kClsidKXCommServicesText, "ProgID"},
     {ScriptValue{kDefault, kProgId}}},
    {KeyRule::Plain,
     {"CLSID", kClsidKXCommServicesText, "VersionIndependentProgID"},
     {ScriptValue{kDefault, kVersionIndependentProgId}}},
    {KeyRule::Plain,
     {"CLSID", kClsidKXCommServicesText, "LocalServer32"},
     {ScriptValue{kDefault, kModuleToken}}},
    {KeyRule::Plain,
     {"CLSID", kClsidKXCommServicesText, "TypeLib"},
     {ScriptValue{kDefault, kLibIdText}}},
};

std::span<const ScriptKey> ScriptKeys(RegistryScript script) {
    if (script == RegistryScript::Application) return kApplicationScript;
    return kClassScript;
}

std::string JoinPath(const std::array<std::string_view, 3>& parts) {
    std::string path;
    for (std::string_view part : parts) {
        if (part.empty()) break;
        if (!path.empty()) path += '\\';
        path += part;
    }
    return path;
}

std::string Substitute(std::string_view data, std::string_view module) {
    std::string text;
    for (std::size_t at = 0; at < data.size();) {
        if (data.substr(at, kModuleToken.size()) == kModuleToken) {
            text += module;
            at += kModuleToken.size();
        } else {
            text += data[at++];
        }
    }
    return text;
}

// HRESULT_FROM_WIN32: how the registrar reports a registry error.
HResult HResultFromWin32(long error) {
    if (error == kErrorSuccess) return kS_OK;
    return MakeHResult(0x80070000u | (static_cast<std::uint32_t>(error) & 0xFFFFu));
}

bool IsFailure(long error) { return error != kErrorSuccess && error != kErrorFileNotFound; }

// Releases a loaded type library on every path out of a scope.
class LoadedTypeLib {
public:
    explicit LoadedTypeLib(TypeLibraries& libraries) : libraries_(libraries) {}
    LoadedTypeLib(const LoadedTypeLib&) = delete;
    LoadedTypeLib& operator=(const LoadedTypeLib&) = delete;
    ~LoadedTypeLib() {
        if (handle_ != kNoTypeLib) libraries_.Release(handle_);
    }
    TypeLibHandle* put() { return &handle_; }
    TypeLibHandle get() const { return handle_; }

private:
    TypeLibraries& libraries_;
    TypeLibHandle handle_ = kNoTypeLib;
};

}  // namespace

HResult ServerRegistration::ApplyScript(RegistryScript script, ScriptMode mode) {
    if (mode == ScriptMode::Unregister) {
        // Deleting a parent took its listed subkeys along, so their deletion finds nothing.
        long first_failure = kErrorSuccess;
        for (const ScriptKey& key : ScriptKeys(script)) {
            if (key.rule == KeyRule::NoRemove) continue;
            const long result = registry_.DeleteKeyTree(kHKeyClassesRoot, JoinPath(key.path));
            if (IsFailure(result) && first_failure == kErrorSuccess) first_failure = result;
        }
        return HResultFromWin32(first_failure);
    }

    const std::string module = ModuleReplacement();
    for (const ScriptKey& key : ScriptKeys(script)) {
        const std::string path = JoinPath(key.path);
        if (key.rule == KeyRule::ForceRemove) {
            const long result = registry_.DeleteKeyTree(kHKeyClassesRoot, path);
            if (IsFailure(result)) return HResultFromWin32(result);
        }
        UniqueRegKey opened(registry_);
        long result = registry_.CreateKey(kHKeyClassesRoot, path, RegAccess::Write, opened.put());
        if (result != kErrorSuccess) return HResultFromWin32(result);
        for (const auto& value : key.values) {
            if (!value) continue;
            std::string data = Substitute(value->data, module);
            data += '\0';
            result = registry_.SetValue(opened.get(), value->name, RegType::Sz,
                                        reinterpret_cast<const std::uint8_t*>(data.data()),
                                        static_cast<std::uint32_t>(data.size()));
            if (result != kErrorSuccess) return HResultFromWin32(result);
        }
    }
    return kS_OK;
}

HResult ServerRegistration::RegisterServer() {
    for (const ClassTableEntry& entry : kClassTable) {
        const HResult result = ApplyScript(entry.script, ScriptMode::Register);
        if (!Succeeded(result)) return result;
    }
    const HResult library = RegisterTypeLibrary();
    if (!Succeeded(library)) return library;
    // IKXServer is no automation interface, so the type library marshals
    // nothing: without its proxy/stub no game client in another process
    // could call the console.
    return dlls_.RegisterServer(ProxyStubPath());
}

HResult ServerRegistration::UnregisterServer() {
    for (const ClassTableEntry& entry : kClassTable) {
        ApplyScript(entry.script, ScriptMode::Unregister);
    }
    UnregisterTypeLibrary();
    dlls_.UnregisterServer(ProxyStubPath());
    return kS_OK;
}

HResult ServerRegistration::RegisterTypeLibrary() {
    LoadedTypeLib library(type_libraries_);
    std::string path;
    const HResult loaded = LoadTypeLib(library.put(), &path);
    if (!Succeeded(loaded)) return loaded;
    return type_libraries_.RegisterTypeLib(library.get(), path, HelpDirectoryOf(path));
}

void ServerRegistration::UnregisterTypeLibrary() {
    LoadedTypeLib library(type_libraries_);
    std::string path;
    if (Succeeded(LoadTypeLib(library.put(), &path))) {
        type_libraries_.UnRegisterTypeLib(library.get());
    }
}

std::string ServerRegistration::ProxyStubPath() const {
    // The executable's own directory, never the system's search order, which
    // could find another DLL of that name first.
    return HelpDirectoryOf(module_.path) + std::string(kProxyStubFileName);
}

std::string ServerRegistration::ModuleReplacement() const {
    // The registrar's script text doubles each single quote of the path and
    // its parser halves them again; the tables here are no script text, so
    // the path is written as it is.
    return module_.short_path.empty() ? module_.path : module_.short_path;
}

HResult ServerRegistration::LoadTypeLib(TypeLibHandle* library, std::string* path_used) {
    *path_used = module_.path;
    if (Succeeded(type_libraries_.LoadTypeLib(*path_used, library))) return kS_OK;
    *path_used = TypeLibFileBeside(module_.path);
    return type_libraries_.LoadTypeLib(*path_used, library);
}

std::string TypeLibFileBeside(const std::string& module_path) {
    // Only a dot in the file name starts an extension; one in a directory
    // name would put the file outside the executable's directory.
    const std::size_t separator = module_path.find_last_of("\\/:");
    const std::size_t name_start = separator == std::string::npos ? 0 : separator + 1;
    const std::size_t dot = module_path.rfind('.');
    std::string path = module_path;
    if (dot != std::string::npos && dot >= name_start) path.resize(dot);
    return path + ".tlb";
}

std::string HelpDirectoryOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}


namespace {

// A key of the script's text with the keys listed below it.
struct ScriptNode {
    std::string_view name;
    const ScriptKey* key = nullptr;  // none for a parent the script only passes through
    std::vector<std::unique_ptr<ScriptNode>> children;

    ScriptNode& Child(std::string_view child_name) {
        for (auto& child : children) {
            if (child->name == child_name) return *child;
        }
        children.push_back(std::make_unique<ScriptNode>());
        children.back()->name = child_name;
        return *children.back();
    }
};

// A quoted text of the registrar's language: each single quote doubled.
std::string Quoted(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return quoted + "'";
}

void Render(const ScriptNode& node, int depth, std::string& out) {
    const std::string indent(static_cast<std::size_t>(depth), '\t');
    out += indent;
    if (node.key != nullptr && node.key->rule == KeyRule::NoRemove) out += "NoRemove ";
    if (node.key != nullptr && node.key->rule == KeyRule::ForceRemove) out += "ForceRemove ";
    out += Quoted(node.name);
    std::vector<const ScriptValue*> named;
    if (node.key != nullptr) {
        for (const auto& value : node.key->values) {
            if (!value) continue;
            if (value->name.empty()) {
                out += " = s " + Quoted(value->data);
            } else {
                named.push_back(&*value);
            }
        }
    }
    out += "\r\n";
    if (named.empty() && node.children.empty()) return;
    out += indent + "{\r\n";
    for (const ScriptValue* value : named) {
        out += indent + "\tval " + Quoted(value->name) + " = s " + Quoted(value->data) + "\r\n";
    }
    for (const auto& child : node.children) Render(*child, depth + 1, out);
    out += indent + "}\r\n";
}

}  // namespace

std::string RegistryScriptText(RegistryScript script) {
    ScriptNode root;
    for (const ScriptKey& key : ScriptKeys(script)) {
        ScriptNode* node = &root;
        for (std::string_view part : key.path) {
            if (part.empty()) break;
            node = &node->Child(part);
        }
        node->key = &key;
    }
    std::string out = "HKCR\r\n{\r\n";
    for (const auto& child : root.children) Render(*child, 1, out);
    return out + "}\r\n";
}

}  // namespace kx
