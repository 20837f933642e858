// The registry contract on the in-memory registry and the file-backed one,
// so the stores that stand in for Windows keep its rules.

#include "support/registry_contract.h"

#include <string>
#include <vector>

#include "platform/common/memory_registry.h"
#include "platform/common/registry_tree.h"
#include "platform/linux/file_registry.h"
#include "support/scratch_directory.h"

namespace kx {
namespace {

std::vector<RegKeyHandle> StoreRoots() { return {kHKeyLocalMachine, kHKeyCurrentUser, kHKeyClassesRoot}; }

struct MemoryBackend {
    MemoryRegistry store;
    Registry& registry() { return store; }
    std::vector<RegKeyHandle> roots() { return StoreRoots(); }
    std::size_t OpenKeyCount() { return store.OpenKeyCount(); }
    RegistryRules rules() { return RegistryRules::Windows; }
};

struct FileBackend {
    test::ScratchDirectory directory;
    FileRegistry store{directory.path()};
    Registry& registry() { return store; }
    std::vector<RegKeyHandle> roots() { return StoreRoots(); }
    std::size_t OpenKeyCount() { return store.OpenKeyCount(); }
    RegistryRules rules() { return RegistryRules::Windows; }
};

class BackendNames {
public:
    template <typename T>
    static std::string GetName(int) {
        return std::is_same_v<T, MemoryBackend> ? "Memory" : "File";
    }
};

using Backends = ::testing::Types<MemoryBackend, FileBackend>;
INSTANTIATE_TYPED_TEST_SUITE_P(Stores, RegistryContractTest, Backends, BackendNames);

// The stores bound each value so that a runaway writer cannot fill the disk
// through them; Windows has no such fixed bound, so this is theirs alone.
template <typename Backend>
class StoreValueBoundTest : public ::testing::Test {
protected:
    Backend backend_;
};
TYPED_TEST_SUITE(StoreValueBoundTest, Backends, BackendNames);

TYPED_TEST(StoreValueBoundTest, RefusesValuesOverTheBound) {
    Registry& reg = this->backend_.registry();
    UniqueRegKey key(reg);
    ASSERT_EQ(reg.CreateKey(kHKeyLocalMachine, "A", RegAccess::AllAccess, key.put()), kErrorSuccess);
    struct Case {
        std::size_t size;
        long status;
    };
    for (const Case c : {Case{kMaxValueBytes, kErrorSuccess}, Case{kMaxValueBytes + 1, kErrorInvalidParameter}}) {
        const std::string bytes(c.size, 'x');
        EXPECT_EQ(reg.SetValue(key.get(), "big", RegType::Binary, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                               static_cast<std::uint32_t>(bytes.size())),
                  c.status)
            << c.size;
    }
    key.reset();
    EXPECT_EQ(this->backend_.OpenKeyCount(), 0u);
}

}  // namespace
}  // namespace kx
