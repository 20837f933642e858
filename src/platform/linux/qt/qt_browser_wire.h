#pragma once

// Linux Qt front: the browser's wire formats, kept apart from the web engine
// so that each can be tried alone.
//
// Implements:
//  - form-encoded post bytes decoded into name/value pairs of Windows-1252
//    text, as the frame form resubmits them;
//  - the CR LF-separated request headers split into names and values;
//  - line breaks made CR LF, as the document model gives them;
//  - the page script's reports read from their JSON text; anything malformed
//    is refused, never half read;
//  - whether a clicked element names a command, which decides whether the
//    click's default action waits for the console's answer.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kx {

struct FormField {
    QString name;
    QString value;
};

// "a=1&b=x+y%26z" into its fields: "+" is a space, "%XX" a byte, and the
// bytes are read as Windows-1252. A malformed escape stays as written; a
// field without "=" has an empty value; empty fields are dropped.
std::vector<FormField> DecodeFormFields(std::string_view form);

struct HeaderLine {
    QByteArray name;
    QByteArray value;
};

// "Name: value" lines separated by CR LF (or LF); lines without a name and a
// colon are skipped. The bytes go on as they are.
std::vector<HeaderLine> SplitHeaderLines(std::string_view headers);

// Lone LF and lone CR become CR LF; CR LF stays.
std::u16string WithCrLf(std::u16string_view text);

using AttributeList = std::vector<std::pair<std::u16string, std::u16string>>;

// An element as the page script saw it.
struct ElementSnapshot {
    AttributeList attributes;
    std::optional<std::u16string> text;  // only for the element a KXParams names
};

struct PageReport {
    enum class Kind { Load, Click };
    enum class Frame { Top, Sub };

    Kind kind = Kind::Load;
    Frame frame = Frame::Top;
    // Tells one document's reports from another's (random per document).
    QString document_id;
    std::u16string url;
    // Load: the body, when there is one. Click: the element clicked.
    std::optional<ElementSnapshot> element;
    // The value of that element's KXParams and the first element it names.
    std::optional<std::u16string> named_key;
    std::optional<ElementSnapshot> named;
    // A click's number within its document, by which the page holds its
    // default action until the console has answered; 0 when none is held.
    std::uint32_t click_number = 0;
};

// The report's JSON text, or none when it is malformed in any way.
std::optional<PageReport> ParsePageReport(const QString& json);

// Whether the snapshot carries a KXCommand attribute, in any letter case, as
// the document's attribute lookup would find it.
bool NamesCommand(const ElementSnapshot& element);

}  // namespace kx
