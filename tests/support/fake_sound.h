#pragma once

// A sound port that only remembers what it was asked to play.

#include <string>
#include <string_view>
#include <vector>

#include "platform/sound.h"

namespace kx::test {

class FakeSound final : public Sound {
public:
    void PlayAsync(std::string_view path) override { played_.emplace_back(path); }
    const std::vector<std::string>& Played() const { return played_; }

private:
    std::vector<std::string> played_;
};

}  // namespace kx::test
