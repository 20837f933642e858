// The login and registration dialogs over the real transport and the real
// settings store: a scripted player, the demo service on loopback, and a
// file-backed registry in a scratch directory.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "account/login_dialog.h"
#include "account/registration_lists.h"
#include "base/registry_paths.h"
#include "net/service_interface.h"
#include "support/demo_peer.h"
#include "platform/linux/curl_inet_api.h"
#include "platform/linux/file_registry.h"
#include "resources/login_template.h"
#include "resources/registration_template.h"
#include "support/captured_debug_output.h"
#include "support/fake_clock.h"
#include "support/registry_helpers.h"
#include "support/scripted_window_system.h"

namespace kx {
namespace {

namespace fs = std::filesystem;
namespace lc = login_control;
namespace rc = registration_control;
using namespace std::chrono_literals;
using test::ScriptedDialog;
using test::Sz;

constexpr auto kReplyWait = 20s;

std::string Field50(std::string_view text) {
    std::string bytes(text);
    bytes.resize(kUserTextSize, '\0');
    return bytes;
}

void AwaitReply(ScriptedDialog& d) { EXPECT_TRUE(d.DeliverUntil(WM_INET_DONE, kReplyWait)); }

void Login(ScriptedDialog& d, std::string_view user_name, std::string_view password) {
    d.Type(lc::kUserName, user_name);
    d.Type(lc::kPassword, password);
    d.PressEnter();
    AwaitReply(d);
}

class DialogsAgainstDemoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service_ = new test::DemoService(); }
    static void TearDownTestSuite() {
        delete service_;
        service_ = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(service_->running()) << "the demo service did not start";
        std::string pattern = (fs::temp_directory_path() / "kx-dialogs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        registry_ = std::make_unique<FileRegistry>(directory_);
        test::SetValue(*registry_, kGeneralKey, kServiceHostValue, Sz(test::kDemoHost));
        TheUserInfo() = KXUserInfo{};
    }
    void TearDown() override {
        registry_.reset();
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    static CurlInetConfig Config() {
        CurlInetConfig config;
        config.ca_file = service_->ca_file();
        config.connect_to = service_->ConnectTo();
        return config;
    }

    // A console's run of the login dialog with ports of its own over the same store.
    int RunLogin(test::ScriptedWindowSystem& windows) {
        FileRegistry registry(directory_);
        CurlInetApi inet(Config());
        test::FakeClock clock;
        Ports ports{&registry, &inet, &windows, &clock};
        return RunLoginDialog(ports, &TheUserInfo(), kNoWindow);
    }

    std::vector<std::string> BodiesTo(std::string_view target) const {
        std::vector<std::string> bodies;
        for (const test::LoggedRequest& request : service_->Requests()) {
            if (request.target == target) bodies.push_back(request.body);
        }
        return bodies;
    }

    static inline test::DemoService* service_ = nullptr;
    // Keeps the transport's traces off the test output.
    test::CapturedDebugOutput debug_;
    fs::path directory_;
    std::unique_ptr<FileRegistry> registry_;
};

TEST_F(DialogsAgainstDemoTest, AnAcceptedLoginIsSavedInTheStoreAndShownByTheNextDialog) {
    test::ScriptedWindowSystem windows;
    windows.Then([](ScriptedDialog& d) {
        d.Click(lc::kRememberPassword);
        d.Click(lc::kPlaySounds);
        Login(d, "demo", "demo");
    });
    ASSERT_EQ(RunLogin(windows), LoginDialog::kLoggedIn);
    EXPECT_STREQ(TheUserInfo().szUserID, "1002");
    EXPECT_STRNE(TheUserInfo().szSessionID, "");
    EXPECT_EQ(TheUserInfo().bMonitor, 0);
    EXPECT_EQ(BodiesTo(kCommandPath).back(), "COMMAND=LOGIN&USERNAME=demo&PASSWORD=demo");

    // Another store object over the same files sees what the dialog saved.
    FileRegistry reread(directory_);
    EXPECT_EQ(test::GetValue(reread, kPlayerKey, "Username", kHKeyCurrentUser), Field50("demo"));
    EXPECT_EQ(test::GetValue(reread, kPlayerKey, "Password", kHKeyCurrentUser), Field50("demo"));
    EXPECT_EQ(test::GetValue(reread, kPlayerKey, "SavePWD", kHKeyCurrentUser), Sz("1"));
    EXPECT_EQ(test::GetValue(reread, kPlayerKey, "PlaySounds", kHKeyCurrentUser), Sz("1"));

    TheUserInfo() = KXUserInfo{};
    test::ScriptedWindowSystem next;
    next.Then([](ScriptedDialog& d) {
        EXPECT_EQ(d.Text(lc::kUserName), "demo");
        EXPECT_EQ(d.Text(lc::kPassword), "demo");
        EXPECT_TRUE(d.Checked(lc::kRememberPassword));
        EXPECT_TRUE(d.Checked(lc::kPlaySounds));
        // A monitored account's login sets the monitor flag.
        Login(d, "monitor", "monitor");
    });
    ASSERT_EQ(RunLogin(next), LoginDialog::kLoggedIn);
    EXPECT_EQ(TheUserInfo().bMonitor, 1);
}

TEST_F(DialogsAgainstDemoTest, ARefusalShowsTheServicesTextAndTheDialogTakesAnotherTry) {
    ASSERT_TRUE(service_->AddFault(
        R"({"kind": "refuse", "errortext": "Closed for the night", "count": 1})"));
    test::ScriptedWindowSystem windows;
    windows.Then([&](ScriptedDialog& d) {
        Login(d, "guest", "tansy");
        ASSERT_EQ(windows.MessageBoxes().size(), 1u);
        EXPECT_EQ(windows.MessageBoxes()[0].text, "Closed for the night");
        EXPECT_EQ(windows.MessageBoxes()[0].caption, "Log in error");
        for (const int id : {lc::kUserName, lc::kPassword, lc::kRememberPassword, kIdOk,
                             lc::kRegister, lc::kGuestLogin, lc::kPlaySounds}) {
            EXPECT_TRUE(d.Enabled(id)) << id;
        }
        EXPECT_FALSE(test::GetValue(*registry_, kPlayerKey, "Username", kHKeyCurrentUser).has_value());
        d.Click(lc::kGuestLogin);
        AwaitReply(d);
    });
    ASSERT_EQ(RunLogin(windows), LoginDialog::kLoggedIn);
    EXPECT_STREQ(TheUserInfo().szUserID, "1001");
    EXPECT_EQ(test::GetValue(*registry_, kPlayerKey, "Username", kHKeyCurrentUser), Field50("guest"));
}

TEST_F(DialogsAgainstDemoTest, ANewAccountIsCreatedAndLoggedInWith) {
    const auto texas = static_cast<int>(
        std::find(StateItems().begin(), StateItems().end(), "Texas") - StateItems().begin());
    test::ScriptedWindowSystem windows;
    windows.Then([](ScriptedDialog& d) { d.Click(lc::kRegister); });
    windows.Then([&](ScriptedDialog& d) {
        ASSERT_EQ(d.TemplateId(), kRegistrationTemplateId);
        d.Type(rc::kUserName, "demo");
        d.Type(rc::kPassword, "fresh pw");
        d.Type(rc::kConfirmPassword, "fresh pw");
        d.Type(rc::kEmail, "newcomer@mail.example");
        d.Type(rc::kFirstName, "New");
        d.Type(rc::kLastName, "Comer");
        d.Type(rc::kAddress, "1 Main St");
        d.Type(rc::kCity, "Austin");
        d.Choose(rc::kState, texas);
        d.Type(rc::kZip, "78701");
        d.Choose(rc::kHearAbout, 1);
        d.Click(kIdOk);
        AwaitReply(d);
        // The name is taken: the service says so and the form stays open.
        ASSERT_EQ(windows.MessageBoxes().size(), 1u);
        EXPECT_EQ(windows.MessageBoxes()[0].caption, "Registration error");
        EXPECT_NE(windows.MessageBoxes()[0].text.find("already taken"), std::string::npos);
        d.Type(rc::kUserName, "Newcomer 1");
        d.Click(kIdOk);
        AwaitReply(d);
    });
    windows.Then([&](ScriptedDialog& d) {
        ASSERT_EQ(d.TemplateId(), kLoginTemplateId);
        EXPECT_EQ(windows.MessageBoxes().back().caption, "Congratulations!");
        EXPECT_EQ(d.Text(lc::kUserName), "Newcomer 1");
        EXPECT_EQ(d.Text(lc::kPassword), "fresh pw");
        EXPECT_EQ(test::GetValue(*registry_, kPlayerKey, "Password", kHKeyCurrentUser), Field50("fresh pw"));
        EXPECT_EQ(test::GetValue(*registry_, kPlayerKey, "SavePWD", kHKeyCurrentUser), Sz("1"));
        d.PressEnter();
        AwaitReply(d);
    });
    ASSERT_EQ(RunLogin(windows), LoginDialog::kLoggedIn);

    const std::vector<std::string> created = BodiesTo(kCreateAccountCommandPath);
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[1],
              "COMMAND=CREATEACCOUNT&USERNAME=Newcomer+1&PASSWORD=fresh+pw"
              "&EMAIL=newcomer%40mail%2Ee%78ample&FIRSTNAME=New&LASTNAME=Comer&CITY=Austin"
              "&STATE=Te%78as&ZIP=78701&ADDRESS=1+Main+St&ADDRESS2=&COUNTRY=United+States"
              "&OTHERSTATE=&ABOUT=Friend");
    EXPECT_EQ(BodiesTo(kCommandPath).back(),
              "COMMAND=LOGIN&USERNAME=Newcomer+1&PASSWORD=fresh+pw");
    EXPECT_STRNE(TheUserInfo().szUserID, "");
    EXPECT_EQ(test::GetValue(*registry_, kPlayerKey, "Username", kHKeyCurrentUser), Field50("Newcomer 1"));
}

}  // namespace
}  // namespace kx
