#include "app/server_registration.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/common/memory_registry.h"

namespace kx {
namespace {

const std::string kExe = R"(C:\Program Files\Kestrix\velora.EXE)";
const std::string kShortExe = R"(C:\PROGRA~1\Kestrix\velora.EXE)";
const std::string kTlb = R"(C:\Program Files\Kestrix\velora.tlb)";
const std::string kHelp = R"( help C:\Program Files\Kestrix\)";
const std::string kProxyStub = R"(C:\Program Files\Kestrix\kx_proxy_stub.dll)";
const KeyPath kLocalServer = {"CLSID", "{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}", "LocalServer32"};

// The type-library calls and the DLL registration, recorded in one order.
class FakeTypeLibraries final : public TypeLibraries, public DllRegistration {
public:
    std::map<std::string, HResult> loads = {{kExe, kS_OK}};  // any other path cannot load
    HResult register_result = kS_OK;
    HResult dll_result = kS_OK;
    std::vector<std::string> calls;

    HResult LoadTypeLib(std::string_view path, TypeLibHandle* library) override {
        calls.push_back("Load " + std::string(path));
        const auto found = loads.find(std::string(path));
        const HResult result = found == loads.end() ? kTYPE_E_CANTLOADLIBRARY : found->second;
        if (Succeeded(result)) *library = 7;
        return result;
    }
    HResult RegisterTypeLib(TypeLibHandle, std::string_view path, std::string_view help) override {
        calls.push_back("Register " + std::string(path) + " help " + std::string(help));
        return register_result;
    }
    HResult UnRegisterTypeLib(TypeLibHandle) override {
        calls.push_back("Unregister");
        return kE_FAIL;
    }
    void Release(TypeLibHandle) override { calls.push_back("Release"); }
    HResult RegisterServer(std::string_view path) override {
        calls.push_back("DllRegisterServer " + std::string(path));
        return dll_result;
    }
    HResult UnregisterServer(std::string_view path) override {
        calls.push_back("DllUnregisterServer " + std::string(path));
        return kE_FAIL;
    }
};

// `path` for a key, `path name="text"` for a string value (@: the default),
// depth first in the registry's own order.
void List(const RegKeyNode& key, const std::string& path, std::string* listing) {
    if (!path.empty()) *listing += path + "\n";
    for (const RegValue& value : key.values) {
        const bool is_text = value.type == RegType::Sz && !value.data.empty() &&
                             value.data.find('\0') == value.data.size() - 1;
        *listing += path + " " + (value.name.empty() ? "@" : value.name) + "=" +
                    (is_text ? "\"" + value.data.substr(0, value.data.size() - 1) + "\""
                             : "<not a text>") +
                    "\n";
    }
    for (const RegKeyNode& subkey : key.subkeys) {
        List(subkey, path.empty() ? subkey.name : path + "\\" + subkey.name, listing);
    }
}

class ServerRegistrationTest : public ::testing::Test {
protected:
    // What "RegServer" and "UnregServer" do.
    HResult Register() {
        ServerRegistration registration(registry_, libraries_, libraries_, {kExe, kShortExe});
        registration.ApplyScript(RegistryScript::Application, ScriptMode::Register);
        return registration.RegisterServer();
    }
    HResult Unregister() {
        ServerRegistration registration(registry_, libraries_, libraries_, {kExe, kShortExe});
        registration.ApplyScript(RegistryScript::Application, ScriptMode::Unregister);
        return registration.UnregisterServer();
    }

    RegistryTree& ClassesRoot() { return registry_.tree(Hive::ClassesRoot); }
    std::string Listing() {
        std::string listing;
        List(ClassesRoot().root(), "", &listing);
        return listing;
    }

    MemoryRegistry registry_;
    FakeTypeLibraries libraries_;
};

TEST_F(ServerRegistrationTest, RegisterWritesExactlyTheEntriesOfBothScripts) {
    EXPECT_EQ(Register(), kS_OK);

    EXPECT_EQ(Listing(), R"(AppID
AppID\velora.EXE
AppID\velora.EXE AppID="{362ACD01-8964-4B7C-A890-7EC8485A4083}"
AppID\{362ACD01-8964-4B7C-A890-7EC8485A4083}
AppID\{362ACD01-8964-4B7C-A890-7EC8485A4083} @="velora"
CLSID
CLSID\{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}
CLSID\{EDD57D80-F4F6-11D3-8B9E-00105A18F13D} @="KXCommServices Class"
CLSID\{EDD57D80-F4F6-11D3-8B9E-00105A18F13D} AppID="{362ACD01-8964-4B7C-A890-7EC8485A4083}"
CLSID\{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}\LocalServer32
CLSID\{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}\LocalServer32 @="C:\PROGRA~1\Kestrix\velora.EXE"
CLSID\{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}\ProgID
CLSID\{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}\ProgID @="Velora.KXCommServices.1"
CLSID\{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}\TypeLib
CLSID\{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}\TypeLib @="{7929BA92-3AA7-42AE-B507-5D2C29816D89}"
CLSID\{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}\VersionIndependentProgID
CLSID\{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}\VersionIndependentProgID @="Velora.KXCommServices"
Velora.KXCommServices
Velora.KXCommServices @="KXCommServices Class"
Velora.KXCommServices\CLSID
Velora.KXCommServices\CLSID @="{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}"
Velora.KXCommServices\CurVer
Velora.KXCommServices\CurVer @="Velora.KXCommServices.1"
Velora.KXCommServices.1
Velora.KXCommServices.1 @="KXCommServices Class"
Velora.KXCommServices.1\CLSID
Velora.KXCommServices.1\CLSID @="{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}"
)");
    EXPECT_EQ(libraries_.calls,
              (std::vector<std::string>{"Load " + kExe, "Register " + kExe + kHelp, "Release",
                                        "DllRegisterServer " + kProxyStub}));
    EXPECT_EQ(registry_.OpenKeyCount(), 0u);
}

TEST_F(ServerRegistrationTest, RegisteringAgainLeavesOneSetWithTheClassKeyReplacedWhole) {
    ASSERT_EQ(Register(), kS_OK);
    const RegistryTree once = ClassesRoot();
    // Left by an older registration of the class.
    RegKeyNode& class_key = ClassesRoot().Create({kLocalServer[0], kLocalServer[1]});
    class_key.AddSubkey("InprocServer32");
    class_key.SetValue("Stale", RegType::Sz, std::string("x\0", 2));

    ASSERT_EQ(Register(), kS_OK);
    EXPECT_EQ(ClassesRoot(), once);
}

TEST_F(ServerRegistrationTest, UnregisterKeepsOnlyTheSharedParentsAndOthersEntries) {
    EXPECT_EQ(Unregister(), kS_OK);
    EXPECT_EQ(Listing(), "") << "unregistering creates nothing";

    ASSERT_EQ(Register(), kS_OK);
    libraries_.calls.clear();
    EXPECT_EQ(Unregister(), kS_OK);
    EXPECT_EQ(Listing(), "AppID\nCLSID\n");
    EXPECT_EQ(libraries_.calls,
              (std::vector<std::string>{"Load " + kExe, "Unregister", "Release",
                                        "DllUnregisterServer " + kProxyStub}));

    // Another server's entries beside ours.
    ClassesRoot().Create({"AppID", "other.exe"});
    ClassesRoot().Create({"CLSID", "{00000000-1111-2222-3333-444444444444}", "LocalServer32"});
    ClassesRoot().Create({"TypeLib", "{7929BA92-3AA7-42AE-B507-5D2C29816D89}", "1.0"});
    const RegistryTree others = ClassesRoot();
    ASSERT_EQ(Register(), kS_OK);
    EXPECT_EQ(Unregister(), kS_OK);
    EXPECT_EQ(ClassesRoot(), others);
    EXPECT_EQ(registry_.OpenKeyCount(), 0u);
}

TEST_F(ServerRegistrationTest, LocalServerIsTheShortPathElseTheLongOneAsItIs) {
    struct Case {
        std::string long_path, short_path, local_server;
    };
    const Case cases[] = {
        {kExe, "", kExe},
        // The registry holds the path itself; a quote in it escapes nothing.
        {R"(C:\O'Brien's\velora.EXE)", "", R"(C:\O'Brien's\velora.EXE)"},
        {R"(C:\100%MODULE%\velora.EXE)", R"(C:\100MOD~1\velora.EXE)", R"(C:\100MOD~1\velora.EXE)"},
    };
    for (const Case& c : cases) {
        MemoryRegistry registry;
        ServerRegistration registration(registry, libraries_, libraries_,
                                        {c.long_path, c.short_path});
        ASSERT_EQ(registration.ApplyScript(RegistryScript::Class, ScriptMode::Register), kS_OK);
        const RegKeyNode* key = registry.tree(Hive::ClassesRoot).Find(kLocalServer);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->values, (std::vector<RegValue>{{"", RegType::Sz, c.local_server + '\0'}}));
    }
}

TEST_F(ServerRegistrationTest, TypeLibraryComesFromTheExecutableElseTheTlbFileBesideIt) {
    struct Case {
        HResult exe_load, tlb_load, register_result, expected;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {kTYPE_E_CANTLOADLIBRARY, kS_OK, kS_OK, kS_OK,
         {"Load " + kExe, "Load " + kTlb, "Register " + kTlb + kHelp, "Release",
          "DllRegisterServer " + kProxyStub}},
        {kTYPE_E_CANTLOADLIBRARY, kSTG_E_FILENOTFOUND, kS_OK, kSTG_E_FILENOTFOUND, {"Load " + kExe, "Load " + kTlb}},
        {kS_OK, kS_OK, kE_ACCESSDENIED, kE_ACCESSDENIED,
         {"Load " + kExe, "Register " + kExe + kHelp, "Release"}},
    };
    for (const Case& c : cases) {
        MemoryRegistry registry;
        FakeTypeLibraries libraries;
        libraries.loads = {{kExe, c.exe_load}, {kTlb, c.tlb_load}};
        libraries.register_result = c.register_result;
        EXPECT_EQ(ServerRegistration(registry, libraries, libraries, {kExe, ""}).RegisterServer(),
                  c.expected);
        EXPECT_EQ(libraries.calls, c.calls);
        // The script's entries come first and stay whatever the library does.
        EXPECT_NE(registry.tree(Hive::ClassesRoot).Find(kLocalServer), nullptr);
    }
}

TEST_F(ServerRegistrationTest, AScriptThatCannotBeWrittenEndsRegistrationWithItsError) {
    registry_.FailWrites(kErrorAccessDenied);
    EXPECT_EQ(Register(), kE_ACCESSDENIED);
    EXPECT_TRUE(libraries_.calls.empty());
    EXPECT_EQ(registry_.OpenKeyCount(), 0u);
}

TEST_F(ServerRegistrationTest, TheProxyStubComesLastAndItsFailureIsRegistrationsResult) {
    libraries_.dll_result = kE_ACCESSDENIED;
    EXPECT_EQ(Register(), kE_ACCESSDENIED);
    EXPECT_EQ(libraries_.calls.back(), "DllRegisterServer " + kProxyStub);
    // What was written before stays, as after any failing step.
    EXPECT_NE(ClassesRoot().Find(kLocalServer), nullptr);
}

TEST_F(ServerRegistrationTest, NoProxyStubIsRegisteredWhenTheTypeLibraryFails) {
    for (const HResult load : {kTYPE_E_CANTLOADLIBRARY, kS_OK}) {
        libraries_.calls.clear();
        libraries_.loads = {{kExe, load}};
        libraries_.register_result = kE_ACCESSDENIED;
        EXPECT_NE(Register(), kS_OK);
        for (const std::string& call : libraries_.calls) {
            EXPECT_EQ(call.find("Dll"), std::string::npos) << call;
        }
    }
}

TEST(ServerRegistrationPathsTest, TheProxyStubLiesInTheDirectoryOfTheLongPath) {
    struct Case {
        std::string long_path, short_path, proxy_stub;
    };
    const Case cases[] = {
        {kExe, kShortExe, kProxyStub},
        {R"(C:\Kestrix 2.1\velora.EXE)", "", R"(C:\Kestrix 2.1\kx_proxy_stub.dll)"},
        {"Z:/work/velora.exe", "", "Z:/work/kx_proxy_stub.dll"},
    };
    for (const Case& c : cases) {
        MemoryRegistry registry;
        FakeTypeLibraries libraries;
        const ServerRegistration registration(registry, libraries, libraries,
                                              {c.long_path, c.short_path});
        EXPECT_EQ(registration.ProxyStubPath(), c.proxy_stub) << c.long_path;
    }
}

TEST(ServerRegistrationPathsTest, TlbFileBesideTheExecutableAndHelpDirectory) {
    struct Case {
        std::string path, tlb, help_directory;
    };
    const Case cases[] = {
        {R"(C:\Kestrix\velora.old.EXE)", R"(C:\Kestrix\velora.old.tlb)", R"(C:\Kestrix\)"},
        {R"(C:\Kestrix\velora)", R"(C:\Kestrix\velora.tlb)", R"(C:\Kestrix\)"},
        // A dot in a directory's name starts no extension of the file.
        {R"(C:\Kestrix 2.1\velora)", R"(C:\Kestrix 2.1\velora.tlb)", R"(C:\Kestrix 2.1\)"},
        {"C:velora.EXE", "C:velora.tlb", "C:"},
        {"velora.EXE", "velora.tlb", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TypeLibFileBeside(c.path), c.tlb) << c.path;
        EXPECT_EQ(HelpDirectoryOf(c.path), c.help_directory) << c.path;
    }
}

}  // namespace
}  // namespace kx

namespace kx {
namespace {

TEST(RegistryScriptTextTest, TheScriptsReadAsTheRegistrarsLanguageWithTheSameEntries) {
    EXPECT_EQ(RegistryScriptText(RegistryScript::Application),
              "HKCR\r\n{\r\n"
              "\tNoRemove 'AppID'\r\n\t{\r\n"
              "\t\t'{362ACD01-8964-4B7C-A890-7EC8485A4083}' = s 'velora'\r\n"
              "\t\t'velora.EXE'\r\n\t\t{\r\n"
              "\t\t\tval 'AppID' = s '{362ACD01-8964-4B7C-A890-7EC8485A4083}'\r\n"
              "\t\t}\r\n"
              "\t}\r\n}\r\n");
    const std::string text = RegistryScriptText(RegistryScript::Class);
    for (const char* line : {
             "\t'Velora.KXCommServices.1' = s 'KXCommServices Class'\r\n",
             "\t\t'CurVer' = s 'Velora.KXCommServices.1'\r\n",
             "\tNoRemove 'CLSID'\r\n",
             "\t\tForceRemove '{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}' = s 'KXCommServices Class'\r\n",
             "\t\t\tval 'AppID' = s '{362ACD01-8964-4B7C-A890-7EC8485A4083}'\r\n",
             "\t\t\t'LocalServer32' = s '%MODULE%'\r\n",
             "\t\t\t'TypeLib' = s '{7929BA92-3AA7-42AE-B507-5D2C29816D89}'\r\n",
         }) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
    }
    // Every block closes what it opens.
    EXPECT_EQ(std::count(text.begin(), text.end(), '{') - std::count(text.begin(), text.end(), '}'),
              0);
}

}  // namespace
}  // namespace kx
