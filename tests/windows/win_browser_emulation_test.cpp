#include "platform/win32/win_browser_emulation.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace kx {
namespace {

constexpr char kKey[] =
    "Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

// What Windows itself reads, past the backend's own reader.
std::optional<DWORD> RawValue(const char* name) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, kKey, name, RRF_RT_ANY, &type, &value, &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD) {
        return std::nullopt;
    }
    return value;
}

void Remove(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
}

TEST(BrowserEmulation, TheConsolesProgramIsSetToStandardsModeForTheCurrentUser) {
    Remove("velora.exe");
    EXPECT_EQ(ReadBrowserEmulation(), std::nullopt);
    ASSERT_EQ(WriteBrowserEmulation(), ERROR_SUCCESS);
    EXPECT_EQ(RawValue("velora.exe"), 11001u);
    EXPECT_EQ(ReadBrowserEmulation(), 11001u);
    // Writing again leaves the one value.
    ASSERT_EQ(WriteBrowserEmulation(), ERROR_SUCCESS);
    EXPECT_EQ(RawValue("velora.exe"), 11001u);
    Remove("velora.exe");
}

TEST(BrowserEmulation, AnEarlierModeIsReplacedAndOtherProgramsKeepTheirs) {
    ASSERT_EQ(WriteBrowserEmulation("kx-other.exe", 7000), ERROR_SUCCESS);
    ASSERT_EQ(WriteBrowserEmulation("kx-probe.exe", 8000), ERROR_SUCCESS);
    ASSERT_EQ(WriteBrowserEmulation("kx-probe.exe"), ERROR_SUCCESS);
    EXPECT_EQ(ReadBrowserEmulation("kx-probe.exe"), 11001u);
    EXPECT_EQ(ReadBrowserEmulation("kx-other.exe"), 7000u);
    Remove("kx-probe.exe");
    Remove("kx-other.exe");
}

TEST(BrowserEmulation, AValueThatIsNoNumberReadsAsNoneAndIsOverwritten) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "kx-text.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>("11001"), 6);
    RegCloseKey(key);
    EXPECT_EQ(ReadBrowserEmulation("kx-text.exe"), std::nullopt);
    ASSERT_EQ(WriteBrowserEmulation("kx-text.exe"), ERROR_SUCCESS);
    EXPECT_EQ(RawValue("kx-text.exe"), 11001u);
    Remove("kx-text.exe");
}

TEST(BrowserEmulation, ANameTheCallWouldCutShortIsRefused) {
    EXPECT_EQ(WriteBrowserEmulation(std::string_view("velora.exe\0x", 12)),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WriteBrowserEmulation(""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ReadBrowserEmulation(""), std::nullopt);
    EXPECT_EQ(RawValue("velora.exe"), std::nullopt);
}

}  // namespace
}  // namespace kx
