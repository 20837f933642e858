#pragma once

// A stand-in for the console on the session bus, for the SDK's tests.
//
// Implements:
//  - the bus name com.kestrix.Console with the factory and the services
//    objects of the bus contract, served by sd-bus on a thread of its own;
//  - a log of every call with its arguments as text, in arrival order;
//  - scripted answers: result codes per method (a sequence, the last one
//    sticking), data items, the tournament record's bytes, replies of the
//    wrong shape, and calls left unanswered;
//  - vanishing: the connection closes as a crashing console's would.

#include <chrono>
#include <condition_variable>
#include <future>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <systemd/sd-bus.h>

namespace kxtest {

struct LoggedCall {
    std::string member;
    // The arguments as text, joined with "|"; a double as printf's "%g".
    std::string args;
    std::string path;
};

class FakeConsole {
public:
    // Serves once this returns; throws when the bus name cannot be taken.
    FakeConsole();
    FakeConsole(const FakeConsole&) = delete;
    FakeConsole& operator=(const FakeConsole&) = delete;
    ~FakeConsole();

    void SetResults(const std::string& member, std::vector<std::int32_t> results);
    void SetItem(const std::string& name, const std::string& value);
    // The record GetGameInfo answers with; by default the caller's own bytes.
    void SetInfoReply(std::vector<std::uint8_t> bytes);
    // Answers `member` with a text where a result code belongs.
    void ReplyMalformed(const std::string& member);
    // Leaves `member`'s calls unanswered.
    void Hang(const std::string& member);

    // Closes the connection from under its clients.
    void Vanish();

    std::vector<LoggedCall> Calls() const;
    std::vector<std::string> Members() const;
    std::vector<std::uint8_t> LastInfoSent() const;
    // Waits until `count` calls of `member` have arrived.
    bool WaitFor(const std::string& member, std::chrono::milliseconds timeout,
                 std::size_t count = 1) const;

private:
    static int OnMessage(sd_bus_message* message, void* userdata, sd_bus_error* error);
    int Handle(sd_bus_message* message);
    int Answer(sd_bus_message* message, const std::string& member, const std::string& path);
    std::int32_t NextResult(const std::string& member);
    void Serve(std::promise<void>* ready);
    void Stop();

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<LoggedCall> calls_;
    std::map<std::string, std::vector<std::int32_t>> results_;
    std::map<std::string, std::string> items_;
    std::optional<std::vector<std::uint8_t>> infoReply_;
    std::vector<std::uint8_t> lastInfo_;
    std::set<std::string> malformed_;
    std::set<std::string> hung_;
    std::vector<sd_bus_message*> held_;
    int nextObject_ = 1;

    bool stop_ = false;
    std::thread thread_;
};

}  // namespace kxtest
