#include "base/manual_reset_event.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace kx {
namespace {

using namespace std::chrono_literals;

TEST(ManualResetEventTest, StaysSetUntilReset) {
    ManualResetEvent event(InitialState::NotSignalled);
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(1ms));

    event.Set();
    EXPECT_TRUE(event.Wait(0ms));
    EXPECT_TRUE(event.Wait(0ms)) << "a manual-reset event releases every waiter";

    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_TRUE(ManualResetEvent(InitialState::Signalled).IsSet());
}

TEST(ManualResetEventTest, WaitReturnsWhenAnotherThreadSets) {
    ManualResetEvent event(InitialState::NotSignalled);
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        event.Set();
    });
    EXPECT_TRUE(event.Wait(5s));
    setter.join();
}

TEST(ManualResetEventTest, EitherWaitPrefersTheFirstWhenBothAreSet) {
    struct Case {
        bool first_set;
        bool second_set;
        SignalledEvent expected;
    } const cases[] = {
        {true, true, SignalledEvent::First},
        {true, false, SignalledEvent::First},
        {false, true, SignalledEvent::Second},
    };
    for (const auto& c : cases) {
        ManualResetEvent first(InitialState::NotSignalled);
        ManualResetEvent second(InitialState::NotSignalled);
        if (c.first_set) first.Set();
        if (c.second_set) second.Set();
        EXPECT_EQ(WaitForEither(first, second), c.expected) << c.first_set << c.second_set;
    }
}

TEST(ManualResetEventTest, EitherWaitWakesForEachEventSetLater) {
    for (const SignalledEvent which : {SignalledEvent::First, SignalledEvent::Second}) {
        ManualResetEvent first(InitialState::NotSignalled);
        ManualResetEvent second(InitialState::NotSignalled);
        std::thread setter([&] {
            std::this_thread::sleep_for(20ms);
            (which == SignalledEvent::First ? first : second).Set();
        });
        EXPECT_EQ(WaitForEither(first, second), which);
        setter.join();
    }
}

TEST(ManualResetEventTest, EitherWaitSeesASetThatRacesWithGoingToSleep) {
    for (int round = 0; round < 200; ++round) {
        ManualResetEvent first(InitialState::NotSignalled);
        ManualResetEvent second(InitialState::NotSignalled);
        std::thread setter([&] { second.Set(); });
        EXPECT_EQ(WaitForEither(first, second), SignalledEvent::Second);
        setter.join();
    }
}

}  // namespace
}  // namespace kx
