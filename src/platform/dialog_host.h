#pragma once

// The window ports: what a dialog's handlers need of their window, shaped
// after the Win32 dialog calls so each step of a dialog is one call.
//
// - `DialogHandler` is implemented by the core's dialog classes; a backend
//   calls it from its modal loop on the UI thread.
// - `DialogHost` is the live window a handler works on, valid from
//   OnInitDialog until OnDestroy returns.
// - `WindowSystem` runs a dialog template modally and offers the few calls
//   that are not about one dialog.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/browser.h"
#include "platform/notifier.h"
#include "platform/dialog_template.h"

namespace kx {

using WindowId = std::uintptr_t;  // 0 is no window
inline constexpr WindowId kNoWindow = 0;

enum class Enablement { Disabled, Enabled };
enum class Visibility { Hidden, Shown };
enum class CheckState { Unchecked, Checked };
enum class MessageBoxButtons { Ok, YesNo };
enum class MessageBoxResult { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

// WM_COMMAND's notification code of a button click.
inline constexpr int kBnClicked = 0;
// What list queries answer when there is no item (CB_ERR).
inline constexpr int kNoListItem = -1;

struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

class DialogHost {
public:
    virtual ~DialogHost() = default;

    virtual WindowId Window() const = 0;

    // Posts to this dialog: the message reaches its handler's OnPosted on the
    // UI thread, and never once the dialog has ended.
    virtual std::shared_ptr<Notifier> Poster() = 0;

    // GetDlgItemTextA: at most capacity - 1 characters of the item's text.
    virtual std::string GetItemText(int id, std::size_t capacity) = 0;
    virtual void SetItemText(int id, std::string_view text) = 0;
    virtual void SetCaption(std::string_view text) = 0;

    virtual CheckState GetCheck(int id) = 0;
    virtual void SetCheck(int id, CheckState state) = 0;

    virtual void EnableItem(int id, Enablement enablement) = 0;
    virtual bool IsItemEnabled(int id) = 0;
    virtual void ShowItem(int id, Visibility visibility) = 0;

    // Drop-down lists (CB_ADDSTRING, CB_SELECTSTRING, CB_GETCURSEL, CB_GETLBTEXT).
    // Selecting by text takes the first item that begins with it, without
    // regard to case, and answers its index or kNoListItem.
    virtual void AddListItem(int id, std::string_view text) = 0;
    virtual int SelectListItem(int id, std::string_view prefix) = 0;
    virtual int GetListSelection(int id) = 0;
    virtual std::string GetListItemText(int id, int index) = 0;

    // The progress bar (PBM_SETRANGE32, PBM_SETPOS); a position outside the
    // range is held at its nearest end.
    virtual void SetProgressRange(int id, int low, int high) = 0;
    virtual void SetProgressPosition(int id, int position) = 0;

    // MapDialogRect: dialog units to pixels with this dialog's font.
    virtual PixelRect MapDialogRect(PixelRect dialog_units) = 0;
    // An item's rectangle in the dialog's client pixels.
    virtual PixelRect GetItemRect(int id) = 0;
    virtual void MoveItem(int id, PixelRect client_pixels) = 0;
    // Sizes the window so its client area is this large (AdjustWindowRect
    // with the window's own style, then MoveWindow).
    virtual void SetClientSize(int width, int height) = 0;
    virtual PixelRect GetClientRect() = 0;

    // Centres on the owner, or on the desktop's work area when the owner is
    // missing, hidden or minimised; the window stays inside the work area.
    virtual void CenterOnOwner() = 0;
    virtual void BringToForeground() = 0;
    // ShowWindow of the dialog itself, e.g. the console hidden during a play.
    virtual void ShowWindow(Visibility visibility) = 0;
    virtual void FocusItem(int id) = 0;

    virtual void StartTimer(unsigned id, unsigned period_ms) = 0;
    virtual void StopTimer(unsigned id) = 0;

    // Modal, owned by this dialog.
    virtual MessageBoxResult ShowMessageBox(std::string_view text, std::string_view caption,
                                            MessageBoxButtons buttons) = 0;

    // Ends the modal run with `result` once the current handler returns.
    virtual void EndDialog(int result) = 0;

    // The browser hosted by control `id`, or null when the control hosts
    // none; it lives as long as the dialog.
    virtual Browser* GetBrowser(int id) = 0;
};

class DialogHandler {
public:
    virtual ~DialogHandler() = default;

    // The window and its controls exist and are not yet shown.
    virtual void OnInitDialog(DialogHost& host) = 0;
    // A control's notification; Enter arrives as kIdOk and Escape or the
    // close box as kIdCancel, as the Windows dialog manager sends them.
    virtual void OnCommand(int id, int notification) = 0;
    virtual void OnTimer(unsigned id) = 0;
    // A message posted through DialogHost::Poster.
    virtual void OnPosted(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) = 0;
    // The window is going; its host is still valid during this call only.
    virtual void OnDestroy() = 0;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Runs the template modally over `owner` (disabled meanwhile) and returns
    // the result given to EndDialog, or -1 when the window cannot be made.
    virtual int RunModal(const DialogTemplate& dialog, DialogHandler& handler, WindowId owner) = 0;

    // GetActiveWindow: the active window of this thread, or kNoWindow.
    virtual WindowId ActiveWindow() = 0;

    // A message box owned by any window, kNoWindow for none.
    virtual MessageBoxResult ShowMessageBox(WindowId owner, std::string_view text,
                                            std::string_view caption,
                                            MessageBoxButtons buttons) = 0;
};

}  // namespace kx
