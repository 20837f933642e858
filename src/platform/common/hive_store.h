#pragma once

// Where a registry keeps its hives. The registry's semantics live once in
// TreeRegistry; a store only loads a hive for reading and applies one change
// to it as a whole, so the in-memory and the file-backed registries cannot
// drift apart.
//
// Implements:
//  - HiveStore, the interface of a hive's keeping (read whole, change whole);
//  - the status a failed write reports.

#include <functional>
#include <string_view>

#include "platform/common/registry_tree.h"

namespace kx {

// ERROR_REGISTRY_IO_FAILED: a hive could not be written.
inline constexpr long kErrorRegistryIoFailed = 1016;

enum class Hive { LocalMachine, ClassesRoot, CurrentUser };

// The predefined key's Win32 name, e.g. "HKEY_LOCAL_MACHINE".
std::string_view HiveName(Hive hive);

enum class HiveChange { Unchanged, Changed };

// Reads a hive; its result becomes the store's result.
using HiveReader = std::function<long(const RegistryTree&)>;

// Changes a hive. It must leave the tree as it found it when it fails, and
// report whether it changed anything, so that a store writes only real changes.
using HiveWriter = std::function<long(RegistryTree&, HiveChange&)>;

class HiveStore {
public:
    virtual ~HiveStore() = default;

    // Gives the reader the hive's current content, or fails without calling it.
    virtual long Read(Hive hive, const HiveReader& reader) = 0;

    // Applies the writer to the hive's current content and keeps the result
    // only if the writer succeeds and the store can keep it.
    virtual long Update(Hive hive, const HiveWriter& writer) = 0;
};

}  // namespace kx
