#include "dialog_test_support.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace kx::qt_test {

void ScriptedHandler::NoteThread() {
    if (QThread::currentThread() != qApp->thread()) all_on_ui_thread = false;
}

void ScriptedHandler::OnInitDialog(DialogHost& host) {
    NoteThread();
    host_ = &host;
    visible_at_init = Window() != nullptr && Window()->isVisible();
    if (on_init) on_init(host);
}

void ScriptedHandler::OnCommand(int id, int notification) {
    NoteThread();
    commands.push_back({id, notification});
    if (on_command) on_command(id, notification);
}

void ScriptedHandler::OnTimer(unsigned id) {
    NoteThread();
    timers.push_back(id);
    if (on_timer) on_timer(id);
}

void ScriptedHandler::OnPosted(std::uint32_t message, std::uintptr_t wparam,
                               std::intptr_t lparam) {
    NoteThread();
    posts.push_back(message);
    if (on_posted) on_posted(message, wparam, lparam);
}

void ScriptedHandler::OnDestroy() {
    NoteThread();
    ++destroys;
    if (on_destroy) on_destroy();
    host_ = nullptr;
}

void Later(std::function<void()> step, std::chrono::milliseconds delay) {
    QTimer::singleShot(delay, qApp, std::move(step));
}

int RunGuarded(WindowSystem& windows, const DialogTemplate& dialog, ScriptedHandler& handler,
               WindowId owner, std::chrono::milliseconds limit) {
    QObject guard;
    QTimer::singleShot(limit, &guard, [&handler] {
        ADD_FAILURE() << "the dialog run did not end in time";
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box->reject();
        }
        if (handler.HasHost()) handler.host().EndDialog(kTimedOut);
    });
    return windows.RunModal(dialog, handler, owner);
}

bool TurnUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return QTest::qWaitFor(done, static_cast<int>(limit.count()));
}

void AnswerNextMessageBox(QMessageBox::StandardButton button, SeenBox* seen,
                          std::function<void(QMessageBox&)> before) {
    auto* timer = new QTimer(qApp);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, button, seen, before, deadline] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "no message box appeared";
                timer->stop();
                timer->deleteLater();
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        if (seen != nullptr) {
            seen->seen = true;
            seen->text = box->text();
            seen->title = box->windowTitle();
            seen->parent = box->parentWidget();
            seen->modality = box->windowModality();
            seen->has_ok = box->button(QMessageBox::Ok) != nullptr;
            seen->has_yes = box->button(QMessageBox::Yes) != nullptr;
            seen->has_no = box->button(QMessageBox::No) != nullptr;
        }
        if (before) before(*box);
        if (QAbstractButton* answer = box->button(button)) {
            answer->click();
        } else {
            ADD_FAILURE() << "the message box has no such button";
            box->reject();
        }
    });
    timer->start(10);
}

BrowserFactory StandInBrowsers::Factory() {
    return [this](QWidget* parent) {
        ++made;
        events.emplace_back("made");
        auto* page = new QWidget(parent);
        auto* layout = new QVBoxLayout(page);
        auto* field = new QLineEdit(page);
        field->setObjectName(QStringLiteral("page_field"));
        layout->addWidget(field);
        layout->addStretch();
        BrowserControl control;
        control.browser = std::make_unique<StandInBrowser>([this] {
            ++destroyed;
            events.emplace_back("destroyed");
        });
        control.widget = page;
        return control;
    };
}

}  // namespace kx::qt_test
