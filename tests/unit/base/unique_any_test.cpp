#include "base/unique_any.h"

#include <gtest/gtest.h>

#include <vector>

namespace kx {
namespace {

std::vector<int> g_closed;

int CloseRecording(int handle) {
    g_closed.push_back(handle);
    return 0;
}

using Owned = UniqueAny<int, &CloseRecording, -1>;

struct UniqueAnyTest : ::testing::Test {
    void SetUp() override { g_closed.clear(); }
};

TEST_F(UniqueAnyTest, ClosesWhatItHoldsExactlyOnceWhicheverWayItLetsGo) {
    {
        Owned kept(3);
        Owned moved(std::move(kept));
        EXPECT_FALSE(kept);
        Owned assigned(4);
        assigned = std::move(moved);  // 4 closes here, 3 at the end
        assigned.reset(5);            // 3 closes here
    }
    EXPECT_EQ(g_closed, (std::vector<int>{4, 3, 5}));
}

TEST_F(UniqueAnyTest, NeverClosesTheInvalidValueOrAReleasedHandle) {
    {
        Owned empty;
        Owned zero(0);  // zero is a real descriptor; only -1 is none
        Owned given(7);
        EXPECT_EQ(given.release(), 7);
        EXPECT_FALSE(empty);
        EXPECT_TRUE(zero);
        *zero.put() = 8;  // put closes 0 before it is overwritten
    }
    EXPECT_EQ(g_closed, (std::vector<int>{0, 8}));
}

}  // namespace
}  // namespace kx
