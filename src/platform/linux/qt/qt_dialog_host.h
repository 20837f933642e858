#pragma once

// Linux Qt front: one running dialog.
//
// Implements:
//  - kx::DialogHost over a QDialog built from a DialogTemplate, its controls
//    made and addressed by qt_dialog_controls.h and its keys taken as the
//    dialog manager takes them by qt_dialog_keys.h; Escape and the close box
//    send kIdCancel, and the dialog never closes by itself;
//  - the modal run: the owner disabled from before OnInitDialog until
//    EndDialog (and the dialog window-modal to it), the window shown and
//    activated once OnInitDialog has returned, a nested QEventLoop that
//    EndDialog ends once the current handler returns, and OnDestroy with the
//    host still valid. EndDialog hides the window and enables the owner at
//    once, as Windows does; a later call changes only the result;
//  - posts from any thread as queued events, never delivered once the
//    dialog has ended; timers by id, none firing once it has ended.
//
// A dialog without an owner is not modal to any window, as on Windows.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QEventLoop>
#include <QPointer>

#include "platform/dialog_host.h"
#include "platform/dialog_template.h"
#include "platform/linux/qt/qt_dialog_metrics.h"
#include "platform/linux/qt/qt_dialog_modal.h"
#include "platform/linux/qt/qt_window_system.h"

class QWidget;

namespace kx {

namespace qt_dialog {
class Controls;
class DialogKeys;
}  // namespace qt_dialog

class QtDialogHost final : public DialogHost {
public:
    // Builds the window and its controls, hidden; `owner` may be null.
    QtDialogHost(const DialogTemplate& dialog, DialogHandler& handler, QWidget* owner,
                 const BrowserFactory& browsers);
    ~QtDialogHost() override;
    QtDialogHost(const QtDialogHost&) = delete;
    QtDialogHost& operator=(const QtDialogHost&) = delete;

    // The modal run, from OnInitDialog to OnDestroy; answers EndDialog's
    // result, or -1 when the application's event loops were told to quit
    // before the dialog ended.
    int Run();

    QWidget* Widget() const;
    // The widget of control `id` (the first of that id), or null.
    QWidget* ItemWidget(int id) const;
    bool HasEnded() const { return ended_; }

    // The hosts alive, oldest first; UI thread only.
    static const std::vector<QtDialogHost*>& Live();
    static QtDialogHost* FromWindow(WindowId window);

    // DialogHost.
    WindowId Window() const override;
    std::shared_ptr<Notifier> Poster() override;
    std::string GetItemText(int id, std::size_t capacity) override;
    void SetItemText(int id, std::string_view text) override;
    void SetCaption(std::string_view text) override;
    CheckState GetCheck(int id) override;
    void SetCheck(int id, CheckState state) override;
    void EnableItem(int id, Enablement enablement) override;
    bool IsItemEnabled(int id) override;
    void ShowItem(int id, Visibility visibility) override;
    void AddListItem(int id, std::string_view text) override;
    int SelectListItem(int id, std::string_view prefix) override;
    int GetListSelection(int id) override;
    std::string GetListItemText(int id, int index) override;
    void SetProgressRange(int id, int low, int high) override;
    void SetProgressPosition(int id, int position) override;
    PixelRect MapDialogRect(PixelRect dialog_units) override;
    PixelRect GetItemRect(int id) override;
    void MoveItem(int id, PixelRect client_pixels) override;
    void SetClientSize(int width, int height) override;
    PixelRect GetClientRect() override;
    void CenterOnOwner() override;
    void BringToForeground() override;
    void ShowWindow(Visibility visibility) override;
    void FocusItem(int id) override;
    void StartTimer(unsigned id, unsigned period_ms) override;
    void StopTimer(unsigned id) override;
    MessageBoxResult ShowMessageBox(std::string_view text, std::string_view caption,
                                    MessageBoxButtons buttons) override;
    void EndDialog(int result) override;
    Browser* GetBrowser(int id) override;

private:
    class DialogWindow;
    class PostNotifier;

    void ShowAndActivate();
    void KillTimers();

    // From the window and its controls.
    void Command(int id, int notification);
    void Deliver(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);
    void TimerFired(int qt_timer);
    void ClosePressed();

    DialogHandler& handler_;
    QPointer<QWidget> owner_;
    qt_dialog::BaseUnits base_;
    DialogWindow* window_ = nullptr;
    std::unique_ptr<qt_dialog::Controls> controls_;
    std::unique_ptr<qt_dialog::DialogKeys> keys_;
    std::shared_ptr<PostNotifier> notifier_;
    std::optional<qt_dialog::OwnerDisabled> owner_disabled_;
    std::map<unsigned, int> timers_;  // our id -> Qt's timer id
    QEventLoop loop_;
    QPointer<QWidget> requested_focus_;
    bool shown_ = false;
    bool hidden_by_code_ = false;
    bool ended_ = false;
    int result_ = 0;
};

}  // namespace kx
