#include "platform/linux/qt/qt_dialog_metrics.h"

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>

namespace kx::qt_dialog {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// MS Sans Serif 8 at 96 dots per inch: an 11-pixel em and base units of 6 x 13.
// Other faces and sizes are taken to scale the same way.
constexpr int kReferenceEm = 11;
constexpr int kReferenceBaseX = 6;
constexpr int kReferenceBaseY = 13;
constexpr int kLogicalDpi = 96;
constexpr int kPointsPerInch = 72;

// Fonts drawn like MS Sans Serif, best first: Arial's metric twins, then
// Helvetica's, then the ubiquitous DejaVu.
constexpr std::string_view kSansFallbacks[] = {
    "Liberation Sans", "Arimo", "Arial", "Nimbus Sans", "Nimbus Sans L",
    "Helvetica",       "FreeSans", "DejaVu Sans",
};

// The installed family a name stands for: fontconfig's names may carry a
// foundry, as in "Nimbus Sans [urw]".
QString InstalledFamily(const QStringList& installed, const QString& wanted) {
    for (const QString& family : installed) {
        QString bare = family;
        const qsizetype foundry = bare.indexOf(QLatin1String(" ["));
        if (foundry >= 0) bare.truncate(foundry);
        if (bare.compare(wanted, Qt::CaseInsensitive) == 0) return family;
    }
    return {};
}

struct Choice {
    QFont font;
    double error = std::numeric_limits<double>::infinity();
};

QFont ChooseFont(std::string_view face, int point_size) {
    const int em = std::max(1, MulDiv(point_size, kLogicalDpi, kPointsPerInch));
    const int target_x = std::max(1, MulDiv(kReferenceBaseX, em, kReferenceEm));
    const int target_y = std::max(1, MulDiv(kReferenceBaseY, em, kReferenceEm));

    std::vector<QString> wanted;
    wanted.push_back(QString::fromLatin1(face.data(), static_cast<qsizetype>(face.size())));
    if (wanted.front().compare(QLatin1String("MS Sans Serif"), Qt::CaseInsensitive) == 0 ||
        wanted.front().compare(QLatin1String("MS Shell Dlg"), Qt::CaseInsensitive) == 0) {
        wanted.push_back(QStringLiteral("Microsoft Sans Serif"));
    }
    for (const std::string_view fallback : kSansFallbacks) {
        wanted.push_back(
            QString::fromLatin1(fallback.data(), static_cast<qsizetype>(fallback.size())));
    }

    const QStringList installed = QFontDatabase::families();
    std::vector<QString> families;
    for (const QString& name : wanted) {
        const QString family = InstalledFamily(installed, name);
        if (!family.isEmpty()) families.push_back(family);
    }
    if (families.empty()) {
        families.push_back(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    }

    // Width counts double: it decides whether a label's text fits its control.
    Choice best;
    for (const QString& family : families) {
        for (int pixels = std::max(6, em - 3); pixels <= em + 3; ++pixels) {
            QFont font(family);
            font.setStyleHint(QFont::SansSerif);
            font.setPixelSize(pixels);
            const BaseUnits base = BaseUnitsOf(font);
            const double error =
                2.0 * std::abs(base.x - target_x) / target_x +
                static_cast<double>(std::abs(base.y - target_y)) / target_y +
                // Among equals, the size nearest the font's own.
                0.001 * std::abs(pixels - em);
            if (error < best.error) best = {font, error};
        }
    }
    return best.font;
}

}  // namespace

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    std::int64_t divisor = denominator;
    const bool negative = (product < 0) != (divisor < 0);
    product = product < 0 ? -product : product;
    divisor = divisor < 0 ? -divisor : divisor;
    std::int64_t quotient = (product + divisor / 2) / divisor;
    if (negative) quotient = -quotient;
    if (quotient > std::numeric_limits<int>::max() || quotient < std::numeric_limits<int>::min()) {
        return -1;
    }
    return static_cast<int>(quotient);
}

BaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QString::fromLatin1(kAlphabet.data(), static_cast<qsizetype>(kAlphabet.size())));
    // (width / 26 + 1) / 2, as GdiGetCharDimensions rounds.
    return {(width / 26 + 1) / 2, metrics.height()};
}

QFont DialogFont(std::string_view face, int point_size) {
    static std::map<std::pair<std::string, int>, QFont> chosen;
    const auto key = std::make_pair(std::string(face), point_size);
    const auto it = chosen.find(key);
    if (it != chosen.end()) return it->second;
    const QFont font = ChooseFont(face, point_size);
    chosen.emplace(key, font);
    return font;
}

PixelRect MapDialogRect(PixelRect units, BaseUnits base) {
    return {MulDiv(units.left, base.x, 4), MulDiv(units.top, base.y, 8),
            MulDiv(units.right, base.x, 4), MulDiv(units.bottom, base.y, 8)};
}

QRect ControlRect(const ControlTemplate& control, BaseUnits base) {
    return {MulDiv(control.x, base.x, 4), MulDiv(control.y, base.y, 8),
            MulDiv(control.width, base.x, 4), MulDiv(control.height, base.y, 8)};
}

QSize ClientSize(const DialogTemplate& dialog, BaseUnits base) {
    return {MulDiv(dialog.width, base.x, 4), MulDiv(dialog.height, base.y, 8)};
}

}  // namespace kx::qt_dialog
