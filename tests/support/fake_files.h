#pragma once

// A file-system port in memory: fixed places and a set of files that exist.

#include <optional>
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

    // Where the private download directories are named (the temporary
    // directory unless told); each call names the next one, "<base>dl1",
    // "<base>dl2", ... with the base's last character as separator, and none
    // once told to fail. Nothing is made on disk.
    void SetDownloadBase(std::string base) { download_base_ = std::move(base); }
    void FailDownloadDirectories() { download_base_.reset(); }
    void FailMarking() { marking_fails_ = true; }
    const std::vector<std::string>& DownloadDirectories() const { return made_; }
    const std::vector<std::string>& MarkedExecutable() const { return marked_; }

    std::string TempDirectory() override { return temp_; }
    std::string PrivateDownloadDirectory() override {
        if (!download_base_) return {};
        const char separator = download_base_->empty() ? '\\' : download_base_->back();
        made_.push_back(*download_base_ + "dl" + std::to_string(made_.size() + 1) + separator);
        return made_.back();
    }
    bool MarkExecutable(std::string_view path) override {
        if (marking_fails_) return false;
        marked_.emplace_back(path);
        return true;
    }
    std::string CurrentDirectory() override { return current_; }
    bool CanOpen(std::string_view path) override { return Exists(std::string(path)); }
    bool Delete(std::string_view path) override {
        deletions_.emplace_back(path);
        return existing_.erase(std::string(path)) != 0;
    }

private:
    std::string temp_;
    std::string current_;
    std::optional<std::string> download_base_ = temp_;
    bool marking_fails_ = false;
    std::vector<std::string> made_;
    std::vector<std::string> marked_;
    std::set<std::string> existing_;
    std::vector<std::string> deletions_;
};

}  // namespace kx::test
