// The round trip of a game-services call from a game client to the console,
// next to the plain round trip of one byte over a Unix socket pair measured
// in the same run: how much the bus and the console's dispatch add.
//
// Run under a session bus of its own: dbus-run-session -- kx_bench_game_calls [calls]

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "base/identities.h"
#include "base/ports.h"
#include "kestrix/game_services.h"
#include "base/key_value_store.h"
#include "platform/common/memory_registry.h"
#include "platform/linux/bus_game_services.h"
#include "platform/linux/bus_session.h"
#include "platform/linux/curl_inet_api.h"
#include "play/game_services.h"
#include "play/play_context.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Summary {
    double p50_us = 0;
    double p99_us = 0;
};

Summary Summarise(std::vector<double>& micros) {
    std::sort(micros.begin(), micros.end());
    auto at = [&](double share) {
        return micros[std::min(micros.size() - 1, static_cast<std::size_t>(share * static_cast<double>(micros.size())))];
    };
    return {at(0.50), at(0.99)};
}

// The console's side: a host with a granted play, served by Qt's loop until killed.
[[noreturn]] void ServeConsole(int ready_fd) {
    int argc = 1;
    char name[] = "kx_bench_console";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    kx::MemoryRegistry registry;
    kx::CurlInetApi inet{kx::CurlInetConfig{}};
    kx::Ports ports;
    ports.registry = &registry;
    ports.inet = &inet;
    kx::PlayContext play;
    kx::KeyValueStore reply;
    reply.Parse("ERRORCODE=0\r\nPLAYID=5000\r\nCLIENTID=3\r\nSEED=42\r\n", 1);
    play.StartPlay(reply, "12", "5000");
    const std::string game = "Word Maze";
    kx::BusSession bus;
    kx::BusGameServices host(bus, kx::GameServicesFactory(ports, play, game), [] {});
    kx::ClassCookie cookie = 0;
    if (kx::Failed(host.Initialize()) ||
        kx::Failed(host.RegisterClassObject(kx::kClsidKXCommServices, kx::ClassContext::LocalServer,
                                            kx::ClassUse::MultipleUse, &cookie))) {
        std::fprintf(stderr, "the console side could not serve the bus\n");
        std::_Exit(2);
    }
    const char ok = 1;
    if (::write(ready_fd, &ok, 1) != 1) std::_Exit(2);
    application.exec();
    std::_Exit(0);
}

Summary BusRoundTrips(int calls) {
    int ready[2];
    if (::pipe(ready) != 0) std::exit(2);
    const pid_t console = ::fork();
    if (console == 0) ServeConsole(ready[1]);
    char ok = 0;
    if (::read(ready[0], &ok, 1) != 1) std::exit(2);

    std::int32_t hr = 0;
    auto services = kestrix::KXCommServices::Create(&hr);
    if (!services || !kestrix::Succeeded(services->Initialize("Word Maze", 1.5))) {
        std::fprintf(stderr, "no services object (0x%08x)\n", static_cast<unsigned>(hr));
        ::kill(console, SIGKILL);
        std::exit(2);
    }
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(calls));
    std::string value;
    for (int i = 0; i < calls + calls / 10; ++i) {
        const auto start = Clock::now();
        services->GetGameDataItem("", "SEED", value);
        const auto took = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        if (i >= calls / 10) micros.push_back(took);  // the first tenth warms up
    }
    services.reset();
    ::kill(console, SIGTERM);
    ::waitpid(console, nullptr, 0);
    return Summarise(micros);
}

Summary SocketRoundTrips(int calls) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) std::exit(2);
    const pid_t echo = ::fork();
    if (echo == 0) {
        ::close(pair[0]);  // else the echo never sees the end
        char byte = 0;
        while (::read(pair[1], &byte, 1) == 1) {
            if (::write(pair[1], &byte, 1) != 1) break;
        }
        std::_Exit(0);
    }
    ::close(pair[1]);
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(calls));
    char byte = 'x';
    for (int i = 0; i < calls + calls / 10; ++i) {
        const auto start = Clock::now();
        if (::write(pair[0], &byte, 1) != 1 || ::read(pair[0], &byte, 1) != 1) break;
        const auto took = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        if (i >= calls / 10) micros.push_back(took);
    }
    ::close(pair[0]);
    ::waitpid(echo, nullptr, 0);
    return Summarise(micros);
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(100, std::atoi(argv[1])) : 20000;
    const Summary bus = BusRoundTrips(calls);
    const Summary raw = SocketRoundTrips(calls);
    std::printf("%d calls each (after a tenth more to warm up)\n", calls);
    std::printf("%-44s %10s %10s\n", "", "p50 (us)", "p99 (us)");
    std::printf("%-44s %10.1f %10.1f\n", "GetGameDataItem, game -> console over the bus", bus.p50_us,
                bus.p99_us);
    std::printf("%-44s %10.1f %10.1f\n", "one byte there and back over a socket pair", raw.p50_us,
                raw.p99_us);
    return 0;
}
