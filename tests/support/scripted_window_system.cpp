#include "support/scripted_window_system.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "base/ascii.h"

namespace kx::test {

namespace {


std::string RectText(const PixelRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
           std::to_string(r.width()) + "x" + std::to_string(r.height());
}

}  // namespace

ScriptedDialog::ScriptedDialog(ScriptedWindowSystem& system, const DialogTemplate& dialog,
                               WindowId id, WindowId owner)
    : system_(system), template_(dialog), id_(id), owner_(owner), caption_(dialog.caption) {
    for (const ControlTemplate& control : dialog.controls) {
        if (control.id == kIdStatic) continue;
        ControlState state;
        state.kind = control.kind;
        state.text = std::string(control.text);
        state.enabled = (control.style & style::kDisabled) == 0;
        state.rect = MapDialogRect({control.x, control.y, control.x + control.width,
                                    control.y + control.height});
        controls_[control.id] = std::move(state);
    }
}

ControlState& ScriptedDialog::Control(int id) {
    const auto it = controls_.find(id);
    if (it == controls_.end()) {
        throw std::out_of_range("dialog " + std::to_string(template_.resource_id) +
                                " has no control " + std::to_string(id));
    }
    return it->second;
}

int ScriptedDialog::LatePosts() const {
    const std::lock_guard lock(post_mutex_);
    return late_posts_;
}

void ScriptedDialog::Type(int id, std::string_view text) {
    ControlState& control = Control(id);
    if (!control.enabled) return;
    control.text = std::string(text);
}

void ScriptedDialog::Click(int id) {
    ControlState& control = Control(id);
    if (!control.enabled || !control.visible) return;
    if (control.kind == ControlKind::AutoCheckBox) {
        control.check =
            control.check == CheckState::Checked ? CheckState::Unchecked : CheckState::Checked;
    }
    handler_->OnCommand(id, kBnClicked);
}

void ScriptedDialog::PressEnter() {
    // The dialog manager sends IDOK unless the default button is disabled.
    const auto it = controls_.find(kIdOk);
    if (it != controls_.end() && !it->second.enabled) return;
    handler_->OnCommand(kIdOk, kBnClicked);
}

void ScriptedDialog::PressEscape() { handler_->OnCommand(kIdCancel, kBnClicked); }

void ScriptedDialog::Choose(int id, int index) {
    ControlState& control = Control(id);
    if (!control.enabled || index < 0 || static_cast<std::size_t>(index) >= control.items.size())
        return;
    control.selection = index;
}

void ScriptedDialog::FireTimer(unsigned id) {
    if (ended_ || timers_.count(id) == 0) return;
    handler_->OnTimer(id);
}

bool ScriptedDialog::DeliverUntil(std::uint32_t message, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ended_) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        const auto posted =
            TakePost(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now));
        if (!posted) return false;
        Deliver(*posted);
        if (posted->message == message) return true;
    }
    return false;
}

std::string ScriptedDialog::GetItemText(int id, std::size_t capacity) {
    const std::string& text = Control(id).text;
    if (capacity == 0) return {};
    return text.substr(0, std::min(text.size(), capacity - 1));
}

void ScriptedDialog::SetItemText(int id, std::string_view text) {
    Control(id).text = std::string(text);
    Record("text " + std::to_string(id) + " " + std::string(text));
}

void ScriptedDialog::SetCaption(std::string_view text) {
    caption_ = std::string(text);
    Record("caption " + caption_);
}

CheckState ScriptedDialog::GetCheck(int id) { return Control(id).check; }

void ScriptedDialog::SetCheck(int id, CheckState state) {
    Control(id).check = state;
    Record("check " + std::to_string(id) + (state == CheckState::Checked ? " on" : " off"));
}

void ScriptedDialog::EnableItem(int id, Enablement enablement) {
    Control(id).enabled = enablement == Enablement::Enabled;
    Record((enablement == Enablement::Enabled ? "enable " : "disable ") + std::to_string(id));
}

bool ScriptedDialog::IsItemEnabled(int id) { return Control(id).enabled; }

void ScriptedDialog::ShowItem(int id, Visibility visibility) {
    Control(id).visible = visibility == Visibility::Shown;
    Record((visibility == Visibility::Shown ? "show " : "hide ") + std::to_string(id));
}

void ScriptedDialog::AddListItem(int id, std::string_view text) {
    Control(id).items.emplace_back(text);
}

int ScriptedDialog::SelectListItem(int id, std::string_view prefix) {
    ControlState& control = Control(id);
    for (std::size_t i = 0; i < control.items.size(); ++i) {
        if (StartsWithIgnoringAsciiCase(control.items[i], prefix)) {
            control.selection = static_cast<int>(i);
            return control.selection;
        }
    }
    return kNoListItem;
}

int ScriptedDialog::GetListSelection(int id) { return Control(id).selection; }

std::string ScriptedDialog::GetListItemText(int id, int index) {
    const ControlState& control = Control(id);
    if (index < 0 || static_cast<std::size_t>(index) >= control.items.size()) return {};
    return control.items[static_cast<std::size_t>(index)];
}

void ScriptedDialog::SetProgressRange(int id, int low, int high) {
    ControlState& control = Control(id);
    control.range_low = low;
    control.range_high = high;
    Record("range " + std::to_string(id) + " " + std::to_string(low) + " " +
           std::to_string(high));
}

void ScriptedDialog::SetProgressPosition(int id, int position) {
    ControlState& control = Control(id);
    control.position = std::clamp(position, control.range_low, control.range_high);
    Record("position " + std::to_string(id) + " " + std::to_string(control.position));
}

PixelRect ScriptedDialog::MapDialogRect(PixelRect units) {
    const int bx = system_.base_x_;
    const int by = system_.base_y_;
    return {units.left * bx / 4, units.top * by / 8, units.right * bx / 4,
            units.bottom * by / 8};
}

PixelRect ScriptedDialog::GetItemRect(int id) { return Control(id).rect; }

void ScriptedDialog::MoveItem(int id, PixelRect client_pixels) {
    Control(id).rect = client_pixels;
    Record("move " + std::to_string(id) + " " + RectText(client_pixels));
}

void ScriptedDialog::SetClientSize(int width, int height) {
    client_size_ = PixelRect{0, 0, width, height};
    Record("client " + std::to_string(width) + "x" + std::to_string(height));
}

PixelRect ScriptedDialog::GetClientRect() {
    if (client_size_) return *client_size_;
    return MapDialogRect({0, 0, template_.width, template_.height});
}

void ScriptedDialog::CenterOnOwner() {
    centred_ = true;
    Record("centre");
}

void ScriptedDialog::BringToForeground() {
    foreground_ = true;
    Record("foreground");
}

void ScriptedDialog::ShowWindow(Visibility visibility) {
    window_shown_ = visibility == Visibility::Shown;
    Record(window_shown_ ? "show window" : "hide window");
}

void ScriptedDialog::FocusItem(int id) { Record("focus " + std::to_string(id)); }

void ScriptedDialog::StartTimer(unsigned id, unsigned period_ms) {
    timers_[id] = period_ms;
    Record("timer " + std::to_string(id) + " " + std::to_string(period_ms));
}

void ScriptedDialog::StopTimer(unsigned id) {
    timers_.erase(id);
    Record("stop timer " + std::to_string(id));
}

MessageBoxResult ScriptedDialog::ShowMessageBox(std::string_view text, std::string_view caption,
                                                MessageBoxButtons buttons) {
    return system_.ShowMessageBox(id_, text, caption, buttons);
}

void ScriptedDialog::EndDialog(int result) {
    if (ended_) return;
    ended_ = true;
    result_ = result;
    Record("end " + std::to_string(result));
}

Browser* ScriptedDialog::GetBrowser(int id) {
    const auto control = controls_.find(id);
    if (control == controls_.end() || control->second.kind != ControlKind::WebBrowser) {
        return nullptr;
    }
    const auto browser = system_.browsers_.find(id);
    return browser == system_.browsers_.end() ? nullptr : browser->second;
}

void ScriptedDialog::Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    {
        const std::lock_guard lock(post_mutex_);
        if (closed_to_posts_) {
            ++late_posts_;
            return;
        }
        posts_.push_back({message, wparam, lparam});
    }
    post_arrived_.notify_all();
}

std::optional<PostedMessage> ScriptedDialog::TakePost(std::chrono::milliseconds wait) {
    std::unique_lock lock(post_mutex_);
    if (!post_arrived_.wait_for(lock, wait, [this] { return !posts_.empty(); })) {
        return std::nullopt;
    }
    PostedMessage posted = posts_.front();
    posts_.pop_front();
    return posted;
}

void ScriptedDialog::Deliver(const PostedMessage& posted) {
    handler_->OnPosted(posted.message, posted.wparam, posted.lparam);
}

ScriptedDialog* ScriptedWindowSystem::Find(int template_id) {
    for (auto& dialog : dialogs_) {
        if (dialog->TemplateId() == template_id) return dialog.get();
    }
    return nullptr;
}

int ScriptedWindowSystem::RunModal(const DialogTemplate& dialog, DialogHandler& handler,
                                   WindowId owner) {
    dialogs_.push_back(std::make_unique<ScriptedDialog>(*this, dialog, next_id_++, owner));
    ScriptedDialog& host = *dialogs_.back();
    host.handler_ = &handler;
    running_.push_back(&host);

    handler.OnInitDialog(host);
    while (!host.ended_) {
        if (auto posted = host.TakePost(std::chrono::milliseconds(0))) {
            host.Deliver(*posted);
            continue;
        }
        if (!steps_.empty()) {
            Step step = std::move(steps_.front());
            steps_.pop_front();
            step(host);
            continue;
        }
        if (auto posted = host.TakePost(idle_timeout_)) {
            host.Deliver(*posted);
            continue;
        }
        host.Record("stuck");
        host.ended_ = true;
        host.result_ = kStuck;
    }

    handler.OnDestroy();
    {
        const std::lock_guard lock(host.post_mutex_);
        host.closed_to_posts_ = true;
        host.posts_.clear();
    }
    running_.pop_back();
    return host.result_;
}

WindowId ScriptedWindowSystem::ActiveWindow() {
    return running_.empty() ? kNoWindow : running_.back()->Window();
}

MessageBoxResult ScriptedWindowSystem::ShowMessageBox(WindowId owner, std::string_view text,
                                                      std::string_view caption,
                                                      MessageBoxButtons buttons) {
    MessageBoxResult answer =
        buttons == MessageBoxButtons::YesNo ? MessageBoxResult::No : MessageBoxResult::Ok;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    }
    message_boxes_.push_back(
        {owner, std::string(text), std::string(caption), buttons, answer});
    if (!running_.empty()) running_.back()->Record("message " + std::string(caption));
    return answer;
}

}  // namespace kx::test
