// The Windows installer run silently, as an administrator's script runs it:
// what it puts on the machine, the registration it has the console make, and
// that its uninstaller takes all of it away again.
//
//   kx_windows_installer_tests --installer=<path of velora-setup, Unix or Windows form>

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "test_paths.h"
#include "base/identities.h"
#include "platform/win32/win_handles.h"
#include "platform/win32/win_process_entry.h"
#include "platform/win32/win_registry.h"
#include "resources/login_template.h"

namespace kx {
namespace {

using test::WindowsPath;
using test::Lower;

std::string g_installer;  // its Windows path

constexpr DWORD kGenerousWaitMs = 120'000;  // only against a hang; nothing is timed

std::string KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR wide = nullptr;
    std::string path;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &wide)) && wide != nullptr) {
        char narrow[MAX_PATH] = {};
        WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
        path = narrow;
    }
    CoTaskMemFree(wide);
    return path;
}

const std::string kInstallFolder = KnownFolder(FOLDERID_ProgramFiles) + "\\Kestrix\\Velora";
const std::string kShortcut =
    KnownFolder(FOLDERID_CommonPrograms) + "\\Kestrix\\Kestrix Console.lnk";
const std::vector<std::string> kInstalledFiles = {
    "velora.exe", "kx_proxy_stub.dll", "uninstall.exe",
    "media\\1stPlace.wav", "media\\fanfare.wav", "media\\clap.wav"};
const std::string kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrix Console";

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs a program to its end; its exit code, or STILL_ACTIVE when it hangs.
DWORD RunToEnd(const std::string& program, const std::string& arguments) {
    std::string line = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        ADD_FAILURE() << program << " cannot start: " << GetLastError();
        return STILL_ACTIVE;
    }
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    if (WaitForSingleObject(process.get(), kGenerousWaitMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 99);
        return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

std::string Text(Registry& registry, RegKeyHandle root, const std::string& path,
                 const std::string& name = "") {
    UniqueRegKey key(registry);
    if (registry.OpenKey(root, path, RegAccess::Read, key.put()) != kErrorSuccess) {
        return "<no key>";
    }
    char data[1024] = {};
    std::uint32_t size = sizeof data - 1;
    RegType type = RegType::None;
    if (registry.QueryValue(key.get(), name, &type, reinterpret_cast<std::uint8_t*>(data),
                            &size) != kErrorSuccess) {
        return "<no value>";
    }
    return data;
}

// The folder a shortcut starts its program in.
std::string ShortcutWorkingDirectory(const std::string& shortcut) {
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
        return "<no shell link>";
    }
    std::string directory = "<unreadable>";
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        std::wstring wide(shortcut.begin(), shortcut.end());
        char path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetWorkingDirectory(path, sizeof path))) {
            directory = path;
        }
        file->Release();
    }
    link->Release();
    return directory;
}

const std::string kClassKey = "CLSID\\" + std::string(kClsidKXCommServicesText);

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }

    // The uninstaller hands over to a copy of itself and ends at once; the
    // copy removes the folder last.
    bool WaitForFolderGone() {
        for (DWORD waited = 0; waited < kGenerousWaitMs; waited += 100) {
            if (!Exists(kInstallFolder)) return true;
            Sleep(100);
        }
        return false;
    }

    WinRegistry registry_;
};

TEST_F(InstallerTest, InstallsRegistersAndUninstallsEverything) {
    ASSERT_FALSE(Exists(kInstallFolder)) << "the prefix must be new";
    ASSERT_EQ(RunToEnd(g_installer, "/S"), 0u);

    for (const std::string& file : kInstalledFiles) {
        EXPECT_TRUE(Exists(kInstallFolder + "\\" + file)) << file;
    }
    ASSERT_TRUE(Exists(kShortcut));
    EXPECT_EQ(Lower(ShortcutWorkingDirectory(kShortcut)), Lower(kInstallFolder));

    const std::string exe = kInstallFolder + "\\velora.exe";
    WinProcessEntry process;
    const std::string short_exe = process.ShortPathName(exe);
    EXPECT_EQ(Lower(Text(registry_, kHKeyClassesRoot, kClassKey + "\\LocalServer32")),
              Lower(short_exe.empty() ? exe : short_exe));
    EXPECT_EQ(Text(registry_, kHKeyClassesRoot, std::string(kVersionIndependentProgId) + "\\CLSID"),
              kClsidKXCommServicesText);
    EXPECT_EQ(Lower(Text(registry_, kHKeyClassesRoot,
                         "TypeLib\\" + std::string(kLibIdText) + "\\1.0\\0\\win64")),
              Lower(exe));
    EXPECT_EQ(Text(registry_, kHKeyClassesRoot,
                   "Interface\\" + std::string(kIidIKXServerText) + "\\ProxyStubClsid32"),
              kIidIKXServerText);
    EXPECT_EQ(Lower(Text(registry_, kHKeyClassesRoot,
                         "CLSID\\" + std::string(kIidIKXServerText) + "\\InprocServer32")),
              Lower(kInstallFolder + "\\" + std::string(kProxyStubFileName)));
    EXPECT_EQ(Lower(Text(registry_, kHKeyLocalMachine, kUninstallKey, "InstallLocation")),
              Lower(kInstallFolder));

    ASSERT_EQ(RunToEnd(kInstallFolder + "\\uninstall.exe", "/S"), 0u);
    ASSERT_TRUE(WaitForFolderGone());
    EXPECT_FALSE(Exists(kShortcut));
    // The vendor's folder held only ours.
    EXPECT_FALSE(Exists(kInstallFolder.substr(0, kInstallFolder.find_last_of('\\'))));
    for (const std::string& key :
         {kClassKey, std::string(kProgId), std::string(kVersionIndependentProgId),
          "AppID\\" + std::string(kAppIdText), "AppID\\" + std::string(kExecutableFileName),
          "TypeLib\\" + std::string(kLibIdText), "Interface\\" + std::string(kIidIKXServerText),
          "CLSID\\" + std::string(kIidIKXServerText)}) {
        EXPECT_EQ(Text(registry_, kHKeyClassesRoot, key), "<no key>") << key;
    }
    EXPECT_EQ(Text(registry_, kHKeyLocalMachine, kUninstallKey), "<no key>");
}

// The console's window of that title once shown, or null when none comes.
HWND WaitForShownWindow(const char* title) {
    for (DWORD waited = 0; waited < kGenerousWaitMs; waited += 100) {
        const HWND window = FindWindowA(nullptr, title);
        if (window != nullptr && IsWindowVisible(window)) return window;
        Sleep(100);
    }
    return nullptr;
}

TEST_F(InstallerTest, NeitherInstallerNorUninstallerChangesAnythingWhileAConsoleRuns) {
    ASSERT_EQ(RunToEnd(g_installer, "/S"), 0u);
    const std::string exe = kInstallFolder + "\\velora.exe";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string line = "\"" + exe + "\"";
    ASSERT_TRUE(CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               kInstallFolder.c_str(), &startup, &info));
    const UniqueHandle console(info.hProcess);
    const UniqueHandle thread(info.hThread);
    const HWND login = WaitForShownWindow(std::string(LoginTemplate().caption).c_str());
    ASSERT_NE(login, nullptr);

    EXPECT_EQ(RunToEnd(g_installer, "/S"), 3u);
    // In place, so that its own exit code tells.
    EXPECT_EQ(RunToEnd(kInstallFolder + "\\uninstall.exe", "/S _?=" + kInstallFolder), 3u);
    for (const std::string& file : kInstalledFiles) {
        EXPECT_TRUE(Exists(kInstallFolder + "\\" + file)) << file;
    }
    EXPECT_NE(Text(registry_, kHKeyClassesRoot, kClassKey), "<no key>");

    PostMessageA(login, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(console.get(), kGenerousWaitMs), WAIT_OBJECT_0);
    ASSERT_EQ(RunToEnd(kInstallFolder + "\\uninstall.exe", "/S"), 0u);
    EXPECT_TRUE(WaitForFolderGone());
}

}  // namespace
}  // namespace kx

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const std::string option = "--installer=";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind(option, 0) == 0) {
            kx::g_installer = kx::WindowsPath(argument.substr(option.size()));
        }
    }
    if (kx::g_installer.empty()) {
        std::fprintf(stderr, "usage: kx_windows_installer_tests --installer=<velora-setup.exe>\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
