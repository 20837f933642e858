#include "fake_console.h"

#include "kestrix/game_contract.h"

#include <systemd/sd-bus.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace kxtest {

namespace {

using kestrix::kBusName;
using kestrix::kBusRootPath;
using kestrix::kBusServerInterface;
// The prefix without its last slash, as sd-bus wants a fallback path.
const std::string kObjectPrefix = [] {
    std::string prefix = kestrix::kBusServicesPathPrefix;
    prefix.pop_back();
    return prefix;
}();
constexpr std::uint64_t kWaitUsec = 20'000;
constexpr int kNameAttempts = 200;

std::string ReadText(sd_bus_message* message) {
    const char* text = nullptr;
    if (sd_bus_message_read_basic(message, 's', &text) <= 0) return "<bad>";
    return text;
}

std::string ReadDouble(sd_bus_message* message) {
    double value = 0;
    if (sd_bus_message_read_basic(message, 'd', &value) <= 0) return "<bad>";
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%g", value);
    return text.data();
}

std::string ReadUnsigned(sd_bus_message* message) {
    std::uint32_t value = 0;
    if (sd_bus_message_read_basic(message, 'u', &value) <= 0) return "<bad>";
    return std::to_string(value);
}

std::string ReadSigned(sd_bus_message* message) {
    std::int32_t value = 0;
    if (sd_bus_message_read_basic(message, 'i', &value) <= 0) return "<bad>";
    return std::to_string(value);
}

}  // namespace

FakeConsole::FakeConsole() {
    std::promise<void> ready;
    std::future<void> served = ready.get_future();
    thread_ = std::thread([this, &ready] { Serve(&ready); });
    try {
        served.get();
    } catch (...) {
        thread_.join();
        throw;
    }
}

FakeConsole::~FakeConsole() { Stop(); }

void FakeConsole::Stop() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    if (thread_.joinable()) thread_.join();
}

void FakeConsole::Vanish() { Stop(); }

void FakeConsole::Serve(std::promise<void>* ready) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        ready->set_exception(std::make_exception_ptr(std::runtime_error("no session bus")));
        return;
    }
    int r = -EEXIST;
    // The name's previous owner may be a fake of an earlier test whose
    // connection the bus has not dropped yet.
    for (int attempt = 0; attempt < kNameAttempts && r == -EEXIST; ++attempt) {
        r = sd_bus_request_name(bus, kBusName, 0);
        if (r == -EEXIST) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (r < 0 || sd_bus_add_object(bus, nullptr, kBusRootPath, &FakeConsole::OnMessage, this) < 0 ||
        sd_bus_add_fallback(bus, nullptr, kObjectPrefix.c_str(), &FakeConsole::OnMessage, this) < 0) {
        sd_bus_flush_close_unref(bus);
        ready->set_exception(std::make_exception_ptr(std::runtime_error("cannot serve")));
        return;
    }
    ready->set_value();
    for (;;) {
        {
            const std::lock_guard lock(mutex_);
            if (stop_) break;
        }
        r = sd_bus_process(bus, nullptr);
        if (r < 0) break;
        if (r == 0) sd_bus_wait(bus, kWaitUsec);
    }
    {
        const std::lock_guard lock(mutex_);
        for (sd_bus_message* message : held_) sd_bus_message_unref(message);
        held_.clear();
    }
    // Closing without releasing the name first is what a crash looks like.
    sd_bus_close_unref(bus);
}

int FakeConsole::OnMessage(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
    return static_cast<FakeConsole*>(userdata)->Handle(message);
}

int FakeConsole::Handle(sd_bus_message* message) {
    std::uint8_t type = 0;
    if (sd_bus_message_get_type(message, &type) < 0 || type != SD_BUS_MESSAGE_METHOD_CALL) {
        return 0;
    }
    const char* member_text = sd_bus_message_get_member(message);
    const char* path_text = sd_bus_message_get_path(message);
    const char* interface_text = sd_bus_message_get_interface(message);
    if (member_text == nullptr || path_text == nullptr || interface_text == nullptr) return 0;
    const std::string member = member_text;
    const std::string path = path_text;
    const std::string interface = interface_text;

    if (interface == "com.kestrix.Console.Factory" && member == "CreateInstance" &&
        path == kBusRootPath) {
        std::string object;
        bool hang = false;
        {
            const std::lock_guard lock(mutex_);
            object = kObjectPrefix + "/" + std::to_string(nextObject_++);
            calls_.push_back({member, "", path});
            hang = hung_.count(member) != 0;
            if (hang) held_.push_back(sd_bus_message_ref(message));
        }
        changed_.notify_all();
        if (hang) return 1;
        return sd_bus_reply_method_return(message, "o", object.c_str());
    }
    if (interface != kBusServerInterface || !path.starts_with(kObjectPrefix + "/")) return 0;
    return Answer(message, member, path);
}

std::int32_t FakeConsole::NextResult(const std::string& member) {
    auto it = results_.find(member);
    if (it == results_.end() || it->second.empty()) return 0;
    const std::int32_t result = it->second.front();
    if (it->second.size() > 1) it->second.erase(it->second.begin());
    return result;
}

int FakeConsole::Answer(sd_bus_message* message, const std::string& member,
                        const std::string& path) {
    std::string args;
    std::vector<std::uint8_t> info;
    if (member == "Initialize") {
        args = ReadText(message);
        args += "|" + ReadDouble(message);
    } else if (member == "GetGameInfo") {
        const void* bytes = nullptr;
        std::size_t size = 0;
        if (sd_bus_message_read_array(message, 'y', &bytes, &size) >= 0 && size > 0) {
            const auto* first = static_cast<const std::uint8_t*>(bytes);
            info.assign(first, first + size);
        }
        args = std::to_string(info.size());
    } else if (member == "GetGameDataItem") {
        args = ReadText(message);
        args += "|" + ReadText(message);
        args += "|" + ReadUnsigned(message);
    } else if (member == "SaveUrlToFile" || member == "SetGameDataItem") {
        args = ReadText(message);
        args += "|" + ReadText(message);
    } else if (member == "SendFileToServer") {
        args = ReadText(message);
        args += "|" + ReadSigned(message);
    } else if (member == "EndGame") {
        args = ReadUnsigned(message);
    } else if (member != "RefreshGameData" && member != "GetCommandStatus" &&
               member != "CancelCommand" && member != "Release") {
        return 0;
    }

    std::int32_t result = 0;
    bool hang = false;
    bool malformed = false;
    std::string item_value;
    bool has_item = true;
    std::vector<std::uint8_t> info_reply;
    {
        const std::lock_guard lock(mutex_);
        calls_.push_back({member, args, path});
        result = NextResult(member);
        hang = hung_.count(member) != 0;
        malformed = malformed_.count(member) != 0;
        if (member == "GetGameInfo") {
            lastInfo_ = info;
            info_reply = infoReply_.value_or(info);
        }
        if (member == "GetGameDataItem") {
            // The item's name is the second text of the arguments.
            const std::string name = args.substr(args.find('|') + 1,
                                                 args.rfind('|') - args.find('|') - 1);
            const auto it = items_.find(name);
            has_item = it != items_.end();
            if (has_item) item_value = it->second;
        }
        if (hang) held_.push_back(sd_bus_message_ref(message));
    }
    changed_.notify_all();
    if (hang) return 1;
    if (member == "Release") return sd_bus_reply_method_return(message, "");
    if (malformed) return sd_bus_reply_method_return(message, "s", "not a result code");

    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(message, &reply);
    if (r < 0) return r;
    if (member == "GetGameDataItem" && !has_item && result == 0) {
        result = static_cast<std::int32_t>(0x80040069U);
    }
    r = sd_bus_message_append_basic(reply, 'i', &result);
    if (r >= 0 && member == "GetGameInfo") {
        r = sd_bus_message_append_array(reply, 'y', info_reply.data(), info_reply.size());
    }
    if (r >= 0 && member == "GetGameDataItem") {
        r = sd_bus_message_append_basic(reply, 's', item_value.c_str());
    }
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r < 0 ? r : 1;
}

void FakeConsole::SetResults(const std::string& member, std::vector<std::int32_t> results) {
    const std::lock_guard lock(mutex_);
    results_[member] = std::move(results);
}

void FakeConsole::SetItem(const std::string& name, const std::string& value) {
    const std::lock_guard lock(mutex_);
    items_[name] = value;
}

void FakeConsole::SetInfoReply(std::vector<std::uint8_t> bytes) {
    const std::lock_guard lock(mutex_);
    infoReply_ = std::move(bytes);
}

void FakeConsole::ReplyMalformed(const std::string& member) {
    const std::lock_guard lock(mutex_);
    malformed_.insert(member);
}

void FakeConsole::Hang(const std::string& member) {
    const std::lock_guard lock(mutex_);
    hung_.insert(member);
}

std::vector<LoggedCall> FakeConsole::Calls() const {
    const std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> FakeConsole::Members() const {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> members;
    for (const LoggedCall& call : calls_) members.push_back(call.member);
    return members;
}

std::vector<std::uint8_t> FakeConsole::LastInfoSent() const {
    const std::lock_guard lock(mutex_);
    return lastInfo_;
}

bool FakeConsole::WaitFor(const std::string& member, std::chrono::milliseconds timeout,
                          std::size_t count) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        std::size_t seen = 0;
        for (const LoggedCall& call : calls_) {
            if (call.member == member) ++seen;
        }
        return seen >= count;
    });
}

}  // namespace kxtest
