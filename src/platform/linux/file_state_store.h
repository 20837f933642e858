#pragma once

// Linux backend: the state port over plain files.
//
// Implements:
//  - kx::StateStore in one folder, $XDG_STATE_HOME/kestrix or
//    ~/.local/state/kestrix, made with mode 0700 when missing. A write goes
//    to a fresh temporary file in the same folder (mode 0600, O_NOFOLLOW), is
//    fsynced, renamed over the record and the folder is fsynced, so the
//    record is on disk, old or new, whenever the machine stops. Every call
//    works relative to one descriptor of the folder and never follows a
//    symbolic link at a record's name. A rename never replaces a record
//    (renameat2 with RENAME_NOREPLACE, else link and unlink).
// Errors are the calls' errno values.

#include <functional>
#include <string>
#include <string_view>

#include "platform/state_store.h"

namespace kx {

// Points of a write, reported to a test hook so that crash tests can stop a
// writer exactly there.
enum class StateWriteStep { TempWritten, TempSynced, Renamed };
using StateWriteHook = std::function<void(StateWriteStep)>;

class FileStateStore final : public StateStore {
public:
    // The user's own state folder.
    FileStateStore();
    explicit FileStateStore(std::string directory) : directory_(std::move(directory)) {}

    const std::string& Directory() const { return directory_; }
    void SetWriteHook(StateWriteHook hook) { hook_ = std::move(hook); }

    StateResult Write(std::string_view name, std::string_view bytes) override;
    StateResult Read(std::string_view name, std::string* bytes) override;
    StateResult Remove(std::string_view name) override;
    StateResult Rename(std::string_view from, std::string_view to) override;

private:
    std::string directory_;
    StateWriteHook hook_;
};

// The folder FileStateStore() uses.
std::string UserStateDirectory();

}  // namespace kx
