#pragma once

// A console window over in-memory ports: a scripted browser in control 202,
// a scripted login and a trace file of its own, opened without a modal loop
// so that a test can fire browser events and commands step by step.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "account/user_info.h"
#include "app/console_dialog.h"
#include "account/console_session.h"
#include "base/registry_paths.h"
#include "base/trace_log.h"
#include "play/play_context.h"
#include "platform/common/memory_registry.h"
#include "resources/console_template.h"
#include "support/fake_clock.h"
#include "support/fake_files.h"
#include "support/fake_processes.h"
#include "support/fake_sound.h"
#include "support/memory_state_store.h"
#include "support/scripted_inet_api.h"
#include "support/registry_helpers.h"
#include "support/scripted_browser.h"
#include "support/scripted_window_system.h"
#include "support/trace_events.h"

namespace kx::test {

inline constexpr const char* kVersionReport = "CONSOLEVER=2%2E01&CONSOLEBUILD=2%2E01%2E0000";
inline constexpr const char* kHeaders = "Content-Type: application/x-www-form-urlencoded\r\n";

inline std::string Url(std::string_view path) {
    return "http://console.kestrix.com" + std::string(path);
}

class ConsoleHarness {
public:
    ConsoleHarness() : session(user), console(ports, session, trace, play) {
        ports.registry = &registry;
        ports.windows = &windows;
        ports.clock = &clock;
        ports.inet = &inet;
        ports.processes = &processes;
        ports.files = &files;
        ports.sound = &sound;
        ports.states = &states;
        windows.AttachBrowser(console_control::kBrowser, browser);
        console.SetLoginRunner([this](WindowId owner) {
            login_owners.push_back(owner);
            login_listening.push_back(browser.Listening());
            if (login_result == 1) LogIn();
            return login_result;
        });
        trace_path = std::filesystem::temp_directory_path() /
                     ("kx_console_" + std::to_string(::getpid()) + "_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt");
        trace.Open(clock, trace_path);
    }
    ~ConsoleHarness() {
        if (opened_ && !closed_) console.OnDestroy();
        trace.Close();
        std::error_code ignored;
        std::filesystem::remove(trace_path, ignored);
    }

    // What a successful login leaves in the player record.
    void LogIn(std::string_view name = "ann", std::string_view id = "U17") {
        CopyToField(user.szUserName, name);
        CopyToField(user.szUserID, id);
        user.bLoggedIn = 1;
    }

    // The window's initialisation, as RunModal would start it.
    ScriptedDialog& Open() {
        dialog = std::make_unique<ScriptedDialog>(windows, ConsoleTemplate(), 0x1000, kNoWindow);
        opened_ = true;
        console.OnInitDialog(*dialog);
        return *dialog;
    }
    void Close() {
        closed_ = true;
        console.OnDestroy();
    }

    std::vector<std::string> MessageTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : windows.MessageBoxes()) texts.push_back(box.text);
        return texts;
    }

    std::vector<std::string> TraceEvents() { return ReadTraceEvents(trace_path); }

    // A page of the service's host; the console main page unless told.
    std::shared_ptr<ScriptedDocument> ServicePage(
        std::u16string url = u"http://console.kestrix.com/ws_Console/tournamentconsole.asp") {
        return MakePage(std::move(url));
    }

    MemoryRegistry registry;
    ScriptedWindowSystem windows;
    FakeClock clock{1000};
    // Every command can run: tests that drive one script the port it uses.
    ScriptedInetApi inet;
    FakeProcesses processes;
    FakeFiles files;
    FakeSound sound;
    MemoryStateStore states;
    Ports ports;
    ScriptedBrowser browser;
    KXUserInfo user;
    ConsoleSession session;
    TraceLog trace;
    PlayContext play;
    std::filesystem::path trace_path;
    ConsoleDialog console;
    std::unique_ptr<ScriptedDialog> dialog;

    int login_result = 1;
    std::vector<WindowId> login_owners;
    std::vector<bool> login_listening;

private:
    bool opened_ = false;
    bool closed_ = false;
};

}  // namespace kx::test
