#pragma once

// The file-system port: the few places and file calls the console needs.

#include <string>
#include <string_view>

namespace kx {

class Files {
public:
    virtual ~Files() = default;

    // GetTempPathA: the user's temporary directory, ending in its separator.
    virtual std::string TempDirectory() = 0;

    // A directory for one downloaded program that no other user can reach or
    // plant a file in, ending in its separator; empty when none can be had.
    // Windows: GetTempPathA as it is, already the user's own. Elsewhere a
    // new, empty directory at each call.
    virtual std::string PrivateDownloadDirectory() = 0;

    // Lets a downloaded file be started as a program; false when it cannot.
    // Windows: nothing to do, any file may be started.
    virtual bool MarkExecutable(std::string_view path) = 0;

    // The process's current working directory, without a trailing separator.
    virtual std::string CurrentDirectory() = 0;

    // Whether the file can be opened for reading (CreateFileA, OPEN_EXISTING).
    virtual bool CanOpen(std::string_view path) = 0;

    // DeleteFileA; false when the file could not be deleted.
    virtual bool Delete(std::string_view path) = 0;
};

}  // namespace kx
