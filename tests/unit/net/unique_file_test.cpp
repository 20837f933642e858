// Opening local files: a new file is never one that was there before.

#include "net/unique_file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace kx {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(UniqueFileTest, CreatingANewFileRefusesAnythingAlreadyAtThePath) {
    const fs::path dir =
        fs::temp_directory_path() / ("kx_unique_file_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path path = dir / "setup";
    const fs::path target = dir / "target";
    struct Case {
        const char* name;
        std::function<void()> arrange;
        FileAccess access;
        bool opens;
        const char* path_after;    // the path's content after writing "new"
        const char* target_after;  // what a link pointed at holds afterwards
    } const cases[] = {
        {"nothing there, new", [] {}, FileAccess::CreateNew, true, "new", ""},
        {"a file there, new", [&] { std::ofstream(path) << "old"; }, FileAccess::CreateNew, false,
         "old", ""},
        {"a link there, new",
         [&] {
             std::ofstream(target) << "kept";
             fs::create_symlink(target, path);
         },
         FileAccess::CreateNew, false, "kept", "kept"},
        {"a dangling link there, new", [&] { fs::create_symlink(target, path); },
         FileAccess::CreateNew, false, "", ""},
        {"a file there, replaced", [&] { std::ofstream(path) << "old"; },
         FileAccess::CreateForWriting, true, "new", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(path);
        fs::remove(target);
        c.arrange();
        UniqueFile file = UniqueFile::Open(path.string(), c.access);
        EXPECT_EQ(file.IsOpen(), c.opens);
        if (file.IsOpen()) {
            EXPECT_TRUE(file.Write(std::string_view("new")));
            EXPECT_TRUE(file.Close());
        }
        EXPECT_EQ(Read(path), c.path_after);
        EXPECT_EQ(Read(target), c.target_after);
        EXPECT_EQ(fs::exists(target), std::string(c.target_after) != "");
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace kx
