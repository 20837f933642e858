#include "platform/win32/win_dll_registration.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace kx {
namespace {

std::string SystemDll(const char* name) {
    char directory[MAX_PATH] = {};
    GetSystemDirectoryA(directory, sizeof directory);
    return std::string(directory) + "\\" + name;
}

TEST(WinDllRegistration, WhatCannotBeCalledGivesTheSystemsErrorAsAResult) {
    struct Case {
        std::string path;
        HRESULT expected;
    };
    const Case cases[] = {
        {SystemDll("no_such_proxy_stub.dll"), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
        // A DLL without the entries.
        {SystemDll("kernel32.dll"), HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)},
        {std::string("C:\\a\0b.dll", 10), E_INVALIDARG},
        {std::string(), E_INVALIDARG},
    };
    WinDllRegistration dlls;
    for (const Case& c : cases) {
        EXPECT_EQ(dlls.RegisterServer(c.path), c.expected) << c.path;
        EXPECT_EQ(dlls.UnregisterServer(c.path), c.expected) << c.path;
    }
}

TEST(WinDllRegistration, TheDllIsLetGoOfAfterTheCall) {
    // A DLL this program does not load by itself, and without the entries,
    // so that the test registers nothing.
    const std::string path = SystemDll("msimg32.dll");
    ASSERT_EQ(GetModuleHandleA(path.c_str()), nullptr);
    WinDllRegistration dlls;
    EXPECT_EQ(dlls.RegisterServer(path), HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr);
}

}  // namespace
}  // namespace kx
