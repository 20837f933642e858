#pragma once

// Linux Qt front: dialog units.
//
// Implements:
//  - a template's font matched by an installed sans font at the pixel size
//    whose dialog base units come closest to the Windows font's;
//  - MapDialogRect and the controls' and client area's rectangles, mapped
//    with those base units exactly as Windows maps them (MulDiv, so halves
//    round away from zero).
//
// Missing: the exact Windows font, so the rounding of its own base units.

#include <string_view>

#include <QFont>
#include <QRect>

#include "platform/dialog_host.h"
#include "platform/dialog_template.h"

namespace kx::qt_dialog {

struct BaseUnits {
    int x = 0;  // average character width of "A".."Z" "a".."z", rounded
    int y = 0;  // character height (ascent + descent)
    friend bool operator==(const BaseUnits&, const BaseUnits&) = default;
};

// MulDiv: number * numerator / denominator rounded to the nearest integer,
// halves away from zero; -1 for a zero denominator or a result out of range.
int MulDiv(int number, int numerator, int denominator);

// The base units of `font` as GdiGetCharDimensions measures them.
BaseUnits BaseUnitsOf(const QFont& font);

// The font the dialogs of `face` at `point_size` are drawn with here. Chosen
// once per face and size; requires a QGuiApplication.
QFont DialogFont(std::string_view face, int point_size);

// MapDialogRect: each edge mapped on its own.
PixelRect MapDialogRect(PixelRect dialog_units, BaseUnits base);

// Where the dialog manager creates a control: its origin and its size
// mapped separately, so a control's width does not depend on its x.
QRect ControlRect(const ControlTemplate& control, BaseUnits base);

// The client size of a template's window.
QSize ClientSize(const DialogTemplate& dialog, BaseUnits base);

}  // namespace kx::qt_dialog
