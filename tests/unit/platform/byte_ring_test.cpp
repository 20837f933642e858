// The ring a reply's body crosses from the transfer thread to the reader.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/byte_ring.h"

namespace kx {
namespace {

std::string Pattern(std::size_t size, std::size_t offset = 0) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (offset + i) % 26);
    return text;
}

// One step of a script: a push of `size` bytes (expected to fit or not), or a
// pop asking for `size` bytes and expected to get `got`.
struct Step {
    enum Kind { Push, Pop } kind;
    std::size_t size;
    std::size_t got;  // a pop's count; for a push, 1 when it fits
};

TEST(ByteRingTest, KeepsTheBytesInOrderAcrossTheEndOfTheRing) {
    struct Case {
        const char* name;
        std::size_t capacity;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"empty ring gives nothing", 16, {{Step::Pop, 8, 0}}},
        {"a piece comes out whole", 16, {{Step::Push, 10, 1}, {Step::Pop, 16, 10}, {Step::Pop, 1, 0}}},
        {"reads smaller than the piece", 16,
         {{Step::Push, 10, 1}, {Step::Pop, 4, 4}, {Step::Pop, 4, 4}, {Step::Pop, 4, 2}}},
        {"a full ring takes nothing more", 16,
         {{Step::Push, 16, 1}, {Step::Push, 1, 0}, {Step::Pop, 16, 16}}},
        {"a piece too big for what is left is refused whole", 16,
         {{Step::Push, 12, 1}, {Step::Push, 5, 0}, {Step::Push, 4, 1}, {Step::Pop, 16, 16}}},
        {"pieces wrap around the end", 16,
         {{Step::Push, 12, 1}, {Step::Pop, 10, 10}, {Step::Push, 12, 1}, {Step::Pop, 3, 3},
          {Step::Pop, 16, 11}}},
        {"reads wrap around the end", 8,
         {{Step::Push, 6, 1}, {Step::Pop, 6, 6}, {Step::Push, 7, 1}, {Step::Pop, 7, 7}}},
        {"capacity is rounded up to a power of two", 12,
         {{Step::Push, 16, 1}, {Step::Push, 1, 0}, {Step::Pop, 20, 16}}},
        {"an empty push always fits", 4, {{Step::Push, 4, 1}, {Step::Push, 0, 1}, {Step::Pop, 4, 4}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ByteRing ring(c.capacity);
        std::size_t pushed = 0;
        std::size_t popped = 0;
        for (const Step& step : c.steps) {
            if (step.kind == Step::Push) {
                const std::string piece = Pattern(step.size, pushed);
                EXPECT_EQ(ring.Push(piece.data(), piece.size()), step.got == 1);
                if (step.got == 1) pushed += step.size;
            } else {
                std::string out(step.size, '?');
                const std::size_t got = ring.Pop(out.data(), out.size());
                EXPECT_EQ(got, step.got);
                EXPECT_EQ(out.substr(0, got), Pattern(got, popped));
                EXPECT_EQ(out.substr(got), std::string(step.size - got, '?')) << "wrote past the count";
                popped += got;
            }
            EXPECT_EQ(ring.Size(), pushed - popped);
        }
    }
}

TEST(ByteRingTest, AnUnsetRingHoldsNothingAndTakesNothing) {
    ByteRing ring;
    char byte = 'x';
    EXPECT_EQ(ring.Size(), 0u);
    EXPECT_FALSE(ring.Push(&byte, 1));
    EXPECT_EQ(ring.Pop(&byte, 1), 0u);
    EXPECT_EQ(byte, 'x');
}

// A writer of 16 KiB pieces and a reader of 512 bytes on two threads, as a
// download has them: every byte arrives once and in order.
TEST(ByteRingTest, AWriterAndAReaderOnTwoThreadsLoseNothing) {
    constexpr std::size_t kTotal = 8 * 1024 * 1024;
    constexpr std::size_t kPiece = 16 * 1024;
    ByteRing ring(64 * 1024);
    std::thread writer([&] {
        for (std::size_t sent = 0; sent < kTotal;) {
            const std::string piece = Pattern(kPiece, sent);
            while (!ring.Push(piece.data(), piece.size())) std::this_thread::yield();
            sent += kPiece;
        }
    });
    std::size_t received = 0;
    std::size_t wrong = 0;
    char chunk[512];
    while (received < kTotal) {
        const std::size_t got = ring.Pop(chunk, sizeof chunk);
        if (got == 0) {
            std::this_thread::yield();
            continue;
        }
        if (std::string(chunk, got) != Pattern(got, received)) ++wrong;
        received += got;
    }
    writer.join();
    EXPECT_EQ(received, kTotal);
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(ring.Size(), 0u);
}

}  // namespace
}  // namespace kx
