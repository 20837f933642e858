#include "player_hands.h"

#include <utility>

namespace kx::test {
namespace {

// The id the system gives a message box's text.
constexpr int kMessageBoxText = 0xFFFF;

std::string WindowText(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

}  // namespace

PlayerHands::PlayerHands(Script script)
    : thread_([this, script = std::move(script)] { script(*this); }) {}

PlayerHands::~PlayerHands() {
    if (thread_.joinable()) thread_.join();
}

HWND PlayerHands::WaitForWindow(std::string_view caption, std::chrono::milliseconds wait) {
    const std::string title(caption);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < deadline) {
        HWND found = FindWindowA(nullptr, title.c_str());
        if (found != nullptr && IsWindowVisible(found)) return found;
        Sleep(20);
    }
    return nullptr;
}

HWND PlayerHands::WaitForDialogShowing(int item, std::string_view text,
                                       std::chrono::milliseconds wait) {
    struct Search {
        int item;
        std::string text;
        HWND found = nullptr;
    } search{item, std::string(text)};
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < deadline) {
        EnumWindows(
            [](HWND window, LPARAM context) -> BOOL {
                auto* s = reinterpret_cast<Search*>(context);
                char name[16] = {};
                GetClassNameA(window, name, sizeof name);
                HWND child = GetDlgItem(window, s->item);
                if (std::string_view(name) == "#32770" && IsWindowVisible(window) &&
                    child != nullptr && WindowText(child) == s->text) {
                    s->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        Sleep(20);
    }
    return nullptr;
}

bool PlayerHands::WaitUntilGone(HWND window, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (IsWindow(window)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        Sleep(20);
    }
    return true;
}

void PlayerHands::Type(HWND dialog, int item, std::string_view text) {
    const std::string value(text);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, item), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(value.c_str()), SMTO_NORMAL, 5000, &ignored);
}

void PlayerHands::Click(HWND dialog, int item) {
    PostMessageA(GetDlgItem(dialog, item), BM_CLICK, 0, 0);
}

void PlayerHands::Press(HWND dialog, int command) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
}

std::string PlayerHands::Text(HWND dialog, int item) { return WindowText(GetDlgItem(dialog, item)); }

SeenMessageBox PlayerHands::AnswerMessageBox(std::string_view caption, int button,
                                             std::chrono::milliseconds wait) {
    HWND box = WaitForWindow(caption, wait);
    if (box == nullptr) return {};
    SeenMessageBox seen{WindowText(box), WindowText(GetDlgItem(box, kMessageBoxText))};
    Press(box, button);
    WaitUntilGone(box, wait);
    return seen;
}

}  // namespace kx::test
