#pragma once

// Reading a hive file whole and replacing it atomically: the new content goes
// to a temporary file in the same directory, is flushed to disk, and is then
// renamed over the old file, so a reader or a crash sees either the old file
// or the new one, never a mixture.
//
// Implements:
//  - reading a hive file with the inode it was read from (so a change by
//    another process is noticed);
//  - atomic replacement: write, fsync, rename, fsync of the directory.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/linux/unique_fd.h"

namespace kx {

// What tells one version of a file from another. Whoever holds a descriptor
// of the file keeps its inode alive, so the inode number cannot be reused by
// a later version while the comparison is being relied on.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t mtime_sec = 0;
    std::int64_t mtime_nsec = 0;

    bool operator==(const FileIdentity&) const = default;
};

enum class FilePresence { Missing, Present };

// The result of a file operation: 0 or the failing errno, with a message.
struct FileStatus {
    int error = 0;
    std::string message;

    bool ok() const { return error == 0; }
};

FileStatus StatFile(const std::string& path, FilePresence* presence, FileIdentity* identity);

// The file's content and identity; `pin` keeps the version read open.
struct FileSnapshot {
    FilePresence presence = FilePresence::Missing;
    FileIdentity identity;
    UniqueFd pin;
    std::string content;
};

// Hive files are small; anything beyond this is refused as damaged.
inline constexpr std::int64_t kMaxHiveFileBytes = 64 * 1024 * 1024;

// A missing file is not an error: it reads as Missing with no content.
FileStatus ReadFileSnapshot(const std::string& path, FileSnapshot* snapshot);

// Points of an atomic replacement, reported to a test hook so that crash
// tests can stop a writer exactly there.
enum class WriteStep { TempWritten, TempSynced, Renamed, DirectorySynced };
using WriteHook = std::function<void(WriteStep)>;

// Replaces `path` with `content` through `temp_path` (same directory), both
// with mode 0600. On success `written` describes and pins the new file.
FileStatus ReplaceFileAtomically(const std::string& path, const std::string& temp_path,
                                 const std::string& content, const WriteHook& hook,
                                 FileSnapshot* written);

// Creates the directory and any missing parents with mode 0700.
FileStatus MakeDirectories(const std::string& path);

}  // namespace kx
