#include "platform/linux/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace kx {

FileLock::~FileLock() {
    if (fd_) ::flock(fd_.get(), LOCK_UN);
}

int FileLock::Lock(const std::string& path, LockMode mode) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    // A shared lock can be had through a lock file we may only read.
    if (!fd && mode == LockMode::Shared) fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return errno;
    const int operation = mode == LockMode::Shared ? LOCK_SH : LOCK_EX;
    while (::flock(fd.get(), operation) != 0) {
        if (errno != EINTR) return errno;
    }
    if (fd_) ::flock(fd_.get(), LOCK_UN);
    fd_ = std::move(fd);
    return 0;
}

}  // namespace kx
