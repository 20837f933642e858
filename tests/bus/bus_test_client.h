#pragma once

// A game client's side of the bus for the tests: its own connection, whose
// calls block on a worker thread while the test's thread keeps serving the
// host in Qt's event loop, as the console's UI thread does.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/hresult.h"
#include "platform/linux/bus_connection.h"

namespace kx::test {

// How the test's thread serves while a call is out.
enum class UiWait {
    EventLoop,    // a local event loop
    NestedLoop,   // a loop started inside a handler of another loop (a modal dialog)
    GameWait,     // the console's wait for a game process
};

// Runs `work` on another thread; the calling thread serves Qt events until it ends.
void WhileServing(const std::function<void()>& work, UiWait wait = UiWait::EventLoop);

using Appender = std::function<int(sd_bus_message*)>;

struct BusReply {
    int result = 0;       // sd_bus_call's result: negative on an error reply
    std::string error;    // the error's name
    BusMessage message;   // the reply, on success

    // The leading "i" of the reply; 0x7fffffff when there is none.
    HResult Hr() const;
};

class BusClient {
public:
    BusClient();

    BusReply Call(const std::string& path, const char* interface, const char* member,
                  const Appender& append = {}, UiWait wait = UiWait::EventLoop);
    // A method of the services interface answering only "hr".
    HResult CallHr(const std::string& path, const char* member, const Appender& append = {});

    // The factory's answer: a services object's path, or "" on an error.
    std::string CreateInstance();

    std::string UniqueName() const;
    // Where calls go: the console's well-known name unless set to a unique one.
    void SetDestination(std::string destination) { destination_ = std::move(destination); }
    // The unique name that owns `name` now, or "".
    std::string NameOwner(const char* name);
    // Drops the connection, as a game client that ends does.
    void Close() { bus_.reset(); }

private:
    BusPtr bus_;
    std::string destination_ = "com.kestrix.Console";
};

// The services object at `path` answers no more (its calls fail with
// UnknownObject) within a few seconds.
bool ObjectGoes(BusClient& client, const std::string& path);

}  // namespace kx::test
