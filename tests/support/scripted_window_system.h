#pragma once

// A window system in memory: dialogs run their real handlers against a
// recorded model of their controls, while a script plays the player.
//
// RunModal calls OnInitDialog, then turns a modal loop: a message posted to
// the dialog is delivered first; otherwise the next scripted step runs (on the
// topmost dialog, so nested dialogs take their steps in turn); with neither,
// the loop waits for a post and gives the run up as stuck after a while.
// Every dialog stays inspectable after it has ended.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog_host.h"

namespace kx::test {

struct ControlState {
    ControlKind kind = ControlKind::Static;
    std::string text;
    bool enabled = true;
    bool visible = true;
    CheckState check = CheckState::Unchecked;
    std::vector<std::string> items;
    int selection = kNoListItem;
    int range_low = 0;
    int range_high = 100;
    int position = 0;
    PixelRect rect;
};

struct MessageBoxRecord {
    WindowId owner = kNoWindow;
    std::string text;
    std::string caption;
    MessageBoxButtons buttons = MessageBoxButtons::Ok;
    MessageBoxResult answer = MessageBoxResult::Ok;
};

struct PostedMessage {
    std::uint32_t message = 0;
    std::uintptr_t wparam = 0;
    std::intptr_t lparam = 0;
};

class ScriptedWindowSystem;

class ScriptedDialog final : public DialogHost, private Notifier {
public:
    ScriptedDialog(ScriptedWindowSystem& system, const DialogTemplate& dialog, WindowId id,
                   WindowId owner);

    // What a test inspects.
    int TemplateId() const { return template_.resource_id; }
    WindowId Owner() const { return owner_; }
    ControlState& Control(int id);
    const std::string& Text(int id) { return Control(id).text; }
    bool Enabled(int id) { return Control(id).enabled; }
    bool Visible(int id) { return Control(id).visible; }
    bool Checked(int id) { return Control(id).check == CheckState::Checked; }
    const std::string& Caption() const { return caption_; }
    bool HasEnded() const { return ended_; }
    int Result() const { return result_; }
    bool Centred() const { return centred_; }
    bool InForeground() const { return foreground_; }
    bool WindowShown() const { return window_shown_; }
    std::optional<PixelRect> ClientSize() const { return client_size_; }
    const std::map<unsigned, unsigned>& Timers() const { return timers_; }
    // Every handler-visible change, one line each, e.g. "text 206 Connecting to server...".
    const std::vector<std::string>& Log() const { return log_; }
    // Posts that arrived after the dialog had ended; they were dropped.
    int LatePosts() const;

    // What the player does. Each acts only as the real window would: a
    // disabled control ignores clicks, an auto check box toggles first.
    void Type(int id, std::string_view text);
    void Click(int id);
    void PressEnter();
    void PressEscape();
    void Choose(int id, int index);
    void FireTimer(unsigned id);
    // Delivers posted messages until one of `message` has been handled (true)
    // or the wait runs out (false).
    bool DeliverUntil(std::uint32_t message,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // DialogHost.
    WindowId Window() const override { return id_; }
    // The dialog posts to itself; it outlives the engines of its handlers.
    std::shared_ptr<Notifier> Poster() override {
        return std::shared_ptr<Notifier>(std::shared_ptr<void>(), static_cast<Notifier*>(this));
    }
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
    friend class ScriptedWindowSystem;

    // Notifier, for the request engine's threads.
    void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override;

    std::optional<PostedMessage> TakePost(std::chrono::milliseconds wait);
    void Deliver(const PostedMessage& posted);
    void Record(std::string line) { log_.push_back(std::move(line)); }

    ScriptedWindowSystem& system_;
    const DialogTemplate& template_;
    const WindowId id_;
    const WindowId owner_;
    DialogHandler* handler_ = nullptr;
    std::map<int, ControlState> controls_;
    std::string caption_;
    std::map<unsigned, unsigned> timers_;
    std::optional<PixelRect> client_size_;
    bool centred_ = false;
    bool foreground_ = false;
    bool window_shown_ = true;
    bool ended_ = false;
    int result_ = 0;
    std::vector<std::string> log_;

    mutable std::mutex post_mutex_;
    std::condition_variable post_arrived_;
    std::deque<PostedMessage> posts_;
    bool closed_to_posts_ = false;
    int late_posts_ = 0;
};

class ScriptedWindowSystem final : public WindowSystem {
public:
    using Step = std::function<void(ScriptedDialog&)>;

    // Steps run in order on whichever dialog is on top when their turn comes.
    void Then(Step step) { steps_.push_back(std::move(step)); }

    // Answers for the next message boxes, in order; without one a box is
    // answered Ok, or No when it asks Yes or No.
    void Answer(MessageBoxResult answer) { answers_.push_back(answer); }

    // How long a modal loop with nothing to do waits for a post before it
    // gives the run up (the run then ends with kStuck).
    void SetIdleTimeout(std::chrono::milliseconds timeout) { idle_timeout_ = timeout; }
    static constexpr int kStuck = -2;

    // Dialog units to pixels, as the dialog font's base units give them.
    void SetBaseUnits(int x, int y) {
        base_x_ = x;
        base_y_ = y;
    }

    // The browser that a web-browser control of this id hosts in every
    // dialog that has one; the test keeps it alive.
    void AttachBrowser(int control_id, Browser& browser) { browsers_[control_id] = &browser; }

    // What happened.
    const std::vector<std::unique_ptr<ScriptedDialog>>& Dialogs() const { return dialogs_; }
    ScriptedDialog& Last() { return *dialogs_.back(); }
    ScriptedDialog* Find(int template_id);
    const std::vector<MessageBoxRecord>& MessageBoxes() const { return message_boxes_; }
    std::size_t PendingSteps() const { return steps_.size(); }

    // WindowSystem.
    int RunModal(const DialogTemplate& dialog, DialogHandler& handler, WindowId owner) override;
    WindowId ActiveWindow() override;
    MessageBoxResult ShowMessageBox(WindowId owner, std::string_view text,
                                    std::string_view caption,
                                    MessageBoxButtons buttons) override;

private:
    friend class ScriptedDialog;

    std::deque<Step> steps_;
    std::deque<MessageBoxResult> answers_;
    std::vector<std::unique_ptr<ScriptedDialog>> dialogs_;
    std::vector<ScriptedDialog*> running_;
    std::vector<MessageBoxRecord> message_boxes_;
    std::map<int, Browser*> browsers_;
    std::chrono::milliseconds idle_timeout_ = std::chrono::seconds(10);
    int base_x_ = 6;
    int base_y_ = 13;
    WindowId next_id_ = 0x1000;
};

}  // namespace kx::test
