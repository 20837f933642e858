// A writer killed at any moment leaves a hive file that parses and holds
// either the content before its write or the content after it.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "integration/child_process.h"
#include "support/registry_helpers.h"
#include "platform/common/registry_text.h"
#include "platform/linux/file_registry.h"
#include "support/scratch_directory.h"

namespace kx {
namespace {

using test::ChildProcess;
using test::ReadValue;
using test::PutValue;

constexpr int kFillerValues = 200;

// A hive big enough that writing it takes a while, so a kill often lands
// mid-write; written directly, which is much faster than value by value.
void Fill(const std::string& dir) {
    RegistryTree tree;
    RegKeyNode& filler = tree.Create({"Filler"});
    for (int i = 0; i < kFillerValues; ++i) {
        filler.SetValue("F" + std::to_string(i), RegType::Binary, std::string(512, static_cast<char>(i)));
    }
    std::ofstream(dir + "/HKEY_LOCAL_MACHINE.reg", std::ios::binary) << SerializeHiveText(tree, "HKLM");
}

void ExpectFillerIntact(Registry& reg) {
    for (int i = 0; i < kFillerValues; i += 37) {
        const auto read = ReadValue(reg, "Filler", "F" + std::to_string(i));
        ASSERT_EQ(read.status, kErrorSuccess) << i;
        EXPECT_EQ(read.bytes, std::string(512, static_cast<char>(i)));
    }
}

TEST(StoreCrashTest, KillAtEachStepOfAWriteKeepsOldOrNewContent) {
    struct Case {
        WriteStep step;
        const char* survives;
    };
    const Case cases[] = {
        {WriteStep::TempWritten, "old"},
        {WriteStep::TempSynced, "old"},
        {WriteStep::Renamed, "new"},
        {WriteStep::DirectorySynced, "new"},
    };
    for (const Case& c : cases) {
        test::ScratchDirectory dir;
        Fill(dir.path());
        {
            FileRegistry reg(dir.path());
            ASSERT_EQ(PutValue(reg, "Marker", "Value", "old"), kErrorSuccess);
        }
        ChildProcess writer([&] {
            FileRegistry reg(dir.path());
            reg.SetWriteHook([&](WriteStep step) {
                if (step == c.step) ::raise(SIGKILL);
            });
            PutValue(reg, "Marker", "Value", "new");
            return 0;
        });
        ASSERT_TRUE(writer.KilledBy(SIGKILL)) << static_cast<int>(c.step);

        FileRegistry after(dir.path(), DamageReport::Silent);
        const auto read = ReadValue(after, "Marker", "Value");
        ASSERT_EQ(read.status, kErrorSuccess) << static_cast<int>(c.step) << ": " << after.LastError();
        EXPECT_EQ(read.bytes, c.survives) << static_cast<int>(c.step);
        ExpectFillerIntact(after);
        // The dead writer's lock is gone and its temporary file is no obstacle.
        ASSERT_EQ(PutValue(after, "Marker", "Value", "next"), kErrorSuccess);
        EXPECT_EQ(ReadValue(after, "Marker", "Value").bytes, "next");
    }
}

TEST(StoreCrashTest, KillAtRandomMomentsNeverTearsTheFile) {
    test::ScratchDirectory dir;
    Fill(dir.path());
    std::mt19937 random(20240607);
    // The child needs some milliseconds to load the hive before it writes.
    std::uniform_int_distribution<int> delay_us(5000, 35000);
    for (int round = 0; round < 30; ++round) {
        ChildProcess writer([&] {
            FileRegistry reg(dir.path());
            // Widens the window between writing the temporary file and renaming
            // it, so that more kills land there rather than in serializing.
            reg.SetWriteHook([](WriteStep step) {
                if (step == WriteStep::TempWritten) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            });
            // Each write replaces the whole blob, so a torn write would show as mixed bytes.
            for (int i = 0;; ++i) PutValue(reg, "Blob", "Value", std::string(64 * 1024, static_cast<char>(i)));
            return 0;
        });
        ASSERT_TRUE(writer.started());
        std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
        writer.Kill();
        ASSERT_TRUE(writer.KilledBy(SIGKILL));

        FileRegistry after(dir.path(), DamageReport::Silent);
        const auto read = ReadValue(after, "Blob", "Value");
        if (read.status == kErrorFileNotFound) continue;  // killed before its first write
        ASSERT_EQ(read.status, kErrorSuccess) << "round " << round << ": " << after.LastError();
        ASSERT_EQ(read.bytes.size(), 64u * 1024u);
        EXPECT_EQ(read.bytes, std::string(read.bytes.size(), read.bytes[0])) << "round " << round;
        ExpectFillerIntact(after);
    }
}

}  // namespace
}  // namespace kx
