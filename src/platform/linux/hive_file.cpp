#include "platform/linux/hive_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace kx {
namespace {

FileStatus Failure(int error, const std::string& path, std::string_view action) {
    return FileStatus{error, path + ": " + std::string(action) + ": " +
                                 std::generic_category().message(error)};
}

FileIdentity IdentityOf(const struct stat& info) {
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                        static_cast<std::uint64_t>(info.st_ino),
                        static_cast<std::int64_t>(info.st_size),
                        static_cast<std::int64_t>(info.st_mtim.tv_sec),
                        static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

std::string ParentDirectory(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool WriteAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Removes a temporary file on every path out of a failed replacement.
class TempFileGuard {
public:
    explicit TempFileGuard(const std::string& path) : path_(path) {}
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    ~TempFileGuard() {
        if (armed_) ::unlink(path_.c_str());
    }
    void Disarm() { armed_ = false; }

private:
    const std::string& path_;
    bool armed_ = true;
};

}  // namespace

FileStatus StatFile(const std::string& path, FilePresence* presence, FileIdentity* identity) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            *presence = FilePresence::Missing;
            *identity = FileIdentity{};
            return {};
        }
        return Failure(errno, path, "cannot examine");
    }
    *presence = FilePresence::Present;
    *identity = IdentityOf(info);
    return {};
}

FileStatus ReadFileSnapshot(const std::string& path, FileSnapshot* snapshot) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) {
            *snapshot = FileSnapshot{};
            return {};
        }
        return Failure(errno, path, "cannot open");
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return Failure(errno, path, "cannot examine");
    if (!S_ISREG(info.st_mode)) return Failure(EINVAL, path, "not a regular file");
    if (info.st_size > kMaxHiveFileBytes) return Failure(EFBIG, path, "cannot read");
    std::string content;
    content.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (true) {
        if (done == content.size()) {
            // The size is a hint only: read on until the end of the file.
            if (content.size() >= static_cast<std::size_t>(kMaxHiveFileBytes)) {
                return Failure(EFBIG, path, "cannot read");
            }
            content.resize(content.size() + 4096);
        }
        const ssize_t n = ::read(fd.get(), content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Failure(errno, path, "cannot read");
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    content.resize(done);
    snapshot->presence = FilePresence::Present;
    snapshot->identity = IdentityOf(info);
    snapshot->pin = std::move(fd);
    snapshot->content = std::move(content);
    return {};
}

FileStatus ReplaceFileAtomically(const std::string& path, const std::string& temp_path,
                                 const std::string& content, const WriteHook& hook,
                                 FileSnapshot* written) {
    // Only the holder of the hive's exclusive lock writes, so a fixed name is
    // safe and a temporary file left by a crashed writer is simply reused.
    UniqueFd fd(::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                       0600));
    if (!fd) return Failure(errno, temp_path, "cannot create");
    TempFileGuard guard(temp_path);
    // The umask may have narrowed the mode, or a stale file may have another one.
    if (::fchmod(fd.get(), 0600) != 0) return Failure(errno, temp_path, "cannot set mode");
    if (!WriteAll(fd.get(), content)) return Failure(errno, temp_path, "cannot write");
    if (hook) hook(WriteStep::TempWritten);
    if (::fsync(fd.get()) != 0) return Failure(errno, temp_path, "cannot flush");
    if (hook) hook(WriteStep::TempSynced);
    if (::rename(temp_path.c_str(), path.c_str()) != 0) return Failure(errno, path, "cannot replace");
    guard.Disarm();
    if (hook) hook(WriteStep::Renamed);

    // The rename is durable only once the directory entry is on disk too.
    const std::string directory = ParentDirectory(path);
    UniqueFd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return Failure(errno, directory, "cannot open");
    if (::fsync(dir.get()) != 0) return Failure(errno, directory, "cannot flush");
    if (hook) hook(WriteStep::DirectorySynced);

    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return Failure(errno, path, "cannot examine");
    written->presence = FilePresence::Present;
    written->identity = IdentityOf(info);
    written->pin = std::move(fd);
    written->content.clear();
    return {};
}

FileStatus MakeDirectories(const std::string& path) {
    std::size_t next = 0;
    while (next != std::string::npos) {
        next = path.find('/', next + 1);
        const std::string prefix = path.substr(0, next);
        if (prefix.empty()) continue;
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return Failure(errno, prefix, "cannot create directory");
        }
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return Failure(errno, path, "cannot examine");
    if (!S_ISDIR(info.st_mode)) return Failure(ENOTDIR, path, "cannot use as directory");
    return {};
}

}  // namespace kx

