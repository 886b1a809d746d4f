// Which thread counts as the main one, and what happens when main-thread-only code runs elsewhere.
#include <gtest/gtest.h>

#include <thread>

#include "platform/testing/test_platform.h"

namespace {

using platform::testing::VirtualDispatch;

// The product's tests reach main-thread-only code from the main queue and from the other queues
// and fail where a hop is missing; what they do not reach is a thread of their own.
TEST(VirtualDispatch, AnotherThreadIsNotTheMainThread) {
    VirtualDispatch dispatch;
    bool elsewhere = true;
    std::thread([&] { elsewhere = dispatch.isMainThread(); }).join();
    EXPECT_TRUE(dispatch.isMainThread());
    EXPECT_FALSE(elsewhere);
}

// The product's own dispatch: a build with assertions stops at once; a shipped one logs each
// place once and goes on.
TEST(Dispatch, MainThreadOnlyCodeElsewhereLogsEachPlaceOnceOrAborts) {
    struct Elsewhere : VirtualDispatch {
        bool isMainThread() const override { return false; }
        void offMainThread(const platform::CodeLocation& where) const override {
            Dispatch::offMainThread(where);
        }
    } dispatch;
    platform::testing::TestPlatform platform;
    const auto firstLine = std::to_string(__LINE__ + 1);
    const auto first = [&] { platform::assertMainThread(dispatch); };
    const auto second = [&] { platform::assertMainThread(dispatch); };
#ifdef NDEBUG
    for (int i = 0; i < 3; ++i) first();
    second();
    const auto lines = platform.log->lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0], lines[1]);
    EXPECT_TRUE(lines[0].starts_with("Main-thread-only code ran on another thread: ")) << lines[0];
    EXPECT_TRUE(lines[0].ends_with(", line " + firstLine)) << lines[0];
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(first(), "");
    (void)second;
#endif
}

}  // namespace
