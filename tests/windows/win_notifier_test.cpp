#include "platform/win32/win_notifier.h"

#include <gtest/gtest.h>

#include <thread>

#include "base/dialog_messages.h"
#include "message_window.h"

namespace kx {
namespace {

using namespace std::chrono_literals;
using test::MessageWindow;
using test::PostedMessage;

bool IsDone(const PostedMessage& m) { return m.message == WM_INET_DONE; }

TEST(WinNotifier, PostsToTheOwnerFromAnyThreadInOrderAndCountsWhatCannotBePosted) {
    MessageWindow window;
    ASSERT_NE(window.get(), nullptr);
    WinNotifier notifier(window.get());
    const PostedMessage sent[] = {
        {WM_INET_STATUS, 60, 0},
        {WM_INET_DATA, 512, 70000},
        {WM_INET_DATA, 17, -1},
        {WM_INET_DONE, 0, 0},
    };
    std::thread poster([&] {
        for (const PostedMessage& m : sent) {
            notifier.Post(m.message, m.wparam, static_cast<std::intptr_t>(m.lparam));
        }
    });
    poster.join();
    const auto got = window.PumpUntil(IsDone, 5s);
    ASSERT_EQ(got.size(), std::size(sent));
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].message, sent[i].message);
        EXPECT_EQ(got[i].wparam, sent[i].wparam);
        EXPECT_EQ(got[i].lparam, sent[i].lparam);
    }
    EXPECT_EQ(notifier.DroppedMessages(), 0u);

    window.Destroy();
    notifier.Post(WM_INET_DONE, 0, 0);
    EXPECT_EQ(notifier.DroppedMessages(), 1u);
}

}  // namespace
}  // namespace kx
