#include "platform/common/registry_text.h"

#include <cstdint>
#include <utility>

namespace kx {
namespace {

constexpr std::string_view kHeaderLine = "KestrixRegistry 1";
constexpr std::string_view kHeaderWord = "KestrixRegistry ";
constexpr char kHexDigits[] = "0123456789abcdef";

// ---- Writing -------------------------------------------------------------

void AppendHexByte(std::string& out, unsigned char byte) {
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

void AppendHexNumber(std::string& out, std::uint64_t number, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out += kHexDigits[(number >> shift) & 0x0F];
    }
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default:
                if (c >= 0x20 && c <= 0x7E) {
                    out += c;
                } else {
                    out += "\\x";
                    AppendHexByte(out, static_cast<unsigned char>(c));
                }
        }
    }
    out += '"';
}

void AppendKeyName(std::string& out, std::string_view name) {
    for (const char c : name) {
        if (c >= 0x20 && c <= 0x7E && c != ']' && c != '%') {
            out += c;
        } else {
            out += '%';
            AppendHexByte(out, static_cast<unsigned char>(c));
        }
    }
}

std::uint64_t LittleEndian(std::string_view bytes) {
    std::uint64_t number = 0;
    for (std::size_t i = bytes.size(); i > 0; --i) {
        number = (number << 8) | static_cast<unsigned char>(bytes[i - 1]);
    }
    return number;
}

std::string_view TextTypeWord(RegType type) {
    switch (type) {
        case RegType::Sz: return "sz";
        case RegType::ExpandSz: return "expand_sz";
        case RegType::MultiSz: return "multi_sz";
        default: return {};
    }
}

void AppendValue(std::string& out, const RegValue& value) {
    if (value.name.empty()) {
        out += '@';
    } else {
        AppendQuoted(out, value.name);
    }
    out += '=';
    const std::string_view data = value.data;
    if (const std::string_view word = TextTypeWord(value.type); !word.empty()) {
        std::string_view text = data;
        while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
        out += word;
        out += '(' + std::to_string(data.size()) + "):";
        AppendQuoted(out, text);
    } else if (value.type == RegType::Dword && data.size() == 4) {
        out += "dword:";
        AppendHexNumber(out, LittleEndian(data), 8);
    } else if (value.type == RegType::Qword && data.size() == 8) {
        out += "qword:";
        AppendHexNumber(out, LittleEndian(data), 16);
    } else {
        if (value.type == RegType::Binary) {
            out += "hex:";
        } else {
            out += "hex(";
            const auto type = static_cast<std::uint32_t>(value.type);
            int digits = 1;
            while (digits < 8 && (type >> (digits * 4)) != 0) ++digits;
            AppendHexNumber(out, type, digits);
            out += "):";
        }
        for (std::size_t i = 0; i < data.size(); ++i) {
            if (i != 0) out += ',';
            AppendHexByte(out, static_cast<unsigned char>(data[i]));
        }
    }
    out += '\n';
}

void AppendKey(std::string& out, const RegKeyNode& node, const std::string& header) {
    out += "\n[" + header + "]\n";
    for (const RegValue& value : node.values) AppendValue(out, value);
    for (const RegKeyNode& child : node.subkeys) {
        std::string child_header = header;
        if (!child_header.empty()) child_header += '\\';
        AppendKeyName(child_header, child.name);
        AppendKey(out, child, child_header);
    }
}

// ---- Reading -------------------------------------------------------------

// One line being read, with the message of the first thing found wrong.
class Cursor {
public:
    explicit Cursor(std::string_view line) : rest_(line) {}

    bool AtEnd() const { return rest_.empty(); }
    char Peek() const { return rest_.empty() ? '\0' : rest_.front(); }
    void SkipBlanks() {
        while (!rest_.empty() && (rest_.front() == ' ' || rest_.front() == '\t')) rest_.remove_prefix(1);
    }
    bool Take(char c) {
        if (rest_.empty() || rest_.front() != c) return false;
        rest_.remove_prefix(1);
        return true;
    }
    bool Take(std::string_view word) {
        if (rest_.substr(0, word.size()) != word) return false;
        rest_.remove_prefix(word.size());
        return true;
    }
    char Next() {
        const char c = rest_.front();
        rest_.remove_prefix(1);
        return c;
    }
    std::string_view rest() const { return rest_; }

private:
    std::string_view rest_;
};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads exactly `digits` hex digits.
bool TakeHex(Cursor& cursor, int digits, std::uint64_t* number) {
    std::uint64_t value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = HexValue(cursor.Peek());
        if (cursor.AtEnd() || digit < 0) return false;
        cursor.Next();
        value = (value << 4) | static_cast<std::uint64_t>(digit);
    }
    *number = value;
    return true;
}

class LineParser {
public:
    LineParser(std::string_view line, std::string* error) : cursor_(line), error_(*error) {}

    bool Fail(std::string message) {
        if (error_.empty()) error_ = std::move(message);
        return false;
    }

    bool ParseKeyHeader(KeyPath* path) {
        cursor_.Take('[');
        std::string text;
        while (true) {
            if (cursor_.AtEnd()) return Fail("expected ']' at the end of the key header");
            const char c = cursor_.Next();
            if (c == ']') break;
            if (c != '%') {
                text += c;
                continue;
            }
            std::uint64_t byte = 0;
            if (!TakeHex(cursor_, 2, &byte)) return Fail("expected two hex digits after '%' in key name");
            text += static_cast<char>(byte);
        }
        if (!AtLineEnd()) return Fail("unexpected text after the key header");
        if (ParseKeyPath(text, path) != kErrorSuccess) return Fail("invalid key path");
        return true;
    }

    bool ParseValue(RegValue* value) {
        if (cursor_.Take('@')) {
            value->name.clear();
        } else if (!ParseQuoted(&value->name, "value name")) {
            return false;
        }
        if (!IsValidValueName(value->name)) return Fail("invalid value name");
        cursor_.SkipBlanks();
        if (!cursor_.Take('=')) return Fail("expected '=' after value name");
        cursor_.SkipBlanks();
        if (!ParseData(value)) return false;
        if (!AtLineEnd()) return Fail("unexpected text after the value");
        return true;
    }

private:
    bool AtLineEnd() {
        cursor_.SkipBlanks();
        return cursor_.AtEnd();
    }

    bool ParseQuoted(std::string* text, std::string_view what) {
        if (!cursor_.Take('"')) return Fail("expected '\"' to start the " + std::string(what));
        text->clear();
        while (true) {
            if (cursor_.AtEnd()) return Fail("missing '\"' at the end of the " + std::string(what));
            const char c = cursor_.Next();
            if (c == '"') return true;
            if (text->size() > kMaxValueBytes) return Fail(std::string(what) + " is too long");
            if (c != '\\') {
                *text += c;
                continue;
            }
            if (cursor_.AtEnd()) return Fail("missing '\"' at the end of the " + std::string(what));
            const char escape = cursor_.Next();
            switch (escape) {
                case '\\': *text += '\\'; break;
                case '"': *text += '"'; break;
                case 'n': *text += '\n'; break;
                case 'r': *text += '\r'; break;
                case 't': *text += '\t'; break;
                case '0': *text += '\0'; break;
                case 'x': {
                    std::uint64_t byte = 0;
                    if (!TakeHex(cursor_, 2, &byte)) return Fail("expected two hex digits after '\\x'");
                    *text += static_cast<char>(byte);
                    break;
                }
                default: return Fail(std::string("unknown escape '\\") + escape + "'");
            }
        }
    }

    bool ParseData(RegValue* value) {
        if (cursor_.Take("sz(")) return ParseText(RegType::Sz, value);
        if (cursor_.Take("expand_sz(")) return ParseText(RegType::ExpandSz, value);
        if (cursor_.Take("multi_sz(")) return ParseText(RegType::MultiSz, value);
        if (cursor_.Take("dword:")) return ParseNumber(RegType::Dword, 4, value);
        if (cursor_.Take("qword:")) return ParseNumber(RegType::Qword, 8, value);
        if (cursor_.Take("hex:")) {
            value->type = RegType::Binary;
            return ParseBytes(&value->data);
        }
        if (cursor_.Take("hex(")) {
            std::uint64_t type = 0;
            int digits = 0;
            while (digits < 8 && HexValue(cursor_.Peek()) >= 0) {
                type = (type << 4) | static_cast<std::uint64_t>(HexValue(cursor_.Next()));
                ++digits;
            }
            if (digits == 0 || !cursor_.Take("):")) return Fail("expected a hex type number in 'hex(T):'");
            value->type = static_cast<RegType>(static_cast<std::uint32_t>(type));
            return ParseBytes(&value->data);
        }
        return Fail("unknown value type; expected sz, expand_sz, multi_sz, dword, qword or hex");
    }

    bool ParseText(RegType type, RegValue* value) {
        std::size_t size = 0;
        int digits = 0;
        while (cursor_.Peek() >= '0' && cursor_.Peek() <= '9') {
            size = size * 10 + static_cast<std::size_t>(cursor_.Next() - '0');
            if (++digits > 8 || size > kMaxValueBytes) {
                return Fail("value size exceeds " + std::to_string(kMaxValueBytes) + " bytes");
            }
        }
        if (digits == 0 || !cursor_.Take("):")) return Fail("expected the size in bytes, e.g. sz(4):\"abc\"");
        if (!ParseQuoted(&value->data, "text")) return false;
        if (value->data.size() > size) return Fail("text is longer than its declared size");
        value->data.resize(size, '\0');
        value->type = type;
        return true;
    }

    bool ParseNumber(RegType type, int bytes, RegValue* value) {
        std::uint64_t number = 0;
        if (!TakeHex(cursor_, bytes * 2, &number)) {
            return Fail("expected " + std::to_string(bytes * 2) + " hex digits");
        }
        value->type = type;
        value->data.clear();
        for (int i = 0; i < bytes; ++i) {
            value->data += static_cast<char>((number >> (8 * i)) & 0xFF);
        }
        return true;
    }

    bool ParseBytes(std::string* data) {
        data->clear();
        cursor_.SkipBlanks();
        if (cursor_.AtEnd()) return true;
        while (true) {
            std::uint64_t byte = 0;
            if (!TakeHex(cursor_, 2, &byte)) return Fail("expected a byte as two hex digits");
            if (data->size() == kMaxValueBytes) {
                return Fail("value size exceeds " + std::to_string(kMaxValueBytes) + " bytes");
            }
            *data += static_cast<char>(byte);
            cursor_.SkipBlanks();
            if (!cursor_.Take(',')) return true;
            cursor_.SkipBlanks();
        }
    }

    Cursor cursor_;
    std::string& error_;
};

std::string_view StripLineEnd(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

bool IsBlankOrComment(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t");
    return first == std::string_view::npos || line[first] == ';';
}

// Parses into `tree`; returns the error's message, empty on success.
std::string ParseLines(std::string_view text, RegistryTree& tree, std::size_t* line_number) {
    std::string error;
    RegKeyNode* key = nullptr;
    *line_number = 0;
    while (!text.empty() || *line_number == 0) {
        const std::size_t cut = text.find('\n');
        const std::string_view line = StripLineEnd(text.substr(0, cut));
        text.remove_prefix(cut == std::string_view::npos ? text.size() : cut + 1);
        ++*line_number;

        if (*line_number == 1) {
            if (line == kHeaderLine) continue;
            if (line.substr(0, kHeaderWord.size()) == kHeaderWord) {
                return "unsupported format version '" + std::string(line.substr(kHeaderWord.size())) + "'";
            }
            return "expected the first line '" + std::string(kHeaderLine) + "'";
        }
        if (IsBlankOrComment(line)) continue;

        const std::string_view content = line.substr(line.find_first_not_of(" \t"));
        LineParser parser(content, &error);
        if (content.front() == '[') {
            KeyPath path;
            if (!parser.ParseKeyHeader(&path)) return error;
            key = &tree.Create(path);
        } else if (content.front() == '"' || content.front() == '@') {
            RegValue value;
            if (!parser.ParseValue(&value)) return error;
            if (key == nullptr) return "value before the first key header";
            if (key->FindValue(value.name) != nullptr) return "value \"" + value.name + "\" is given twice";
            key->values.push_back(std::move(value));
        } else {
            return "expected a key header '[...]', a value '\"name\"=...' or a comment";
        }
    }
    return {};
}

}  // namespace

HiveTextParse ParseHiveText(std::string_view text) {
    HiveTextParse result;
    std::size_t line = 0;
    std::string message = ParseLines(text, result.tree, &line);
    if (!message.empty()) {
        result.tree = RegistryTree();
        result.error = HiveTextError{line, std::move(message)};
    }
    return result;
}

std::string SerializeHiveText(const RegistryTree& tree, std::string_view hive_name) {
    std::string out(kHeaderLine);
    out += "\n; ";
    out += hive_name;
    out += '\n';
    const RegKeyNode& root = tree.root();
    // The root's header is needed only to carry values of the hive's root.
    if (!root.values.empty()) {
        out += "\n[]\n";
        for (const RegValue& value : root.values) AppendValue(out, value);
    }
    for (const RegKeyNode& child : root.subkeys) {
        std::string header;
        AppendKeyName(header, child.name);
        AppendKey(out, child, header);
    }
    return out;
}

}  // namespace kx
