#include "platform/linux/curl_handle_table.h"

#include <type_traits>
#include <utility>
#include <vector>

namespace kx::curl_inet {
namespace {

std::atomic<std::uint64_t> table_ids{0};

struct LastLookup {
    std::uint64_t table = 0;
    std::uint64_t closes = 0;
    HInternet handle = 0;
    std::shared_ptr<Request> request;
};

thread_local LastLookup last_lookup;

}  // namespace

HandleTable::HandleTable() : id_(table_ids.fetch_add(1) + 1) {}

Request* HandleTable::FindRequestQuickly(HInternet handle) {
    LastLookup& last = last_lookup;
    // Read before the lookup: a close after it makes the next call look again.
    const std::uint64_t closes = closes_.load();
    if (last.request && last.table == id_ && last.handle == handle && last.closes == closes) {
        return last.request.get();
    }
    last = LastLookup{};
    std::shared_ptr<Request> found = Find<Request>(handle);
    if (!found) return nullptr;
    last = LastLookup{id_, closes, handle, std::move(found)};
    return last.request.get();
}

HandleTable::~HandleTable() {
    for (;;) {
        HInternet root = 0;
        {
            std::lock_guard lock(mutex_);
            if (handles_.empty()) break;
            root = handles_.begin()->first;
            while (handles_.at(root).parent != 0) root = handles_.at(root).parent;
        }
        Close(root);
    }
}

HInternet HandleTable::Add(HInternet parent, Object object) {
    return Add(parent, [&object](HInternet) { return std::move(object); });
}

HInternet HandleTable::Add(HInternet parent, const std::function<Object(HInternet handle)>& make) {
    std::lock_guard lock(mutex_);
    const HInternet handle = next_handle_;
    handles_.emplace(handle, Entry{parent, make(handle)});
    next_handle_ += 4;
    return handle;
}

bool HandleTable::SetCallback(HInternet handle, InternetStatusCallback callback) {
    std::lock_guard lock(mutex_);
    const auto it = handles_.find(handle);
    if (it == handles_.end()) return Fail(kInvalidHandle);
    std::visit(
        [&](const auto& object) {
            using T = std::decay_t<decltype(*object)>;
            if constexpr (std::is_same_v<T, Request>) {
                object->SetCallback(callback);
            } else {
                object->callback.store(callback);
            }
        },
        it->second.object);
    return true;
}

bool HandleTable::Close(HInternet handle) {
    std::vector<std::pair<HInternet, Object>> closing;
    {
        std::lock_guard lock(mutex_);
        if (handles_.find(handle) == handles_.end()) return Fail(kInvalidHandle);
        std::vector<HInternet> order{handle};
        for (std::size_t i = 0; i < order.size(); ++i) {
            for (const auto& [child, entry] : handles_) {
                if (entry.parent == order[i]) order.push_back(child);
            }
        }
        for (const HInternet h : order) {
            auto node = handles_.extract(h);
            closing.emplace_back(h, std::move(node.mapped().object));
        }
        closes_.fetch_add(1);
    }
    // Children first, so a request has stopped before its connection reports closing.
    for (auto it = closing.rbegin(); it != closing.rend(); ++it) {
        const HInternet closed = it->first;
        std::visit(
            [closed](const auto& object) {
                using T = std::decay_t<decltype(*object)>;
                if constexpr (std::is_same_v<T, Request>) {
                    object->Close();
                } else if constexpr (std::is_same_v<T, Connection>) {
                    DeliverClosing(object->callback.load(), closed, object->context);
                }
            },
            it->second);
    }
    return true;
}

}  // namespace kx::curl_inet
