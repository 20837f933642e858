#include "platform/linux/file_registry.h"


#include <cerrno>
#include <iostream>
#include <utility>

#include "platform/common/registry_text.h"
#include "platform/linux/file_lock.h"
#include "platform/linux/xdg_dirs.h"

namespace kx {
namespace {

long ErrorCodeFor(int error) {
    return (error == EACCES || error == EPERM || error == EROFS) ? kErrorAccessDenied
                                                                : kErrorRegistryIoFailed;
}


}  // namespace

FileHiveStore::FileHiveStore(std::string directory, DamageReport report)
    : directory_(std::move(directory)), report_(report) {}

std::string FileHiveStore::HivePath(Hive hive) const {
    return directory_ + "/" + std::string(HiveName(hive)) + ".reg";
}

std::string FileHiveStore::LockPath(Hive hive) const {
    return directory_ + "/" + std::string(HiveName(hive)) + ".lock";
}

std::string FileHiveStore::LastError() const {
    std::lock_guard lock(mutex_);
    return last_error_;
}

void FileHiveStore::SetWriteHook(WriteHook hook) {
    std::lock_guard lock(mutex_);
    write_hook_ = std::move(hook);
}

long FileHiveStore::Fail(int error, std::string message) {
    last_error_ = std::move(message);
    return ErrorCodeFor(error);
}

long FileHiveStore::Refresh(Hive hive) {
    HiveCache& entry = cache(hive);
    const std::string path = HivePath(hive);
    FilePresence presence = FilePresence::Missing;
    FileIdentity identity;
    FileStatus status = StatFile(path, &presence, &identity);
    if (!status.ok()) return Fail(status.error, std::move(status.message));
    const bool unchanged = entry.state != CacheState::Stale && entry.presence == presence &&
                           entry.identity == identity;
    if (!unchanged) {
        FileSnapshot snapshot;
        status = ReadFileSnapshot(path, &snapshot);
        if (!status.ok()) {
            entry.state = CacheState::Stale;
            return Fail(status.error, std::move(status.message));
        }
        entry.presence = snapshot.presence;
        entry.identity = snapshot.identity;
        entry.pin = std::move(snapshot.pin);
        entry.state = CacheState::Loaded;
        entry.tree = RegistryTree();
        if (snapshot.presence == FilePresence::Present) {
            HiveTextParse parsed = ParseHiveText(snapshot.content);
            if (parsed.error) {
                entry.state = CacheState::Broken;
                entry.damage = path + ":" + std::to_string(parsed.error->line) + ": " + parsed.error->message;
                // Said once per damaged version of the file, not on every call.
                if (report_ == DamageReport::Stderr) std::cerr << entry.damage << '\n';
            } else {
                entry.tree = std::move(parsed.tree);
            }
        }
    }
    if (entry.state == CacheState::Broken) {
        last_error_ = entry.damage;
        return kErrorBadDatabase;
    }
    return kErrorSuccess;
}

long FileHiveStore::Read(Hive hive, const HiveReader& reader) {
    std::lock_guard guard(mutex_);
    // Readers never see a torn file thanks to the rename, so a lock file that
    // cannot be opened (read-only or missing directory) does not stop a read.
    FileLock lock;
    lock.Lock(LockPath(hive), LockMode::Shared);
    const long status = Refresh(hive);
    if (status != kErrorSuccess) return status;
    return reader(cache(hive).tree);
}

long FileHiveStore::Update(Hive hive, const HiveWriter& writer) {
    std::lock_guard guard(mutex_);
    FileStatus made = MakeDirectories(directory_);
    if (!made.ok()) return Fail(made.error, std::move(made.message));
    FileLock lock;
    if (const int error = lock.Lock(LockPath(hive), LockMode::Exclusive); error != 0) {
        return Fail(error, LockPath(hive) + ": cannot lock: " + std::generic_category().message(error));
    }
    long status = Refresh(hive);
    if (status != kErrorSuccess) return status;

    HiveCache& entry = cache(hive);
    HiveChange change = HiveChange::Unchanged;
    status = writer(entry.tree, change);
    if (status != kErrorSuccess || change == HiveChange::Unchanged) return status;

    const std::string path = HivePath(hive);
    FileSnapshot written;
    FileStatus replaced = ReplaceFileAtomically(path, path + ".tmp",
                                                SerializeHiveText(entry.tree, HiveName(hive)),
                                                write_hook_, &written);
    if (!replaced.ok()) {
        // The change is in memory only: drop it so the next call rereads the file.
        entry.state = CacheState::Stale;
        return Fail(replaced.error, std::move(replaced.message));
    }
    entry.presence = written.presence;
    entry.identity = written.identity;
    entry.pin = std::move(written.pin);
    return kErrorSuccess;
}

std::string FileRegistry::DefaultDirectory() {
    return XdgBaseDirectory(XdgBase::Config) + "/kestrix/registry";
}

}  // namespace kx
