#pragma once

// Linux backend: a fixed ring of bytes between one writing thread and one
// reading thread.
//
// Implements:
//  - Push of a whole piece or nothing, Pop of up to what is asked;
//  - no lock on either side: a reader taking 512 bytes at a time never meets
//    the writer's lock, and the writer's 16 KiB pieces never wait for it;
//  - sequentially consistent publication of both ends, so either side may
//    raise a flag and look again at the other's end without a lost wake-up.
//
// One writer and one reader at a time; a second reader gets wrong bytes, never
// memory outside the ring.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace kx {

class ByteRing {
public:
    ByteRing() = default;
    // `capacity` is rounded up to a power of two.
    explicit ByteRing(std::size_t capacity) {
        std::size_t size = 1;
        while (size < capacity) size <<= 1;
        bytes_ = std::make_unique<char[]>(size);
        capacity_ = size;
    }
    ByteRing(const ByteRing&) = delete;
    ByteRing& operator=(const ByteRing&) = delete;
    ByteRing& operator=(ByteRing&& other) noexcept {
        bytes_ = std::move(other.bytes_);
        capacity_ = other.capacity_;
        head_.store(other.head_.load());
        tail_.store(other.tail_.load());
        other.capacity_ = 0;
        return *this;
    }

    std::size_t capacity() const { return capacity_; }

    // Bytes waiting; exact on the reader's side, at most that on the writer's.
    std::size_t Size() const {
        const std::uint64_t tail = tail_.load();
        return static_cast<std::size_t>(head_.load() - tail);
    }

    // Writer: all of `data` or, when it does not fit, nothing.
    bool Push(const char* data, std::size_t size) {
        const std::uint64_t head = head_.load(std::memory_order_relaxed);
        const std::size_t used = static_cast<std::size_t>(head - tail_.load());
        if (size == 0) return true;
        if (size > capacity_ - used) return false;
        CopyIn(head, data, size);
        head_.store(head + size);
        return true;
    }

    // Reader: up to `size` bytes into `out`; how many came.
    std::size_t Pop(void* out, std::size_t size) {
        const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
        std::size_t count = static_cast<std::size_t>(head_.load() - tail);
        if (count > capacity_) count = capacity_;  // only a second reader gets here
        if (count > size) count = size;
        if (count == 0) return 0;
        CopyOut(tail, static_cast<char*>(out), count);
        tail_.store(tail + count);
        return count;
    }

private:
    // Where `position` falls in the ring, and how much fits before its end.
    std::size_t Start(std::uint64_t position) const {
        return static_cast<std::size_t>(position & (capacity_ - 1));
    }
    std::size_t FirstPart(std::size_t start, std::size_t size) const {
        return size < capacity_ - start ? size : capacity_ - start;
    }

    void CopyIn(std::uint64_t position, const char* data, std::size_t size) {
        const std::size_t start = Start(position);
        const std::size_t first = FirstPart(start, size);
        std::memcpy(bytes_.get() + start, data, first);
        std::memcpy(bytes_.get(), data + first, size - first);
    }
    void CopyOut(std::uint64_t position, char* data, std::size_t size) const {
        const std::size_t start = Start(position);
        const std::size_t first = FirstPart(start, size);
        std::memcpy(data, bytes_.get() + start, first);
        std::memcpy(data + first, bytes_.get(), size - first);
    }

    std::unique_ptr<char[]> bytes_;
    std::size_t capacity_ = 0;
    // Apart, so the writer's and the reader's ends do not share a cache line.
    alignas(64) std::atomic<std::uint64_t> head_{0};
    alignas(64) std::atomic<std::uint64_t> tail_{0};
};

}  // namespace kx
