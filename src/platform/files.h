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

    // The process's current working directory, without a trailing separator.
    virtual std::string CurrentDirectory() = 0;

    // Whether the file can be opened for reading (CreateFileA, OPEN_EXISTING).
    virtual bool CanOpen(std::string_view path) = 0;

    // DeleteFileA; false when the file could not be deleted.
    virtual bool Delete(std::string_view path) = 0;
};

}  // namespace kx
