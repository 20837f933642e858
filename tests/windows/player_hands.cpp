#include "player_hands.h"

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace kx::test {
namespace {

// The id the system gives a message box's text.
constexpr int kMessageBoxText = 0xFFFF;

std::string WindowText(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The screen's pixels under `window`, as a bottom-up 24-bit BMP file.
bool WriteBitmap(HWND window, const std::string& path) {
    RECT area{};
    if (!GetWindowRect(window, &area)) return false;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, previous);

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<unsigned char> pixels(row * static_cast<std::size_t>(height));
    const int rows = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (rows != height) return false;

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                         std::fwrite(&header, sizeof header, 1, out) == 1 &&
                         std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    return std::fclose(out) == 0 && written;
}

}  // namespace

void PlayerHands::Picture(HWND window, std::string_view name) {
    const char* folder = std::getenv("KX_SCREENSHOTS");
    if (folder == nullptr || *folder == '\0' || window == nullptr) return;
    // What the last message changed is on the screen before it is read.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(400);
    const std::string path = std::string(folder) + "\\" + std::string(name) + ".bmp";
    if (!WriteBitmap(window, path)) std::fprintf(stderr, "no picture of %s\n", path.c_str());
}

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
