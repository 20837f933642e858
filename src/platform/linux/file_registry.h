#pragma once

// Linux backend: file-backed registry.
//
// Implements:
//  - kx::Registry over one text file per hive ("HKEY_LOCAL_MACHINE.reg",
//    "HKEY_CURRENT_USER.reg", "HKEY_CLASSES_ROOT.reg") in one directory, in
//    the format of registry_text.h. The directory is the user's own, so the
//    machine hive is too: nothing here imitates the rights Windows gives it.
//  - Writes that two processes can make at once without losing either: an
//    exclusive flock on "<hive>.lock", a reload if the file changed, then a
//    temporary file (mode 0600) flushed and renamed over the hive file.
//  - Reads under a shared lock that reload only when the file changed.
//  - A hive file that cannot be parsed is never overwritten: every operation
//    on it fails with kErrorBadDatabase, and LastError() and one line on
//    stderr name the file and the line.
//
// Missing: per-key security, volatile keys, change notification.

#include <mutex>
#include <string>

#include "platform/common/hive_store.h"
#include "platform/common/tree_registry.h"
#include "platform/linux/hive_file.h"

namespace kx {

// Whether a damaged hive file is also reported on stderr (LastError() always has it).
enum class DamageReport { Stderr, Silent };

class FileHiveStore : public HiveStore {
public:
    FileHiveStore(std::string directory, DamageReport report);

    long Read(Hive hive, const HiveReader& reader) override;
    long Update(Hive hive, const HiveWriter& writer) override;

    std::string HivePath(Hive hive) const;
    std::string LastError() const;
    void SetWriteHook(WriteHook hook);

private:
    enum class CacheState { Stale, Loaded, Broken };

    struct HiveCache {
        CacheState state = CacheState::Stale;
        FilePresence presence = FilePresence::Missing;
        FileIdentity identity;
        UniqueFd pin;  // keeps the loaded version's inode from being reused
        RegistryTree tree;
        std::string damage;  // why a Broken file was refused, naming file and line
    };

    // Brings the cache up to the file's current version; call with the hive locked.
    long Refresh(Hive hive);
    long Fail(int error, std::string message);
    std::string LockPath(Hive hive) const;
    HiveCache& cache(Hive hive) {
        if (hive == Hive::ClassesRoot) return classes_root_;
        return hive == Hive::CurrentUser ? current_user_ : local_machine_;
    }

    const std::string directory_;
    const DamageReport report_;
    mutable std::mutex mutex_;
    HiveCache local_machine_;
    HiveCache classes_root_;
    HiveCache current_user_;
    std::string last_error_;
    WriteHook write_hook_;
};

class FileRegistry : public TreeRegistry {
public:
    explicit FileRegistry(std::string directory, DamageReport report = DamageReport::Stderr)
        : TreeRegistry(store_), store_(std::move(directory), report) {}
    FileRegistry(const FileRegistry&) = delete;
    FileRegistry& operator=(const FileRegistry&) = delete;

    // $XDG_CONFIG_HOME/kestrix/registry, else ~/.config/kestrix/registry.
    // The directory is made (mode 0700) by the first write, not here.
    static std::string DefaultDirectory();

    std::string HivePath(Hive hive) const { return store_.HivePath(hive); }

    // The last failure of the store, naming the file (and line), or empty.
    std::string LastError() const { return store_.LastError(); }

    // For crash tests: called at each step of every hive write.
    void SetWriteHook(WriteHook hook) { store_.SetWriteHook(std::move(hook)); }

private:
    // Constructed after the base, which only keeps a reference to it.
    FileHiveStore store_;
};

}  // namespace kx
