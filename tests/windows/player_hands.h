#pragma once

// A player's hands on the windows of the test's own thread, from a thread of
// their own while the dialog's modal loop runs: waits for a window by its
// caption, types into its items and clicks them with real window messages,
// and reads message boxes back with GetWindowTextA.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace kx::test {

struct SeenMessageBox {
    std::string caption;
    std::string text;
};

class PlayerHands {
public:
    using Script = std::function<void(PlayerHands&)>;

    // Starts `script` at once on the hands' own thread.
    explicit PlayerHands(Script script);
    // Waits for the script to end.
    ~PlayerHands();
    PlayerHands(const PlayerHands&) = delete;
    PlayerHands& operator=(const PlayerHands&) = delete;

    // A visible top-level window with this exact caption; null after `wait`.
    static HWND WaitForWindow(std::string_view caption,
                              std::chrono::milliseconds wait = std::chrono::seconds(20));
    // A visible dialog whose item shows exactly `text`, for the dialogs
    // whose caption is empty; null after `wait`.
    static HWND WaitForDialogShowing(int item, std::string_view text,
                                     std::chrono::milliseconds wait = std::chrono::seconds(20));
    // Waits until `window` is gone; false after `wait`.
    static bool WaitUntilGone(HWND window, std::chrono::milliseconds wait = std::chrono::seconds(20));

    // WM_SETTEXT into the item, as typing the whole text would leave it.
    static void Type(HWND dialog, int item, std::string_view text);
    // BM_CLICK posted to the button, which presses and releases itself.
    static void Click(HWND dialog, int item);
    // The command a key such as Escape (IDCANCEL) or Enter (IDOK) sends.
    static void Press(HWND dialog, int command);
    static std::string Text(HWND dialog, int item);

    // Waits for a message box with this caption, reads it and answers with
    // `button` (IDOK, IDYES, ...).
    static SeenMessageBox AnswerMessageBox(std::string_view caption, int button,
                                           std::chrono::milliseconds wait = std::chrono::seconds(20));

    // When KX_SCREENSHOTS names a folder, the window as the screen shows it
    // goes there as `name`.bmp (make screenshots-windows turns them into PNG).
    static void Picture(HWND window, std::string_view name);

private:
    std::thread thread_;
};

}  // namespace kx::test
