// What velora.exe carries, read back from this test program, which links
// the same generated resources: the six dialogs as the core's templates
// build them, the two registry scripts, the type library, the version and
// the manifest.

#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/server_registration.h"
#include "platform/win32/win_dialog_template.h"
#include "resources/console_template.h"
#include "resources/download_template.h"
#include "resources/login_template.h"
#include "resources/registration_template.h"
#include "resources/server_wait_template.h"
#include "resources/tip_template.h"

namespace kx {
namespace {

std::string_view Resource(LPCSTR name, LPCSTR type) {
    HRSRC found = FindResourceA(nullptr, name, type);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = LockResource(loaded);
    return {static_cast<const char*>(bytes), SizeofResource(nullptr, found)};
}

std::string OwnPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

TEST(WinResources, EachDialogIsTheTemplateTheCoreBuilds) {
    for (const DialogTemplate* dialog :
         {&ServerWaitTemplate(), &TipTemplate(), &ConsoleTemplate(), &RegistrationTemplate(),
          &LoginTemplate(), &DownloadTemplate()}) {
        const std::string_view carried =
            Resource(MAKEINTRESOURCEA(dialog->resource_id), MAKEINTRESOURCEA(5));  // RT_DIALOG
        ASSERT_FALSE(carried.empty()) << dialog->resource_id;
        const std::vector<std::uint16_t> built = BuildDialogTemplate(*dialog);
        // The resource compiler may pad the end to a DWORD.
        const std::size_t size = built.size() * 2;
        ASSERT_GE(carried.size(), size) << dialog->resource_id;
        std::size_t first_difference = size;
        for (std::size_t i = 0; i < size; ++i) {
            if (carried[i] != reinterpret_cast<const char*>(built.data())[i]) {
                first_difference = i;
                break;
            }
        }
        EXPECT_EQ(first_difference, size) << dialog->resource_id << ": bytes differ from there on";
        EXPECT_LE(carried.size() - size, 2u) << dialog->resource_id;
    }
}

TEST(WinResources, TheRegistryScriptsAreTheOnesRegistrationApplies) {
    EXPECT_EQ(Resource(MAKEINTRESOURCEA(100), "REGISTRY"),
              RegistryScriptText(RegistryScript::Application));
    EXPECT_EQ(Resource(MAKEINTRESOURCEA(102), "REGISTRY"),
              RegistryScriptText(RegistryScript::Class));
}

TEST(WinResources, TheTypeLibraryDescribesTheClassTheInterfaceAndTheRecord) {
    const std::string path = OwnPath();
    std::wstring wide(path.begin(), path.end());
    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadTypeLibEx(wide.c_str(), REGKIND_NONE, &library), S_OK);

    struct Case {
        const char* name;
        TYPEKIND kind;
        unsigned size;  // of the record only
        unsigned functions;
    };
    const Case cases[] = {
        {"KXCommServices", TKIND_COCLASS, 0, 0},
        {"IKXServer", TKIND_INTERFACE, 0, 10},
        {"KXTOURINFOSTRUCT", TKIND_RECORD, 184, 0},
    };
    for (const Case& c : cases) {
        std::wstring name(c.name, c.name + std::strlen(c.name));
        ITypeInfo* info = nullptr;
        MEMBERID member = 0;
        USHORT found = 1;
        ASSERT_EQ(library->FindName(name.data(), 0, &info, &member, &found), S_OK) << c.name;
        ASSERT_EQ(found, 1) << c.name;
        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
        // A typedef of an unnamed record names the record through an alias.
        if (attributes->typekind == TKIND_ALIAS && attributes->tdescAlias.vt == VT_USERDEFINED) {
            ITypeInfo* record = nullptr;
            ASSERT_EQ(info->GetRefTypeInfo(attributes->tdescAlias.hreftype, &record), S_OK);
            info->ReleaseTypeAttr(attributes);
            info->Release();
            info = record;
            ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
        }
        EXPECT_EQ(attributes->typekind, c.kind) << c.name;
        if (c.size != 0) {
            EXPECT_EQ(attributes->cbSizeInstance, c.size) << c.name;
        }
        if (c.functions != 0) {
            EXPECT_EQ(attributes->cFuncs, c.functions) << c.name;
        }
        info->ReleaseTypeAttr(attributes);
        info->Release();
    }
    library->Release();
}

TEST(WinResources, TheVersionSaysTwoNoughtNoughtOneAndSelfRegistering) {
    const std::string path = OwnPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    void* value = nullptr;
    EXPECT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\OLESelfRegister", &value,
                               &length));
}

TEST(WinResources, TheManifestAsksForTheNewControlsAndPerMonitorScaling) {
    const std::string_view manifest = Resource(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string_view::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string_view::npos);
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string_view::npos);
    EXPECT_FALSE(Resource(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14)).empty());  // RT_GROUP_ICON
}

}  // namespace
}  // namespace kx
