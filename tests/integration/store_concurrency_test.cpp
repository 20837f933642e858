// Two processes writing the same hive at once lose nothing.

#include <gtest/gtest.h>

#include "integration/child_process.h"
#include "support/registry_helpers.h"
#include "platform/linux/file_registry.h"
#include "support/scratch_directory.h"

namespace kx {
namespace {

using test::ChildProcess;
using test::ReadValue;
using test::PutValue;

constexpr int kWritesEach = 60;

// Held closed until both writers exist, so that they start together.
class StartGate {
public:
    StartGate() {
        if (::pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
    }
    StartGate(const StartGate&) = delete;
    StartGate& operator=(const StartGate&) = delete;
    ~StartGate() {
        for (int fd : fds_) {
            if (fd >= 0) ::close(fd);
        }
    }
    void Wait() {
        ::close(fds_[1]);
        fds_[1] = -1;
        char byte = 0;
        while (::read(fds_[0], &byte, 1) < 0 && errno == EINTR) {
        }
    }
    void Open() {
        ::close(fds_[1]);
        fds_[1] = -1;
    }

private:
    int fds_[2];
};

int WriteMany(const std::string& dir, const std::string& prefix, StartGate& gate) {
    gate.Wait();
    FileRegistry reg(dir);
    for (int i = 0; i < kWritesEach; ++i) {
        const std::string name = prefix + std::to_string(i);
        // Both write the same key; each also rewrites a value the other writes.
        if (PutValue(reg, "Shared", name, name, RegType::Sz) != kErrorSuccess) return 1;
        if (PutValue(reg, "Shared", "Last", name, RegType::Sz) != kErrorSuccess) return 2;
        if (i % 10 == 0 && PutValue(reg, "Shared\\" + name, "V", name) != kErrorSuccess) return 3;
    }
    return 0;
}

TEST(StoreConcurrencyTest, TwoProcessesWritingAtOnceKeepEveryValue) {
    test::ScratchDirectory dir;
    StartGate gate;
    ChildProcess a([&] { return WriteMany(dir.path(), "A", gate); });
    ChildProcess b([&] { return WriteMany(dir.path(), "B", gate); });
    gate.Open();
    EXPECT_TRUE(a.ExitedWith(0));
    EXPECT_TRUE(b.ExitedWith(0));

    FileRegistry reg(dir.path());
    for (const std::string prefix : {"A", "B"}) {
        for (int i = 0; i < kWritesEach; ++i) {
            const std::string name = prefix + std::to_string(i);
            const auto read = ReadValue(reg, "Shared", name);
            ASSERT_EQ(read.status, kErrorSuccess) << name;
            EXPECT_EQ(read.bytes, name);
            if (i % 10 == 0) {
                EXPECT_EQ(ReadValue(reg, "Shared\\" + name, "V").bytes, name);
            }
        }
    }
    const std::string last = ReadValue(reg, "Shared", "Last").bytes;
    EXPECT_TRUE(last == "A" + std::to_string(kWritesEach - 1) || last == "B" + std::to_string(kWritesEach - 1))
        << last;
}

}  // namespace
}  // namespace kx
