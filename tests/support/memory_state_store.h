#pragma once

// A state store in memory: the records by name, every write's name in
// order, and a switch that makes writes fail as a full disk would.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/state_store.h"

namespace kx::test {

class MemoryStateStore final : public StateStore {
public:
    // Puts a record in place as a foreign writer would, bypassing the name rule.
    void Put(std::string name, std::string bytes) { records_[std::move(name)] = std::move(bytes); }
    bool Has(const std::string& name) const { return records_.count(name) != 0; }
    std::string Get(const std::string& name) const {
        const auto found = records_.find(name);
        return found == records_.end() ? std::string() : found->second;
    }
    const std::map<std::string, std::string>& Records() const { return records_; }
    const std::vector<std::string>& Writes() const { return writes_; }
    void FailWrites(bool fail = true) { writes_fail_ = fail; }

    StateResult Write(std::string_view name, std::string_view bytes) override {
        if (!IsStateName(name) || bytes.size() > kMaxStateRecordBytes) return Refused();
        if (writes_fail_) return {StateStatus::Failed, kDiskFull};
        writes_.emplace_back(name);
        records_[std::string(name)] = std::string(bytes);
        return {};
    }
    StateResult Read(std::string_view name, std::string* bytes) override {
        if (!IsStateName(name)) return Refused();
        const auto found = records_.find(std::string(name));
        if (found == records_.end()) return {StateStatus::Missing, 0};
        *bytes = found->second;
        return {};
    }
    StateResult Remove(std::string_view name) override {
        if (!IsStateName(name)) return Refused();
        return records_.erase(std::string(name)) != 0 ? StateResult{}
                                                      : StateResult{StateStatus::Missing, 0};
    }
    StateResult Rename(std::string_view from, std::string_view to) override {
        if (!IsStateName(from) || !IsStateName(to)) return Refused();
        const auto found = records_.find(std::string(from));
        if (found == records_.end()) return {StateStatus::Missing, 0};
        if (Has(std::string(to))) return {StateStatus::Exists, 0};
        records_[std::string(to)] = found->second;
        records_.erase(std::string(from));
        return {};
    }

private:
    static constexpr std::uint32_t kDiskFull = 28;  // ENOSPC
    static StateResult Refused() { return {StateStatus::Failed, 22}; }  // EINVAL

    std::map<std::string, std::string> records_;
    std::vector<std::string> writes_;
    bool writes_fail_ = false;
};

}  // namespace kx::test
