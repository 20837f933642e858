#pragma once

// The state port: a few small named records in the user's own state folder
// that must survive the console being killed or the machine losing power.
// Each write replaces a record whole: a temporary file in the same folder is
// written, flushed to disk and renamed over the old one, so a reader finds
// the old record or the new one, never a mixture.
//
// A name is one file name of letters, digits, ".", "-" and "_", at most
// kMaxStateNameLength long and not beginning with "."; other names are
// refused. Records are small: one beyond kMaxStateRecordBytes is refused.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kx {

inline constexpr std::size_t kMaxStateNameLength = 64;
inline constexpr std::size_t kMaxStateRecordBytes = 1024 * 1024;

enum class StateStatus {
    Ok,
    Missing,  // no record of that name
    Exists,   // a rename found its target taken
    Failed,   // refused or failed; the error says why
};

struct StateResult {
    StateStatus status = StateStatus::Ok;
    // The system's own code when Failed (errno, GetLastError); 0 otherwise.
    std::uint32_t error = 0;

    bool ok() const { return status == StateStatus::Ok; }
};

class StateStore {
public:
    virtual ~StateStore() = default;

    // Replaces the record atomically and durably; readable by the user alone.
    virtual StateResult Write(std::string_view name, std::string_view bytes) = 0;

    // The whole record. A record that is not a plain file (a link, a folder)
    // is not read through: the read fails.
    virtual StateResult Read(std::string_view name, std::string* bytes) = 0;

    virtual StateResult Remove(std::string_view name) = 0;

    // Gives a record another name, never over an existing one (Exists).
    virtual StateResult Rename(std::string_view from, std::string_view to) = 0;
};

// The name rule every store keeps.
inline bool IsStateName(std::string_view name) {
    if (name.empty() || name.size() > kMaxStateNameLength || name.front() == '.') return false;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!plain) return false;
    }
    return true;
}

}  // namespace kx
