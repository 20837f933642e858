#include "platform/common/memory_registry.h"

namespace kx {

long MemoryHiveStore::Read(Hive hive, const HiveReader& reader) {
    if (read_error_ != kErrorSuccess) return read_error_;
    return reader(tree(hive));
}

long MemoryHiveStore::Update(Hive hive, const HiveWriter& writer) {
    if (write_error_ != kErrorSuccess) return write_error_;
    HiveChange change = HiveChange::Unchanged;
    return writer(tree(hive), change);
}

}  // namespace kx
