#pragma once

// The registration dialog: the player agrees to the terms and fills in the
// form; an account the service creates becomes the console-wide player
// record's user name and remembered password, saved at once.

#include <cstdint>
#include <string>
#include <string_view>

#include "account/registration_checks.h"
#include "base/dialog.h"
#include "base/ports.h"
#include "net/http_request_engine.h"
#include "base/key_value_store.h"

namespace kx {

class RegistrationDialog final : public Dialog {
public:
    static constexpr int kCancelled = 0;
    static constexpr int kAccountCreated = 1;
    static constexpr int kNoInternet = 2;

    // Needs the registry and internet ports.
    explicit RegistrationDialog(Ports& ports);

    void OnCommand(int id, int notification) override;

protected:
    void OnInit() override;
    void OnInetStatus(std::uint32_t status) override;
    void OnInetDone() override;
    void OnClose() override;

private:
    void OnAgree();
    void OnCancel();

    RegistrationForm ReadForm();
    std::string SelectedItemText(int id);
    void FillLists();
    void AcceptAccount();
    void SetInputsEnabled(Enablement enablement);
    void ShowMessage(std::string_view text, std::string_view caption);

    Ports& ports_;
    HttpRequestEngine engine_;
    KeyValueStore response_;
    // As read when I Agree was pressed: what the new account is saved as.
    std::string new_user_name_;
    std::string new_password_;
};

}  // namespace kx
