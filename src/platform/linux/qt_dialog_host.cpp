#include "platform/linux/qt_dialog_host.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <mutex>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTimerEvent>

#include "platform/linux/qt_text.h"

namespace kx {

namespace {

// The SS_ type bits of a static's style.
constexpr std::uint32_t kStaticTypeMask = 0x1F;
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

// A Windows control breaks its lines at CR LF; Qt's at LF.
QString ShownLines(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

PixelRect ToPixelRect(const QRect& rect) {
    return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

QRect ToQRect(const PixelRect& rect) {
    return {rect.left, rect.top, std::max(0, rect.width()), std::max(0, rect.height())};
}

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// A Windows check box takes a click anywhere in its rectangle; Qt's only on
// its box and label.
class WholeRectCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

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

struct QtDialogHost::Control {
    int id = kIdStatic;
    ControlKind kind = ControlKind::Static;
    std::uint32_t style = 0;
    QWidget* widget = nullptr;  // owned by the window
    // The window text of the kinds that do not show it as typed.
    std::string text;
    // Progress bars.
    int low = 0;
    int high = 100;
    int position = 0;
    std::unique_ptr<Browser> browser;
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
        if (host_ == nullptr || !host_->HandleKey(this, event)) event->ignore();
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

// Sees a control's keys before the control does, as IsDialogMessage does.
class QtDialogHost::ControlKeys final : public QObject {
public:
    explicit ControlKeys(QtDialogHost& host) : host_(host) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (event->type() == QEvent::KeyPress) {
                return host_.HandleKey(widget, static_cast<QKeyEvent*>(event));
            }
            if (event->type() == QEvent::ShortcutOverride) {
                return host_.HandlePageEscape(widget, static_cast<QKeyEvent*>(event));
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QtDialogHost& host_;
};

QtDialogHost::QtDialogHost(const DialogTemplate& dialog, DialogHandler& handler, QWidget* owner,
                           const BrowserFactory& browsers)
    : handler_(handler), owner_(owner), keys_(std::make_unique<ControlKeys>(*this)) {
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

    for (const ControlTemplate& control : dialog.controls) CreateControl(control, browsers);
    // Group boxes are drawn behind the controls they frame, whatever their order.
    for (const auto& control : controls_) {
        if (control->kind == ControlKind::GroupBox) control->widget->lower();
    }

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
    for (const auto& control : controls_) control->browser.reset();
    delete window_;
}

void QtDialogHost::CreateControl(const ControlTemplate& source, const BrowserFactory& browsers) {
    auto control = std::make_unique<Control>();
    control->id = source.id;
    control->kind = source.kind;
    control->style = source.style;
    control->text = std::string(source.text);
    const QString text = AnsiToQString(source.text);
    const bool tab_stop = (source.style & style::kTabStop) != 0;
    const Qt::FocusPolicy focus_policy = tab_stop ? Qt::StrongFocus : Qt::ClickFocus;

    QWidget* widget = nullptr;
    switch (source.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton: {
        auto* button = new QPushButton(text, window_);
        button->setAutoDefault(true);
        if (source.kind == ControlKind::DefaultPushButton) button->setDefault(true);
        const int id = source.id;
        QObject::connect(button, &QPushButton::clicked, button,
                         [this, id] { Command(id, kBnClicked); });
        widget = button;
        widget->setFocusPolicy(focus_policy);
        break;
    }
    case ControlKind::AutoCheckBox: {
        // Toggles itself first; `clicked` follows the toggle, never SetCheck.
        auto* box = new WholeRectCheckBox(text, window_);
        const int id = source.id;
        QObject::connect(box, &QCheckBox::clicked, box, [this, id] { Command(id, kBnClicked); });
        widget = box;
        widget->setFocusPolicy(focus_policy);
        break;
    }
    case ControlKind::GroupBox:
        widget = new QGroupBox(text, window_);
        break;
    case ControlKind::Static: {
        auto* label = new QLabel(window_);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setAlignment(((source.style & kStaticTypeMask) == style::kSsCenter
                                 ? Qt::AlignHCenter
                                 : Qt::AlignLeft) |
                            Qt::AlignTop);
        label->setText(ShownLines(text));
        widget = label;
        break;
    }
    case ControlKind::Edit:
        if ((source.style & style::kEsMultiline) != 0) {
            auto* edit = new QPlainTextEdit(window_);
            edit->setPlainText(ShownLines(text));
            edit->setReadOnly((source.style & style::kEsReadOnly) != 0);
            // Tab moves on, Enter goes to the dialog (no ES_WANTRETURN).
            edit->setTabChangesFocus(true);
            edit->setVerticalScrollBarPolicy((source.style & style::kVScroll) != 0
                                                 ? Qt::ScrollBarAlwaysOn
                                                 : Qt::ScrollBarAlwaysOff);
            edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            edit->setLineWrapMode((source.style & style::kEsAutoHScroll) != 0
                                      ? QPlainTextEdit::NoWrap
                                      : QPlainTextEdit::WidgetWidth);
            if ((source.style & style::kBorder) == 0) edit->setFrameShape(QFrame::NoFrame);
            widget = edit;
        } else {
            auto* edit = new QLineEdit(text, window_);
            if ((source.style & style::kEsPassword) != 0) edit->setEchoMode(QLineEdit::Password);
            edit->setReadOnly((source.style & style::kEsReadOnly) != 0);
            edit->setFrame((source.style & style::kBorder) != 0);
            edit->setCursorPosition(0);
            widget = edit;
        }
        widget->setFocusPolicy(focus_policy);
        break;
    case ControlKind::DropDownList: {
        auto* list = new QComboBox(window_);
        list->setEditable(false);
        widget = list;
        widget->setFocusPolicy(focus_policy);
        break;
    }
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(window_);
        bar->setTextVisible(false);
        bar->setRange(control->low, control->high);
        bar->setValue(control->position);
        widget = bar;
        break;
    }
    case ControlKind::WebBrowser:
        if (browsers) {
            BrowserControl made = browsers(window_);
            control->browser = std::move(made.browser);
            widget = made.widget;
            if (widget != nullptr) {
                if (widget->parentWidget() != window_) widget->setParent(window_);
                widget->show();
            }
        }
        // Without a view of its own the control keeps its rectangle in a
        // stand-in, for GetItemRect and MoveItem.
        if (widget == nullptr) widget = new QWidget(window_);
        break;
    }

    control->widget = widget;
    const QRect rect = qt_dialog::ControlRect(source, base_);
    if (source.kind == ControlKind::DropDownList) {
        FitList(*control, rect);
    } else {
        widget->setGeometry(rect);
    }
    // Qt's check mark takes more room than the dialog manager's, which would
    // cut the end off a label, or the box itself, sized for it: the control
    // may run on to the right and grow about its middle.
    if (source.kind == ControlKind::AutoCheckBox) {
        const QSize hint = widget->sizeHint();
        QRect grown = widget->geometry();
        if (hint.width() > grown.width()) grown.setWidth(hint.width());
        if (hint.height() > grown.height()) {
            grown.adjust(0, -(hint.height() - grown.height()) / 2, 0, 0);
            grown.setHeight(hint.height());
        }
        widget->setGeometry(grown);
    }
    if ((source.style & style::kDisabled) != 0) widget->setEnabled(false);
    // WS_VISIBLE is implied: every control starts shown. A browser's filter
    // sees the keys its page's widgets leave unhandled on their way up.
    widget->installEventFilter(keys_.get());
    controls_.push_back(std::move(control));
}

void QtDialogHost::FitList(Control& control, const QRect& rect) {
    // The template's height includes the open list; the closed box is one
    // line high, and the open list shows as many items as that height holds.
    auto* list = static_cast<QComboBox*>(control.widget);
    const int closed = list->sizeHint().height();
    list->setGeometry(rect.x(), rect.y(), rect.width(), closed);
    const int item = std::max(1, list->fontMetrics().height() + 2);
    list->setMaxVisibleItems(std::max(1, (rect.height() - closed) / item));
}

QtDialogHost::Control* QtDialogHost::Find(int id) {
    for (const auto& control : controls_) {
        if (control->id == id) return control.get();
    }
    return nullptr;
}

const QtDialogHost::Control* QtDialogHost::Find(int id) const {
    for (const auto& control : controls_) {
        if (control->id == id) return control.get();
    }
    return nullptr;
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
        if (QWidget* focus = requested_focus_.isNull() ? FirstTabStop() : requested_focus_.data()) {
            focus->setFocus(requested_focus_.isNull() ? Qt::TabFocusReason : Qt::OtherFocusReason);
        }
    }
}

QWidget* QtDialogHost::FirstTabStop() const {
    for (const auto& control : controls_) {
        QWidget* widget = control->widget;
        if ((control->style & style::kTabStop) != 0 && widget->isEnabledTo(window_) &&
            !widget->isHidden() && (widget->focusPolicy() & Qt::TabFocus) != 0) {
            return widget;
        }
    }
    return nullptr;
}

QWidget* QtDialogHost::Widget() const { return window_; }

QWidget* QtDialogHost::ItemWidget(int id) const {
    const Control* control = Find(id);
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

std::string QtDialogHost::WindowText(const Control& control) const {
    switch (control.kind) {
    case ControlKind::Edit:
        if (const auto* line = qobject_cast<const QLineEdit*>(control.widget)) {
            return QStringToAnsi(line->text());
        }
        if (const auto* edit = qobject_cast<const QPlainTextEdit*>(control.widget)) {
            // A multiline edit's lines end in CR LF.
            QString text = edit->toPlainText();
            text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
            return QStringToAnsi(text);
        }
        return {};
    case ControlKind::DropDownList:
        return QStringToAnsi(static_cast<const QComboBox*>(control.widget)->currentText());
    default:
        return control.text;
    }
}

std::string QtDialogHost::GetItemText(int id, std::size_t capacity) {
    const Control* control = Find(id);
    if (control == nullptr || capacity == 0) return {};
    std::string text = WindowText(*control);
    if (text.size() > capacity - 1) text.resize(capacity - 1);
    return text;
}

void QtDialogHost::SetItemText(int id, std::string_view text) {
    Control* control = Find(id);
    if (control == nullptr) return;
    const QString shown = AnsiToQString(text);
    switch (control->kind) {
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton:
    case ControlKind::AutoCheckBox:
        static_cast<QAbstractButton*>(control->widget)->setText(shown);
        break;
    case ControlKind::GroupBox:
        static_cast<QGroupBox*>(control->widget)->setTitle(shown);
        break;
    case ControlKind::Static:
        static_cast<QLabel*>(control->widget)->setText(ShownLines(shown));
        break;
    case ControlKind::Edit:
        if (auto* line = qobject_cast<QLineEdit*>(control->widget)) {
            line->setText(shown);
            line->setCursorPosition(0);
        } else if (auto* edit = qobject_cast<QPlainTextEdit*>(control->widget)) {
            edit->setPlainText(ShownLines(shown));
        }
        return;
    case ControlKind::DropDownList:
        // A drop-down list has no text of its own to set.
        return;
    case ControlKind::ProgressBar:
    case ControlKind::WebBrowser:
        break;
    }
    control->text = std::string(text);
}

void QtDialogHost::SetCaption(std::string_view text) {
    window_->setWindowTitle(AnsiToQString(text));
}

CheckState QtDialogHost::GetCheck(int id) {
    const Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::AutoCheckBox) {
        return CheckState::Unchecked;
    }
    return static_cast<QCheckBox*>(control->widget)->isChecked() ? CheckState::Checked
                                                                 : CheckState::Unchecked;
}

void QtDialogHost::SetCheck(int id, CheckState state) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::AutoCheckBox) return;
    static_cast<QCheckBox*>(control->widget)->setChecked(state == CheckState::Checked);
}

void QtDialogHost::EnableItem(int id, Enablement enablement) {
    if (Control* control = Find(id)) control->widget->setEnabled(enablement == Enablement::Enabled);
}

bool QtDialogHost::IsItemEnabled(int id) {
    // The control's own state, whatever its window's (disabled under a
    // nested modal window).
    const Control* control = Find(id);
    return control != nullptr && control->widget->isEnabledTo(window_);
}

void QtDialogHost::ShowItem(int id, Visibility visibility) {
    if (Control* control = Find(id)) control->widget->setVisible(visibility == Visibility::Shown);
}

void QtDialogHost::AddListItem(int id, std::string_view text) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::DropDownList) return;
    auto* list = static_cast<QComboBox*>(control->widget);
    // CB_ADDSTRING selects nothing; Qt would select the first item added.
    const int selection = list->currentIndex();
    list->addItem(AnsiToQString(text));
    if (list->currentIndex() != selection) list->setCurrentIndex(selection);
}

int QtDialogHost::SelectListItem(int id, std::string_view prefix) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::DropDownList) return kNoListItem;
    auto* list = static_cast<QComboBox*>(control->widget);
    const QString wanted = AnsiToQString(prefix);
    for (int index = 0; index < list->count(); ++index) {
        if (list->itemText(index).startsWith(wanted, Qt::CaseInsensitive)) {
            list->setCurrentIndex(index);
            return index;
        }
    }
    // Not found: the selection stays as it was.
    return kNoListItem;
}

int QtDialogHost::GetListSelection(int id) {
    const Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::DropDownList) return kNoListItem;
    const int selection = static_cast<QComboBox*>(control->widget)->currentIndex();
    return selection < 0 ? kNoListItem : selection;
}

std::string QtDialogHost::GetListItemText(int id, int index) {
    const Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::DropDownList) return {};
    const auto* list = static_cast<QComboBox*>(control->widget);
    if (index < 0 || index >= list->count()) return {};
    return QStringToAnsi(list->itemText(index));
}

void QtDialogHost::SetProgressRange(int id, int low, int high) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::ProgressBar) return;
    control->low = low;
    control->high = high;
    // The position is held inside the new range, as the control coerces it.
    SetProgressPosition(id, control->position);
}

void QtDialogHost::SetProgressPosition(int id, int position) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::ProgressBar) return;
    if (position < control->low) position = control->low;
    if (position > control->high) position = control->high;
    control->position = position;

    auto* bar = static_cast<QProgressBar*>(control->widget);
    const int minimum = std::min(control->low, control->high);
    int maximum = std::max(control->low, control->high);
    // An empty range would make Qt's bar a busy indicator; Windows shows it empty.
    if (maximum == minimum) maximum = minimum == INT_MAX ? minimum : minimum + 1;
    bar->setRange(minimum, maximum);
    bar->setValue(std::clamp(position, minimum, maximum));
}

PixelRect QtDialogHost::MapDialogRect(PixelRect dialog_units) {
    return qt_dialog::MapDialogRect(dialog_units, base_);
}

PixelRect QtDialogHost::GetItemRect(int id) {
    const Control* control = Find(id);
    return control != nullptr ? ToPixelRect(control->widget->geometry()) : PixelRect{};
}

void QtDialogHost::MoveItem(int id, PixelRect client_pixels) {
    Control* control = Find(id);
    if (control == nullptr) return;
    const QRect rect = ToQRect(client_pixels);
    if (control->kind == ControlKind::DropDownList) {
        FitList(*control, rect);
    } else {
        control->widget->setGeometry(rect);
    }
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
    Control* control = Find(id);
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
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::WebBrowser) return nullptr;
    return control->browser.get();
}

void QtDialogHost::Command(int id, int notification) {
    if (ended_) return;
    handler_.OnCommand(id, notification);
}

void QtDialogHost::DefaultCommand() {
    // The default id is IDOK; a disabled OK button takes no Enter.
    const Control* ok = Find(kIdOk);
    if (ok != nullptr && !ok->widget->isEnabledTo(window_)) return;
    Command(kIdOk, kBnClicked);
}

void QtDialogHost::ClosePressed() { Command(kIdCancel, kBnClicked); }

bool QtDialogHost::InBrowser(const QWidget* widget) const {
    if (widget == nullptr) return false;
    for (const auto& control : controls_) {
        if (control->kind != ControlKind::WebBrowser) continue;
        if (widget == control->widget || control->widget->isAncestorOf(widget)) return true;
    }
    return false;
}

bool QtDialogHost::IsDialogKey(const QKeyEvent* event) {
    if ((event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0) {
        return false;
    }
    return IsEnter(event->key()) || event->key() == Qt::Key_Escape;
}

bool QtDialogHost::HandlePageEscape(QWidget* target, QKeyEvent* event) {
    // Escape typed into a page: the web engine takes every Escape as handled
    // and never hands it back, so the dialog hears of it as the key is about
    // to go to the page (its shortcut override passing up through the
    // browser's widget), as IsDialogMessage would before the control.
    if (ended_ || !InBrowser(target) || !IsDialogKey(event) || event->key() != Qt::Key_Escape) {
        return false;
    }
    page_escape_sent_ = true;
    Command(kIdCancel, kBnClicked);
    return true;
}

bool QtDialogHost::HandleKey(QWidget* target, QKeyEvent* event) {
    if (ended_ || !IsDialogKey(event)) return false;
    const int key = event->key();
    event->accept();

    // A key the dialog itself receives came from the focused control, or
    // was handed back by a web view.
    const bool page_key =
        InBrowser(target) || (target == window_ && InBrowser(QApplication::focusWidget()));
    if (page_key) {
        // Enter stays the page's. Escape was sent on its way in, unless it
        // came without a shortcut override (no window has the focus).
        if (key == Qt::Key_Escape) {
            if (!page_escape_sent_) Command(kIdCancel, kBnClicked);
            page_escape_sent_ = false;
        }
        return true;
    }
    if (key == Qt::Key_Escape) {
        Command(kIdCancel, kBnClicked);
        return true;
    }
    // A focused push button is the default one for Enter.
    if (auto* button = qobject_cast<QPushButton*>(target);
        button != nullptr && button->window() == window_) {
        if (button->isEnabled()) button->click();
        return true;
    }
    DefaultCommand();
    return true;
}

void QtDialogHost::Deliver(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    // Posted before EndDialog but still queued: dropped as well.
    if (ended_) return;
    handler_.OnPosted(message, wparam, lparam);
}

void QtDialogHost::TimerFired(int qt_timer) {
    if (ended_) return;
    for (const auto& [id, running] : timers_) {
        if (running == qt_timer) {
            const unsigned timer_id = id;
            handler_.OnTimer(timer_id);
            return;
        }
    }
}

}  // namespace kx
