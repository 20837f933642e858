#include "base/key_value_store.h"

#include "base/form_encoding.h"

namespace kx {

int KeyValueStore::Parse(const char* text, int clear) {
    if (clear != 0) text_.clear();
    if (text != nullptr) text_ += text;
    values_.clear();

    const std::string_view all(text_);
    const std::size_t length = all.size();
    std::size_t start = 0;
    while (start < length) {
        const std::size_t cr = all.find('\r', start);
        const std::size_t end = cr == std::string_view::npos ? length : cr;
        const std::string_view line = all.substr(start, end - start);

        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos) {
            std::string key(line.substr(0, equals));
            values_.erase(key);
            values_.emplace(std::move(key), std::string(line.substr(equals + 1)));
        }
        if (cr == std::string_view::npos) break;
        // The byte after a CR is consumed with it, whatever it is.
        start = cr + 2;
    }
    return 1;
}

bool KeyValueStore::Lookup(std::string key, std::string& out) const {
    const auto it = values_.find(key);
    if (it == values_.end()) return false;
    out = it->second;
    return true;
}

void KeyValueStore::Set(const char* key, const char* value) {
    std::string k = key != nullptr ? key : "";
    values_.erase(k);
    values_.emplace(std::move(k), value != nullptr ? value : "");
}

std::string KeyValueStore::Serialize() const {
    std::string out;
    for (const auto& [key, value] : values_) {
        if (!out.empty()) out += '&';
        out += FormEncode(key);
        out += '=';
        out += FormEncode(value);
    }
    return out;
}

}  // namespace kx
