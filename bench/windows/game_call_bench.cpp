// Game calls on Windows, measured under Wine or on Windows:
//  - the round trip of one game-services call from a game client's process
//    to the console's (COM through the registered proxy/stub), against a raw
//    named-pipe round trip of 4 bytes between the same two processes;
//  - with a game program given, the console side's processor time while that
//    game plays by itself, its calls served in the play's UI wait.
// The console side here is this program: it registers the proxy/stub found
// beside it and a class object of the console's services objects over a
// double that answers every call at once, and removes both at the end.
//
// Usage: kx_bench_game_calls.exe [calls] [game.exe seconds]
//        (default 2000 calls; no game). It needs kx_proxy_stub.dll beside it.

#include <windows.h>

#include "processor_time.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "base/identities.h"
#include "kestrix/game_services.h"
#include "platform/win32/win_com_server.h"
#include "platform/win32/win_dll_registration.h"
#include "platform/win32/win_processes.h"
#include "platform/win32/win_services_object.h"

namespace {

constexpr const char* kPipe = "\\\\.\\pipe\\kx-bench-game-calls";

std::string Beside(const char* file) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string own(path);
    return own.substr(0, own.find_last_of('\\') + 1) + file;
}

using kx::bench::ProcessorSeconds;

// The game's time limit, the seconds the automatic game is to take.
std::u16string g_time_limit = u"7";

// Answers at once, with values a game can read as numbers.
struct QuickServer final : kx::GameServer {
    kx::HResult Initialize(std::u16string_view, double) override { return 0; }
    kx::HResult GetGameInfo(kx::KXTOURINFOSTRUCT* ti) override {
        ti->dwTournID = 12;
        return 0;
    }
    kx::HResult GetGameDataItem(std::u16string_view, std::u16string_view item, char16_t* value,
                                std::uint32_t size) override {
        const std::u16string answer = item == u"TIMELIMIT" ? g_time_limit : u"7";
        if (value == nullptr || size <= answer.size()) return kestrix::kKX_E_BUFFERTOOSMALL;
        std::copy(answer.begin(), answer.end(), value);
        value[answer.size()] = u'\0';
        return 0;
    }
    kx::HResult RefreshGameData() override { return 0; }
    kx::HResult SaveUrlToFile(std::u16string_view, std::u16string_view) override { return 0; }
    kx::HResult SendFileToServer(std::u16string_view, std::int32_t) override { return 0; }
    kx::HResult GetCommandStatus() override { return 0; }
    kx::HResult CancelCommand() override { return 0; }
    kx::HResult SetGameDataItem(std::u16string_view, std::u16string_view) override { return 0; }
    kx::HResult EndGame(std::uint32_t) override { return 0; }
};

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The game client's side: the calls, then the pipe, each timed one by one.
int Client(int calls) {
    std::int32_t hr = 0;
    std::optional<kestrix::KXCommServices> services = kestrix::KXCommServices::Create(&hr);
    if (!services) {
        std::fprintf(stderr, "client: no console (%s)\n", kestrix::ResultName(hr).c_str());
        return 1;
    }
    std::vector<double> call_us;
    for (int i = 0; i < calls; ++i) {
        const auto start = std::chrono::steady_clock::now();
        services->GetCommandStatus();
        call_us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    HANDLE pipe = CreateFileA(kPipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 1;
    std::vector<double> pipe_us;
    for (int i = 0; i < calls; ++i) {
        char bytes[4] = {1, 2, 3, 4};
        DWORD count = 0;
        const auto start = std::chrono::steady_clock::now();
        WriteFile(pipe, bytes, sizeof bytes, &count, nullptr);
        ReadFile(pipe, bytes, sizeof bytes, &count, nullptr);
        pipe_us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    CloseHandle(pipe);
    std::printf("game-services call round trip: median %.1f us over %d calls\n", Median(call_us), calls);
    std::printf("named-pipe round trip (4 bytes): median %.1f us over %d\n", Median(pipe_us), calls);
    std::printf("ratio call/pipe: %.2f\n", Median(call_us) / std::max(Median(pipe_us), 0.001));
    return 0;
}

// Echoes each 4 bytes back, as the plainest peer a call could have.
void EchoPipe() {
    HANDLE pipe = CreateNamedPipeA(kPipe, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 64, 64,
                                   0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return;
    if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
        char bytes[4];
        DWORD count = 0;
        while (ReadFile(pipe, bytes, sizeof bytes, &count, nullptr) && count > 0) {
            WriteFile(pipe, bytes, count, &count, nullptr);
        }
    }
    CloseHandle(pipe);
}

// Runs `program` with `line` and serves its calls until it ends; the
// processor time this process spent meanwhile.
double Serve(kx::WinProcesses& processes, const std::string& program) {
    kx::ProcessHandle process = 0;
    std::uint32_t error = 0;
    if (!processes.Start(kx::StartPriority::Default, program, "", &process, &error)) {
        std::fprintf(stderr, "cannot start %s (%u)\n", program.c_str(), error);
        return -1;
    }
    const double before = ProcessorSeconds();
    while (processes.WaitServingEvents(process) == kx::ProcessState::Running) {
    }
    const double spent = ProcessorSeconds() - before;
    processes.Close(process);
    return spent;
}

}  // namespace

int main(int argc, char** argv) {
    // The client is this program again, told so by the environment, as the
    // process port starts programs without a command line.
    if (const char* client = std::getenv("KX_BENCH_CLIENT_CALLS")) return Client(std::atoi(client));
    const int calls = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;

    kx::WinDllRegistration dlls;
    const std::string proxy_stub = Beside("kx_proxy_stub.dll");
    if (dlls.RegisterServer(proxy_stub) != 0) {
        std::fprintf(stderr, "cannot register %s\n", proxy_stub.c_str());
        return 1;
    }
    kx::WinComServer com([](const kx::Guid&, REFIID iid, void** object) -> HRESULT {
        return kx::WinServicesObject::Create(std::make_unique<QuickServer>(), {}, iid, object);
    });
    com.Initialize();
    kx::ClassCookie cookie = 0;
    com.RegisterClassObject(kx::kClsidKXCommServices, kx::ClassContext::LocalServer,
                            kx::ClassUse::MultipleUse, &cookie);

    kx::WinProcesses processes;
    std::thread echo(EchoPipe);
    char own[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, own, sizeof own);
    SetEnvironmentVariableA("KX_BENCH_CLIENT_CALLS", std::to_string(calls).c_str());
    Serve(processes, own);
    SetEnvironmentVariableA("KX_BENCH_CLIENT_CALLS", nullptr);
    echo.join();

    if (argc > 3) {
        const int seconds = std::atoi(argv[3]);
        const std::string limit = std::to_string(seconds);
        g_time_limit.assign(limit.begin(), limit.end());
        SetEnvironmentVariableA("KX_WORDMAZE_AUTO_SCORE", "1000");
        SetEnvironmentVariableA("KX_WORDMAZE_AUTO_SECONDS", std::to_string(seconds).c_str());
        const auto start = std::chrono::steady_clock::now();
        const double spent = Serve(processes, argv[2]);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("console side over a %.1f s automatic game: %.3f s of processor, %.2f %% of a core\n",
                    wall, spent, 100.0 * spent / std::max(wall, 0.001));
    }

    com.RevokeClassObject(cookie);
    com.Uninitialize();
    dlls.UnregisterServer(proxy_stub);
    return 0;
}
