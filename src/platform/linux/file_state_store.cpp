#include "platform/linux/file_state_store.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/hive_file.h"
#include "platform/linux/unique_fd.h"
#include "platform/linux/xdg_dirs.h"

namespace kx {

namespace {

StateResult Failure(int error) { return {StateStatus::Failed, static_cast<std::uint32_t>(error)}; }

StateResult Refused() { return Failure(EINVAL); }

// The folder, made when missing; `create` is false for calls that only read.
StateResult OpenDirectory(const std::string& directory, bool create, UniqueFd* fd) {
    if (create) {
        const FileStatus made = MakeDirectories(directory);
        if (!made.ok()) return Failure(made.error);
    }
    fd->reset(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!*fd) return errno == ENOENT ? StateResult{StateStatus::Missing, 0} : Failure(errno);
    return {};
}

StateResult SyncDirectory(int directory) {
    if (::fsync(directory) != 0) return Failure(errno);
    return {};
}

bool WriteAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Removes the temporary file on every way out of a failed write.
class TempName {
public:
    TempName(int directory, std::string name) : directory_(directory), name_(std::move(name)) {}
    TempName(const TempName&) = delete;
    TempName& operator=(const TempName&) = delete;
    ~TempName() {
        if (armed_) ::unlinkat(directory_, name_.c_str(), 0);
    }
    const std::string& name() const { return name_; }
    void Disarm() { armed_ = false; }

private:
    int directory_;
    std::string name_;
    bool armed_ = true;
};

}  // namespace

std::string UserStateDirectory() { return XdgBaseDirectory(XdgBase::State) + "/kestrix"; }

FileStateStore::FileStateStore() : directory_(UserStateDirectory()) {}

StateResult FileStateStore::Write(std::string_view name, std::string_view bytes) {
    if (!IsStateName(name) || bytes.size() > kMaxStateRecordBytes) return Refused();
    UniqueFd directory;
    if (const StateResult opened = OpenDirectory(directory_, true, &directory); !opened.ok()) {
        return opened.status == StateStatus::Missing ? Failure(ENOENT) : opened;
    }
    // Record names never begin with ".", so the temporary file cannot be one.
    // A file of that name left by a killed writer is taken away first.
    TempName temp(directory.get(), "." + std::string(name) + ".tmp");
    ::unlinkat(directory.get(), temp.name().c_str(), 0);
    UniqueFd file(::openat(directory.get(), temp.name().c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file) {
        temp.Disarm();  // not ours: someone else's file is left alone
        return Failure(errno);
    }
    // The umask may have narrowed the mode; nothing may have widened it.
    if (::fchmod(file.get(), 0600) != 0) return Failure(errno);
    if (!WriteAll(file.get(), bytes)) return Failure(errno);
    if (hook_) hook_(StateWriteStep::TempWritten);
    if (::fsync(file.get()) != 0) return Failure(errno);
    if (hook_) hook_(StateWriteStep::TempSynced);
    const std::string target(name);
    // rename replaces a link at the name itself and never writes through it.
    if (::renameat(directory.get(), temp.name().c_str(), directory.get(), target.c_str()) != 0) {
        return Failure(errno);
    }
    temp.Disarm();
    if (hook_) hook_(StateWriteStep::Renamed);
    return SyncDirectory(directory.get());
}

StateResult FileStateStore::Read(std::string_view name, std::string* bytes) {
    if (!IsStateName(name)) return Refused();
    UniqueFd directory;
    if (const StateResult opened = OpenDirectory(directory_, false, &directory); !opened.ok()) {
        return opened;
    }
    const std::string target(name);
    UniqueFd file(::openat(directory.get(), target.c_str(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file) return errno == ENOENT ? StateResult{StateStatus::Missing, 0} : Failure(errno);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return Failure(errno);
    if (!S_ISREG(info.st_mode)) return Failure(EINVAL);
    if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > kMaxStateRecordBytes) {
        return Failure(EFBIG);
    }
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Failure(errno);
        }
        if (n == 0) break;
        // The file may grow while it is read; the bound holds all the same.
        if (content.size() + static_cast<std::size_t>(n) > kMaxStateRecordBytes) {
            return Failure(EFBIG);
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    *bytes = std::move(content);
    return {};
}

StateResult FileStateStore::Remove(std::string_view name) {
    if (!IsStateName(name)) return Refused();
    UniqueFd directory;
    if (const StateResult opened = OpenDirectory(directory_, false, &directory); !opened.ok()) {
        return opened;
    }
    const std::string target(name);
    if (::unlinkat(directory.get(), target.c_str(), 0) != 0) {
        return errno == ENOENT ? StateResult{StateStatus::Missing, 0} : Failure(errno);
    }
    return SyncDirectory(directory.get());
}

StateResult FileStateStore::Rename(std::string_view from, std::string_view to) {
    if (!IsStateName(from) || !IsStateName(to)) return Refused();
    UniqueFd directory;
    if (const StateResult opened = OpenDirectory(directory_, false, &directory); !opened.ok()) {
        return opened;
    }
    const std::string source(from);
    const std::string target(to);
    if (::renameat2(directory.get(), source.c_str(), directory.get(), target.c_str(),
                    RENAME_NOREPLACE) != 0) {
        const int error = errno;
        if (error == ENOENT) return {StateStatus::Missing, 0};
        if (error == EEXIST) return {StateStatus::Exists, 0};
        if (error != EINVAL && error != ENOSYS) return Failure(error);
        // A file system without the flag: a second link refuses a taken name too.
        if (::linkat(directory.get(), source.c_str(), directory.get(), target.c_str(), 0) != 0) {
            if (errno == ENOENT) return {StateStatus::Missing, 0};
            if (errno == EEXIST) return {StateStatus::Exists, 0};
            return Failure(errno);
        }
        if (::unlinkat(directory.get(), source.c_str(), 0) != 0) return Failure(errno);
    }
    return SyncDirectory(directory.get());
}

}  // namespace kx
