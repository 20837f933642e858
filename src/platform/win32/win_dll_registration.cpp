#include "platform/win32/win_dll_registration.h"

#include <windows.h>

#include <string>

#include "base/unique_any.h"

namespace kx {
namespace {

using UniqueModule = UniqueAny<HMODULE, &::FreeLibrary>;
using RegistrationEntry = HRESULT(STDAPICALLTYPE*)();

HResult LastErrorResult() {
    const DWORD error = GetLastError();
    return HRESULT_FROM_WIN32(error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error);
}

HResult CallEntry(std::string_view path, const char* entry_name) {
    const std::string file(path);
    if (file.empty() || file.find('\0') != std::string::npos) return E_INVALIDARG;
    // A DLL that cannot be loaded must not make the system ask the user.
    const UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const UniqueModule module(LoadLibraryExA(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    const HResult load_error = module ? S_OK : LastErrorResult();
    SetErrorMode(old_mode);
    if (!module) return load_error;
    const auto entry = reinterpret_cast<RegistrationEntry>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), entry_name)));
    if (entry == nullptr) return LastErrorResult();
    return entry();
}

}  // namespace

HResult WinDllRegistration::RegisterServer(std::string_view path) {
    return CallEntry(path, "DllRegisterServer");
}

HResult WinDllRegistration::UnregisterServer(std::string_view path) {
    return CallEntry(path, "DllUnregisterServer");
}

}  // namespace kx
