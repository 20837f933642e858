#include "bus_test_client.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/linux/qt/qt_event_wait.h"
#include "platform/linux/unique_fd.h"

namespace kx::test {

namespace {

// Long enough for a loaded machine, short enough that a host that never
// answers fails the test instead of hanging it.
constexpr std::uint64_t kCallTimeoutUs = 10'000'000;

}  // namespace

void WhileServing(const std::function<void()>& work, UiWait wait) {
    std::atomic<bool> done{false};
    int pipe_fds[2] = {-1, -1};
    if (::pipe(pipe_fds) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
    const UniqueFd wake_read(pipe_fds[0]);
    const UniqueFd wake_write(pipe_fds[1]);
    QEventLoop loop;

    std::thread worker([&] {
        work();
        done = true;
        // Whichever wait runs, one of these ends it.
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake_write.get(), &byte, 1);
    });

    switch (wait) {
        case UiWait::EventLoop:
            loop.exec();
            break;
        case UiWait::NestedLoop: {
            QEventLoop outer;
            QTimer::singleShot(0, &outer, [&] {
                while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                outer.quit();
            });
            outer.exec();
            break;
        }
        case UiWait::GameWait:
            while (!done) WaitServingQtEvents(wake_read.get());
            break;
    }
    worker.join();
    // The quit meant for `loop` may still be queued.
    QCoreApplication::processEvents();
}

HResult BusReply::Hr() const {
    std::int32_t hr = 0x7fffffff;
    if (message && sd_bus_message_rewind(message.get(), 1) >= 0) {
        sd_bus_message_read(message.get(), "i", &hr);
    }
    return hr;
}

BusClient::BusClient() {
    sd_bus* raw = nullptr;
    if (sd_bus_open_user(&raw) >= 0) bus_.reset(raw);
}

BusReply BusClient::Call(const std::string& path, const char* interface, const char* member,
                         const Appender& append, UiWait wait) {
    BusReply reply;
    if (!bus_) {
        reply.result = -ENOTCONN;
        return reply;
    }
    WhileServing(
        [&] {
            sd_bus_message* raw = nullptr;
            reply.result = sd_bus_message_new_method_call(bus_.get(), &raw, destination_.c_str(),
                                                          path.c_str(), interface, member);
            if (reply.result < 0) return;
            const BusMessage call(raw);
            if (append) {
                reply.result = append(call.get());
                if (reply.result < 0) return;
            }
            BusError error;
            sd_bus_message* answer = nullptr;
            reply.result = sd_bus_call(bus_.get(), call.get(), kCallTimeoutUs, error.get(), &answer);
            reply.message.reset(answer);
            reply.error = error.Name();
        },
        wait);
    return reply;
}

HResult BusClient::CallHr(const std::string& path, const char* member, const Appender& append) {
    return Call(path, "com.kestrix.Console.IKXServer", member, append).Hr();
}

std::string BusClient::CreateInstance() {
    const BusReply reply =
        Call("/com/kestrix/Console", "com.kestrix.Console.Factory", "CreateInstance");
    const char* path = nullptr;
    if (reply.result < 0 || sd_bus_message_read(reply.message.get(), "o", &path) < 0 ||
        path == nullptr) {
        return "";
    }
    return path;
}

std::string BusClient::NameOwner(const char* name) {
    const std::string saved = std::exchange(destination_, "org.freedesktop.DBus");
    const BusReply reply = Call("/org/freedesktop/DBus", "org.freedesktop.DBus", "GetNameOwner",
                                [name](sd_bus_message* m) { return sd_bus_message_append(m, "s", name); });
    destination_ = saved;
    const char* owner = nullptr;
    if (reply.result < 0 || sd_bus_message_read(reply.message.get(), "s", &owner) < 0 ||
        owner == nullptr) {
        return "";
    }
    return owner;
}

std::string BusClient::UniqueName() const {
    const char* name = nullptr;
    if (!bus_ || sd_bus_get_unique_name(bus_.get(), &name) < 0 || name == nullptr) return "";
    return name;
}

bool ObjectGoes(BusClient& client, const std::string& path) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + seconds(10);
    while (steady_clock::now() < deadline) {
        const BusReply reply = client.Call(path, "com.kestrix.Console.IKXServer", "GetCommandStatus");
        if (reply.error == "org.freedesktop.DBus.Error.UnknownObject") return true;
        WhileServing([] { std::this_thread::sleep_for(milliseconds(20)); });
    }
    return false;
}

}  // namespace kx::test
