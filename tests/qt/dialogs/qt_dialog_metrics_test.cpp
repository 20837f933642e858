// Dialog units: MulDiv's rounding, the base units of the font chosen for
// MS Sans Serif 8, and the mapping of rectangles and control places.

#include "platform/linux/qt/qt_dialog_metrics.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>

#include "resources/login_template.h"

namespace kx::qt_dialog {
namespace {

TEST(QtDialogMetrics, MulDivRoundsHalvesAwayFromZero) {
    EXPECT_EQ(MulDiv(13, 6, 4), 20);    // 19.5
    EXPECT_EQ(MulDiv(-13, 6, 4), -20);  // -19.5
    EXPECT_EQ(MulDiv(13, 6, -4), -20);
    EXPECT_EQ(MulDiv(5, 13, 8), 8);     // 8.125
    EXPECT_EQ(MulDiv(7, 13, 8), 11);    // 11.375
    EXPECT_EQ(MulDiv(0, 13, 8), 0);
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_EQ(MulDiv(1 << 30, 8, 1), -1);  // out of range
}

TEST(QtDialogMetrics, BaseUnitsAreTheRoundedAverageWidthAndTheHeight) {
    const QFont font = DialogFont("MS Sans Serif", 8);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const BaseUnits base = BaseUnitsOf(font);
    EXPECT_EQ(base.x, (width / 26 + 1) / 2);
    EXPECT_EQ(base.y, metrics.height());
}

TEST(QtDialogMetrics, MsSansSerifEightIsMatchedCloseToItsWindowsBaseUnits) {
    // Windows: 6 x 13. A sans font is chosen at the pixel size nearest that.
    const QFont font = DialogFont("MS Sans Serif", 8);
    const BaseUnits base = BaseUnitsOf(font);
    RecordProperty("family", QFontInfo(font).family().toStdString());
    RecordProperty("pixel_size", font.pixelSize());
    RecordProperty("base_units", std::to_string(base.x) + "x" + std::to_string(base.y));
    EXPECT_GE(base.x, 5);
    EXPECT_LE(base.x, 7);
    EXPECT_GE(base.y, 11);
    EXPECT_LE(base.y, 16);
    // The choice is made once and kept.
    EXPECT_EQ(DialogFont("MS Sans Serif", 8), font);
    // A larger size is drawn larger.
    EXPECT_GT(BaseUnitsOf(DialogFont("MS Sans Serif", 12)).y, base.y);
}

TEST(QtDialogMetrics, MapDialogRectMapsEachEdge) {
    const BaseUnits base{6, 13};
    EXPECT_EQ(MapDialogRect({0, 0, 4, 8}, base), (PixelRect{0, 0, 6, 13}));
    EXPECT_EQ(MapDialogRect({13, 15, 57, 25}, base),
              (PixelRect{MulDiv(13, 6, 4), MulDiv(15, 13, 8), MulDiv(57, 6, 4),
                         MulDiv(25, 13, 8)}));
    EXPECT_EQ(MapDialogRect({0, 0, 541, 343}, base), (PixelRect{0, 0, 812, 557}));
}

TEST(QtDialogMetrics, ControlsArePlacedByOriginAndSizeMappedApart) {
    const BaseUnits base{6, 13};
    // The login's user name field: 62, 15, 114 x 12.
    const ControlTemplate& field = *LoginTemplate().Find(login_control::kUserName);
    const QRect rect = ControlRect(field, base);
    EXPECT_EQ(rect, QRect(93, 24, 171, 20));
    // A width does not depend on the origin: 13 and 14 start 19.5 and 21.
    const ControlTemplate odd{1, ControlKind::Static, 0, "", 13, 0, 44, 10};
    const ControlTemplate even{1, ControlKind::Static, 0, "", 14, 0, 44, 10};
    EXPECT_EQ(ControlRect(odd, base).width(), ControlRect(even, base).width());
    EXPECT_EQ(ClientSize(LoginTemplate(), base), QSize(279, 358));
}

}  // namespace
}  // namespace kx::qt_dialog
