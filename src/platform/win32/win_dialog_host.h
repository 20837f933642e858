#pragma once

// Windows backend: the console's dialogs on the Windows dialog manager.
//
// Implements:
//  - kx::DialogHost over one modal dialog made with DialogBoxIndirectParamA
//    from the core's template data: item texts with their capacities,
//    check boxes, drop-down lists, the progress bar, dialog-unit mapping,
//    moving and sizing, centring on the owner within the work area,
//    timers (SetTimer), message boxes owned by the dialog, EndDialog;
//  - the posting side: PostMessageA to the dialog from any thread, dropped
//    once the window is going, so a late worker never reaches a reused
//    window handle;
//  - kx::WindowSystem: RunModal, GetActiveWindow and MessageBoxA.
// Enter, Escape and the close box arrive as IDOK and IDCANCEL as the dialog
// manager sends them.
//
// The browser control is made by the factory given to WinWindowSystem
// (MakeWinBrowserFactory, win_browser.h) inside its placeholder item, which
// the host moves and sizes like any other item.

#include <windows.h>

#include <functional>
#include <map>
#include <memory>

#include "platform/dialog_host.h"

namespace kx {

// Makes the browser that stands in the placeholder window of a browser item;
// null when there is none to make.
using WinBrowserFactory = std::function<std::unique_ptr<Browser>(HWND placeholder)>;

class WinDialogHost final : public DialogHost {
public:
    WinDialogHost(const DialogTemplate& dialog, DialogHandler& handler,
                  const WinBrowserFactory& browsers);
    ~WinDialogHost() override;
    WinDialogHost(const WinDialogHost&) = delete;
    WinDialogHost& operator=(const WinDialogHost&) = delete;

    // The dialog procedure DialogBoxIndirectParamA is given, with the host
    // as its parameter.
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

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
    class PostNotifier;

    INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);
    void Attach(HWND window);
    void MakeBrowsers();
    HWND Item(int id) const { return GetDlgItem(window_, id); }

    const DialogTemplate& dialog_;
    DialogHandler& handler_;
    const WinBrowserFactory& browser_factory_;
    HWND window_ = nullptr;
    bool ended_ = false;
    bool focus_set_ = false;
    std::shared_ptr<PostNotifier> notifier_;
    std::map<int, std::unique_ptr<Browser>> browsers_;
};

class WinWindowSystem final : public WindowSystem {
public:
    explicit WinWindowSystem(WinBrowserFactory browsers = {});

    int RunModal(const DialogTemplate& dialog, DialogHandler& handler, WindowId owner) override;
    WindowId ActiveWindow() override;
    MessageBoxResult ShowMessageBox(WindowId owner, std::string_view text,
                                    std::string_view caption, MessageBoxButtons buttons) override;

private:
    WinBrowserFactory browsers_;
};

}  // namespace kx
