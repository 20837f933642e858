#include "platform/linux/qt/qt_browser_wire.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include "platform/linux/qt/qt_text.h"

namespace kx {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            bytes += ' ';
        } else if (c == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
                   HexDigit(text[i + 2]) >= 0) {
            bytes += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            bytes += c;
        }
    }
    return bytes;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::optional<AttributeList> ReadAttributes(const QJsonValue& value) {
    if (!value.isArray()) return std::nullopt;
    AttributeList attributes;
    for (const QJsonValue& entry : value.toArray()) {
        const QJsonArray pair = entry.toArray();
        if (!entry.isArray() || pair.size() != 2 || !pair[0].isString() || !pair[1].isString()) {
            return std::nullopt;
        }
        attributes.emplace_back(QStringToWide(pair[0].toString()),
                                QStringToWide(pair[1].toString()));
    }
    return attributes;
}

// Present-or-null fields: `ok` turns false when the field has the wrong type.
std::optional<ElementSnapshot> ReadElement(const QJsonValue& value, bool& ok) {
    if (value.isNull() || value.isUndefined()) return std::nullopt;
    std::optional<AttributeList> attributes = ReadAttributes(value);
    if (!attributes) {
        ok = false;
        return std::nullopt;
    }
    return ElementSnapshot{std::move(*attributes), std::nullopt};
}

}  // namespace

std::vector<FormField> DecodeFormFields(std::string_view form) {
    std::vector<FormField> fields;
    while (!form.empty()) {
        const std::size_t end = form.find('&');
        const std::string_view field = form.substr(0, end);
        form = end == std::string_view::npos ? std::string_view() : form.substr(end + 1);
        if (field.empty()) continue;
        const std::size_t equals = field.find('=');
        const std::string_view name = field.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : field.substr(equals + 1);
        fields.push_back({AnsiToQString(PercentDecode(name)), AnsiToQString(PercentDecode(value))});
    }
    return fields;
}

std::vector<HeaderLine> SplitHeaderLines(std::string_view headers) {
    std::vector<HeaderLine> lines;
    while (!headers.empty()) {
        const std::size_t end = headers.find_first_of("\r\n");
        const std::string_view line = headers.substr(0, end);
        headers = end == std::string_view::npos ? std::string_view() : headers.substr(end + 1);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view name = Trim(line.substr(0, colon));
        if (name.empty()) continue;
        const std::string_view value = Trim(line.substr(colon + 1));
        lines.push_back({QByteArray(name.data(), static_cast<qsizetype>(name.size())),
                         QByteArray(value.data(), static_cast<qsizetype>(value.size()))});
    }
    return lines;
}

std::u16string WithCrLf(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r') {
            out += u"\r\n";
            if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        } else if (c == u'\n') {
            out += u"\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<PageReport> ParsePageReport(const QString& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();

    PageReport report;
    const QJsonValue kind = object.value(QStringLiteral("kind"));
    if (kind == QJsonValue(QStringLiteral("load"))) {
        report.kind = PageReport::Kind::Load;
    } else if (kind == QJsonValue(QStringLiteral("click"))) {
        report.kind = PageReport::Kind::Click;
    } else {
        return std::nullopt;
    }
    const QJsonValue top = object.value(QStringLiteral("top"));
    const QJsonValue id = object.value(QStringLiteral("doc"));
    const QJsonValue url = object.value(QStringLiteral("url"));
    if (!top.isBool() || !id.isString() || !url.isString()) return std::nullopt;
    report.frame = top.toBool() ? PageReport::Frame::Top : PageReport::Frame::Sub;
    report.document_id = id.toString();
    report.url = QStringToWide(url.toString());

    bool ok = true;
    report.element = ReadElement(object.value(QStringLiteral("element")), ok);
    if (!ok) return std::nullopt;

    const QJsonValue named = object.value(QStringLiteral("named"));
    if (named.isObject()) {
        const QJsonObject fields = named.toObject();
        const QJsonValue key = fields.value(QStringLiteral("key"));
        if (!key.isString()) return std::nullopt;
        report.named_key = QStringToWide(key.toString());
        report.named = ReadElement(fields.value(QStringLiteral("attributes")), ok);
        if (!ok) return std::nullopt;
        if (report.named) {
            const QJsonValue text = fields.value(QStringLiteral("text"));
            if (!text.isString()) return std::nullopt;
            report.named->text = WithCrLf(QStringToWide(text.toString()));
        }
    } else if (!named.isNull() && !named.isUndefined()) {
        return std::nullopt;
    }

    const QJsonValue number = object.value(QStringLiteral("click"));
    if (!number.isUndefined()) {
        const double value = number.toDouble(-1);
        if (report.kind != PageReport::Kind::Click || !number.isDouble() || value < 1 ||
            value > 4294967295.0 || value != static_cast<double>(static_cast<std::uint32_t>(value))) {
            return std::nullopt;
        }
        report.click_number = static_cast<std::uint32_t>(value);
    }
    return report;
}

bool NamesCommand(const ElementSnapshot& element) {
    for (const auto& [name, value] : element.attributes) {
        if (QString::fromStdU16String(name).compare(QLatin1String("kxcommand"),
                                                    Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace kx
