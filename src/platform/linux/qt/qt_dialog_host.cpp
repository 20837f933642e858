#include "platform/linux/qt/qt_dialog_host.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <mutex>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QTimerEvent>

#include "platform/linux/qt/qt_dialog_controls.h"
#include "platform/linux/qt/qt_dialog_keys.h"
#include "platform/linux/qt/qt_event_wait.h"
#include "platform/linux/qt/qt_text.h"

namespace kx {

namespace {

// USER_TIMER_MINIMUM: Windows runs no timer faster.
constexpr unsigned kShortestTimer = 10;

std::vector<QtDialogHost*>& LiveHosts() {
    static std::vector<QtDialogHost*> hosts;
    return hosts;
}

QEvent::Type PostedEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class PostedEvent final : public QEvent {
public:
    PostedEvent(std::uint32_t posted_message, std::uintptr_t posted_wparam,
                std::intptr_t posted_lparam)
        : QEvent(PostedEventType()),
          message(posted_message),
          wparam(posted_wparam),
          lparam(posted_lparam) {}

    const std::uint32_t message;
    const std::uintptr_t wparam;
    const std::intptr_t lparam;
};

PixelRect ToPixelRect(const QRect& rect) {
    return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

QRect ToQRect(const PixelRect& rect) {
    return {rect.left, rect.top, std::max(0, rect.width()), std::max(0, rect.height())};
}

}  // namespace

// The posting side of a dialog: any thread may call Post at any time. The
// target is cleared under the mutex when the dialog ends, so a post either
// reaches the queue of a live window or is dropped. Workers share its
// ownership, so it lives until the last of them lets it go.
class QtDialogHost::PostNotifier final : public Notifier {
public:
    explicit PostNotifier(QObject* target) : target_(target) {}

    void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override {
        const std::lock_guard lock(mutex_);
        if (target_ == nullptr) return;
        QCoreApplication::postEvent(target_, new PostedEvent(message, wparam, lparam));
    }

    void Close() {
        const std::lock_guard lock(mutex_);
        target_ = nullptr;
    }

private:
    std::mutex mutex_;
    QObject* target_;
};

class QtDialogHost::DialogWindow final : public QDialog {
public:
    DialogWindow(QtDialogHost& host, QWidget* owner, Qt::WindowFlags flags, bool drawn_border)
        : QDialog(owner, flags), host_(&host), drawn_border_(drawn_border) {}

    void Detach() { host_ = nullptr; }

    // Asks once more for activation when the window is first painted: under
    // an X server without a window manager a request made before the window
    // is mapped is lost.
    void ActivateWhenPainted() { activate_when_painted_ = true; }

    // The dialog ends through EndDialog only.
    void done(int) override {}

protected:
    bool event(QEvent* event) override {
        if (event->type() == PostedEventType()) {
            const auto* posted = static_cast<PostedEvent*>(event);
            if (host_ != nullptr) host_->Deliver(posted->message, posted->wparam, posted->lparam);
            return true;
        }
        return QDialog::event(event);
    }

    void timerEvent(QTimerEvent* event) override {
        if (host_ != nullptr) host_->TimerFired(event->timerId());
    }

    void keyPressEvent(QKeyEvent* event) override {
        // Keys no control took, and the page's keys its view hands back.
        if (host_ == nullptr || !host_->keys_->HandleKey(this, event)) event->ignore();
    }

    void closeEvent(QCloseEvent* event) override {
        // The close box or the window manager's close: WM_CLOSE, which the
        // dialog manager turns into IDCANCEL for the handler to decide on.
        event->ignore();
        if (host_ != nullptr) host_->ClosePressed();
    }

    void paintEvent(QPaintEvent* event) override {
        if (activate_when_painted_) {
            activate_when_painted_ = false;
            if (!isActiveWindow()) {
                QTimer::singleShot(0, this, [this] {
                    if (isVisible() && !isActiveWindow()) activateWindow();
                });
            }
        }
        QDialog::paintEvent(event);
        if (!drawn_border_) return;
        // WS_BORDER or a modal frame without a title bar: the window manager
        // draws no frame, so a thin one is drawn here.
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }

private:
    QtDialogHost* host_;
    bool drawn_border_;
    bool activate_when_painted_ = false;
};

QtDialogHost::QtDialogHost(const DialogTemplate& dialog, DialogHandler& handler, QWidget* owner,
                           const BrowserFactory& browsers)
    : handler_(handler), owner_(owner) {
    const QFont font = qt_dialog::DialogFont(dialog.font, dialog.point_size);
    base_ = qt_dialog::BaseUnitsOf(font);

    // No minimise or maximise box and no sizing border in any case; a close
    // box only with a system menu.
    const bool titled = (dialog.style & style::kCaption) == style::kCaption;
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
    if (titled) {
        flags |= Qt::WindowTitleHint;
        if ((dialog.style & style::kSysMenu) != 0) {
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        }
    } else {
        flags |= Qt::FramelessWindowHint;
    }
    const bool drawn_border =
        !titled && (dialog.style & (style::kBorder | style::kDsModalFrame)) != 0;

    window_ = new DialogWindow(*this, owner, flags, drawn_border);
    window_->setFont(font);
    window_->setWindowTitle(AnsiToQString(dialog.caption));
    window_->setFixedSize(qt_dialog::ClientSize(dialog, base_));
    // Modal to its owner as well as over it: the window manager keeps it on
    // top and sends the owner's clicks to it.
    if (owner != nullptr) window_->setWindowModality(Qt::WindowModal);

    controls_ = std::make_unique<qt_dialog::Controls>(
        *window_, base_, [this](int id) { Command(id, kBnClicked); });
    keys_ = std::make_unique<qt_dialog::DialogKeys>(
        *window_, *controls_, [this] { return ended_; },
        [this](int id) { Command(id, kBnClicked); });
    for (const ControlTemplate& control : dialog.controls) {
        // A browser's filter sees the keys its page's widgets leave
        // unhandled on their way up.
        controls_->Add(control, browsers).widget->installEventFilter(keys_.get());
    }
    controls_->LowerGroupBoxes();

    notifier_ = std::make_shared<PostNotifier>(window_);
    LiveHosts().push_back(this);
}

QtDialogHost::~QtDialogHost() {
    auto& live = LiveHosts();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    KillTimers();
    notifier_->Close();

    window_->Detach();
    // The browsers before the window that holds their views.
    controls_->ReleaseBrowsers();
    delete window_;
}

int QtDialogHost::Run() {
    // Disabled before OnInitDialog, as DialogBox does; a child window shares
    // its owner's disabled state until told otherwise.
    owner_disabled_.emplace(owner_.data());
    window_->setEnabled(true);

    handler_.OnInitDialog(*this);
    if (!ended_) {
        if (!hidden_by_code_) ShowAndActivate();
        loop_.exec();
        if (!ended_) {
            // The application's loops were told to quit.
            EndDialog(-1);
        }
    }

    KillTimers();
    handler_.OnDestroy();
    owner_disabled_.reset();
    return result_;
}

void QtDialogHost::ShowAndActivate() {
    window_->show();
    window_->raise();
    window_->activateWindow();
    window_->ActivateWhenPainted();
    if (!shown_) {
        shown_ = true;
        // As WM_INITDIALOG answering TRUE: the first tab stop, unless the
        // handler chose a control.
        QWidget* focus =
            requested_focus_.isNull() ? controls_->FirstTabStop() : requested_focus_.data();
        if (focus != nullptr) {
            focus->setFocus(requested_focus_.isNull() ? Qt::TabFocusReason : Qt::OtherFocusReason);
        }
    }
}

QWidget* QtDialogHost::Widget() const { return window_; }

QWidget* QtDialogHost::ItemWidget(int id) const {
    const qt_dialog::Control* control = controls_->Find(id);
    return control != nullptr ? control->widget : nullptr;
}

const std::vector<QtDialogHost*>& QtDialogHost::Live() { return LiveHosts(); }

QtDialogHost* QtDialogHost::FromWindow(WindowId window) {
    if (window == kNoWindow) return nullptr;
    for (QtDialogHost* host : LiveHosts()) {
        if (host->Window() == window) return host;
    }
    return nullptr;
}

WindowId QtDialogHost::Window() const { return reinterpret_cast<WindowId>(window_); }

std::shared_ptr<Notifier> QtDialogHost::Poster() { return notifier_; }

std::string QtDialogHost::GetItemText(int id, std::size_t capacity) {
    const qt_dialog::Control* control = controls_->Find(id);
    if (control == nullptr || capacity == 0) return {};
    std::string text = control->Text();
    if (text.size() > capacity - 1) text.resize(capacity - 1);
    return text;
}

void QtDialogHost::SetItemText(int id, std::string_view text) {
    if (qt_dialog::Control* control = controls_->Find(id)) control->SetText(text);
}

void QtDialogHost::SetCaption(std::string_view text) {
    window_->setWindowTitle(AnsiToQString(text));
}

CheckState QtDialogHost::GetCheck(int id) {
    const qt_dialog::Control* control = controls_->Find(id);
    return control != nullptr ? control->Check() : CheckState::Unchecked;
}

void QtDialogHost::SetCheck(int id, CheckState state) {
    if (qt_dialog::Control* control = controls_->Find(id)) control->SetCheck(state);
}

void QtDialogHost::EnableItem(int id, Enablement enablement) {
    if (qt_dialog::Control* control = controls_->Find(id)) {
        control->widget->setEnabled(enablement == Enablement::Enabled);
    }
}

bool QtDialogHost::IsItemEnabled(int id) {
    // The control's own state, whatever its window's (disabled under a
    // nested modal window).
    const qt_dialog::Control* control = controls_->Find(id);
    return control != nullptr && control->widget->isEnabledTo(window_);
}

void QtDialogHost::ShowItem(int id, Visibility visibility) {
    if (qt_dialog::Control* control = controls_->Find(id)) {
        control->widget->setVisible(visibility == Visibility::Shown);
    }
}

void QtDialogHost::AddListItem(int id, std::string_view text) {
    if (qt_dialog::Control* control = controls_->Find(id)) control->AddListItem(text);
}

int QtDialogHost::SelectListItem(int id, std::string_view prefix) {
    qt_dialog::Control* control = controls_->Find(id);
    return control != nullptr ? control->SelectListItem(prefix) : kNoListItem;
}

int QtDialogHost::GetListSelection(int id) {
    const qt_dialog::Control* control = controls_->Find(id);
    return control != nullptr ? control->ListSelection() : kNoListItem;
}

std::string QtDialogHost::GetListItemText(int id, int index) {
    const qt_dialog::Control* control = controls_->Find(id);
    return control != nullptr ? control->ListItemText(index) : std::string();
}

void QtDialogHost::SetProgressRange(int id, int low, int high) {
    if (qt_dialog::Control* control = controls_->Find(id)) control->SetProgressRange(low, high);
}

void QtDialogHost::SetProgressPosition(int id, int position) {
    if (qt_dialog::Control* control = controls_->Find(id)) control->SetProgressPosition(position);
}

PixelRect QtDialogHost::MapDialogRect(PixelRect dialog_units) {
    return qt_dialog::MapDialogRect(dialog_units, base_);
}

PixelRect QtDialogHost::GetItemRect(int id) {
    const qt_dialog::Control* control = controls_->Find(id);
    return control != nullptr ? ToPixelRect(control->widget->geometry()) : PixelRect{};
}

void QtDialogHost::MoveItem(int id, PixelRect client_pixels) {
    if (qt_dialog::Control* control = controls_->Find(id)) control->Place(ToQRect(client_pixels));
}

void QtDialogHost::SetClientSize(int width, int height) {
    // The window's own size is its client area here; the frame is the
    // window manager's. The top-left corner stays, as with MoveWindow.
    window_->setFixedSize(std::max(0, width), std::max(0, height));
}

PixelRect QtDialogHost::GetClientRect() {
    return {0, 0, window_->width(), window_->height()};
}

void QtDialogHost::CenterOnOwner() {
    const QRect frame = window_->frameGeometry();
    const QWidget* owner = owner_.data();
    const bool on_owner = owner != nullptr && owner->isVisible() && !owner->isMinimized();

    QScreen* screen = nullptr;
    if (owner != nullptr) screen = owner->screen();
    if (screen == nullptr) screen = window_->screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    const QRect work_area = screen != nullptr ? screen->availableGeometry() : QRect();

    const QRect around = on_owner ? owner->frameGeometry() : work_area;
    int left = around.left() + (around.width() - frame.width()) / 2;
    int top = around.top() + (around.height() - frame.height()) / 2;
    if (!work_area.isEmpty()) {
        // Inside the work area, its top-left corner first when too large.
        left = std::max(work_area.left(),
                        std::min(left, work_area.left() + work_area.width() - frame.width()));
        top = std::max(work_area.top(),
                       std::min(top, work_area.top() + work_area.height() - frame.height()));
    }
    window_->move(left, top);
}

void QtDialogHost::BringToForeground() {
    if (ended_) return;
    if (window_->isMinimized()) window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

void QtDialogHost::ShowWindow(Visibility visibility) {
    if (visibility == Visibility::Hidden) {
        hidden_by_code_ = true;
        window_->hide();
        return;
    }
    hidden_by_code_ = false;
    if (!ended_) ShowAndActivate();
}

void QtDialogHost::FocusItem(int id) {
    qt_dialog::Control* control = controls_->Find(id);
    if (control == nullptr) return;
    if (!shown_) requested_focus_ = control->widget;
    control->widget->setFocus(Qt::OtherFocusReason);
}

void QtDialogHost::StartTimer(unsigned id, unsigned period_ms) {
    if (ended_) return;
    // SetTimer with an id in use replaces that timer.
    StopTimer(id);
    const unsigned period = std::clamp(period_ms, kShortestTimer, static_cast<unsigned>(INT_MAX));
    const int qt_timer = window_->startTimer(std::chrono::milliseconds(period));
    if (qt_timer != 0) timers_[id] = qt_timer;
}

void QtDialogHost::StopTimer(unsigned id) {
    const auto it = timers_.find(id);
    if (it == timers_.end()) return;
    window_->killTimer(it->second);
    timers_.erase(it);
}

void QtDialogHost::KillTimers() {
    for (const auto& [id, qt_timer] : timers_) window_->killTimer(qt_timer);
    timers_.clear();
}

MessageBoxResult QtDialogHost::ShowMessageBox(std::string_view text, std::string_view caption,
                                              MessageBoxButtons buttons) {
    return qt_dialog::RunMessageBox(window_, text, caption, buttons);
}

void QtDialogHost::EndDialog(int result) {
    // A later call changes only the result, as EndDialog's does.
    result_ = result;
    if (ended_) return;
    ended_ = true;
    notifier_->Close();
    KillTimers();
    // As EndDialog: the window hides and the owner is enabled at once; the
    // loop ends when the current handler has returned to it.
    window_->hide();
    if (owner_disabled_) owner_disabled_->Restore();
    loop_.exit(0);
}

Browser* QtDialogHost::GetBrowser(int id) {
    const qt_dialog::Control* control = controls_->Find(id);
    if (control == nullptr || control->kind != ControlKind::WebBrowser) return nullptr;
    return control->browser.get();
}

void QtDialogHost::Command(int id, int notification) {
    // During a painting wait the console takes no command, as a window
    // disabled by a modal wait takes none.
    if (ended_ || QtInputHeld()) return;
    handler_.OnCommand(id, notification);
}

void QtDialogHost::ClosePressed() { Command(kIdCancel, kBnClicked); }

void QtDialogHost::Deliver(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    // Posted before EndDialog but still queued: dropped as well.
    if (ended_) return;
    handler_.OnPosted(message, wparam, lparam);
}

void QtDialogHost::TimerFired(int qt_timer) {
    // A tick missed during a painting wait is lost, as WM_TIMER ticks that
    // nobody takes are.
    if (ended_ || QtInputHeld()) return;
    for (const auto& [id, running] : timers_) {
        if (running == qt_timer) {
            const unsigned timer_id = id;
            handler_.OnTimer(timer_id);
            return;
        }
    }
}

}  // namespace kx
