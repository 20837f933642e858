#pragma once

// Linux Qt front: the text boundary.
//
// Implements:
//  - the crossings between the core's 8-bit texts, in the ANSI code page
//    (Windows-1252), its UTF-16 texts and Qt's QString. Every crossing goes
//    through these, so a character the code page lacks becomes "?" exactly
//    as the core's own conversion makes it.

#include <QString>

#include <string>
#include <string_view>

#include "base/ansi_text.h"

namespace kx {

inline QString AnsiToQString(std::string_view ansi) {
    const std::u16string wide = AnsiToWide(ansi);
    return QString(reinterpret_cast<const QChar*>(wide.data()), static_cast<qsizetype>(wide.size()));
}

inline std::u16string QStringToWide(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

inline QString WideToQString(std::u16string_view wide) {
    return QString(reinterpret_cast<const QChar*>(wide.data()), static_cast<qsizetype>(wide.size()));
}

inline std::string QStringToAnsi(const QString& text) { return WideToAnsi(QStringToWide(text)); }

}  // namespace kx
