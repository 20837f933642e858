#pragma once

// Linux Qt front: the controls of a dialog template as Qt widgets.
//
// Implements:
//  - each control kind as its widget, a child of the dialog window, placed
//    from dialog units with the template's font metrics
//    (qt_dialog_metrics.h): push buttons, auto check boxes that take a click
//    anywhere in their rectangle, group boxes drawn behind what they frame,
//    statics, single-line and multiline edits, drop-down lists one line high
//    that open to as many items as the template's height holds, progress
//    bars, and the web-browser control from the factory;
//  - the controls by id, the first control of an id as GetDlgItem finds it;
//  - the window texts as the dialog manager keeps them (lines ending in
//    CR LF, the texts of kinds that show none), checks, list items and
//    progress positions coerced into their range. A call for a control of
//    another kind changes nothing.
//
// Missing: ES_AUTOHSCROLL's absence (a single-line edit here scrolls where
// Windows stops the typing at the box's edge), '&' prefixes in static texts
// (shown as typed), CBS_SORT, SS_RIGHT.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QRect>

#include "platform/browser.h"
#include "platform/dialog_host.h"
#include "platform/dialog_template.h"
#include "platform/linux/qt/qt_dialog_metrics.h"
#include "platform/linux/qt/qt_window_system.h"

class QWidget;

namespace kx::qt_dialog {

struct Control {
    int id = kIdStatic;
    ControlKind kind = ControlKind::Static;
    std::uint32_t style = 0;
    QWidget* widget = nullptr;  // owned by the dialog window
    // The window text of the kinds that do not show it as typed.
    std::string text;
    // Progress bars.
    int low = 0;
    int high = 100;
    int position = 0;
    std::unique_ptr<Browser> browser;

    std::string Text() const;
    void SetText(std::string_view text);
    CheckState Check() const;
    void SetCheck(CheckState state);
    void AddListItem(std::string_view item);
    // The first item that starts with `prefix`, ignoring case, or kNoListItem.
    int SelectListItem(std::string_view prefix);
    int ListSelection() const;
    std::string ListItemText(int index) const;
    void SetProgressRange(int new_low, int new_high);
    void SetProgressPosition(int new_position);
    // `rect` in the window's pixels, a drop-down list's with its open list.
    void Place(const QRect& rect);
};

// The controls of one dialog, in the template's order.
class Controls {
public:
    // `clicked` hears each button's BN_CLICKED by its id.
    Controls(QWidget& window, BaseUnits base, std::function<void(int id)> clicked);
    Controls(const Controls&) = delete;
    Controls& operator=(const Controls&) = delete;

    // Makes and places the control's widget, shown unless the window is hidden.
    Control& Add(const ControlTemplate& source, const BrowserFactory& browsers);
    // Group boxes go behind the controls they frame, whatever their order.
    void LowerGroupBoxes();

    Control* Find(int id);
    const Control* Find(int id) const;
    // The first enabled and shown tab stop that takes focus by Tab, or null.
    QWidget* FirstTabStop() const;
    // Whether `widget` is a web-browser control's view or part of one.
    bool InBrowser(const QWidget* widget) const;
    // The browsers have to go before the window that holds their views.
    void ReleaseBrowsers();

private:
    QWidget& window_;
    BaseUnits base_;
    std::function<void(int id)> clicked_;
    std::vector<std::unique_ptr<Control>> controls_;
};

}  // namespace kx::qt_dialog
