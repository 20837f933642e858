// The registration switches on a Linux desktop: the class entries in the
// store, and the files through which the bus starts the console and the
// player finds it.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "app/server_registration.h"
#include "platform/common/memory_registry.h"
#include "platform/linux/desktop_registration.h"
#include "platform/linux/local_com_server.h"

namespace kx {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string LocalServer(Registry& registry) {
    UniqueRegKey key(registry);
    if (registry.OpenKey(kHKeyClassesRoot,
                         "CLSID\\{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}\\LocalServer32",
                         RegAccess::Read, key.put()) != 0) {
        return "<missing>";
    }
    char buffer[512] = {};
    std::uint32_t size = sizeof buffer;
    if (registry.QueryValue(key.get(), "", nullptr, reinterpret_cast<std::uint8_t*>(buffer), &size) != 0) {
        return "<no value>";
    }
    return std::string(buffer);
}

class DesktopRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kx_desktop_" + std::to_string(::getpid()));
        fs::create_directories(dir_ / "my games");
        program_ = dir_ / "my games" / "velora";
        std::ofstream(program_) << "#!/bin/sh\n";
        fs::permissions(program_, fs::perms::owner_all);
    }
    void TearDown() override { fs::remove_all(dir_); }

    ServerRegistration Registration(TypeLibraries& libraries) {
        return ServerRegistration(registry_, libraries, dlls_, ServerModule{program_.string(), ""});
    }

    fs::path dir_;
    fs::path program_;
    MemoryRegistry registry_;
    NoDllRegistration dlls_;
};

TEST_F(DesktopRegistrationTest, RegisteringWritesTheClassEntriesTheActivationFileAndTheDesktopEntry) {
    DesktopRegistration desktop((dir_ / "share").string());
    ServerRegistration registration = Registration(desktop);
    ASSERT_EQ(registration.ApplyScript(RegistryScript::Application, ScriptMode::Register), 0);
    ASSERT_EQ(registration.RegisterServer(), 0);

    EXPECT_EQ(LocalServer(registry_), program_.string());
    EXPECT_EQ(Read(desktop.ActivationFile()),
              "[D-BUS Service]\nName=com.kestrix.Console\nExec='" + program_.string() + "'\n");
    EXPECT_NE(Read(desktop.DesktopEntry()).find("\nExec=\"" + program_.string() + "\"\n"),
              std::string::npos);
    EXPECT_NE(Read(desktop.DesktopEntry()).find("\nName=Kestrix Console\n"), std::string::npos);

    registration.ApplyScript(RegistryScript::Application, ScriptMode::Unregister);
    EXPECT_EQ(registration.UnregisterServer(), 0);
    EXPECT_EQ(LocalServer(registry_), "<missing>");
    EXPECT_FALSE(fs::exists(desktop.ActivationFile()));
    EXPECT_FALSE(fs::exists(desktop.DesktopEntry()));
}

TEST_F(DesktopRegistrationTest, TheEntryStartsTheConsoleWhereItsSoundsAre) {
    // Beside the program in a build, in the shared data folder once installed.
    struct Case {
        const char* media;  // below dir_
        const char* expected;
    };
    const Case cases[] = {
        {nullptr, nullptr},
        {"my games/media", "my games"},
        {"share/velora/media", "share/velora"},
    };
    for (const Case& c : cases) {
        fs::remove_all(dir_ / "my games" / "media");
        fs::remove_all(dir_ / "share" / "velora");
        if (c.media != nullptr) fs::create_directories(dir_ / c.media);
        DesktopRegistration desktop((dir_ / "data").string());
        ServerRegistration registration = Registration(desktop);
        ASSERT_EQ(registration.RegisterServer(), 0);
        const std::string entry = Read(desktop.DesktopEntry());
        if (c.expected == nullptr) {
            EXPECT_EQ(entry.find("\nPath="), std::string::npos) << entry;
        } else {
            EXPECT_NE(entry.find("\nPath=" + (dir_ / c.expected).string() + "\n"), std::string::npos)
                << entry;
        }
    }
}

TEST_F(DesktopRegistrationTest, AMissingProgramRegistersNothingOnTheDesktop) {
    DesktopRegistration desktop((dir_ / "share").string());
    ServerRegistration registration(registry_, desktop, dlls_,
                                    ServerModule{(dir_ / "gone" / "velora").string(), ""});
    EXPECT_NE(registration.RegisterServer(), 0);
    EXPECT_FALSE(fs::exists(desktop.ActivationFile()));
}

TEST_F(DesktopRegistrationTest, AnUnwritableDataDirectoryIsReportedNotIgnored) {
    std::ofstream(dir_ / "file") << "x";
    DesktopRegistration desktop((dir_ / "file" / "share").string());
    TypeLibHandle library = kNoTypeLib;
    ASSERT_EQ(desktop.LoadTypeLib(program_.string(), &library), 0);
    EXPECT_LT(desktop.RegisterTypeLib(library, program_.string(), dir_.string()), 0);
    desktop.Release(library);
}

struct ExecCase {
    const char* program;
    const char* desktop;
    const char* bus;
};

TEST(ExecValueTest, QuotesOnlyWhatNeedsItAsEachFileReadsIt) {
    const ExecCase cases[] = {
        {"/usr/bin/velora", "/usr/bin/velora", "/usr/bin/velora"},
        {"/opt/kestrix-2.1/velora_x", "/opt/kestrix-2.1/velora_x", "/opt/kestrix-2.1/velora_x"},
        {"/home/p/my games/velora", R"("/home/p/my games/velora")", R"('/home/p/my games/velora')"},
        {"/a$b/\"q\"/c`d`\\e", R"("/a\\$b/\\"q\\"/c\\`d\\`\\\\e")", R"('/a$b/"q"/c`d`\\e')"},
        {"", R"("")", R"('')"},
        {"/g/100%/v", "/g/100%%/v", "'/g/100%/v'"},
        {"/g/50% off/v", R"("/g/50%% off/v")", "'/g/50% off/v'"},
        {"/g/it's/v", R"("/g/it's/v")", R"('/g/it'\\''s/v')"},
        {"/g/a\nb\tc", R"("/g/a\nb\tc")", R"('/g/a\nb\tc')"},
        {"/g/a;b", R"("/g/a;b")", "'/g/a;b'"},
        {"/g/caf\xC3\xA9", "/g/caf\xC3\xA9", "'/g/caf\xC3\xA9'"},
    };
    for (const ExecCase& c : cases) {
        EXPECT_EQ(DesktopExecValue(c.program), c.desktop) << c.program;
        EXPECT_EQ(BusExecValue(c.program), c.bus) << c.program;
    }
}

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A program whose path holds every character either file treats specially.
class AwkwardPathTest : public DesktopRegistrationTest {
protected:
    void SetUp() override {
        DesktopRegistrationTest::SetUp();
        fs::create_directories(dir_ / kAwkward);
        program_ = dir_ / kAwkward / "velora";
        std::ofstream(program_) << "#!/bin/sh\necho started > " << Quoted((dir_ / "started").string())
                                << "\n";
        fs::permissions(program_, fs::perms::owner_all);
        desktop_.emplace((dir_ / "share").string());
        ServerRegistration registration = Registration(*desktop_);
        ASSERT_EQ(registration.RegisterServer(), 0);
    }

    // No backslash: the console takes it as a folder separator.
    static constexpr const char* kAwkward = "my $HOME \"games\" `x` 50% it's #1";
    // Made in SetUp, once dir_ is known.
    std::optional<DesktopRegistration> desktop_;
};

TEST_F(AwkwardPathTest, TheDesktopEntryPassesTheValidator) {
    if (std::system("command -v desktop-file-validate > /dev/null") != 0) {
        GTEST_SKIP() << "desktop-file-validate is not installed";
    }
    const std::string command = "desktop-file-validate " + Quoted(desktop_->DesktopEntry()) + " 2>&1";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
        EXPECT_EQ(::pclose(pipe), 0) << output;
    }
    EXPECT_EQ(output, "");
}

}  // namespace
}  // namespace kx
