// The web view's wire formats: the form bytes a frame posts, the request
// headers, the document text's line breaks and the page script's reports.
//
// Input: the bytes given to each reader in turn.
//
// Implements:
//  - a field written by the console's form encoding reads back to its text;
//  - header lines have a name without blanks around it and no line break;
//  - line breaks come out as CR LF only;
//  - any JSON text is read whole or refused.

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

#include "base/ansi_text.h"
#include "base/form_encoding.h"
#include "fuzz_input.h"
#include "platform/common/utf16_text.h"
#include "platform/linux/qt/qt_browser_wire.h"
#include "platform/linux/qt/qt_text.h"

namespace {

void CheckCrLf(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r') KX_FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == u'\n');
        if (text[i] == u'\n') KX_FUZZ_CHECK(i > 0 && text[i - 1] == u'\r');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = kx::fuzz::AsText(data, size);

    (void)kx::DecodeFormFields(bytes);
    const auto fields = kx::DecodeFormFields("A=" + kx::FormEncode(bytes) + "&B");
    KX_FUZZ_CHECK(fields.size() == 2);
    KX_FUZZ_CHECK(fields[0].name == QStringLiteral("A"));
    KX_FUZZ_CHECK(fields[0].value == kx::AnsiToQString(bytes));
    KX_FUZZ_CHECK(fields[1].name == QStringLiteral("B") && fields[1].value.isEmpty());

    for (const kx::HeaderLine& line : kx::SplitHeaderLines(bytes)) {
        KX_FUZZ_CHECK(!line.name.isEmpty());
        for (const QByteArray* part : {&line.name, &line.value}) {
            KX_FUZZ_CHECK(!part->contains('\r') && !part->contains('\n'));
            if (!part->isEmpty()) {
                KX_FUZZ_CHECK(part->front() != ' ' && part->front() != '\t');
                KX_FUZZ_CHECK(part->back() != ' ' && part->back() != '\t');
            }
        }
    }

    const std::u16string wide = kx::Utf8ToUtf16(bytes);
    const std::u16string crlf = kx::WithCrLf(wide);
    CheckCrLf(crlf);
    KX_FUZZ_CHECK(kx::WithCrLf(crlf) == crlf);

    const auto report = kx::ParsePageReport(QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (report && report->named && report->named->text) CheckCrLf(*report->named->text);
    return 0;
}
