#pragma once

// A file-system port in memory: fixed places and a set of files that exist.

#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace kx::test {

class FakeFiles final : public Files {
public:
    FakeFiles(std::string temp_directory = "C:\\Temp\\",
              std::string current_directory = "C:\\Games\\Kestrix")
        : temp_(std::move(temp_directory)), current_(std::move(current_directory)) {}

    void AddFile(std::string path) { existing_.insert(std::move(path)); }
    bool Exists(const std::string& path) const { return existing_.count(path) != 0; }
    // Every Delete call's path, in order, whether or not the file existed.
    const std::vector<std::string>& Deletions() const { return deletions_; }

    std::string TempDirectory() override { return temp_; }
    std::string CurrentDirectory() override { return current_; }
    bool CanOpen(std::string_view path) override { return Exists(std::string(path)); }
    bool Delete(std::string_view path) override {
        deletions_.emplace_back(path);
        return existing_.erase(std::string(path)) != 0;
    }

private:
    std::string temp_;
    std::string current_;
    std::set<std::string> existing_;
    std::vector<std::string> deletions_;
};

}  // namespace kx::test
