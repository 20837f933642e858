// The login dialog end to end over in-memory ports: stored credentials as a
// damaged settings store may hold them, what the player types, and the
// service's reply to the login.
//
// Input, NUL-separated: HTTP status, reply body, typed user name, typed
// password, then the stored Username, Password, SavePWD and PlaySounds
// bytes (a missing field stores nothing).
//
// Implements:
//  - a login is accepted only on ERRORCODE 0 with a USERID, and every
//    field of the player record stays terminated inside its size;
//  - the record's ids are the reply's texts, never an earlier one's;
//  - a refused login leaves the player logged out.

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

#include "account/login_dialog.h"
#include "account/user_info.h"
#include "base/dialog_messages.h"
#include "base/key_value_store.h"
#include "base/registry_paths.h"
#include "net/reply.h"
#include "fuzz_input.h"
#include "platform/common/memory_registry.h"
#include "resources/login_template.h"
#include "support/fake_clock.h"
#include "support/registry_helpers.h"
#include "support/scripted_inet_api.h"
#include "support/scripted_window_system.h"

namespace {

namespace lc = kx::login_control;
using namespace std::chrono_literals;

template <std::size_t N>
bool Terminated(const char (&field)[N]) {
    return std::memchr(field, '\0', N) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto fields = kx::fuzz::Fields(kx::fuzz::AsText(data, size), '\0');
    auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : std::string_view(); };

    kx::MemoryRegistry registry;
    kx::test::ScriptedInetApi inet;
    kx::test::ScriptedWindowSystem windows;
    windows.SetIdleTimeout(2s);
    kx::test::FakeClock clock;
    kx::Ports ports{&registry, &inet, &windows, &clock};

    const char* const stored_names[] = {"Username", "Password", "SavePWD", "PlaySounds"};
    for (std::size_t i = 0; i < std::size(stored_names); ++i) {
        if (4 + i < fields.size()) {
            kx::test::SetValue(registry, kx::kPlayerKey, stored_names[i], field(4 + i),
                               i % 2 == 0 ? kx::RegType::Sz : kx::RegType::Binary);
        }
    }

    const auto status = static_cast<std::uint32_t>(kx::fuzz::FuzzNumber(field(0), 0xFFFFFFFF, 200));
    const std::string body(field(1));
    inet.SetReply({status, std::nullopt, body, 0});
    const std::string user_name(field(2));
    const std::string password(field(3));
    windows.Then([&](kx::test::ScriptedDialog& dialog) {
        dialog.Type(lc::kUserName, user_name);
        dialog.Type(lc::kPassword, password);
        dialog.Click(kx::kIdOk);
        // A request runs only while the inputs are disabled; its reply is
        // taken in the same step as the click, or the modal loop would take it.
        if (!dialog.Enabled(kx::kIdOk)) dialog.DeliverUntil(kx::WM_INET_DONE, 10s);
    });
    windows.Then([](kx::test::ScriptedDialog& dialog) { dialog.Click(kx::kIdCancel); });

    kx::KXUserInfo info;
    std::strcpy(info.szSessionID, "stale");
    std::strcpy(info.szUserID, "stale");
    const int result = kx::RunLoginDialog(ports, &info, 0x77);

    KX_FUZZ_CHECK(Terminated(info.szUserName) && Terminated(info.szPassword) &&
                  Terminated(info.szUserID) && Terminated(info.szSessionID));
    kx::KeyValueStore reply;
    reply.Parse(body.c_str(), 1);
    std::string code;
    std::string user_id;
    const bool accepted = kx::IsSuccessStatus(status) && reply.Lookup("ERRORCODE", code) &&
                          code == "0" && reply.Lookup("USERID", user_id);
    std::string session_id;
    const bool fits = user_id.size() < kx::kUserTextSize &&
                      (!reply.Lookup("SESSIONID", session_id) || session_id.size() < kx::kUserTextSize);
    // Blank names and passwords are refused before anything is sent.
    if (accepted && fits && !user_name.empty() && !password.empty()) KX_FUZZ_CHECK(result == kx::LoginDialog::kLoggedIn);
    if (result == kx::LoginDialog::kLoggedIn) {
        KX_FUZZ_CHECK(accepted);
        KX_FUZZ_CHECK(info.bLoggedIn == 1);
        KX_FUZZ_CHECK(user_id == info.szUserID);
        KX_FUZZ_CHECK((reply.Lookup("SESSIONID", session_id) ? session_id : "stale") ==
                      std::string(info.szSessionID));
    } else {
        KX_FUZZ_CHECK(result == kx::LoginDialog::kCancelled);
        KX_FUZZ_CHECK(info.bLoggedIn == 0);
        KX_FUZZ_CHECK(std::strcmp(info.szUserID, "stale") == 0);
    }
    return 0;
}
