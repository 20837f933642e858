#include "platform/win32/win_processes.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/win32/win_single_instance.h"

namespace kx {
namespace {

std::string ChildProgram() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string own(path);
    return own.substr(0, own.find_last_of('\\') + 1) + "kx_windows_child.exe";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Sets an environment variable for the children started while it lives.
class ChildSetting {
public:
    ChildSetting(const char* name, const std::string& value) : name_(name) {
        SetEnvironmentVariableA(name, value.c_str());
    }
    ~ChildSetting() { SetEnvironmentVariableA(name_, nullptr); }

private:
    const char* name_;
};

class WinProcessesTest : public ::testing::Test {
protected:
    std::string Scratch(const char* name) { return files_.TempDirectory() + name; }

    WinProcesses processes_;
    WinFiles files_;
};

TEST_F(WinProcessesTest, AGameRunsInItsDirectoryAndItsExitCodeIsKept) {
    const std::string directory = Scratch("kx game dir");
    CreateDirectoryA(directory.c_str(), nullptr);
    const std::string report = Scratch("kx_child_cwd.txt");
    const ChildSetting cwd("KX_CHILD_WRITE_CWD", report);
    const ChildSetting code("KX_CHILD_EXIT", "7");

    ProcessHandle process = 0;
    std::uint32_t error = 0;
    ASSERT_TRUE(processes_.Start(StartPriority::Default, ChildProgram(), directory, &process, &error)) << error;
    const UniqueProcess owned(processes_, process);
    processes_.WaitForExit(process);
    std::uint32_t exit_code = 0;
    ASSERT_TRUE(processes_.ExitCode(process, &exit_code));
    EXPECT_EQ(exit_code, 7u);
    EXPECT_EQ(ReadFile(report), directory);
    files_.Delete(report);
    RemoveDirectoryA(directory.c_str());
}

TEST_F(WinProcessesTest, AProgramThatCannotStartReportsTheSystemsError) {
    struct Case {
        std::string program;
        std::uint32_t error;
    };
    const Case cases[] = {
        {Scratch("no such installer.exe"), ERROR_FILE_NOT_FOUND},
        {Scratch("no such folder\\setup.exe"), ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        ProcessHandle process = 0;
        std::uint32_t error = 0;
        EXPECT_FALSE(processes_.Start(StartPriority::Default, c.program, "", &process, &error)) << c.program;
        EXPECT_EQ(error, c.error) << c.program;
        EXPECT_EQ(process, 0u);
    }
}

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_APP) {
        auto* count = reinterpret_cast<std::atomic<int>*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        ++*count;
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

TEST_F(WinProcessesTest, TheWaitServesTheThreadsMessagesUntilTheProgramEnds) {
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = CountingProc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "KxCountingWindow";
    RegisterClassA(&window_class);
    HWND window = CreateWindowA("KxCountingWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                window_class.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    std::atomic<int> served{0};
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&served));

    const ChildSetting sleep("KX_CHILD_SLEEP_MS", "1500");
    ProcessHandle process = 0;
    std::uint32_t error = 0;
    ASSERT_TRUE(processes_.Start(StartPriority::Default, ChildProgram(), files_.TempDirectory(), &process, &error));
    const UniqueProcess owned(processes_, process);
    // Another thread posts, as a game's calls reach the console's thread.
    std::thread poster([window] {
        for (int i = 0; i < 5; ++i) {
            Sleep(100);
            PostMessageA(window, WM_APP, 0, 0);
        }
    });
    int turns = 0;
    while (processes_.WaitServingEvents(process) == ProcessState::Running) ++turns;
    poster.join();
    EXPECT_EQ(served.load(), 5);
    // Woken by the messages and the end, not spinning.
    EXPECT_LT(turns, 100);
    std::uint32_t exit_code = 1;
    EXPECT_TRUE(processes_.ExitCode(process, &exit_code));
    EXPECT_EQ(exit_code, 0u);
    EXPECT_EQ(processes_.WaitServingEvents(process), ProcessState::Ended);
    DestroyWindow(window);
}

TEST_F(WinProcessesTest, FilesAreFoundOpenedAndDeletedWhereTheSystemKeepsThem) {
    const std::string temp = files_.TempDirectory();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '\\');
    const std::string current = files_.CurrentDirectory();
    ASSERT_FALSE(current.empty());
    EXPECT_NE(current.back(), '\\');

    EXPECT_EQ(files_.PrivateDownloadDirectory(), temp);

    const std::string path = Scratch("kx_verify_probe.txt");
    EXPECT_FALSE(files_.CanOpen(path));
    EXPECT_FALSE(files_.Delete(path));
    std::ofstream(path) << "score";
    EXPECT_TRUE(files_.MarkExecutable(path));
    EXPECT_TRUE(files_.CanOpen(path));
    EXPECT_TRUE(files_.Delete(path));
    EXPECT_FALSE(files_.CanOpen(path));
}

TEST(WinSingleInstance, FindsATopLevelWindowByItsExactTitleOnly) {
    const std::string title = "Kx Console Probe " + std::to_string(GetCurrentProcessId());
    HWND window = CreateWindowA("STATIC", title.c_str(), WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    WinSingleInstance instance;
    EXPECT_EQ(instance.FindWindowByTitle(title), reinterpret_cast<WindowId>(window));
    EXPECT_EQ(instance.FindWindowByTitle(title + " "), kNoWindow);
    EXPECT_EQ(instance.FindWindowByTitle(title.substr(0, title.size() - 1)), kNoWindow);
    instance.SetForegroundWindow(kNoWindow);  // harmless
    DestroyWindow(window);
    EXPECT_EQ(instance.FindWindowByTitle(title), kNoWindow);
}

// A second console is another process: it finds the first one's window by
// its title and brings it back from the task bar.
TEST_F(WinProcessesTest, ASecondProcessFindsTheFirstByTitleAndRestoresItsWindow) {
    const std::string title = "Kx Console Instance " + std::to_string(GetCurrentProcessId());
    struct Case {
        const char* name;
        bool window_open;
        std::uint32_t exit_code;
    };
    const Case cases[] = {{"a first console is running", true, 0}, {"none is", false, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HWND window = nullptr;
        if (c.window_open) {
            window = CreateWindowA("STATIC", title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                   nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
            ASSERT_NE(window, nullptr);
            ShowWindow(window, SW_SHOWMINIMIZED);
            ASSERT_TRUE(IsIconic(window));
        }
        const ChildSetting find("KX_CHILD_FIND_TITLE", title);
        ProcessHandle process = 0;
        std::uint32_t error = 0;
        ASSERT_TRUE(processes_.Start(StartPriority::Default, ChildProgram(), "", &process, &error))
            << error;
        // The window's own thread answers the other process's calls.
        while (processes_.WaitServingEvents(process) == ProcessState::Running) {
        }
        std::uint32_t code = 99;
        EXPECT_TRUE(processes_.ExitCode(process, &code));
        processes_.Close(process);
        EXPECT_EQ(code, c.exit_code);
        if (window != nullptr) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
            EXPECT_FALSE(IsIconic(window));
            DestroyWindow(window);
        }
    }
}

}  // namespace
}  // namespace kx
