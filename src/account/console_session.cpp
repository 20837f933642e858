#include "account/console_session.h"

#include "base/form_encoding.h"

namespace kx {

namespace {

void AppendPiece(std::string& form_data, std::string_view piece) {
    if (!form_data.empty()) form_data += '&';
    form_data += piece;
}

}  // namespace

void ConsoleSession::SelectGame(std::string_view game_name, std::string_view client_id) {
    strClientID = std::string(client_id);
    strGameName = std::string(game_name);
    bGameSelected = 1;
}

void ConsoleSession::ClearGame() {
    strClientID.clear();
    strGameName.clear();
    bGameSelected = 0;
}

ConsoleSession& TheConsoleSession() {
    static ConsoleSession session(TheUserInfo());
    return session;
}

std::string BuildNavigationFormData(const ConsoleSession& session,
                                    std::string_view version_report, std::string_view extra) {
    std::string form_data;
    if (session.user.bLoggedIn) {
        AppendPiece(form_data, "USERNAME=" + FormEncode(FieldText(session.user.szUserName)) +
                                   "&USERID=" + FormEncode(FieldText(session.user.szUserID)));
    }
    if (session.bGameSelected) {
        AppendPiece(form_data, "GAMENAME=" + FormEncode(session.strGameName) +
                                   "&CLIENTID=" + FormEncode(session.strClientID));
    }
    if (session.nLastTournID != 0) {
        AppendPiece(form_data,
                    "LASTTOURNID=" + FormEncode(std::to_string(session.nLastTournID)));
    }
    if (!version_report.empty()) AppendPiece(form_data, version_report);
    if (!extra.empty()) AppendPiece(form_data, extra);
    return form_data;
}

}  // namespace kx
