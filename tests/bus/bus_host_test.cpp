// The host's life on the bus: the name's single owner, the services objects'
// owners and ends, the second start, the UI thread's waits and what a
// misbehaving client may send.

#include <time.h>

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <functional>
#include <latch>
#include <memory>
#include <string>
#include <thread>

#include "bus_host_fixture.h"

namespace kx::test {
namespace {

constexpr const char* kE_ACCESSDENIED = "org.freedesktop.DBus.Error.AccessDenied";
constexpr const char* kUnknownObject = "org.freedesktop.DBus.Error.UnknownObject";
constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";

// Another console's start runs in its own process; a thread of its own with
// its own connection stands in for it, so this thread can serve the first.
void AsAnotherProcess(const std::function<void()>& body) {
    std::unique_ptr<QThread> thread(QThread::create(body));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();
    thread->wait();
}

TEST_F(BusHostTest, AnObjectGoesWithItsReleaseOrItsClient) {
    struct Case {
        const char* name;
        std::function<void(BusClient&, const std::string&)> end;
    };
    const Case cases[] = {
        {"Release", [](BusClient& c, const std::string& path) {
             EXPECT_GE(c.Call(path, kServer, "Release").result, 0);
         }},
        {"connection dropped", [](BusClient& c, const std::string&) { c.Close(); }},
    };
    BusClient observer;
    for (const Case& c : cases) {
        BusClient client;
        const std::string path = client.CreateInstance();
        ASSERT_FALSE(path.empty()) << c.name;
        ASSERT_EQ(host_.ObjectCount(), 1u) << c.name;
        c.end(client, path);
        EXPECT_TRUE(ObjectGoes(observer, path)) << c.name;
        EXPECT_EQ(host_.ObjectCount(), 0u) << c.name;
    }
}

TEST_F(BusHostTest, OnlyTheCreatorMayCallItsObject) {
    BusClient owner;
    BusClient intruder;
    const std::string path = InitializedObject(owner);
    for (const char* member : {"GetCommandStatus", "Release"}) {
        EXPECT_EQ(intruder.Call(path, kServer, member).error, kE_ACCESSDENIED) << member;
    }
    EXPECT_EQ(intruder.Call(path, kServer, "EndGame", Args("u", 5u)).error, kE_ACCESSDENIED);
    EXPECT_EQ(play_.scoreReceived, 0);
    EXPECT_EQ(owner.CallHr(path, "GetCommandStatus"), kS_OK);
}

TEST_F(BusHostTest, TheConsoleNameHasOneOwner) {
    BusSession second_bus;
    BusGameServices second(second_bus, GameServicesFactory(ports_, play_, game_name_), [] {});
    ASSERT_EQ(second.Initialize(), kS_OK);
    ClassCookie cookie = 0;
    EXPECT_EQ(second.RegisterClassObject(kClsidKXCommServices, ClassContext::LocalServer,
                                         ClassUse::MultipleUse, &cookie),
              kE_FAIL);
    EXPECT_EQ(second.RegisterClassObject(kIidIKXServer, ClassContext::LocalServer,
                                         ClassUse::MultipleUse, &cookie),
              kREGDB_E_CLASSNOTREG);

    // A revoked registration frees the name, while the objects already made keep serving.
    BusClient client;
    const std::string first_console = client.NameOwner("com.kestrix.Console");
    const std::string path = InitializedObject(client);
    ASSERT_EQ(host_.RevokeClassObject(cookie_), kS_OK);
    EXPECT_EQ(client.NameOwner("com.kestrix.Console"), "");
    ASSERT_EQ(second.RegisterClassObject(kClsidKXCommServices, ClassContext::LocalServer,
                                         ClassUse::MultipleUse, &cookie),
              kS_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_FALSE(client.CreateInstance().empty());
    EXPECT_EQ(second.ObjectCount(), 1u);
    client.SetDestination(first_console);
    EXPECT_EQ(client.CallHr(path, "GetCommandStatus"), kS_OK);

    EXPECT_EQ(second.RevokeClassObject(cookie), kS_OK);
    second.Uninitialize();
}

TEST_F(BusHostTest, ObjectsEndWithTheConsole) {
    BusClient client;
    const std::string path = InitializedObject(client);
    const std::string console = client.NameOwner("com.kestrix.Console");
    host_.RevokeClassObject(cookie_);
    host_.Uninitialize();
    EXPECT_EQ(host_.ObjectCount(), 0u);
    client.SetDestination(console);
    EXPECT_LT(client.Call(path, kServer, "GetCommandStatus").result, 0);
}

TEST_F(BusHostTest, ASecondStartFindsTheConsoleAndBringsItForward) {
    WindowId found = kNoWindow;
    WindowId other_title = 1;
    AsAnotherProcess([&] {
        // Before any Initialize, as the entry function asks.
        BusSession other_bus;
        BusSingleInstance second(other_bus);
        other_title = second.FindWindowByTitle("Kestrix");
        found = second.FindWindowByTitle(kConsoleWindowTitle);
        second.SetForegroundWindow(found);
    });
    EXPECT_EQ(other_title, kNoWindow);
    EXPECT_NE(found, kNoWindow);
    EXPECT_EQ(activations_, 1);
    // The console never finds itself.
    EXPECT_EQ(instance_.FindWindowByTitle(kConsoleWindowTitle), kNoWindow);

    host_.RevokeClassObject(cookie_);
    AsAnotherProcess([&] {
        BusSession other_bus;
        BusSingleInstance second(other_bus);
        found = second.FindWindowByTitle(kConsoleWindowTitle);
        second.SetForegroundWindow(found);
    });
    EXPECT_EQ(found, kNoWindow);
    EXPECT_EQ(activations_, 1);
}

TEST_F(BusHostTest, OfTwoConsolesStartedAtOnceExactlyOneFindsTheOther) {
    host_.RevokeClassObject(cookie_);
    host_.Uninitialize();
    constexpr int kRounds = 40;
    for (int round = 0; round < kRounds; ++round) {
        std::latch start(2);
        std::latch checked(2);
        WindowId found[2] = {kNoWindow, kNoWindow};
        auto console = [&](int n) {
            BusSession bus;
            BusSingleInstance instance(bus);
            start.arrive_and_wait();
            found[n] = instance.FindWindowByTitle(kConsoleWindowTitle);
            // Both answers are in before either connection, and its name, goes.
            checked.arrive_and_wait();
        };
        std::thread first(console, 0);
        std::thread second(console, 1);
        first.join();
        second.join();
        EXPECT_EQ((found[0] == kNoWindow) + (found[1] == kNoWindow), 1) << "round " << round;
    }
    // Left free by the last round's consoles.
    BusClient client;
    EXPECT_EQ(client.NameOwner("com.kestrix.Console"), "");
}

TEST_F(BusHostTest, CallsAreServedInEveryWaitOfTheUiThread) {
    StartPlay();
    for (const UiWait wait : {UiWait::EventLoop, UiWait::NestedLoop, UiWait::GameWait}) {
        const int n = static_cast<int>(wait);
        BusClient client;
        const BusReply created =
            client.Call("/com/kestrix/Console", "com.kestrix.Console.Factory", "CreateInstance",
                        {}, wait);
        const char* path = nullptr;
        ASSERT_GE(sd_bus_message_read(created.message.get(), "o", &path), 0) << n;
        const std::string object = path;
        EXPECT_EQ(client.Call(object, kServer, "Initialize", Args("sd", "Checkers", 1.0), wait).Hr(),
                  kS_OK)
            << n;
        EXPECT_EQ(client.Call(object, kServer, "GetGameDataItem", Args("ssu", "", "WORD", 16u), wait)
                      .Hr(),
                  kS_OK)
            << n;
        EXPECT_GE(client.Call(object, kServer, "Release", {}, wait).result, 0) << n;
        EXPECT_EQ(host_.ObjectCount(), 0u) << n;
    }
}

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

TEST_F(BusHostTest, AnIdleHostSleeps) {
    BusClient client;
    const std::string path = InitializedObject(client);
    const double before = ProcessCpuSeconds();
    QEventLoop idle;
    QTimer::singleShot(500, &idle, &QEventLoop::quit);
    idle.exec();
    // A loop that spins on the connection would use the whole half second.
    EXPECT_LT(ProcessCpuSeconds() - before, 0.1);
    EXPECT_EQ(client.CallHr(path, "GetCommandStatus"), kS_OK);
}

TEST_F(BusHostTest, MalformedCallsAreAnsweredAndNeverTakeTheConsoleDown) {
    BusClient client;
    const std::string path = InitializedObject(client);
    const std::string huge(4 * 1024 * 1024, 'x');
    const std::string services = "/com/kestrix/Console/KXCommServices/";
    struct Case {
        const char* name;
        std::string path;
        const char* member;
        Appender args;
        const char* error;  // nullptr: the call succeeds with `hr`
        HResult hr;
    };
    const Case cases[] = {
        {"too few arguments", path, "Initialize", Args("s", "Checkers"), kInvalidArgs, 0},
        {"wrong types", path, "GetGameInfo", Args("s", "x"), kInvalidArgs, 0},
        {"missing size", path, "GetGameDataItem", Args("ss", "", "WORD"), kInvalidArgs, 0},
        {"extra argument", path, "EndGame", Args("uu", 1u, 2u), kInvalidArgs, 0},
        {"no such method", path, "Destroy", {}, "org.freedesktop.DBus.Error.UnknownMethod", 0},
        {"no such object", services + "999", "GetCommandStatus", {}, kUnknownObject, 0},
        {"not a number", services + "abc", "GetCommandStatus", {}, kUnknownObject, 0},
        {"below an object", path + "/1", "GetCommandStatus", {}, kUnknownObject, 0},
        {"huge name", path, "Initialize", Args("sd", huge.c_str(), 1.0), nullptr, kKX_E_REFUSED},
        {"huge item", path, "GetGameDataItem", Args("ssu", huge.c_str(), huge.c_str(), 8u), nullptr,
         kKX_E_NOSUCHITEM},
        {"huge data", path, "SetGameDataItem", Args("ss", huge.c_str(), huge.c_str()), nullptr,
         kS_OK},
    };
    for (const Case& c : cases) {
        const BusReply reply = client.Call(c.path, kServer, c.member, c.args);
        if (c.error != nullptr) {
            EXPECT_EQ(reply.error, c.error) << c.name;
        } else {
            EXPECT_EQ(reply.Hr(), c.hr) << c.name;
        }
    }
    EXPECT_EQ(client.Call("/com/kestrix/Console", "com.kestrix.Console.Factory", "CreateInstance",
                          Args("s", "x"))
                  .error,
              kInvalidArgs);
    EXPECT_EQ(client.CallHr(path, "GetCommandStatus"), kS_OK);
}

}  // namespace
}  // namespace kx::test
