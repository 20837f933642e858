#include "app/startup.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/common/memory_registry.h"
#include "platform/hresult.h"
#include "support/fake_clock.h"

namespace kx {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

const std::string kExe = R"(C:\Program Files\Kestrix\velora.EXE)";
const std::string kProxyStub = R"(C:\Program Files\Kestrix\kx_proxy_stub.dll)";

std::string Text(const Guid& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  g.data1, g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                  g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

// Every port the entry function touches, recording each call in order.
class RecordingPlatform final : public SingleInstance, public ProcessEntry, public ComServer,
                                public TypeLibraries, public DllRegistration,
                                public WindowSystem {
public:
    Calls calls;
    WindowId other_console = kNoWindow;
    std::string command_line;
    HResult initialize = kS_OK, register_class = kS_OK, revoke = kS_OK, load = kS_OK,
            register_dll = kS_OK;

    WindowId FindWindowByTitle(std::string_view title) override {
        return Call("FindWindow " + std::string(title), other_console);
    }
    void SetForegroundWindow(WindowId w) override { Call("SetForeground " + std::to_string(w)); }
    std::string CommandLine() override { return Call("GetCommandLine", command_line); }
    std::string ModuleFileName() override { return Call("GetModuleFileName", kExe); }
    std::string ShortPathName(std::string_view) override {
        return Call("GetShortPathName", std::string());
    }
    void InitCommonControls(CommonControlClasses classes) override {
        Call("InitCommonControlsEx " + std::to_string(static_cast<unsigned>(classes)));
    }
    void Sleep(std::uint32_t ms) override { Call("Sleep " + std::to_string(ms)); }
    HResult Initialize() override { return Call("CoInitialize", initialize); }
    void Uninitialize() override { Call("CoUninitialize"); }
    HResult RegisterClassObject(const Guid& clsid, ClassContext context, ClassUse use,
                                ClassCookie* cookie) override {
        *cookie = 9;
        return Call("CoRegisterClassObject " + Text(clsid) + " " +
                        std::to_string(static_cast<unsigned>(context)) + " " +
                        std::to_string(static_cast<unsigned>(use)),
                    register_class);
    }
    HResult RevokeClassObject(ClassCookie c) override {
        return Call("CoRevokeClassObject " + std::to_string(c), revoke);
    }
    HResult LoadTypeLib(std::string_view path, TypeLibHandle* library) override {
        if (Succeeded(load)) *library = 1;
        return Call("LoadTypeLib " + std::string(path), load);
    }
    HResult RegisterTypeLib(TypeLibHandle, std::string_view, std::string_view) override {
        return Call("RegisterTypeLib", kS_OK);
    }
    HResult UnRegisterTypeLib(TypeLibHandle) override { return Call("UnRegisterTypeLib", kE_FAIL); }
    void Release(TypeLibHandle) override { Call("Release"); }
    HResult RegisterServer(std::string_view path) override {
        return Call("DllRegisterServer " + std::string(path), register_dll);
    }
    HResult UnregisterServer(std::string_view path) override {
        return Call("DllUnregisterServer " + std::string(path), kE_FAIL);
    }
    int RunModal(const DialogTemplate&, DialogHandler&, WindowId) override { return -1; }
    WindowId ActiveWindow() override { return Call("GetActiveWindow", WindowId{77}); }
    MessageBoxResult ShowMessageBox(WindowId, std::string_view, std::string_view,
                                    MessageBoxButtons) override {
        return MessageBoxResult::Ok;
    }

private:
    void Call(std::string call) { calls.push_back(std::move(call)); }
    template <typename T>
    T Call(std::string call, T result) {
        calls.push_back(std::move(call));
        return result;
    }
};

class StartupTest : public ::testing::Test {
protected:
    StartupTest() { fs::create_directories(dir_); }
    ~StartupTest() override { fs::remove_all(dir_); }

    int Run(std::string command_line) {
        platform_.calls.clear();
        platform_.command_line = std::move(command_line);
        const StartupParts parts{.single_instance = &platform_, .process = &platform_,
                                 .com = &platform_, .registry = &registry_,
                                 .type_libraries = &platform_, .dlls = &platform_,
                                 .windows = &platform_,
                                 .clock = &clock_, .trace_log = &trace_,
                                 .trace_file = dir_ / "debug.txt", .trace_fallback = {}};
        return ConsoleMain(parts, [this](WindowId owner) {
            std::ifstream trace(dir_ / "debug.txt");
            std::ostringstream text;
            text << trace.rdbuf();
            platform_.calls.push_back("RunConsole " + std::to_string(owner) + " " + text.str());
        });
    }

    bool Registered(const KeyPath& key) {
        return registry_.tree(Hive::ClassesRoot).Find(key) != nullptr;
    }

    const fs::path dir_ = fs::temp_directory_path() /
                          ("kx_startup_" + std::string(::testing::UnitTest::GetInstance()
                                                           ->current_test_info()
                                                           ->name()));
    RecordingPlatform platform_;
    MemoryRegistry registry_;
    test::FakeClock clock_{5'000};
    TraceLog trace_;
};

TEST(SwitchScanTest, TheWholeRestOfTheLineAfterADashOrSlashIsTheSwitch) {
    const std::pair<const char*, ServerSwitch> cases[] = {
        {"velora.EXE /RegServer", ServerSwitch::RegServer},
        {"velora.EXE -regserver", ServerSwitch::RegServer},
        {"velora.EXE /unregSERVER", ServerSwitch::UnregServer},
        {R"("C:\kx-games\velora.EXE" -UnregServer)", ServerSwitch::UnregServer},
        {"velora.EXE /Other -RegServer", ServerSwitch::RegServer},
        {"velora.EXE //RegServer", ServerSwitch::RegServer},
        {"velora.EXE -RegServer -UnregServer", ServerSwitch::UnregServer},
        {"velora.EXE /RegServer ", ServerSwitch::None},
        {"velora.EXE /RegServer /Other", ServerSwitch::None},
        {"velora.EXE RegServer", ServerSwitch::None},
        {"velora.EXE \\RegServer", ServerSwitch::None},
        {"velora.EXE /RegServers", ServerSwitch::None},
        {"velora.EXE -Embedding", ServerSwitch::None},
        {"C:/Games/velora.EXE", ServerSwitch::None},
        {"", ServerSwitch::None},
    };
    for (const auto& [command_line, expected] : cases) {
        EXPECT_EQ(ScanSwitches(command_line), expected) << '[' << command_line << ']';
    }
}

const std::string kRegisterClass =
    "CoRegisterClassObject {EDD57D80-F4F6-11D3-8B9E-00105A18F13D} 4 1";
const std::string kRunConsole = "RunConsole 77 5.00,Init Console,0:0\n";

TEST_F(StartupTest, NormalStartServesTheConsoleThenShutsDownInOrder) {
    EXPECT_EQ(Run(kExe + " -Embedding"), 0);
    EXPECT_EQ(platform_.calls,
              (Calls{"FindWindow Kestrix Console", "GetCommandLine", "CoInitialize", kRegisterClass,
                     "InitCommonControlsEx 32", "GetActiveWindow", kRunConsole,
                     "CoRevokeClassObject 9", "Sleep 1000", "CoUninitialize"}));
    EXPECT_EQ(registry_.tree(Hive::ClassesRoot), RegistryTree());
}

TEST_F(StartupTest, FailuresOfComAreNotReportedNorUndoneAndTheConsoleRuns) {
    struct Case {
        HResult initialize, register_class, revoke;
        Calls calls;  // after CoInitialize
    };
    const Case cases[] = {
        {kS_FALSE, kS_OK, kE_FAIL,  // already an apartment; revocation refused
         {kRegisterClass, "InitCommonControlsEx 32", "GetActiveWindow", kRunConsole,
          "CoRevokeClassObject 9", "Sleep 1000", "CoUninitialize"}},
        {kRPC_E_CHANGED_MODE, kS_OK, kS_OK,  // RPC_E_CHANGED_MODE
         {kRegisterClass, "InitCommonControlsEx 32", "GetActiveWindow", kRunConsole,
          "CoRevokeClassObject 9", "Sleep 1000"}},
        {kS_OK, kE_FAIL, kS_OK,
         {kRegisterClass, "InitCommonControlsEx 32", "GetActiveWindow", kRunConsole,
          "Sleep 1000", "CoUninitialize"}},
    };
    for (const Case& c : cases) {
        platform_.initialize = c.initialize;
        platform_.register_class = c.register_class;
        platform_.revoke = c.revoke;
        EXPECT_EQ(Run(kExe), 0);
        Calls expected = {"FindWindow Kestrix Console", "GetCommandLine", "CoInitialize"};
        expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        EXPECT_EQ(platform_.calls, expected);
    }
}

TEST_F(StartupTest, ASecondStartOnlyBringsTheFirstForward) {
    platform_.other_console = 42;
    for (const char* line : {"velora.EXE", "velora.EXE /RegServer", "velora.EXE -UnregServer"}) {
        EXPECT_EQ(Run(line), 0);
        EXPECT_EQ(platform_.calls, (Calls{"FindWindow Kestrix Console", "SetForeground 42"}));
    }
    EXPECT_EQ(registry_.tree(Hive::ClassesRoot), RegistryTree());
    EXPECT_FALSE(fs::exists(dir_ / "debug.txt"));
}

TEST_F(StartupTest, RegistrationSwitchesShowNoWindowAndEndWithTheirResult) {
    const Calls start = {"FindWindow Kestrix Console", "GetCommandLine", "CoInitialize",
                         "GetModuleFileName", "GetShortPathName", "LoadTypeLib " + kExe};
    EXPECT_EQ(Run("velora.EXE /RegServer"), 0);
    Calls expected = start;
    expected.insert(expected.end(), {"RegisterTypeLib", "Release",
                                     "DllRegisterServer " + kProxyStub, "CoUninitialize"});
    EXPECT_EQ(platform_.calls, expected);
    EXPECT_TRUE(Registered({"AppID", "velora.EXE"}));
    EXPECT_TRUE(Registered({"Velora.KXCommServices"}));

    // Unregistration ends with 0 even when the type library refuses.
    EXPECT_EQ(Run("velora.EXE /UnregServer"), 0);
    expected = start;
    expected.insert(expected.end(), {"UnRegisterTypeLib", "Release",
                                     "DllUnregisterServer " + kProxyStub, "CoUninitialize"});
    EXPECT_EQ(platform_.calls, expected);
    EXPECT_FALSE(Registered({"AppID", "velora.EXE"}));
    EXPECT_FALSE(Registered({"Velora.KXCommServices"}));

    platform_.load = kTYPE_E_CANTLOADLIBRARY;
    EXPECT_EQ(Run("velora.EXE /RegServer"), kTYPE_E_CANTLOADLIBRARY);
    EXPECT_FALSE(fs::exists(dir_ / "debug.txt"));
}

TEST_F(StartupTest, AProxyStubThatCannotRegisterIsTheExitCodeOfRegServer) {
    platform_.register_dll = kREGDB_E_CLASSNOTREG;
    EXPECT_EQ(Run("velora.EXE -RegServer"), kREGDB_E_CLASSNOTREG);
    EXPECT_EQ(platform_.calls.back(), "CoUninitialize");
    EXPECT_TRUE(Registered({"Velora.KXCommServices"}));
}

TEST_F(StartupTest, AConsoleRunNeverTouchesTheProxyStub) {
    EXPECT_EQ(Run(kExe), 0);
    for (const std::string& call : platform_.calls) {
        EXPECT_EQ(call.find("Dll"), std::string::npos) << call;
    }
}

}  // namespace
}  // namespace kx
