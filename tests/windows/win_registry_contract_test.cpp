// The registry contract on the real registry, under scratch keys of this
// process in HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER that are removed again.

#include "support/registry_contract.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/win_registry.h"

namespace kx {
namespace {

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

}  // namespace
}  // namespace kx
