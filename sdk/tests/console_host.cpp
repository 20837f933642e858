// The console's own game services on the test's private session bus, with a
// play of Word Maze granted, for clients written in other languages:
//
//   kx_sdk_console_host [--expect-score N] [--expect-item NAME=VALUE]... -- CLIENT ARGS...
//
// serves the bus from Qt's event loop as the console does, runs the client,
// and exits with the client's status; when the client succeeded, with 1 if
// the play did not end as expected on the console's side.

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/identities.h"
#include "base/key_value_store.h"
#include "base/ports.h"
#include "platform/hresult.h"
#include "platform/linux/bus_game_services.h"
#include "platform/linux/bus_session.h"
#include "play/game_services.h"
#include "play/play_context.h"
#include "support/scripted_inet_api.h"

namespace {

// What the demo service's STARTTOUR reply carries for a Word Maze play,
// plus a text outside ASCII (0x80 is the code page's euro sign).
constexpr const char* kStartReply =
    "ERRORCODE=0\r\nPLAYID=4711\r\nCLIENTID=9\r\nTOURNID=12\r\nGAMENAME=Word Maze\r\n"
    "SEED=20240917\r\nLEVEL=2\r\nTIMELIMIT=30\r\nMOTTO=Gr\x80n\r\n";

struct Expectations {
    std::optional<unsigned long> score;
    std::vector<std::pair<std::string, std::string>> items;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: kx_sdk_console_host [--expect-score N] [--expect-item NAME=VALUE]... "
                 "-- CLIENT ARGS...\n");
    return 2;
}

// The console's side of the play: what the client left in it.
bool PlayEndedAsExpected(const kx::PlayContext& play, const Expectations& expected) {
    bool ok = true;
    if (expected.score) {
        if (play.scoreReceived == 0) {
            std::fprintf(stderr, "console: no score was received\n");
            ok = false;
        } else if (play.score != *expected.score) {
            std::fprintf(stderr, "console: score %u, expected %lu\n", play.score, *expected.score);
            ok = false;
        }
    }
    for (const auto& [name, value] : expected.items) {
        std::string stored;
        if (!play.gameData.Lookup(name, stored)) {
            std::fprintf(stderr, "console: item %s was not set\n", name.c_str());
            ok = false;
        } else if (stored != value) {
            std::fprintf(stderr, "console: item %s is \"%s\", expected \"%s\"\n", name.c_str(),
                         stored.c_str(), value.c_str());
            ok = false;
        }
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    Expectations expected;
    int first_client_arg = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            first_client_arg = i + 1;
            break;
        }
        if (arg == "--expect-score" && i + 1 < argc) {
            expected.score = std::strtoul(argv[++i], nullptr, 10);
        } else if (arg == "--expect-item" && i + 1 < argc) {
            const std::string item = argv[++i];
            const auto equals = item.find('=');
            if (equals == std::string::npos) return Usage();
            expected.items.emplace_back(item.substr(0, equals), item.substr(equals + 1));
        } else {
            return Usage();
        }
    }
    if (first_client_arg < 0 || first_client_arg >= argc) return Usage();

    QCoreApplication application(argc, argv);

    kx::test::ScriptedInetApi inet;
    kx::Ports ports;
    ports.inet = &inet;
    kx::PlayContext play;
    kx::KeyValueStore reply;
    reply.Parse(kStartReply, 1);
    play.StartPlay(reply, "12", "4711");
    const std::string game_name = "Word Maze";

    kx::BusSession bus;
    kx::BusGameServices host(bus, kx::GameServicesFactory(ports, play, game_name), [] {});
    if (host.Initialize() != kx::kS_OK) {
        std::fprintf(stderr, "console: no session bus\n");
        return 2;
    }
    kx::ClassCookie cookie = 0;
    if (host.RegisterClassObject(kx::kClsidKXCommServices, kx::ClassContext::LocalServer,
                                 kx::ClassUse::MultipleUse, &cookie) != kx::kS_OK) {
        std::fprintf(stderr, "console: the bus name is taken\n");
        return 2;
    }

    // The name is owned before the client starts, so its first call finds it.
    QProcess client;
    client.setProcessChannelMode(QProcess::ForwardedChannels);
    client.setInputChannelMode(QProcess::ForwardedInputChannel);
    QStringList client_args;
    for (int i = first_client_arg + 1; i < argc; ++i) {
        client_args << QString::fromLocal8Bit(argv[i]);
    }

    int status = 2;
    QObject::connect(&client, &QProcess::finished, &application,
                     [&](int exit_code, QProcess::ExitStatus exit_status) {
                         status = exit_status == QProcess::NormalExit ? exit_code : 2;
                         application.quit();
                     });
    QObject::connect(&client, &QProcess::errorOccurred, &application,
                     [&](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         std::fprintf(stderr, "console: the client could not be started\n");
                         application.quit();
                     });
    QTimer::singleShot(0, &application, [&] {
        client.start(QString::fromLocal8Bit(argv[first_client_arg]), client_args);
    });
    application.exec();

    host.RevokeClassObject(cookie);
    host.Uninitialize();
    if (status != 0) return status;
    return PlayEndedAsExpected(play, expected) ? 0 : 1;
}
