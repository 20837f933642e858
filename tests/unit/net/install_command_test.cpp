#include "net/install_command.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "resources/download_template.h"
#include "support/captured_debug_output.h"
#include "support/fake_files.h"
#include "support/fake_processes.h"
#include "support/scripted_inet_api.h"
#include "support/console_harness.h"

namespace kx {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Behavior;
using test::InetOp;
using test::ScriptedDialog;

constexpr int kDownloadTemplate = kDownloadTemplateId;
constexpr const char* kInstaller = "MZ installer bytes";
constexpr const char* kInstallParams =
    "URL=http://downloads.test/clients/setup.exe\r\nTITLE=Chess Client\r\n"
    "INSTALLCONFIRM=Install the Chess client?\r\n";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A logged-in console on its main page, whose downloads land in a scratch
// directory standing for the temporary directory.
struct Rig {
    Rig()
        : temp_dir(fs::temp_directory_path() /
                   ("kx_install_" + std::to_string(::getpid()) + "_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name())),
          files(temp_dir.string() + "/") {
        fs::remove_all(temp_dir);
        fs::create_directories(temp_dir / "dl1");
        h.ports.inet = &inet;
        h.ports.processes = &processes;
        h.ports.files = &files;
        h.windows.SetIdleTimeout(2s);
        inet.SetReply({200, {}, kInstaller, 0});
        h.Open();
        navigations = h.browser.Navigations().size();
    }
    ~Rig() { fs::remove_all(temp_dir); }

    void Run(const std::string& params, InstallKind kind = InstallKind::Install) {
        h.console.params.Parse(params.c_str(), 1);
        RunInstallCommand(h.console, kind, h.ports);
    }
    // The fake only names its private directories; the rig makes the first
    // one real so that the download can land.
    std::string Installer() const { return (temp_dir / "dl1" / "setup.exe").string(); }
    bool Downloaded() { return h.windows.Find(kDownloadTemplate) != nullptr; }
    std::size_t NewNavigations() const { return h.browser.Navigations().size() - navigations; }
    const std::vector<test::MessageBoxRecord>& Boxes() const { return h.windows.MessageBoxes(); }
    WindowId Console() const { return h.dialog->Window(); }

    fs::path temp_dir;
    test::CapturedDebugOutput debug;  // outlives the download engine's worker
    test::ScriptedInetApi inet;
    test::FakeProcesses processes;
    test::FakeFiles files;
    test::ConsoleHarness h;
    std::size_t navigations = 0;  // those of the console's start
};

void ExpectOneBox(const Rig& rig, const std::string& text, const char* caption) {
    ASSERT_EQ(rig.Boxes().size(), 1u);
    EXPECT_EQ(rig.Boxes()[0].text, text);
    EXPECT_EQ(rig.Boxes()[0].caption, caption);
    EXPECT_EQ(rig.Boxes()[0].buttons, MessageBoxButtons::Ok);
    EXPECT_EQ(rig.Boxes()[0].owner, rig.Console());
}

TEST(InstallCommandTest, WaitsForTheInstallerUnlessRestartIsExactlyOne) {
    struct Case {
        const char* restart_line;
        bool closes;
    } const cases[] = {
        {"", false},
        {"RESTART=0\r\n", false},
        {"RESTART=true\r\n", false},
        {"RESTART=yes\r\n", false},
        {"RESTART=01\r\n", false},
        {"RESTART= 1\r\n", false},
        {"RESTART=1\r\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.restart_line);
        Rig rig;
        const std::string last_url = rig.h.console.lastUrl;
        // The installer at work: the console has not reloaded yet.
        bool installer_ran = false;
        rig.processes.Then([&] {
            installer_ran = true;
            EXPECT_EQ(rig.NewNavigations(), 0u);
            test::SetValue(rig.h.registry, std::string(kClientsKey) + "\\Chess", "VERSION",
                           test::Sz("3.5"));
        });
        rig.processes.Then([] {});
        rig.h.windows.Answer(MessageBoxResult::Yes);
        rig.Run(std::string(kInstallParams) + c.restart_line);

        ASSERT_EQ(rig.Boxes().size(), 1u);
        const test::MessageBoxRecord& confirm = rig.Boxes()[0];
        EXPECT_EQ(confirm.text, "Install the Chess client?");
        EXPECT_EQ(confirm.caption, "Confirm Download");
        EXPECT_EQ(confirm.buttons, MessageBoxButtons::YesNo);
        EXPECT_EQ(confirm.owner, rig.Console());

        ScriptedDialog* download = rig.h.windows.Find(kDownloadTemplate);
        ASSERT_NE(download, nullptr);
        EXPECT_EQ(download->Owner(), rig.Console());
        EXPECT_EQ(download->Text(download_control::kFileName), "Chess Client");
        EXPECT_EQ(ReadFile(rig.Installer()), kInstaller);
        ASSERT_EQ(rig.processes.Starts().size(), 1u);
        EXPECT_EQ(rig.processes.Starts()[0].application, rig.Installer());
        EXPECT_EQ(rig.processes.Starts()[0].directory, "");
        EXPECT_EQ(rig.processes.Starts()[0].priority, StartPriority::Normal);
        EXPECT_EQ(rig.processes.OpenHandles(), 0u);
        EXPECT_EQ(rig.processes.ServingWaits(), 0) << "nothing is served while it runs";

        EXPECT_EQ(rig.h.dialog->HasEnded(), c.closes);
        if (c.closes) {
            EXPECT_EQ(rig.h.dialog->Result(), 0);
            EXPECT_EQ(rig.processes.PlainWaits(), 0);
            EXPECT_EQ(rig.NewNavigations(), 0u);
        } else {
            EXPECT_TRUE(installer_ran);
            EXPECT_EQ(rig.processes.PlainWaits(), 1);
            EXPECT_NE(rig.h.console.versionReport.find("Chess=3%2E5"), std::string::npos);
            ASSERT_EQ(rig.NewNavigations(), 1u);
            EXPECT_EQ(rig.h.browser.LastNavigation().url, last_url);
            EXPECT_NE(rig.h.browser.LastNavigation().post_data.find("Chess=3%2E5"),
                      std::string::npos);
        }
    }
}

TEST(InstallCommandTest, RefusesMissingParametersAndUnusableUrlsBeforeAsking) {
    const std::string title = "TITLE=Chess Client\r\n";
    const std::string both = "INSTALLCONFIRM=Install?\r\nUPGRADECONFIRM=Upgrade?\r\n";
    const std::string invalid = "URL parameter supplied is not valid";
    struct Case {
        InstallKind kind;
        std::string params;
        std::string message;
    } const cases[] = {
        {InstallKind::Install, title + both, "URL parameter not supplied for INSTALL command."},
        {InstallKind::Upgrade, title + both, "URL parameter not supplied for INSTALL command."},
        {InstallKind::Install, "URL=http://d.test/setup.exe\r\n" + both,
         "TITLE parameter not supplied for INSTALL command."},
        {InstallKind::Install, "URL=http://d.test/setup.exe\r\n" + title + "UPGRADECONFIRM=U\r\n",
         "INSTALLCONFIRM parameter not supplied for INSTALL command."},
        {InstallKind::Upgrade, "URL=http://d.test/setup.exe\r\n" + title + "INSTALLCONFIRM=I\r\n",
         "UPGRADECONFIRM parameter not supplied for INSTALL command."},
        {InstallKind::Install, "URL=setup.exe\r\n" + title + both, invalid},
        {InstallKind::Install, "URL=http://d.test\\x/../../evil.exe\r\n" + title + both, invalid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params);
        Rig rig;
        rig.Run(c.params, c.kind);
        ExpectOneBox(rig, c.message, "Command Error");
        EXPECT_FALSE(rig.Downloaded());
        EXPECT_EQ(rig.inet.CallCount(InetOp::Open), 0u);
        EXPECT_TRUE(rig.processes.Starts().empty());
    }
}

TEST(InstallCommandTest, OnlyYesToItsOwnQuestionStartsTheDownload) {
    struct Case {
        InstallKind kind;
        MessageBoxResult answer;
        const char* question;
        bool downloads;
    } const cases[] = {
        {InstallKind::Install, MessageBoxResult::No, "Install?", false},
        {InstallKind::Upgrade, MessageBoxResult::Yes, "Upgrade?", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.question);
        Rig rig;
        rig.h.windows.Answer(c.answer);
        rig.Run("URL=http://d.test/setup.exe\r\nTITLE=T\r\nINSTALLCONFIRM=Install?\r\n"
                "UPGRADECONFIRM=Upgrade?\r\n",
                c.kind);
        ASSERT_EQ(rig.Boxes().size(), 1u);
        EXPECT_EQ(rig.Boxes()[0].text, c.question);
        EXPECT_EQ(rig.Downloaded(), c.downloads);
        EXPECT_EQ(rig.inet.CallCount(InetOp::Open), c.downloads ? 1u : 0u);
        EXPECT_EQ(fs::exists(rig.Installer()), c.downloads);
        EXPECT_EQ(rig.processes.Starts().size(), c.downloads ? 1u : 0u);
        EXPECT_EQ(rig.NewNavigations(), c.downloads ? 1u : 0u);
    }
}

TEST(InstallCommandTest, ADownloadThatDidNotFinishEndsTheCommandQuietly) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> arrange;
        std::size_t boxes;  // the confirmation, and the download dialog's own
    } const cases[] = {
        {"cancelled",
         [](Rig& rig) {
             rig.inet.Script(InetOp::SendRequest, Behavior::PendUntilReleased());
             rig.h.windows.Then(
                 [&rig](ScriptedDialog&) { ASSERT_TRUE(rig.inet.WaitUntilHeld(5s)); });
             rig.h.windows.Then([](ScriptedDialog& d) { d.Click(kIdCancel); });
         },
         1},
        {"not started",
         [](Rig& rig) { rig.inet.Script(InetOp::Open, Behavior::Fail(12001)); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        c.arrange(rig);
        rig.h.windows.Answer(MessageBoxResult::Yes);
        rig.Run(std::string(kInstallParams) + "RESTART=1\r\n");
        EXPECT_TRUE(rig.Downloaded());
        EXPECT_EQ(rig.Boxes().size(), c.boxes);
        EXPECT_TRUE(rig.processes.Starts().empty());
        EXPECT_FALSE(rig.h.dialog->HasEnded());
        EXPECT_EQ(rig.NewNavigations(), 0u);
    }
}

TEST(InstallCommandTest, AnInstallerThatCannotBeStartedIsReportedWithItsErrorCode) {
    struct Case {
        std::uint32_t error;
        const char* restart_line;
        const char* shown;
    } const cases[] = {
        {193, "", "193"},
        {0x80070005u, "RESTART=1\r\n", "-2147024891"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        Rig rig;
        rig.processes.FailStarts(c.error);
        rig.h.windows.Answer(MessageBoxResult::Yes);
        rig.Run(std::string(kInstallParams) + c.restart_line);
        ASSERT_EQ(rig.Boxes().size(), 2u);
        const test::MessageBoxRecord& box = rig.Boxes()[1];
        EXPECT_EQ(box.text, std::string("An error occured while launching the downloaded file. (") +
                                c.shown + ")");
        EXPECT_EQ(box.caption, "Install Error");
        EXPECT_EQ(box.owner, rig.Console());
        EXPECT_EQ(rig.processes.PlainWaits(), 0);
        EXPECT_FALSE(rig.h.dialog->HasEnded());
        EXPECT_EQ(rig.NewNavigations(), 0u);
        EXPECT_TRUE(fs::exists(rig.Installer())) << "the download is left in place";
    }
}

TEST(InstallCommandTest, TheInstallerIsANewFileInAFreshPrivateDirectoryMadeExecutableFirst) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> arrange;
        const char* error;  // shown in the launch error; null when it started
        bool downloads;
    } const cases[] = {
        {"fresh", [](Rig&) {}, nullptr, true},
        {"no private directory", [](Rig& rig) { rig.files.FailDownloadDirectories(); }, "3",
         false},
        {"the name does not fit into it",
         [](Rig& rig) { rig.files.SetDownloadBase(rig.temp_dir.string() + std::string(250, 'd')); },
         "3", false},
        {"a file is already there",
         [](Rig& rig) { rig.files.AddFile(rig.Installer()); }, "80", false},
        {"it cannot be marked", [](Rig& rig) { rig.files.FailMarking(); }, "2", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        c.arrange(rig);
        rig.h.windows.Answer(MessageBoxResult::Yes);
        rig.Run(kInstallParams);

        EXPECT_EQ(rig.Downloaded(), c.downloads);
        EXPECT_EQ(fs::exists(rig.Installer()), c.downloads);
        if (c.error == nullptr) {
            ASSERT_EQ(rig.files.DownloadDirectories().size(), 1u);
            EXPECT_EQ(rig.files.MarkedExecutable(), std::vector<std::string>{rig.Installer()});
            ASSERT_EQ(rig.processes.Starts().size(), 1u);
            EXPECT_EQ(rig.processes.Starts()[0].application, rig.Installer());
            EXPECT_EQ(rig.Boxes().size(), 1u);
            continue;
        }
        EXPECT_TRUE(rig.processes.Starts().empty());
        ASSERT_EQ(rig.Boxes().size(), 2u);
        EXPECT_EQ(rig.Boxes()[1].text,
                  std::string("An error occured while launching the downloaded file. (") +
                      c.error + ")");
        EXPECT_EQ(rig.Boxes()[1].caption, "Install Error");
        EXPECT_EQ(rig.NewNavigations(), 0u);
    }
}

TEST(InstallCommandTest, EachInstallGetsADirectoryOfItsOwn) {
    Rig rig;
    fs::create_directories(rig.temp_dir / "dl2");
    rig.h.windows.Answer(MessageBoxResult::Yes);
    rig.Run(kInstallParams);
    rig.h.windows.Answer(MessageBoxResult::Yes);
    rig.Run(kInstallParams);
    ASSERT_EQ(rig.processes.Starts().size(), 2u);
    EXPECT_EQ(rig.processes.Starts()[1].application, (rig.temp_dir / "dl2" / "setup.exe").string());
    EXPECT_EQ(rig.files.DownloadDirectories().size(), 2u);
}

TEST(InstallerLocalPathTest, TakesTheNameAfterTheLastSeparatorIntoTheTemporaryDirectory) {
    const std::string temp = "C:\\Temp\\";
    const std::string long_temp = "C:\\" + std::string(246, 't') + "\\";  // 250 characters
    struct Case {
        std::string temp;
        std::string url;
        std::optional<std::string> path;
    } const cases[] = {
        {temp, "http://d.test/clients/setup.exe", "C:\\Temp\\setup.exe"},
        {temp, "http://d.test/get.asp?file=setup.exe&v=2", "C:\\Temp\\get.asp?file=setup.exe&v=2"},
        {temp, "http://d.test/get.asp?file=x/setup.exe", "C:\\Temp\\setup.exe"},
        {temp, "http://d.test/a/b\\c\\setup.exe", "C:\\Temp\\setup.exe"},
        {temp, "setup.exe", std::nullopt},
        {temp, "http://d.test/clients/", std::nullopt},
        {temp, "http://d.test/..", std::nullopt},
        {temp, "http://d.test\\dir/setup.exe", std::nullopt},
        {temp, "http://d.test\\../../setup.exe", std::nullopt},
        {long_temp, "http://d.test/setup.exe", long_temp + "setup.exe"},
        {long_temp, "http://d.test/setup1.exe", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(InstallerLocalPath(c.temp, c.url), c.path);
    }
}

}  // namespace
}  // namespace kx
