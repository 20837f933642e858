#pragma once

// What the Qt dialog tests share: a handler whose steps the test supplies
// and that records what reached it, steps run from inside a modal loop, a
// guard that ends a run stuck after a failed check, message boxes answered
// as a player would, and a browser stand-in made by a factory.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include "platform/dialog_host.h"
#include "platform/linux/qt/qt_dialog_host.h"
#include "platform/linux/qt/qt_window_system.h"

class QWidget;

namespace kx::qt_test {

// The result a guard ends a stuck run with.
inline constexpr int kTimedOut = -99;

class ScriptedHandler final : public DialogHandler {
public:
    std::function<void(DialogHost&)> on_init;
    std::function<void(int id, int notification)> on_command;
    std::function<void(unsigned id)> on_timer;
    std::function<void(std::uint32_t, std::uintptr_t, std::intptr_t)> on_posted;
    std::function<void()> on_destroy;

    // Valid from OnInitDialog until OnDestroy returns.
    DialogHost& host() { return *host_; }
    bool HasHost() const { return host_ != nullptr; }
    QtDialogHost& qt_host() { return dynamic_cast<QtDialogHost&>(*host_); }
    QWidget* Window() { return QtWindowSystem::WidgetOf(host_->Window()); }
    QWidget* Item(int id) { return qt_host().ItemWidget(id); }

    struct Command {
        int id;
        int notification;
        friend bool operator==(const Command&, const Command&) = default;
    };
    std::vector<Command> commands;
    std::vector<unsigned> timers;
    std::vector<std::uint32_t> posts;
    int destroys = 0;
    bool visible_at_init = true;
    // Every handler call ran on the UI thread.
    bool all_on_ui_thread = true;

    void OnInitDialog(DialogHost& host) override;
    void OnCommand(int id, int notification) override;
    void OnTimer(unsigned id) override;
    void OnPosted(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override;
    void OnDestroy() override;

private:
    void NoteThread();
    DialogHost* host_ = nullptr;
};

// Runs `step` from the event loop turning `delay` from now.
void Later(std::function<void()> step,
           std::chrono::milliseconds delay = std::chrono::milliseconds(0));

// RunModal with a guard: a run still going after `limit` ends with
// kTimedOut, after any message box in front of it has been answered.
int RunGuarded(WindowSystem& windows, const DialogTemplate& dialog, ScriptedHandler& handler,
               WindowId owner, std::chrono::milliseconds limit = std::chrono::seconds(20));

// Turns the event loop until `done` holds or `limit` passes; answers `done`.
bool TurnUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

// A message box as the player saw it.
struct SeenBox {
    bool seen = false;
    QString text;
    QString title;
    QPointer<QWidget> parent;
    Qt::WindowModality modality = Qt::NonModal;
    bool has_ok = false;
    bool has_yes = false;
    bool has_no = false;
};

// Answers the next message box to appear with `button`; `before` runs on the
// box first, e.g. to press keys at it.
void AnswerNextMessageBox(QMessageBox::StandardButton button, SeenBox* seen = nullptr,
                          std::function<void(QMessageBox&)> before = {});

// A browser that does nothing, noting its own end.
class StandInBrowser final : public Browser {
public:
    explicit StandInBrowser(std::function<void()> on_destroyed = {})
        : on_destroyed_(std::move(on_destroyed)) {}
    ~StandInBrowser() override {
        if (on_destroyed_) on_destroyed_();
    }

    BrowserIdentity Identity() override { return reinterpret_cast<BrowserIdentity>(this); }
    std::unique_ptr<PostData> CreatePostData(std::size_t) override { return nullptr; }
    HResult Navigate2(std::string_view, std::int32_t, std::optional<std::string_view>, PostData&,
                      std::string_view) override {
        return 0;
    }
    HResult Navigate(std::string_view) override { return 0; }
    HResult PutRegisterAsDropTarget(DropTarget) override { return 0; }
    HResult GetDocument(std::shared_ptr<Document>& document) override {
        document.reset();
        return 0;
    }
    HResult AdviseEvents(BrowserEvents&) override { return 0; }
    void UnadviseEvents() override {}

private:
    std::function<void()> on_destroyed_;
};

// A factory of stand-in browsers whose view is a page with one text field
// (object name "page_field"), as a web page's own input would be.
struct StandInBrowsers {
    int made = 0;
    int destroyed = 0;
    std::vector<std::string> events;  // "made", "destroyed"
    BrowserFactory Factory();
};

}  // namespace kx::qt_test
