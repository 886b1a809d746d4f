// Which thread counts as the main one, and what happens when main-thread-only code runs elsewhere.
#include <gtest/gtest.h>

#include <thread>

#include "platform/testing/test_platform.h"

namespace {

using platform::seconds;
using platform::testing::VirtualDispatch;

TEST(VirtualDispatch, OnlyTheTestBodyAndTheMainQueuesWorkRunOnTheMainThread) {
    VirtualDispatch dispatch;
    const auto serial = dispatch.makeSerialQueue("main");  // a label is not the main queue
    std::vector<std::pair<std::string, bool>> seen;
    const auto record = [&](std::string what) {
        return [&, what] { seen.emplace_back(what, dispatch.isMainThread()); };
    };
    seen.emplace_back("test body", dispatch.isMainThread());
    dispatch.main().async(record("main"));
    dispatch.main().asyncAfter(seconds(1), record("main timer"));
    dispatch.performAfterDelay(seconds(1), record("perform after delay"));
    dispatch.global().async(record("global"));
    serial->async(record("serial"));
    serial->asyncAfter(seconds(1), record("serial timer"));
    // Time passed from inside a main task runs other queues' work; the main task is main again
    // afterwards.
    dispatch.main().async([&] {
        dispatch.global().async(record("global inside main"));
        dispatch.runUntilIdle();
        record("main after nested global")();
    });
    dispatch.advance(seconds(1));
    std::thread([&] { record("another thread")(); }).join();

    EXPECT_EQ(seen, (std::vector<std::pair<std::string, bool>>{
                        {"test body", true},
                        {"main", true},
                        {"global", false},
                        {"serial", false},
                        {"global inside main", false},
                        {"main after nested global", true},
                        {"main timer", true},
                        {"perform after delay", true},
                        {"serial timer", false},
                        {"another thread", false},
                    }));
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
