#pragma once

// An advisory lock on a lock file, held for one scope. The lock lives in a
// file of its own because the data file it guards is replaced by rename, and
// a lock on a replaced file would guard nothing.
//
// Implements:
//  - FileLock: a shared or exclusive flock on a lock file created 0600,
//    never following a link, released when the scope ends.

#include <string>

#include "platform/linux/unique_fd.h"

namespace kx {

enum class LockMode { Shared, Exclusive };

class FileLock {
public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    // Unlocks before the descriptor closes, so the lock never outlives the scope
    // even if the descriptor was inherited by a child process.
    ~FileLock();

    // Opens (creating it with mode 0600 if needed) and waits for the lock.
    // On failure returns the errno value and leaves this unlocked.
    int Lock(const std::string& path, LockMode mode);

    bool locked() const { return static_cast<bool>(fd_); }

private:
    UniqueFd fd_;
};

}  // namespace kx
