#include "platform/win32/win_type_libraries.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/identities.h"
#include "platform/win32/win_process_entry.h"
#include "platform/win32/win_registry.h"

namespace kx {
namespace {

const std::string kVersionKey = "TypeLib\\" + std::string(kLibIdText) + "\\1.0";

bool KeyExists(WinRegistry& registry, const std::string& path) {
    RegKeyHandle key = kNullKey;
    if (registry.OpenKey(kHKeyClassesRoot, path, RegAccess::Read, &key) != kErrorSuccess) {
        return false;
    }
    registry.CloseKey(key);
    return true;
}

std::string DefaultValue(WinRegistry& registry, const std::string& path) {
    RegKeyHandle key = kNullKey;
    if (registry.OpenKey(kHKeyClassesRoot, path, RegAccess::Read, &key) != kErrorSuccess) {
        return "<no key>";
    }
    std::uint8_t data[1024] = {};
    std::uint32_t size = sizeof data - 1;
    RegType type = RegType::None;
    const long result = registry.QueryValue(key, "", &type, data, &size);
    registry.CloseKey(key);
    if (result != kErrorSuccess) return "<no value>";
    return reinterpret_cast<const char*>(data);
}

// This test program carries velora.exe's resources, its type library too.
class WinTypeLibrariesTest : public ::testing::Test {
protected:
    void TearDown() override {
        registry_.DeleteKeyTree(kHKeyClassesRoot, "TypeLib\\" + std::string(kLibIdText));
        EXPECT_EQ(libraries_.HeldCount(), 0u);
    }

    const std::string own_path_ = WinProcessEntry().ModuleFileName();
    WinTypeLibraries libraries_;
    WinRegistry registry_;
};

TEST_F(WinTypeLibrariesTest, TheLibraryLoadsFromTheExecutableAndIsReleasedOnce) {
    TypeLibHandle library = kNoTypeLib;
    ASSERT_EQ(libraries_.LoadTypeLib(own_path_, &library), S_OK);
    EXPECT_NE(library, kNoTypeLib);
    EXPECT_EQ(libraries_.HeldCount(), 1u);
    libraries_.Release(library);
    EXPECT_EQ(libraries_.HeldCount(), 0u);
    // A second release of the same handle reaches nothing.
    libraries_.Release(library);
    EXPECT_EQ(libraries_.HeldCount(), 0u);
    EXPECT_FALSE(KeyExists(registry_, kVersionKey)) << "loading registers nothing";
}

TEST_F(WinTypeLibrariesTest, WhatCannotBeLoadedFailsAndLeavesTheHandleAlone) {
    const std::string cases[] = {
        own_path_ + ".gone",
        "C:\\windows\\win.ini",  // a file, but no library
        std::string("C:\\with\0zero.tlb", 16),
        std::string(),
    };
    for (const std::string& path : cases) {
        TypeLibHandle library = 99;
        EXPECT_TRUE(FAILED(libraries_.LoadTypeLib(path, &library))) << path;
        EXPECT_EQ(library, 99u) << path;
    }
    EXPECT_EQ(libraries_.LoadTypeLib(own_path_, nullptr), E_POINTER);
}

TEST_F(WinTypeLibrariesTest, RegisteringWritesTheLibrarysKeyAndUnregisteringRemovesIt) {
    TypeLibHandle library = kNoTypeLib;
    ASSERT_EQ(libraries_.LoadTypeLib(own_path_, &library), S_OK);
    const std::string help = own_path_.substr(0, own_path_.find_last_of('\\') + 1);
    ASSERT_EQ(libraries_.RegisterTypeLib(library, own_path_, help), S_OK);
    EXPECT_EQ(DefaultValue(registry_, kVersionKey), kTypeLibHelpString);
    EXPECT_EQ(lstrcmpiA(DefaultValue(registry_, kVersionKey + "\\0\\win64").c_str(),
                        own_path_.c_str()),
              0);

    EXPECT_EQ(libraries_.UnRegisterTypeLib(library), S_OK);
    EXPECT_FALSE(KeyExists(registry_, kVersionKey));
    libraries_.Release(library);
}

TEST_F(WinTypeLibrariesTest, AHandleNeverGivenOrGivenBackIsRefused) {
    TypeLibHandle given_back = kNoTypeLib;
    ASSERT_EQ(libraries_.LoadTypeLib(own_path_, &given_back), S_OK);
    libraries_.Release(given_back);
    for (const TypeLibHandle handle : {kNoTypeLib, TypeLibHandle{12345}, given_back}) {
        EXPECT_EQ(libraries_.RegisterTypeLib(handle, own_path_, ""), E_INVALIDARG);
        EXPECT_EQ(libraries_.UnRegisterTypeLib(handle), E_INVALIDARG);
        libraries_.Release(handle);
    }
    EXPECT_FALSE(KeyExists(registry_, kVersionKey));
}

TEST_F(WinTypeLibrariesTest, APathWithAZeroIsRefusedBeforeRegistering) {
    TypeLibHandle library = kNoTypeLib;
    ASSERT_EQ(libraries_.LoadTypeLib(own_path_, &library), S_OK);
    EXPECT_EQ(libraries_.RegisterTypeLib(library, std::string("C:\\a\0b.exe", 10), ""),
              E_INVALIDARG);
    EXPECT_EQ(libraries_.RegisterTypeLib(library, "", ""), E_INVALIDARG);
    EXPECT_FALSE(KeyExists(registry_, kVersionKey));
    libraries_.Release(library);
}

}  // namespace
}  // namespace kx
