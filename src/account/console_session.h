#pragma once

// The console's session: who is logged in, which game the pages selected and
// the last play the service accepted. Every page navigation posts it.

#include <cstdint>
#include <string>
#include <string_view>

#include "account/user_info.h"

namespace kx {

struct ConsoleSession {
    explicit ConsoleSession(KXUserInfo& user_info) : user(user_info) {}

    // The player record the login dialog fills; shared with the rest of the console.
    KXUserInfo& user;
    std::string strGameName;
    std::string strClientID;
    std::int32_t bGameSelected = 0;
    std::int32_t nLastTournID = 0;
    std::int32_t nLastPlayID = 0;

    // Selects a game as the pages name it; the texts are not validated.
    void SelectGame(std::string_view game_name, std::string_view client_id);
    void ClearGame();
};

// The console-wide session, over TheUserInfo().
ConsoleSession& TheConsoleSession();

// The form data of a page navigation: the user, the selected game and the
// last tournament, each only when set, then the version report and `extra`
// as they are.
std::string BuildNavigationFormData(const ConsoleSession& session,
                                    std::string_view version_report, std::string_view extra);

}  // namespace kx
