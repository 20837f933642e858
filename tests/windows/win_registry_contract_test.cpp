// The registry contract on the real registry, under scratch keys of this
// process in HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER that are removed again.

#include "support/registry_contract.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/win_registry.h"

namespace kx {
namespace {

RegistryRules RulesOfThisSystem() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    return wine ? RegistryRules::Wine : RegistryRules::Windows;
}

std::string ScratchPath() { return "Software\\KxContract" + std::to_string(GetCurrentProcessId()); }

class Win32Backend {
public:
    Win32Backend() {
        for (const RegKeyHandle hive : kHives) {
            // A scratch key left by a crashed run of the same id starts empty again.
            store_.DeleteKeyTree(hive, path_);
            RegKeyHandle key = kNullKey;
            EXPECT_EQ(store_.CreateKey(hive, path_, RegAccess::AllAccess, &key), kErrorSuccess);
            roots_.push_back(key);
        }
    }
    Win32Backend(const Win32Backend&) = delete;
    Win32Backend& operator=(const Win32Backend&) = delete;
    ~Win32Backend() {
        for (const RegKeyHandle key : roots_) store_.CloseKey(key);
        for (const RegKeyHandle hive : kHives) store_.DeleteKeyTree(hive, path_);
    }

    Registry& registry() { return store_; }
    std::vector<RegKeyHandle> roots() { return roots_; }
    std::size_t OpenKeyCount() { return store_.OpenKeyCount() - roots_.size(); }
    RegistryRules rules() { return RulesOfThisSystem(); }

private:
    static constexpr RegKeyHandle kHives[] = {kHKeyLocalMachine, kHKeyCurrentUser};
    WinRegistry store_;
    const std::string path_ = ScratchPath();
    std::vector<RegKeyHandle> roots_;
};

class BackendNames {
public:
    template <typename T>
    static std::string GetName(int) {
        return "Win32";
    }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Windows, RegistryContractTest, ::testing::Types<Win32Backend>,
                               BackendNames);

// Nothing of the scratch keys outlives the backend.
TEST(WinRegistry, ScratchKeysAreRemovedAndNoHandleStaysOpen) {
    WinRegistry registry;
    {
        Win32Backend backend;
        EXPECT_EQ(backend.OpenKeyCount(), 0u);
    }
    for (const RegKeyHandle hive : {kHKeyLocalMachine, kHKeyCurrentUser}) {
        UniqueRegKey key(registry);
        EXPECT_EQ(registry.OpenKey(hive, ScratchPath(), RegAccess::Read, key.put()), kErrorFileNotFound);
    }
    EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

// Why the contract's writes are followed by a byte that is not zero: a text
// without its terminator gains one when the byte after its data is zero.
TEST(WinRegistry, ATextWithoutTerminatorGainsTheZeroByteAfterIt) {
    Win32Backend backend;
    Registry& registry = backend.registry();
    struct Case {
        std::string memory;  // the value's byte, then the byte after it
        std::string stored;
    };
    const std::vector<Case> cases = {{std::string("1\0", 2), std::string("1\0", 2)}, {"1#", "1"}};
    for (const Case& c : cases) {
        UniqueRegKey key(registry);
        ASSERT_EQ(registry.OpenKey(backend.roots().front(), "", RegAccess::AllAccess, key.put()), kErrorSuccess);
        ASSERT_EQ(registry.SetValue(key.get(), "T", RegType::Sz,
                                    reinterpret_cast<const std::uint8_t*>(c.memory.data()), 1),
                  kErrorSuccess);
        std::uint8_t buffer[8] = {};
        std::uint32_t size = sizeof buffer;
        ASSERT_EQ(registry.QueryValue(key.get(), "T", nullptr, buffer, &size), kErrorSuccess);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), size), c.stored);
    }
}

}  // namespace
}  // namespace kx
