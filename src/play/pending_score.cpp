#include "play/pending_score.h"

#include <charconv>
#include <utility>

#include "play/md5.h"

namespace kx {

namespace {

constexpr std::string_view kVersionLine = "KXSCORE 1";
constexpr std::string_view kMagic = "KXSCORE ";
constexpr std::string_view kEndKey = "END ";
constexpr int kMaxAsideNumber = 99;

constexpr char kHex[] = "0123456789ABCDEF";

// Printable ASCII stays as it is, so the file reads plainly; blanks, line
// ends, "%" and every other byte become "%XX", so no value can break a line.
std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7F && c != '%') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Only what Escape writes is taken back; anything else is a foreign text.
bool Unescape(std::string_view text, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (text[i] != '%') {
            if (byte <= 0x20 || byte >= 0x7F) return false;
            *out += text[i];
            continue;
        }
        if (text.size() - i < 3) return false;
        const int high = HexDigit(text[i + 1]);
        const int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) return false;
        const char decoded = static_cast<char>(high * 16 + low);
        // A byte that needs no escape would have been written as it is.
        const auto value = static_cast<unsigned char>(decoded);
        if (value > 0x20 && value < 0x7F && decoded != '%') return false;
        *out += decoded;
        i += 2;
    }
    return true;
}

// Reads the lines of a text, each ended by "\n"; the last must be ended too.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}

    bool Next(std::string_view* line) {
        if (position_ >= text_.size()) return false;
        const std::size_t end = text_.find('\n', position_);
        if (end == std::string_view::npos) return false;
        *line = text_.substr(position_, end - position_);
        start_ = position_;
        position_ = end + 1;
        return true;
    }
    // Where the line last read began.
    std::size_t LineStart() const { return start_; }
    bool AtEnd() const { return position_ == text_.size(); }

private:
    std::string_view text_;
    std::size_t position_ = 0;
    std::size_t start_ = 0;
};

bool Field(Lines& lines, std::string_view key, std::string* value) {
    std::string_view line;
    if (!lines.Next(&line)) return false;
    if (line.size() < key.size() + 1 || line.substr(0, key.size()) != key ||
        line[key.size()] != ' ') {
        return false;
    }
    return Unescape(line.substr(key.size() + 1), value);
}

bool ParseScore(std::string_view digits, std::uint32_t* score) {
    if (digits.empty() || digits.size() > 10) return false;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
    }
    std::uint64_t value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (value > 0xFFFFFFFFull) return false;
    *score = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace

bool operator==(const PendingScore& a, const PendingScore& b) {
    return a.userName == b.userName && a.gameName == b.gameName &&
           a.tournamentIdText == b.tournamentIdText && a.playIdText == b.playIdText &&
           a.checksum == b.checksum && a.score == b.score &&
           a.gameData.Values() == b.gameData.Values();
}

std::string FormatPendingScore(const PendingScore& record) {
    std::string text(kVersionLine);
    text += '\n';
    const auto add = [&text](std::string_view key, std::string_view value) {
        text += key;
        text += ' ';
        text += Escape(value);
        text += '\n';
    };
    add("USERNAME", record.userName);
    add("GAMENAME", record.gameName);
    add("TOURNID", record.tournamentIdText);
    add("PLAYID", record.playIdText);
    add("GCS", record.checksum);
    text += "SCORE " + std::to_string(record.score) + '\n';
    for (const auto& [key, value] : record.gameData.Values()) {
        text += "ITEM " + Escape(key) + ' ' + Escape(value) + '\n';
    }
    text += std::string(kEndKey) + Md5Hex(text) + '\n';
    return text;
}

PendingParse ParsePendingScore(std::string_view text, PendingScore* record) {
    Lines lines(text);
    std::string_view line;
    if (!lines.Next(&line)) return PendingParse::Torn;
    if (line != kVersionLine) {
        // Another version of our own record is told apart from a foreign file.
        if (line.substr(0, kMagic.size()) != kMagic) return PendingParse::Torn;
        const std::string_view version = line.substr(kMagic.size());
        const bool number = !version.empty() && version.size() <= 9 &&
                            version.find_first_not_of("0123456789") == std::string_view::npos;
        return number ? PendingParse::UnknownVersion : PendingParse::Torn;
    }
    PendingScore read;
    if (!Field(lines, "USERNAME", &read.userName) || !Field(lines, "GAMENAME", &read.gameName) ||
        !Field(lines, "TOURNID", &read.tournamentIdText) ||
        !Field(lines, "PLAYID", &read.playIdText) || !Field(lines, "GCS", &read.checksum)) {
        return PendingParse::Torn;
    }
    if (!lines.Next(&line) || line.substr(0, 6) != "SCORE " ||
        !ParseScore(line.substr(6), &read.score)) {
        return PendingParse::Torn;
    }
    for (;;) {
        if (!lines.Next(&line)) return PendingParse::Torn;
        if (line.substr(0, 5) != "ITEM ") break;
        const std::string_view rest = line.substr(5);
        const std::size_t blank = rest.find(' ');
        if (blank == std::string_view::npos) return PendingParse::Torn;
        std::string key;
        std::string value;
        if (!Unescape(rest.substr(0, blank), &key) || !Unescape(rest.substr(blank + 1), &value)) {
            return PendingParse::Torn;
        }
        // A key with a zero byte could not be stored whole; the writer never makes one.
        if (key.find('\0') != std::string::npos || value.find('\0') != std::string::npos) {
            return PendingParse::Torn;
        }
        std::string earlier;
        if (read.gameData.Lookup(key, earlier)) return PendingParse::Torn;
        read.gameData.Set(key.c_str(), value.c_str());
    }
    if (line.substr(0, kEndKey.size()) != kEndKey || !lines.AtEnd()) return PendingParse::Torn;
    if (line.substr(kEndKey.size()) != Md5Hex(text.substr(0, lines.LineStart()))) {
        return PendingParse::Torn;
    }
    *record = std::move(read);
    return PendingParse::Ok;
}

void PendingScoreKeeper::Arm(PendingScore identity) {
    identity_ = std::move(identity);
    armed_ = true;
    written_ = false;
}

bool PendingScoreKeeper::Keep(const PlayContext& play) {
    if (!armed_ || store_ == nullptr) return false;
    if (!written_) {
        // An earlier play's record is still someone's score: move it out of
        // the way rather than write over it.
        std::string earlier;
        const StateResult found = store_->Read(kPendingScoreName, &earlier);
        if (found.status != StateStatus::Missing) {
            std::string aside;
            if (!SetAside("earlier", &aside)) {
                trace_.Write("Pending Score Not Kept", static_cast<std::int64_t>(found.status),
                             found.error);
                return false;
            }
            trace_.Write("Pending Score Set Aside " + aside);
        }
    }
    PendingScore record = identity_;
    record.score = play.score;
    record.gameData = play.gameData;
    const StateResult written = store_->Write(kPendingScoreName, FormatPendingScore(record));
    if (!written.ok()) {
        trace_.Write("Pending Score Not Kept", static_cast<std::int64_t>(written.status),
                     written.error);
        return false;
    }
    written_ = true;
    return true;
}

void PendingScoreKeeper::Drop() {
    const bool had_record = written_;
    armed_ = false;
    written_ = false;
    if (store_ == nullptr || !had_record) return;
    const StateResult removed = store_->Remove(kPendingScoreName);
    if (!removed.ok() && removed.status != StateStatus::Missing) {
        trace_.Write("Pending Score Not Removed", static_cast<std::int64_t>(removed.status),
                     removed.error);
    }
}

PendingLoad PendingScoreKeeper::Load() {
    PendingLoad load;
    if (store_ == nullptr) return load;
    std::string text;
    const StateResult read = store_->Read(kPendingScoreName, &text);
    if (read.status == StateStatus::Missing) return load;
    if (read.ok()) {
        const PendingParse parsed = ParsePendingScore(text, &load.record);
        if (parsed == PendingParse::Ok) {
            load.state = PendingState::Found;
            identity_ = load.record;
            armed_ = true;
            written_ = true;
            return load;
        }
        trace_.Write("Pending Score Unreadable", static_cast<std::int64_t>(parsed));
    } else {
        trace_.Write("Pending Score Unreadable", static_cast<std::int64_t>(read.status),
                     read.error);
    }
    load.record = PendingScore{};
    if (!SetAside("unreadable", &load.asideName)) {
        load.state = PendingState::Failed;
        return load;
    }
    trace_.Write("Pending Score Set Aside " + load.asideName);
    load.state = PendingState::Unreadable;
    return load;
}

bool PendingScoreKeeper::SetAside(std::string_view reason, std::string* aside_name) {
    for (int number = 1; number <= kMaxAsideNumber; ++number) {
        const std::string name = std::string(kPendingScoreName) + "." + std::string(reason) + "-" +
                                 std::to_string(number);
        const StateResult renamed = store_->Rename(kPendingScoreName, name);
        if (renamed.status == StateStatus::Exists) continue;
        if (!renamed.ok()) return false;
        *aside_name = name;
        return true;
    }
    return false;
}

}  // namespace kx
