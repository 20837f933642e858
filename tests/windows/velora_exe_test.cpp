// velora.exe itself, started as a player or an installer starts it: the
// registration switches read back from the registry, and a plain start that
// shows the login and ends when it is cancelled.
//
//   kx_windows_exe_tests --velora=<path of velora.exe, Unix or Windows form>

#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_paths.h"
#include "app/server_registration.h"
#include "kestrix/game_services.h"
#include "base/identities.h"
#include "platform/common/memory_registry.h"
#include "platform/win32/win_com_server.h"
#include "platform/win32/win_handles.h"
#include "platform/win32/win_process_entry.h"
#include "platform/win32/win_registry.h"
#include "resources/login_template.h"

namespace kx {
namespace {

using test::WindowsPath;
using test::Lower;

std::string g_velora;  // its Windows path

// Wine sees the build's folders on drive Z:.
// Registry names and paths compare without regard to case.
std::string Directory(const std::string& path) { return path.substr(0, path.find_last_of('\\') + 1); }

constexpr DWORD kGenerousWaitMs = 60'000;  // only against a hang; nothing is timed

class Process {
public:
    // Starts velora.exe (or `program`) with `switches` in `directory`.
    Process(const std::string& switches, const std::string& directory,
            const std::string& program = g_velora) {
        std::string line = "\"" + program + "\"";
        if (!switches.empty()) line += " " + switches;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           directory.c_str(), &startup, &info)) {
            process_.reset(info.hProcess);
            CloseHandle(info.hThread);
        }
    }
    ~Process() {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 99);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return static_cast<bool>(process_); }
    bool Running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
    // The exit code, or STILL_ACTIVE when it did not end.
    DWORD WaitForExit() {
        if (!process_) return STILL_ACTIVE;
        if (WaitForSingleObject(process_.get(), kGenerousWaitMs) != WAIT_OBJECT_0) {
            return STILL_ACTIVE;
        }
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.get(), &code);
        return code;
    }

private:
    UniqueHandle process_;
};

// The shown top-level window of that title, or null when the console ended
// (or never showed it) first.
HWND WaitForShownWindow(const Process& console, const std::string& title) {
    for (DWORD waited = 0; waited < kGenerousWaitMs && console.Running(); waited += 100) {
        const HWND window = FindWindowA(nullptr, title.c_str());
        if (window != nullptr && IsWindowVisible(window)) return window;
        Sleep(100);
    }
    return nullptr;
}

DWORD RunVelora(const std::string& switches, const std::string& program = g_velora) {
    Process process(switches, Directory(program), program);
    EXPECT_TRUE(process.Started()) << GetLastError();
    return process.WaitForExit();
}

// A key of the registry with its values and subkeys, in one order whatever
// order the store keeps: "path", then "path name=<type>:bytes" per value.
void List(Registry& registry, RegKeyHandle key, const std::string& path, std::string* out) {
    *out += Lower(path) + "\n";
    std::vector<std::string> values;
    for (std::uint32_t i = 0;; ++i) {
        std::string name, data;
        RegType type = RegType::None;
        if (registry.EnumValue(key, i, &name, &type, &data) != kErrorSuccess) break;
        values.push_back(Lower(path) + " " + (name.empty() ? "@" : Lower(name)) + "=" +
                         std::to_string(static_cast<unsigned>(type)) + ":" + data);
    }
    std::sort(values.begin(), values.end());
    for (const std::string& value : values) *out += value + "\n";
    std::vector<std::string> subkeys;
    for (std::uint32_t i = 0;; ++i) {
        char name[256] = {};
        std::uint32_t chars = sizeof name;
        if (registry.EnumKey(key, i, name, &chars) != kErrorSuccess) break;
        subkeys.emplace_back(name, chars);
    }
    std::sort(subkeys.begin(), subkeys.end(),
              [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
    for (const std::string& subkey : subkeys) {
        UniqueRegKey child(registry);
        if (registry.OpenKey(key, subkey, RegAccess::Read, child.put()) != kErrorSuccess) continue;
        List(registry, child.get(), path + "\\" + subkey, out);
    }
}

// The listing of one key below HKEY_CLASSES_ROOT; empty when it is missing.
std::string Listing(Registry& registry, const std::string& path) {
    UniqueRegKey key(registry);
    if (registry.OpenKey(kHKeyClassesRoot, path, RegAccess::Read, key.put()) != kErrorSuccess) {
        return {};
    }
    std::string out;
    List(registry, key.get(), path, &out);
    return out;
}

bool Exists(Registry& registry, const std::string& path) { return !Listing(registry, path).empty(); }

std::string DefaultText(Registry& registry, const std::string& path) {
    UniqueRegKey key(registry);
    if (registry.OpenKey(kHKeyClassesRoot, path, RegAccess::Read, key.put()) != kErrorSuccess) {
        return "<no key>";
    }
    char data[1024] = {};
    std::uint32_t size = sizeof data - 1;
    RegType type = RegType::None;
    if (registry.QueryValue(key.get(), "", &type, reinterpret_cast<std::uint8_t*>(data), &size) !=
        kErrorSuccess) {
        return "<no value>";
    }
    return data;
}

// The keys registration owns whole; AppID and CLSID themselves are shared.
const std::string kClassKey = "CLSID\\" + std::string(kClsidKXCommServicesText);
const std::string kProxyStubClassKey = "CLSID\\" + std::string(kIidIKXServerText);
const std::string kInterfaceKey = "Interface\\" + std::string(kIidIKXServerText);
const std::string kTypeLibKey = "TypeLib\\" + std::string(kLibIdText);
const std::vector<std::string> kScriptKeys = {
    "AppID\\" + std::string(kAppIdText), "AppID\\" + std::string(kExecutableFileName),
    std::string(kProgId), std::string(kVersionIndependentProgId), kClassKey};

class NothingElse final : public TypeLibraries, public DllRegistration {
public:
    HResult LoadTypeLib(std::string_view, TypeLibHandle*) override { return kE_FAIL; }
    HResult RegisterTypeLib(TypeLibHandle, std::string_view, std::string_view) override {
        return kE_FAIL;
    }
    HResult UnRegisterTypeLib(TypeLibHandle) override { return kE_FAIL; }
    void Release(TypeLibHandle) override {}
    HResult RegisterServer(std::string_view) override { return kE_FAIL; }
    HResult UnregisterServer(std::string_view) override { return kE_FAIL; }
};

class VeloraExeTest : public ::testing::Test {
protected:
    // Every test leaves the prefix as it found it.
    void TearDown() override { EXPECT_EQ(RunVelora("-UnregServer"), 0u); }

    // What the core writes for this executable, the way velora.exe names itself.
    std::string ExpectedScriptEntries() {
        WinProcessEntry process;
        ServerModule module{g_velora, process.ShortPathName(g_velora)};
        MemoryRegistry expected;
        NothingElse nothing;
        ServerRegistration registration(expected, nothing, nothing, module);
        EXPECT_EQ(registration.ApplyScript(RegistryScript::Application, ScriptMode::Register), kS_OK);
        EXPECT_EQ(registration.ApplyScript(RegistryScript::Class, ScriptMode::Register), kS_OK);
        return ScriptListing(expected);
    }

    std::string ScriptListing(Registry& registry) {
        std::string out;
        for (const std::string& key : kScriptKeys) out += Listing(registry, key);
        return out;
    }

    std::string Everything() {
        return ScriptListing(registry_) + Listing(registry_, kTypeLibKey) +
               Listing(registry_, kInterfaceKey) + Listing(registry_, kProxyStubClassKey);
    }

    WinRegistry registry_;
};

TEST_F(VeloraExeTest, RegServerWritesExactlyTheCoresEntries) {
    ASSERT_EQ(RunVelora("-RegServer"), 0u);
    const std::string expected = ExpectedScriptEntries();
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(ScriptListing(registry_), expected);
    EXPECT_EQ(DefaultText(registry_, kClassKey + "\\LocalServer32"),
              WinProcessEntry().ShortPathName(g_velora));
}

TEST_F(VeloraExeTest, RegServerRegistersTheTypeLibraryFromTheExecutable) {
    ASSERT_EQ(RunVelora("/regserver"), 0u);
    EXPECT_EQ(DefaultText(registry_, kTypeLibKey + "\\1.0"), kTypeLibHelpString);
    EXPECT_EQ(Lower(DefaultText(registry_, kTypeLibKey + "\\1.0\\0\\win64")), Lower(g_velora));
    EXPECT_EQ(Lower(DefaultText(registry_, kTypeLibKey + "\\1.0\\HELPDIR")),
              Lower(Directory(g_velora)));
}

TEST_F(VeloraExeTest, RegServerRegistersTheProxyStubBesideTheExecutable) {
    ASSERT_EQ(RunVelora("-RegServer"), 0u);
    EXPECT_EQ(DefaultText(registry_, kInterfaceKey + "\\ProxyStubClsid32"), kIidIKXServerText);
    EXPECT_EQ(Lower(DefaultText(registry_, kProxyStubClassKey + "\\InprocServer32")),
              Lower(Directory(g_velora) + std::string(kProxyStubFileName)));
}

TEST_F(VeloraExeTest, RegisteringTwiceLeavesOneSet) {
    ASSERT_EQ(RunVelora("-RegServer"), 0u);
    const std::string once = Everything();
    ASSERT_EQ(RunVelora("-RegServer"), 0u);
    EXPECT_EQ(Everything(), once);
}

TEST_F(VeloraExeTest, UnregServerRemovesEverythingButTheSharedParents) {
    ASSERT_EQ(RunVelora("-RegServer"), 0u);
    ASSERT_EQ(RunVelora("-UnregServer"), 0u);
    for (const std::string& key : kScriptKeys) EXPECT_FALSE(Exists(registry_, key)) << key;
    for (const std::string& key : {kTypeLibKey, kInterfaceKey, kProxyStubClassKey}) {
        EXPECT_FALSE(Exists(registry_, key)) << key;
    }
    EXPECT_TRUE(Exists(registry_, "AppID"));
    EXPECT_TRUE(Exists(registry_, "CLSID"));
    // Nothing registered is nothing to remove, and still no failure.
    EXPECT_EQ(RunVelora("-UnregServer"), 0u);
}

TEST_F(VeloraExeTest, WithoutItsProxyStubRegServerFailsAfterTheRestIsWritten) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + "kx velora alone\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string alone = folder + "velora.exe";
    ASSERT_TRUE(CopyFileA(g_velora.c_str(), alone.c_str(), FALSE)) << GetLastError();

    EXPECT_EQ(RunVelora("-RegServer", alone),
              static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)));
    EXPECT_EQ(Lower(DefaultText(registry_, kTypeLibKey + "\\1.0\\0\\win64")), Lower(alone));
    EXPECT_TRUE(Exists(registry_, kClassKey));
    EXPECT_FALSE(Exists(registry_, kInterfaceKey));

    // Unregistering ends with 0 all the same, and removes what was written.
    EXPECT_EQ(RunVelora("-UnregServer", alone), 0u);
    EXPECT_FALSE(Exists(registry_, kClassKey));
    EXPECT_FALSE(Exists(registry_, kTypeLibKey));
    DeleteFileA(alone.c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST_F(VeloraExeTest, ASwitchFollowedByABlankIsNoSwitch) {
    // The console runs instead: it shows the login, which is then cancelled.
    Process console("-RegServer ", Directory(g_velora));
    ASSERT_TRUE(console.Started());
    const std::string caption(LoginTemplate().caption);
    const HWND login = WaitForShownWindow(console, caption);
    ASSERT_NE(login, nullptr) << "no window titled " << caption;
    EXPECT_FALSE(Exists(registry_, kClassKey));
    PostMessageA(login, WM_CLOSE, 0, 0);
    EXPECT_EQ(console.WaitForExit(), 0u);
}

// A folder of the test's own as the console's working directory, for its trace file.
class ScratchFolder {
public:
    ScratchFolder() {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        path_ = std::string(temp) + "kx velora run\\";
        CreateDirectoryA(path_.c_str(), nullptr);
        DeleteFileA((path_ + "debug.txt").c_str());
    }
    ~ScratchFolder() {
        DeleteFileA((path_ + "debug.txt").c_str());
        RemoveDirectoryA(path_.c_str());
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TEST_F(VeloraExeTest, APlainStartShowsTheLoginServesTheClassAndEndsWhenItIsCancelled) {
    const ScratchFolder folder;
    Process console("", folder.path());
    ASSERT_TRUE(console.Started());
    const std::string caption(LoginTemplate().caption);
    const HWND login = WaitForShownWindow(console, caption);
    ASSERT_NE(login, nullptr) << "no window titled " << caption;
    // The console's own window is there already, for a second start to find.
    EXPECT_NE(FindWindowA(nullptr, std::string(kConsoleWindowTitle).c_str()), nullptr);

    // Its class object answers from the other process, though nothing is
    // registered: COM finds the running server first, and each creation is
    // a services object of the console's own.
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        IClassFactory* factory = nullptr;
        const GUID clsid = ToWinGuid(kClsidKXCommServices);
        const HRESULT found = CoGetClassObject(clsid, CLSCTX_LOCAL_SERVER, nullptr,
                                               IID_IClassFactory,
                                               reinterpret_cast<void**>(&factory));
        EXPECT_EQ(found, S_OK);
        if (factory != nullptr) {
            IUnknown* object = nullptr;
            EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown,
                                              reinterpret_cast<void**>(&object)),
                      S_OK);
            EXPECT_NE(object, nullptr);
            if (object != nullptr) object->Release();
            factory->Release();
        }
        CoUninitialize();
    }

    // A second start, even one that asks to register, only brings the first forward.
    EXPECT_EQ(RunVelora("-RegServer"), 0u);
    EXPECT_FALSE(Exists(registry_, kClassKey));
    EXPECT_TRUE(console.Running());

    PostMessageA(login, WM_CLOSE, 0, 0);
    EXPECT_EQ(console.WaitForExit(), 0u);
    std::ifstream trace(folder.path() + "debug.txt");
    std::ostringstream text;
    text << trace.rdbuf();
    EXPECT_NE(text.str().find("Init Console"), std::string::npos) << text.str();
}

// A game client started before any console: COM starts the registered
// console (LocalServer32), the game gets an object of its own, and once the
// console has ended a call fails at once instead of waiting for it.
TEST_F(VeloraExeTest, AGameStartedFirstStartsTheConsoleAndHearsWhenItHasGone) {
    ASSERT_EQ(RunVelora("-RegServer"), 0u);
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        std::int32_t hr = E_FAIL;
        std::optional<kestrix::KXCommServices> game = kestrix::KXCommServices::Create(&hr);
        ASSERT_TRUE(game.has_value()) << kestrix::ResultName(hr);
        std::optional<kestrix::KXCommServices> second = kestrix::KXCommServices::Create(&hr);
        ASSERT_TRUE(second.has_value()) << kestrix::ResultName(hr);

        // The console that COM started shows its login, and no play is on.
        HWND login = nullptr;
        for (DWORD waited = 0; login == nullptr && waited < kGenerousWaitMs; waited += 100) {
            login = FindWindowA(nullptr, std::string(LoginTemplate().caption).c_str());
            if (login == nullptr) Sleep(100);
        }
        ASSERT_NE(login, nullptr);
        kestrix::KXTOURINFOSTRUCT info{};
        info.dwSize = sizeof info;
        EXPECT_EQ(kestrix::ResultName(game->GetGameInfo(&info)), "KX_E_NOTINITIALIZED");
        EXPECT_EQ(kestrix::ResultName(second->EndGame(1)), "KX_E_NOTINITIALIZED");

        DWORD console_id = 0;
        GetWindowThreadProcessId(login, &console_id);
        UniqueHandle console(OpenProcess(SYNCHRONIZE, FALSE, console_id));
        PostMessageA(login, WM_CLOSE, 0, 0);
        ASSERT_EQ(WaitForSingleObject(console.get(), kGenerousWaitMs), WAIT_OBJECT_0);

        const DWORD before = GetTickCount();
        const std::int32_t gone = game->GetCommandStatus();
        EXPECT_TRUE(kestrix::Failed(gone)) << kestrix::ResultName(gone);
        EXPECT_LT(GetTickCount() - before, kGenerousWaitMs);
    }
    CoUninitialize();
}

}  // namespace
}  // namespace kx

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const std::string option = "--velora=";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind(option, 0) == 0) kx::g_velora = kx::WindowsPath(argument.substr(option.size()));
    }
    if (kx::g_velora.empty()) {
        std::fprintf(stderr, "usage: kx_windows_exe_tests --velora=<path of velora.exe>\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
