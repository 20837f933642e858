#include "platform/linux/qt/qt_dialog_controls.h"

#include <algorithm>
#include <climits>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "platform/linux/qt/qt_text.h"

namespace kx::qt_dialog {

namespace {

// The SS_ type bits of a static's style.
constexpr std::uint32_t kStaticTypeMask = 0x1F;

// A Windows control breaks its lines at CR LF; Qt's at LF.
QString ShownLines(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

// A Windows check box takes a click anywhere in its rectangle; Qt's only on
// its box and label.
class WholeRectCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

QWidget* MakeEdit(const ControlTemplate& source, const QString& text, QWidget* window) {
    if ((source.style & style::kEsMultiline) != 0) {
        auto* edit = new QPlainTextEdit(window);
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
        return edit;
    }
    auto* edit = new QLineEdit(text, window);
    if ((source.style & style::kEsPassword) != 0) edit->setEchoMode(QLineEdit::Password);
    edit->setReadOnly((source.style & style::kEsReadOnly) != 0);
    edit->setFrame((source.style & style::kBorder) != 0);
    edit->setCursorPosition(0);
    return edit;
}

// The template's height includes the open list; the closed box is one line
// high, and the open list shows as many items as that height holds.
void FitList(QComboBox& list, const QRect& rect) {
    const int closed = list.sizeHint().height();
    list.setGeometry(rect.x(), rect.y(), rect.width(), closed);
    const int item = std::max(1, list.fontMetrics().height() + 2);
    list.setMaxVisibleItems(std::max(1, (rect.height() - closed) / item));
}

}  // namespace

std::string Control::Text() const {
    switch (kind) {
    case ControlKind::Edit:
        if (const auto* line = qobject_cast<const QLineEdit*>(widget)) {
            return QStringToAnsi(line->text());
        }
        if (const auto* edit = qobject_cast<const QPlainTextEdit*>(widget)) {
            // A multiline edit's lines end in CR LF.
            QString lines = edit->toPlainText();
            lines.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
            return QStringToAnsi(lines);
        }
        return {};
    case ControlKind::DropDownList:
        return QStringToAnsi(static_cast<const QComboBox*>(widget)->currentText());
    default:
        return text;
    }
}

void Control::SetText(std::string_view new_text) {
    const QString shown = AnsiToQString(new_text);
    switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton:
    case ControlKind::AutoCheckBox:
        static_cast<QAbstractButton*>(widget)->setText(shown);
        break;
    case ControlKind::GroupBox:
        static_cast<QGroupBox*>(widget)->setTitle(shown);
        break;
    case ControlKind::Static:
        static_cast<QLabel*>(widget)->setText(ShownLines(shown));
        break;
    case ControlKind::Edit:
        if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            line->setText(shown);
            line->setCursorPosition(0);
        } else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
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
    text = std::string(new_text);
}

CheckState Control::Check() const {
    if (kind != ControlKind::AutoCheckBox) return CheckState::Unchecked;
    return static_cast<QCheckBox*>(widget)->isChecked() ? CheckState::Checked
                                                        : CheckState::Unchecked;
}

void Control::SetCheck(CheckState state) {
    if (kind != ControlKind::AutoCheckBox) return;
    static_cast<QCheckBox*>(widget)->setChecked(state == CheckState::Checked);
}

void Control::AddListItem(std::string_view item) {
    if (kind != ControlKind::DropDownList) return;
    auto* list = static_cast<QComboBox*>(widget);
    // CB_ADDSTRING selects nothing; Qt would select the first item added.
    const int selection = list->currentIndex();
    list->addItem(AnsiToQString(item));
    if (list->currentIndex() != selection) list->setCurrentIndex(selection);
}

int Control::SelectListItem(std::string_view prefix) {
    if (kind != ControlKind::DropDownList) return kNoListItem;
    auto* list = static_cast<QComboBox*>(widget);
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

int Control::ListSelection() const {
    if (kind != ControlKind::DropDownList) return kNoListItem;
    const int selection = static_cast<QComboBox*>(widget)->currentIndex();
    return selection < 0 ? kNoListItem : selection;
}

std::string Control::ListItemText(int index) const {
    if (kind != ControlKind::DropDownList) return {};
    const auto* list = static_cast<const QComboBox*>(widget);
    if (index < 0 || index >= list->count()) return {};
    return QStringToAnsi(list->itemText(index));
}

void Control::SetProgressRange(int new_low, int new_high) {
    if (kind != ControlKind::ProgressBar) return;
    low = new_low;
    high = new_high;
    // The position is held inside the new range, as the control coerces it.
    SetProgressPosition(position);
}

void Control::SetProgressPosition(int new_position) {
    if (kind != ControlKind::ProgressBar) return;
    if (new_position < low) new_position = low;
    if (new_position > high) new_position = high;
    position = new_position;

    auto* bar = static_cast<QProgressBar*>(widget);
    const int minimum = std::min(low, high);
    int maximum = std::max(low, high);
    // An empty range would make Qt's bar a busy indicator; Windows shows it empty.
    if (maximum == minimum) maximum = minimum == INT_MAX ? minimum : minimum + 1;
    bar->setRange(minimum, maximum);
    bar->setValue(std::clamp(position, minimum, maximum));
}

void Control::Place(const QRect& rect) {
    if (kind == ControlKind::DropDownList) {
        FitList(*static_cast<QComboBox*>(widget), rect);
    } else {
        widget->setGeometry(rect);
    }
}

Controls::Controls(QWidget& window, BaseUnits base, std::function<void(int id)> clicked)
    : window_(window), base_(base), clicked_(std::move(clicked)) {}

Control& Controls::Add(const ControlTemplate& source, const BrowserFactory& browsers) {
    auto control = std::make_unique<Control>();
    control->id = source.id;
    control->kind = source.kind;
    control->style = source.style;
    control->text = std::string(source.text);
    const QString text = AnsiToQString(source.text);
    const bool tab_stop = (source.style & style::kTabStop) != 0;
    const Qt::FocusPolicy focus_policy = tab_stop ? Qt::StrongFocus : Qt::ClickFocus;
    QWidget* const window = &window_;
    const int id = source.id;

    QWidget* widget = nullptr;
    switch (source.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton: {
        auto* button = new QPushButton(text, window);
        button->setAutoDefault(true);
        if (source.kind == ControlKind::DefaultPushButton) button->setDefault(true);
        QObject::connect(button, &QPushButton::clicked, button, [this, id] { clicked_(id); });
        widget = button;
        widget->setFocusPolicy(focus_policy);
        break;
    }
    case ControlKind::AutoCheckBox: {
        // Toggles itself first; `clicked` follows the toggle, never SetCheck.
        auto* box = new WholeRectCheckBox(text, window);
        QObject::connect(box, &QCheckBox::clicked, box, [this, id] { clicked_(id); });
        widget = box;
        widget->setFocusPolicy(focus_policy);
        break;
    }
    case ControlKind::GroupBox:
        widget = new QGroupBox(text, window);
        break;
    case ControlKind::Static: {
        auto* label = new QLabel(window);
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
        widget = MakeEdit(source, text, window);
        widget->setFocusPolicy(focus_policy);
        break;
    case ControlKind::DropDownList: {
        auto* list = new QComboBox(window);
        list->setEditable(false);
        widget = list;
        widget->setFocusPolicy(focus_policy);
        break;
    }
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(window);
        bar->setTextVisible(false);
        bar->setRange(control->low, control->high);
        bar->setValue(control->position);
        widget = bar;
        break;
    }
    case ControlKind::WebBrowser:
        if (browsers) {
            BrowserControl made = browsers(window);
            control->browser = std::move(made.browser);
            widget = made.widget;
            if (widget != nullptr) {
                if (widget->parentWidget() != window) widget->setParent(window);
                widget->show();
            }
        }
        // Without a view of its own the control keeps its rectangle in a
        // stand-in, for GetItemRect and MoveItem.
        if (widget == nullptr) widget = new QWidget(window);
        break;
    }

    control->widget = widget;
    control->Place(ControlRect(source, base_));
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
    // WS_VISIBLE is implied: every control starts shown.
    if ((source.style & style::kDisabled) != 0) widget->setEnabled(false);
    controls_.push_back(std::move(control));
    return *controls_.back();
}

void Controls::LowerGroupBoxes() {
    for (const auto& control : controls_) {
        if (control->kind == ControlKind::GroupBox) control->widget->lower();
    }
}

Control* Controls::Find(int id) {
    for (const auto& control : controls_) {
        if (control->id == id) return control.get();
    }
    return nullptr;
}

const Control* Controls::Find(int id) const {
    for (const auto& control : controls_) {
        if (control->id == id) return control.get();
    }
    return nullptr;
}

QWidget* Controls::FirstTabStop() const {
    for (const auto& control : controls_) {
        QWidget* widget = control->widget;
        if ((control->style & style::kTabStop) != 0 && widget->isEnabledTo(&window_) &&
            !widget->isHidden() && (widget->focusPolicy() & Qt::TabFocus) != 0) {
            return widget;
        }
    }
    return nullptr;
}

bool Controls::InBrowser(const QWidget* widget) const {
    if (widget == nullptr) return false;
    for (const auto& control : controls_) {
        if (control->kind != ControlKind::WebBrowser) continue;
        if (widget == control->widget || control->widget->isAncestorOf(widget)) return true;
    }
    return false;
}

void Controls::ReleaseBrowsers() {
    for (const auto& control : controls_) control->browser.reset();
}

}  // namespace kx::qt_dialog
