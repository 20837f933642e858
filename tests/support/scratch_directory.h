#pragma once

// A fresh directory under the system's temporary directory, removed with
// everything in it when the test ends.

#include <stdlib.h>

#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

namespace kx::test {

class ScratchDirectory {
public:
    ScratchDirectory() {
        const std::filesystem::path temp = std::filesystem::temp_directory_path();
#if defined(_WIN32)
        // No mkdtemp here; a directory that already exists is never taken.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const auto candidate = temp / ("kx-scratch-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) path_ = candidate.string();
        }
#else
        std::string pattern = (temp / "kx-scratch-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
#endif
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    ~ScratchDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }

    const std::string& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const {
        return std::filesystem::path(path_) / name;
    }

private:
    std::string path_;
};

}  // namespace kx::test
