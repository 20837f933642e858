#include "platform/win32/win_type_libraries.h"

#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <string>

namespace kx {
namespace {

// The ANSI text as oleaut32 takes it; false for a text it cannot carry.
bool WideText(std::string_view text, std::wstring* wide) {
    wide->clear();
    if (text.find('\0') != std::string_view::npos) return false;
    if (text.empty()) return true;
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    if (length <= 0) return false;
    wide->resize(static_cast<std::size_t>(length));
    return MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                               wide->data(), length) == length;
}

ITypeLib* Library(TypeLibHandle handle) { return reinterpret_cast<ITypeLib*>(handle); }

// The attributes GetLibAttr gives, handed back to their library.
struct AttributesRelease {
    ITypeLib* library;
    void operator()(TLIBATTR* attributes) const { library->ReleaseTLibAttr(attributes); }
};
using LibraryAttributes = std::unique_ptr<TLIBATTR, AttributesRelease>;

using UnRegisterTypeLibCall = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

// Older systems' oleaut32 has no UnRegisterTypeLib, so it is looked up.
UnRegisterTypeLibCall FindUnRegisterTypeLib() {
    HMODULE oleaut = GetModuleHandleA("oleaut32.dll");
    if (oleaut == nullptr) return nullptr;
    return reinterpret_cast<UnRegisterTypeLibCall>(
        reinterpret_cast<void*>(GetProcAddress(oleaut, "UnRegisterTypeLib")));
}

}  // namespace

WinTypeLibraries::~WinTypeLibraries() {
    for (const TypeLibHandle library : held_) Library(library)->Release();
}

HResult WinTypeLibraries::LoadTypeLib(std::string_view path, TypeLibHandle* library) {
    if (library == nullptr) return E_POINTER;
    std::wstring wide;
    if (!WideText(path, &wide) || wide.empty()) return E_INVALIDARG;
    ITypeLib* loaded = nullptr;
    const HRESULT result = LoadTypeLibEx(wide.c_str(), REGKIND_NONE, &loaded);
    if (FAILED(result)) return result;
    if (loaded == nullptr) return E_UNEXPECTED;
    const auto handle = reinterpret_cast<TypeLibHandle>(loaded);
    {
        const std::lock_guard lock(mutex_);
        held_.insert(handle);
    }
    *library = handle;
    return result;
}

HResult WinTypeLibraries::RegisterTypeLib(TypeLibHandle library, std::string_view path,
                                          std::string_view help_directory) {
    if (!Holds(library)) return E_INVALIDARG;
    std::wstring wide_path;
    std::wstring wide_help;
    if (!WideText(path, &wide_path) || wide_path.empty() || !WideText(help_directory, &wide_help)) {
        return E_INVALIDARG;
    }
    return ::RegisterTypeLib(Library(library), wide_path.data(),
                             wide_help.empty() ? nullptr : wide_help.data());
}

HResult WinTypeLibraries::UnRegisterTypeLib(TypeLibHandle library) {
    if (!Holds(library)) return E_INVALIDARG;
    const UnRegisterTypeLibCall unregister = FindUnRegisterTypeLib();
    if (unregister == nullptr) return S_OK;
    ITypeLib* const type_lib = Library(library);
    TLIBATTR* read_attributes = nullptr;
    const HRESULT read = type_lib->GetLibAttr(&read_attributes);
    if (FAILED(read)) return read;
    const LibraryAttributes attributes(read_attributes, AttributesRelease{type_lib});
    if (!attributes) return E_UNEXPECTED;
    return unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                      attributes->lcid, attributes->syskind);
}

void WinTypeLibraries::Release(TypeLibHandle library) {
    {
        const std::lock_guard lock(mutex_);
        const auto found = held_.find(library);
        if (found == held_.end()) return;
        held_.erase(found);
    }
    Library(library)->Release();
}

std::size_t WinTypeLibraries::HeldCount() const {
    const std::lock_guard lock(mutex_);
    return held_.size();
}

bool WinTypeLibraries::Holds(TypeLibHandle library) const {
    const std::lock_guard lock(mutex_);
    return held_.count(library) != 0;
}

}  // namespace kx
