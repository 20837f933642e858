#pragma once

// The login dialog: the player logs in, logs in as a guest or opens the
// registration; a login the service accepts fills the player record and
// saves the player's settings.

#include <cstdint>
#include <string_view>

#include "account/user_info.h"
#include "base/dialog.h"
#include "base/ports.h"
#include "net/http_request_engine.h"
#include "base/key_value_store.h"
#include "base/trace_log.h"

namespace kx {

class LoginDialog final : public Dialog {
public:
    static constexpr int kLoggedIn = 1;
    static constexpr int kCancelled = 2;

    // Needs the registry, internet and window ports. `user_info` may be null;
    // the dialog then says so and ends with kCancelled.
    LoginDialog(Ports& ports, KXUserInfo* user_info, TraceLog& trace = TheTraceLog());

    void OnCommand(int id, int notification) override;

protected:
    void OnInit() override;
    void OnInetStatus(std::uint32_t status) override;
    void OnInetDone() override;
    void OnClose() override;

private:
    void OnEnter();
    void OnGuestLogin();
    void OnRegister();
    void OnCancel();

    void AcceptLogin();
    void SetInputsEnabled(Enablement enablement);
    void ShowMessage(std::string_view text, std::string_view caption);

    Ports& ports_;
    KXUserInfo* const user_info_;
    TraceLog& trace_;
    HttpRequestEngine engine_;
    KeyValueStore response_;
};

// Runs the login dialog over `owner`: LoginDialog::kLoggedIn when the
// service accepted a login, otherwise LoginDialog::kCancelled.
int RunLoginDialog(Ports& ports, KXUserInfo* user_info, WindowId owner,
                   TraceLog& trace = TheTraceLog());

}  // namespace kx
