#pragma once

// The one owner of every handle the console holds: a value of type T that
// `Close` releases exactly once, unless it is `Invalid`. Each kind of handle
// is a one-line alias, so no failure path can skip a close and no owner is
// written by hand:
//
//   using UniqueFd = UniqueAny<int, &::close, -1>;
//   using UniqueCurlEasy = UniqueAny<CURL*, &curl_easy_cleanup>;
//
// Close is never retried: a handle that failed to close is gone all the same
// on every platform we build for, and a retry could close a handle that
// another thread has just been given.

#include <type_traits>
#include <utility>

namespace kx {

template <typename T, auto Close, T Invalid = T{}>
class UniqueAny {
public:
    using Handle = T;

    UniqueAny() = default;
    explicit UniqueAny(T handle) noexcept : handle_(handle) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueAny() { reset(); }

    T get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Invalid; }

    // Gives the handle up without closing it.
    [[nodiscard]] T release() noexcept { return std::exchange(handle_, Invalid); }

    // Closes what is held, then holds `handle`.
    void reset(T handle = Invalid) noexcept {
        const T old = std::exchange(handle_, handle);
        if (old != Invalid) static_cast<void>(Close(old));
    }

    // For the C calls that hand a new handle back through a pointer: closes
    // what is held and answers where the new one goes.
    T* put() noexcept {
        reset();
        return &handle_;
    }

private:
    T handle_ = Invalid;
};

}  // namespace kx
