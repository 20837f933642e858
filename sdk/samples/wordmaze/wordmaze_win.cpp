// Word Maze, the sample game client, on a plain Win32 window: the same rules
// and the same play with the console as the Qt one (wordmaze_play.h), through
// the SDK's COM side alone.
//
// Implements:
//  - the round's window: the letter grid, the countdown, the word entry
//    (Enter submits), the verdict and the words found; closing it ends the
//    round with the words found so far;
//  - the automatic player for tests on the window's timer;
//  - the exit code: as on Linux, except that with KX_WORDMAZE_ENDGAME_TWICE
//    it is the second EndGame's result code, since a windowed program's
//    standard error is usually nowhere a test could read it.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "word_grid.h"
#include "wordmaze_play.h"

namespace {

using wordmaze::AutoPlayer;
using wordmaze::Options;
using wordmaze::Round;
using wordmaze::Verdict;

// A font the window made goes with the window.
struct FontCloser {
    void operator()(HFONT font) const noexcept { DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontCloser>;

constexpr wchar_t kClassName[] = L"KestrixWordMaze";
constexpr wchar_t kTitle[] = L"Word Maze";

constexpr UINT_PTR kCountdownTimer = 1;
constexpr UINT_PTR kAutoTimer = 2;
constexpr UINT_PTR kCloseTimer = 3;

constexpr int kMargin = 12;
constexpr int kLineHeight = 20;
constexpr int kCellSize = 44;
constexpr int kCellGap = 4;
constexpr int kEntryHeight = 24;
constexpr int kListHeight = 120;
constexpr int kMinClientWidth = 320;

std::wstring Wide(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string Narrow(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

std::string Trimmed(std::string text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.back())) text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && blank(text[first])) ++first;
    return text.substr(first);
}

class MazeWindow {
public:
    MazeWindow(Round& round, int seconds, std::string header, const Options& options)
        : round_(round), secondsLeft_(seconds), header_(std::move(header)),
          autoScore_(options.autoScore.has_value()), autoStepMs_(options.autoStepMs) {}
    MazeWindow(const MazeWindow&) = delete;
    MazeWindow& operator=(const MazeWindow&) = delete;

    // Called once, when the round ends for any reason.
    std::function<void()> onFinished;

    bool Create(HINSTANCE instance);
    HWND Entry() const { return entry_; }
    void Submit();
    void ShowFinal(const std::string& text) { SetText(status_, text); }
    // Closes the window, and so ends the program, after `ms`.
    void CloseAfter(int ms) { SetTimer(window_, kCloseTimer, static_cast<UINT>(ms), nullptr); }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    HWND Child(const wchar_t* kind, DWORD style, int x, int y, int width, int height,
               HFONT font, const std::string& text = {});
    static void SetText(HWND control, const std::string& text) {
        SetWindowTextW(control, Wide(text).c_str());
    }
    void Tick();
    void AutoStep();
    void Finish();

    Round& round_;
    int secondsLeft_;
    std::string header_;
    bool autoScore_;
    int autoStepMs_;
    bool finished_ = false;
    std::optional<AutoPlayer> autoPlayer_;

    HWND window_ = nullptr;
    HWND time_ = nullptr;
    HWND score_ = nullptr;
    HWND entry_ = nullptr;
    HWND status_ = nullptr;
    HWND words_ = nullptr;
    UniqueFont cellFont_;
};

bool MazeWindow::Create(HINSTANCE instance) {
    WNDCLASSEXW kind{};
    kind.cbSize = sizeof kind;
    kind.lpfnWndProc = &MazeWindow::Procedure;
    kind.hInstance = instance;
    kind.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    kind.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    kind.lpszClassName = kClassName;
    if (RegisterClassExW(&kind) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    const int cells = round_.GetGrid().Size();
    const int grid_width = cells * kCellSize + (cells - 1) * kCellGap;
    const int width = std::max(kMinClientWidth, grid_width + 2 * kMargin);
    const int grid_top = kMargin + 2 * (kLineHeight + kCellGap);
    const int entry_top = grid_top + cells * (kCellSize + kCellGap) + kCellGap;
    const int status_top = entry_top + kEntryHeight + kCellGap;
    const int list_top = status_top + kLineHeight + kCellGap;
    const int height = list_top + kListHeight + kMargin;

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    window_ = CreateWindowExW(0, kClassName, kTitle, style, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                              instance, this);
    if (window_ == nullptr) return false;

    auto* text_font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    cellFont_.reset(CreateFontW(-26, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_SWISS, L"Arial"));
    const int inner = width - 2 * kMargin;
    Child(L"STATIC", SS_LEFT, kMargin, kMargin, inner, kLineHeight, text_font, header_);
    const int second_line = kMargin + kLineHeight + kCellGap;
    time_ = Child(L"STATIC", SS_LEFT, kMargin, second_line, inner / 2, kLineHeight, text_font,
                  wordmaze::TimeText(secondsLeft_));
    score_ = Child(L"STATIC", SS_RIGHT, kMargin + inner / 2, second_line, inner - inner / 2,
                   kLineHeight, text_font, wordmaze::ScoreText(0));
    const int grid_left = (width - grid_width) / 2;
    const HFONT cell_font = cellFont_ ? cellFont_.get() : text_font;
    for (int row = 0; row < cells; ++row) {
        for (int column = 0; column < cells; ++column) {
            Child(L"STATIC", SS_CENTER | SS_CENTERIMAGE | WS_BORDER,
                  grid_left + column * (kCellSize + kCellGap), grid_top + row * (kCellSize + kCellGap),
                  kCellSize, kCellSize, cell_font,
                  std::string(1, round_.GetGrid().At(row, column)));
        }
    }
    entry_ = Child(L"EDIT", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, kMargin,
                   entry_top, inner, kEntryHeight, text_font);
    status_ = Child(L"STATIC", SS_LEFT, kMargin, status_top, inner, kLineHeight, text_font,
                    "Type a word and press Enter");
    words_ = Child(L"LISTBOX", WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, kMargin, list_top,
                   inner, kListHeight, text_font);

    SetTimer(window_, kCountdownTimer, wordmaze::kTickMs, nullptr);
    if (autoScore_) {
        autoPlayer_.emplace(round_.GetGrid());
        SetTimer(window_, kAutoTimer, static_cast<UINT>(autoStepMs_), nullptr);
    }
    ShowWindow(window_, SW_SHOW);
    // The console hides its own window while a game runs; the player's
    // typing belongs to the game from the start.
    SetForegroundWindow(window_);
    SetFocus(entry_);
    return true;
}

HWND MazeWindow::Child(const wchar_t* kind, DWORD style, int x, int y, int width, int height,
                       HFONT font, const std::string& text) {
    const HWND child = CreateWindowExW(0, kind, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                                       x, y, width, height, window_, nullptr, nullptr, nullptr);
    if (child != nullptr) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

LRESULT CALLBACK MazeWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MazeWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->window_ == nullptr) {
        return DefWindowProcW(window, message, wparam, lparam);
    }
    return self->Handle(message, wparam, lparam);
}

LRESULT MazeWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_TIMER:
            if (wparam == kCountdownTimer) Tick();
            if (wparam == kAutoTimer) AutoStep();
            if (wparam == kCloseTimer) DestroyWindow(window_);
            return 0;
        case WM_CLOSE:
            // Closing the window ends the round with the words found so far.
            Finish();
            DestroyWindow(window_);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window_, message, wparam, lparam);
    }
}

void MazeWindow::Submit() {
    if (finished_) return;
    const int length = GetWindowTextLengthW(entry_);
    std::wstring typed(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    const int got = GetWindowTextW(entry_, typed.data(), static_cast<int>(typed.size()));
    typed.resize(static_cast<std::size_t>(std::max(got, 0)));
    SetWindowTextW(entry_, L"");
    const std::string word = Trimmed(Narrow(typed));
    if (word.empty()) return;
    const Verdict verdict = round_.Try(word);
    SetText(status_, wordmaze::VerdictText(verdict));
    if (verdict == Verdict::Accepted) {
        SendMessageW(words_, LB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Wide(round_.Found().back()).c_str()));
    }
    SetText(score_, wordmaze::ScoreText(round_.Score()));
}

void MazeWindow::Tick() {
    if (finished_) return;
    secondsLeft_ = std::max(0, secondsLeft_ - 1);
    SetText(time_, wordmaze::TimeText(secondsLeft_));
    if (secondsLeft_ == 0) Finish();
}

void MazeWindow::AutoStep() {
    if (finished_ || !autoPlayer_) return;
    if (autoPlayer_->Done()) {
        Finish();
        return;
    }
    if (const std::optional<std::string> word = autoPlayer_->Next()) {
        SetText(entry_, *word);
        Submit();
    }
}

void MazeWindow::Finish() {
    if (finished_) return;
    finished_ = true;
    KillTimer(window_, kCountdownTimer);
    KillTimer(window_, kAutoTimer);
    EnableWindow(entry_, FALSE);
    if (onFinished) onFinished();
}

// A modal box would wait forever for a player who is not there, so the
// automatic mode only reports.
int Fail(const Options& options, const std::string& text, int exit_code) {
    wordmaze::Report(text);
    if (!options.autoScore) MessageBoxW(nullptr, Wide(text).c_str(), kTitle, MB_OK | MB_ICONERROR);
    return exit_code;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const Options options = wordmaze::OptionsFromEnvironment();

    std::string failure;
    int exit_code = 0;
    std::optional<wordmaze::ConsolePlay> play = wordmaze::ConsolePlay::Open(&failure, &exit_code);
    if (!play) return Fail(options, failure, exit_code);

    const wordmaze::PlaySetup setup = play->ReadSetup();
    Round round(wordmaze::GridFor(setup));
    MazeWindow window(round, setup.seconds, wordmaze::HeaderText(setup.info), options);
    wordmaze::Outcome outcome;
    window.onFinished = [&] {
        outcome = play->HandOver(setup, round, options);
        window.ShowFinal(wordmaze::FinalText(outcome.score));
        window.CloseAfter(options.finalMs);
    };
    if (!window.Create(instance)) {
        // No window, no round: the play ends abnormally, as a crash would.
        return Fail(options, "Word Maze could not open its window.", wordmaze::kExitScoreFailed);
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN &&
            message.hwnd == window.Entry()) {
            window.Submit();
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // The services object is released here, before the process ends.
    play->Close();
    if (outcome.secondEndGame) return static_cast<int>(*outcome.secondEndGame);
    return outcome.exitCode;
}
