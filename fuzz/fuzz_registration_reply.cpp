// The registration dialog end to end over in-memory ports: whatever the
// player types and chooses, and the service's reply to the new account.
//
// Input, NUL-separated: HTTP status, reply body, the typed user name,
// password, confirmation, email, first name, last name, address, second
// address line, city, other state and zip, then the chosen state, country
// and "heard about" items by index.
//
// Implements:
//  - the request is sent only for a form that passes the checks, and its
//    body reads back to exactly the fields as read from the form;
//  - the debugger output never shows the password's value;
//  - an account counts as created only on ERRORCODE 0, and the player
//    record then holds the new name and password, terminated.

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "account/registration_checks.h"
#include "account/registration_dialog.h"
#include "account/registration_lists.h"
#include "account/user_info.h"
#include "base/dialog_messages.h"
#include "base/key_value_store.h"
#include "fuzz_input.h"
#include "net/reply.h"
#include "platform/common/memory_registry.h"
#include "platform/debug_output.h"
#include "resources/registration_template.h"
#include "support/fake_clock.h"
#include "support/scripted_inet_api.h"
#include "support/scripted_window_system.h"

namespace {

namespace rc = kx::registration_control;
using namespace std::chrono_literals;
using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string& DebugText() {
    static std::string text;
    return text;
}

void CaptureDebug(std::string_view text) { DebugText() += text; }

template <std::size_t N>
bool Terminated(const char (&field)[N]) {
    return std::memchr(field, '\0', N) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto fields = kx::fuzz::Fields(kx::fuzz::AsText(data, size), '\0');
    auto field = [&](std::size_t i) { return i < fields.size() ? std::string(fields[i]) : std::string(); };

    kx::SetDebugOutputSink(CaptureDebug);
    DebugText().clear();
    kx::TheUserInfo() = kx::KXUserInfo{};

    kx::MemoryRegistry registry;
    kx::test::ScriptedInetApi inet;
    kx::test::ScriptedWindowSystem windows;
    windows.SetIdleTimeout(2s);
    kx::test::FakeClock clock;
    kx::Ports ports{&registry, &inet, &windows, &clock};

    const auto status = static_cast<std::uint32_t>(kx::fuzz::FuzzNumber(field(0), 0xFFFFFFFF, 200));
    const std::string body = field(1);
    inet.SetReply({status, std::nullopt, body, 0});

    const int typed[] = {rc::kUserName, rc::kPassword, rc::kConfirmPassword, rc::kEmail,
                         rc::kFirstName, rc::kLastName, rc::kAddress, rc::kAddress2,
                         rc::kCity, rc::kOtherState, rc::kZip};
    const int chosen[] = {rc::kState, rc::kCountry, rc::kHearAbout};
    windows.Then([&](kx::test::ScriptedDialog& dialog) {
        for (std::size_t i = 0; i < std::size(typed); ++i) dialog.Type(typed[i], field(2 + i));
        for (std::size_t i = 0; i < std::size(chosen); ++i) {
            const std::string index = field(2 + std::size(typed) + i);
            if (!index.empty()) {
                dialog.Choose(chosen[i], static_cast<int>(kx::fuzz::FuzzNumber(index, 1000)));
            }
        }
        dialog.Click(kx::kIdOk);
        if (!dialog.Enabled(kx::kIdOk)) dialog.DeliverUntil(kx::WM_INET_DONE, 10s);
    });
    windows.Then([](kx::test::ScriptedDialog& dialog) { dialog.Click(kx::kIdCancel); });

    kx::RegistrationDialog dialog(ports);
    const int result = dialog.RunModal(windows, 0x77);
    kx::SetDebugOutputSink(nullptr);

    const auto sends = inet.Log().sends;
    KX_FUZZ_CHECK(sends.size() <= 1);
    if (!sends.empty()) {
        Pairs pairs;
        KX_FUZZ_CHECK(kx::fuzz::DecodeFormPairs(sends[0].body, &pairs));
        KX_FUZZ_CHECK(pairs.size() == 14 && pairs[0] == Pairs::value_type("COMMAND", "CREATEACCOUNT"));
        kx::RegistrationForm form;
        std::string* const slots[] = {&form.user_name, &form.password, &form.email,
                                      &form.first_name, &form.last_name, &form.city,
                                      &form.state, &form.zip, &form.address, &form.address2,
                                      &form.country, &form.other_state, &form.about};
        for (std::size_t i = 0; i < std::size(slots); ++i) *slots[i] = pairs[i + 1].second;
        form.confirm_password = form.password;
        KX_FUZZ_CHECK(!kx::CheckRegistrationForm(form));

        // What reached the debugger output: the URL, "?" and the masked body.
        const std::size_t query = DebugText().find('?');
        KX_FUZZ_CHECK(query != std::string::npos);
        Pairs shown;
        KX_FUZZ_CHECK(kx::fuzz::DecodeFormPairs(std::string_view(DebugText()).substr(query + 1), &shown) ||
                      DebugText().find("PASSWORD=********") != std::string::npos);
        for (const auto& [key, value] : shown) {
            if (key == "PASSWORD") KX_FUZZ_CHECK(value == "********");
        }
    }

    kx::KeyValueStore reply;
    reply.Parse(body.c_str(), 1);
    std::string code;
    const bool accepted = !sends.empty() && kx::IsSuccessStatus(status) &&
                          reply.Lookup("ERRORCODE", code) && code == "0";
    const kx::KXUserInfo& info = kx::TheUserInfo();
    KX_FUZZ_CHECK(Terminated(info.szUserName) && Terminated(info.szPassword));
    if (result == kx::RegistrationDialog::kAccountCreated) {
        KX_FUZZ_CHECK(accepted);
        Pairs pairs;
        kx::fuzz::DecodeFormPairs(sends[0].body, &pairs);
        KX_FUZZ_CHECK(pairs[1].second.substr(0, kx::kUserTextSize - 1) == info.szUserName);
        KX_FUZZ_CHECK(pairs[2].second.substr(0, kx::kUserTextSize - 1) == info.szPassword);
    } else {
        KX_FUZZ_CHECK(!accepted);
        KX_FUZZ_CHECK(info.szUserName[0] == '\0');
    }
    return 0;
}
