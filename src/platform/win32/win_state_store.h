#pragma once

// Windows backend: the state port over plain files.
//
// Implements:
//  - kx::StateStore in %LOCALAPPDATA%\Kestrix, made when missing. A write
//    goes to a new temporary file in the same folder (CreateFileA, WriteFile,
//    FlushFileBuffers) and is moved over the record with
//    MoveFileExA(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), so the
//    record is on disk, old or new, whenever the machine stops. A record that
//    is a reparse point (a link) is not read through. A rename never replaces
//    a record (MoveFileExA without MOVEFILE_REPLACE_EXISTING).
// Errors are GetLastError's.
//
// Missing: an access list of its own; the folder has the user profile's,
// which already keeps other users out.

#include <string>
#include <string_view>

#include "platform/state_store.h"

namespace kx {

class WinStateStore final : public StateStore {
public:
    // The user's own state folder.
    WinStateStore();
    explicit WinStateStore(std::string directory) : directory_(std::move(directory)) {}

    const std::string& Directory() const { return directory_; }

    StateResult Write(std::string_view name, std::string_view bytes) override;
    StateResult Read(std::string_view name, std::string* bytes) override;
    StateResult Remove(std::string_view name) override;
    StateResult Rename(std::string_view from, std::string_view to) override;

private:
    std::string PathOf(std::string_view name) const;

    std::string directory_;
};

// The folder WinStateStore() uses; empty when LOCALAPPDATA is unset or not
// a full path, so that writing fails rather than lands elsewhere.
std::string UserStateDirectory();

}  // namespace kx
