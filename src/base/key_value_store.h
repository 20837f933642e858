#pragma once

// The key/value record: replies of the service, the parameters of page
// commands and the game data a game client stores all share it.

#include <map>
#include <string>
#include <string_view>

namespace kx {

class KeyValueStore {
public:
    KeyValueStore() = default;
    KeyValueStore(const KeyValueStore&) = default;
    KeyValueStore& operator=(const KeyValueStore&) = default;
    virtual ~KeyValueStore() = default;

    // Parses "KEY=value" lines ended by CR and one more byte (the LF of CR
    // LF). With `clear` 0 the text is appended to what was parsed before and
    // the whole is parsed again. Nothing is trimmed, folded or decoded; of
    // repeated keys the last wins. Always returns 1.
    virtual int Parse(const char* text, int clear);

    // Exact, case-sensitive match. `out` is replaced only when the key exists.
    bool Lookup(std::string key, std::string& out) const;

    void Set(const char* key, const char* value);

    // Form data of every pair in key order, keys and values encoded.
    std::string Serialize() const;

    const std::map<std::string, std::string>& Values() const { return values_; }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
    std::map<std::string, std::string> values_;
};

}  // namespace kx
