#include "platform/win32/win_dialog_host.h"

#include <commctrl.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/win_dialog_template.h"

namespace kx {

namespace {

// USER_TIMER_MINIMUM: the system runs no timer faster anyway.
constexpr unsigned kShortestTimer = 10;

PixelRect FromRect(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

RECT ToRect(const PixelRect& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

std::string Text(std::string_view text) { return std::string(text); }

UINT MessageBoxStyle(MessageBoxButtons buttons) {
    return buttons == MessageBoxButtons::YesNo ? MB_YESNO : MB_OK;
}

MessageBoxResult FromMessageBox(int answer) {
    switch (answer) {
        case IDYES: return MessageBoxResult::Yes;
        case IDNO: return MessageBoxResult::No;
        case IDCANCEL: return MessageBoxResult::Cancel;
        default: return MessageBoxResult::Ok;
    }
}

// The messages that the engine and the core post to a dialog; below them
// is DM_GETDEFID, which the dialog manager itself sends.
bool IsPostedToHandler(UINT message) { return message > WM_USER && message < 0x8000; }

}  // namespace

// Posts to the dialog's window from any thread while the window lives; the
// handle is forgotten under the lock when the window goes.
class WinDialogHost::PostNotifier final : public Notifier {
public:
    explicit PostNotifier(HWND window) : window_(window) {}

    void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override {
        const std::lock_guard lock(mutex_);
        if (window_ != nullptr) PostMessageA(window_, message, wparam, lparam);
    }
    void Close() {
        const std::lock_guard lock(mutex_);
        window_ = nullptr;
    }

private:
    std::mutex mutex_;
    HWND window_;
};

WinDialogHost::WinDialogHost(const DialogTemplate& dialog, DialogHandler& handler,
                             const WinBrowserFactory& browsers)
    : dialog_(dialog), handler_(handler), browser_factory_(browsers) {}

WinDialogHost::~WinDialogHost() {
    if (notifier_) notifier_->Close();
}

INT_PTR CALLBACK WinDialogHost::DialogProc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
    auto* host = reinterpret_cast<WinDialogHost*>(GetWindowLongPtrA(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        host = reinterpret_cast<WinDialogHost*>(lparam);
        SetWindowLongPtrA(window, DWLP_USER, lparam);
        host->Attach(window);
    }
    if (host == nullptr) return FALSE;
    // Nothing may unwind through the dialog manager.
    try {
        return host->Handle(message, wparam, lparam);
    } catch (...) {
        return FALSE;
    }
}

void WinDialogHost::Attach(HWND window) {
    window_ = window;
    notifier_ = std::make_shared<PostNotifier>(window);
}

void WinDialogHost::MakeBrowsers() {
    if (!browser_factory_) return;
    for (const ControlTemplate& control : dialog_.controls) {
        if (control.kind != ControlKind::WebBrowser) continue;
        if (HWND placeholder = Item(control.id)) {
            if (std::unique_ptr<Browser> browser = browser_factory_(placeholder)) {
                browsers_[control.id] = std::move(browser);
            }
        }
    }
}

INT_PTR WinDialogHost::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG:
            MakeBrowsers();
            handler_.OnInitDialog(*this);
            // The handler's own focus stands; otherwise the dialog manager's.
            return focus_set_ ? FALSE : TRUE;
        case WM_COMMAND:
            if (!ended_) handler_.OnCommand(LOWORD(wparam), HIWORD(wparam));
            return TRUE;
        case WM_TIMER:
            if (!ended_) handler_.OnTimer(static_cast<unsigned>(wparam));
            return TRUE;
        case WM_DESTROY:
            if (notifier_) notifier_->Close();
            handler_.OnDestroy();
            browsers_.clear();
            return TRUE;
        default:
            break;
    }
    if (IsPostedToHandler(message)) {
        if (!ended_) {
            handler_.OnPosted(message, static_cast<std::uintptr_t>(wparam),
                              static_cast<std::intptr_t>(lparam));
        }
        return TRUE;
    }
    return FALSE;
}

WindowId WinDialogHost::Window() const { return reinterpret_cast<WindowId>(window_); }

std::shared_ptr<Notifier> WinDialogHost::Poster() { return notifier_; }

std::string WinDialogHost::GetItemText(int id, std::size_t capacity) {
    if (capacity == 0) return {};
    std::string text(capacity, '\0');
    const UINT length = GetDlgItemTextA(window_, id, text.data(), static_cast<int>(capacity));
    text.resize(std::min<std::size_t>(length, capacity - 1));
    return text;
}

void WinDialogHost::SetItemText(int id, std::string_view text) {
    SetDlgItemTextA(window_, id, Text(text).c_str());
}

void WinDialogHost::SetCaption(std::string_view text) { SetWindowTextA(window_, Text(text).c_str()); }

CheckState WinDialogHost::GetCheck(int id) {
    return IsDlgButtonChecked(window_, id) == BST_CHECKED ? CheckState::Checked
                                                           : CheckState::Unchecked;
}

void WinDialogHost::SetCheck(int id, CheckState state) {
    CheckDlgButton(window_, id, state == CheckState::Checked ? BST_CHECKED : BST_UNCHECKED);
}

void WinDialogHost::EnableItem(int id, Enablement enablement) {
    EnableWindow(Item(id), enablement == Enablement::Enabled);
}

bool WinDialogHost::IsItemEnabled(int id) {
    HWND item = Item(id);
    return item != nullptr && IsWindowEnabled(item);
}

void WinDialogHost::ShowItem(int id, Visibility visibility) {
    if (HWND item = Item(id)) ::ShowWindow(item, visibility == Visibility::Shown ? SW_SHOW : SW_HIDE);
}

void WinDialogHost::AddListItem(int id, std::string_view text) {
    SendDlgItemMessageA(window_, id, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(Text(text).c_str()));
}

int WinDialogHost::SelectListItem(int id, std::string_view prefix) {
    const LRESULT index = SendDlgItemMessageA(window_, id, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                              reinterpret_cast<LPARAM>(Text(prefix).c_str()));
    return index == CB_ERR ? kNoListItem : static_cast<int>(index);
}

int WinDialogHost::GetListSelection(int id) {
    const LRESULT index = SendDlgItemMessageA(window_, id, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? kNoListItem : static_cast<int>(index);
}

std::string WinDialogHost::GetListItemText(int id, int index) {
    const LRESULT length =
        SendDlgItemMessageA(window_, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length < 0) return {};
    std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT copied = SendDlgItemMessageA(window_, id, CB_GETLBTEXT,
                                               static_cast<WPARAM>(index),
                                               reinterpret_cast<LPARAM>(text.data()));
    if (copied == CB_ERR || copied < 0) return {};
    return std::string(text.data(), static_cast<std::size_t>(copied));
}

void WinDialogHost::SetProgressRange(int id, int low, int high) {
    SendDlgItemMessageA(window_, id, PBM_SETRANGE32, static_cast<WPARAM>(low), high);
}

void WinDialogHost::SetProgressPosition(int id, int position) {
    SendDlgItemMessageA(window_, id, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

PixelRect WinDialogHost::MapDialogRect(PixelRect dialog_units) {
    RECT rect = ToRect(dialog_units);
    ::MapDialogRect(window_, &rect);
    return FromRect(rect);
}

PixelRect WinDialogHost::GetItemRect(int id) {
    HWND item = Item(id);
    RECT rect{};
    if (item == nullptr || !GetWindowRect(item, &rect)) return {};
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
    return FromRect(rect);
}

void WinDialogHost::MoveItem(int id, PixelRect client_pixels) {
    if (HWND item = Item(id)) {
        MoveWindow(item, client_pixels.left, client_pixels.top, client_pixels.width(),
                   client_pixels.height(), TRUE);
    }
}

void WinDialogHost::SetClientSize(int width, int height) {
    RECT rect{0, 0, std::max(0, width), std::max(0, height)};
    const auto window_style = static_cast<DWORD>(GetWindowLongPtrA(window_, GWL_STYLE));
    const auto extended_style = static_cast<DWORD>(GetWindowLongPtrA(window_, GWL_EXSTYLE));
    AdjustWindowRectEx(&rect, window_style, FALSE, extended_style);
    SetWindowPos(window_, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

PixelRect WinDialogHost::GetClientRect() {
    RECT rect{};
    ::GetClientRect(window_, &rect);
    return FromRect(rect);
}

void WinDialogHost::CenterOnOwner() {
    RECT frame{};
    GetWindowRect(window_, &frame);
    HWND owner = GetWindow(window_, GW_OWNER);
    const bool on_owner = owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner);

    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(on_owner ? owner : window_, MONITOR_DEFAULTTONEAREST),
                    &monitor);
    const RECT work = monitor.rcWork;
    RECT around = work;
    if (on_owner) GetWindowRect(owner, &around);

    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    int left = around.left + ((around.right - around.left) - width) / 2;
    int top = around.top + ((around.bottom - around.top) - height) / 2;
    // Inside the work area, its top-left corner first when it is too big.
    left = std::max<int>(work.left, std::min<int>(left, work.right - width));
    top = std::max<int>(work.top, std::min<int>(top, work.bottom - height));
    SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WinDialogHost::BringToForeground() { SetForegroundWindow(window_); }

void WinDialogHost::ShowWindow(Visibility visibility) {
    ::ShowWindow(window_, visibility == Visibility::Shown ? SW_SHOW : SW_HIDE);
}

void WinDialogHost::FocusItem(int id) {
    if (HWND item = Item(id)) {
        // As the dialog manager moves focus, so the default button follows.
        SendMessageA(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
        focus_set_ = true;
    }
}

void WinDialogHost::StartTimer(unsigned id, unsigned period_ms) {
    SetTimer(window_, id, std::max(period_ms, kShortestTimer), nullptr);
}

void WinDialogHost::StopTimer(unsigned id) { KillTimer(window_, id); }

MessageBoxResult WinDialogHost::ShowMessageBox(std::string_view text, std::string_view caption,
                                               MessageBoxButtons buttons) {
    return FromMessageBox(
        MessageBoxA(window_, Text(text).c_str(), Text(caption).c_str(), MessageBoxStyle(buttons)));
}

void WinDialogHost::EndDialog(int result) {
    ended_ = true;
    ::EndDialog(window_, result);
}

Browser* WinDialogHost::GetBrowser(int id) {
    const auto found = browsers_.find(id);
    return found == browsers_.end() ? nullptr : found->second.get();
}

WinWindowSystem::WinWindowSystem(WinBrowserFactory browsers) : browsers_(std::move(browsers)) {}

int WinWindowSystem::RunModal(const DialogTemplate& dialog, DialogHandler& handler,
                              WindowId owner) {
    const std::vector<std::uint16_t> words = BuildDialogTemplate(dialog);
    WinDialogHost host(dialog, handler, browsers_);
    const INT_PTR result = DialogBoxIndirectParamA(
        GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(words.data()),
        reinterpret_cast<HWND>(owner), &WinDialogHost::DialogProc, reinterpret_cast<LPARAM>(&host));
    return static_cast<int>(result);
}

WindowId WinWindowSystem::ActiveWindow() { return reinterpret_cast<WindowId>(GetActiveWindow()); }

MessageBoxResult WinWindowSystem::ShowMessageBox(WindowId owner, std::string_view text,
                                                 std::string_view caption,
                                                 MessageBoxButtons buttons) {
    return FromMessageBox(MessageBoxA(reinterpret_cast<HWND>(owner), Text(text).c_str(),
                                      Text(caption).c_str(), MessageBoxStyle(buttons)));
}

}  // namespace kx
