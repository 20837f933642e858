#pragma once

// A registry held in memory, for tests: the same semantics as the file-backed
// registry, with switches that make reads or writes fail as a broken store would.
//
// Implements:
//  - kx::Registry over hives in memory (MemoryHiveStore under TreeRegistry);
//  - failure switches for reads and writes.
//
// Missing: persistence, by design.

#include "platform/common/hive_store.h"
#include "platform/common/tree_registry.h"

namespace kx {

class MemoryHiveStore : public HiveStore {
public:
    long Read(Hive hive, const HiveReader& reader) override;
    long Update(Hive hive, const HiveWriter& writer) override;

    RegistryTree& tree(Hive hive) {
        if (hive == Hive::ClassesRoot) return classes_root_;
        return hive == Hive::CurrentUser ? current_user_ : local_machine_;
    }

    // kErrorSuccess lets operations through again.
    void FailReads(long error) { read_error_ = error; }
    void FailWrites(long error) { write_error_ = error; }

private:
    RegistryTree local_machine_;
    RegistryTree classes_root_;
    RegistryTree current_user_;
    long read_error_ = kErrorSuccess;
    long write_error_ = kErrorSuccess;
};

class MemoryRegistry : public TreeRegistry {
public:
    MemoryRegistry() : TreeRegistry(store_) {}
    MemoryRegistry(const MemoryRegistry&) = delete;
    MemoryRegistry& operator=(const MemoryRegistry&) = delete;

    // The hive as stored, to seed or inspect it directly.
    RegistryTree& tree(Hive hive) { return store_.tree(hive); }

    // Every later read (open, query, enumeration) or write fails with `error`.
    void FailReads(long error) { store_.FailReads(error); }
    void FailWrites(long error) { store_.FailWrites(error); }

private:
    // Constructed after the base, which only keeps a reference to it.
    MemoryHiveStore store_;
};

}  // namespace kx
