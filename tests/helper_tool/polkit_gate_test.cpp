// The helper's gate against polkit's stand-in on a private bus: real D-Bus, polkit's own calls.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>

#include "helper_tool/request_gate.h"
#include "platform/testing/dbus/dbus_mock.h"
#include "platform/testing/test_platform.h"

namespace {

using namespace std::chrono_literals;
using platform::testing::MockPolkit;

const Caller kMe{::getpid(), ::getuid(), processStartTime(::getpid())};
const std::string kRefused = "Refused bootout for user " + std::to_string(::getuid()) +
                             " (process " + std::to_string(::getpid()) + "): ";

TEST(PolkitGate, AsksAboutTheCallingProcessAndTellsPolkitsAnswer) {
    platform::testing::TempDir folder;
    MockPolkit polkit(folder.path());
    PolkitGate gate(nullptr, 5min, polkit.address());
    const struct {
        const char* outcome;
        std::optional<std::string> refusal;
    } cases[] = {
        {"allow", std::nullopt},
        {"deny", kRefused + "not authorized"},
        {"dismiss", kRefused + "the authentication was dismissed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.outcome);
        polkit.setOutcome(PolkitGate::kAction, c.outcome);
        EXPECT_EQ(gate.refusal(kMe, "bootout", -1), c.refusal);
    }
    // What polkit is asked is checked where the helper program asks it.
    EXPECT_EQ(gate.refusal({kMe.pid, kMe.uid, std::nullopt}, "bootout", -1),
              kRefused + "the calling process is gone");
}

// A dialog nobody answers: the check is cancelled when the client leaves, or once the bound has
// passed, so the dialog does not stay.
TEST(PolkitGate, ACheckNobodyAnswersIsCancelledWhenTheClientLeavesOrTimeIsUp) {
    platform::testing::TempDir folder;
    MockPolkit polkit(folder.path());
    polkit.setOutcome(PolkitGate::kAction, "hang");
    auto clock = std::make_shared<platform::testing::FixedClock>();
    PolkitGate gate(clock, 5min, polkit.address());
    const struct {
        const char* what;
        std::string refusal;
    } cases[] = {
        {"client leaves", kRefused + "the calling process is gone"},
        {"no answer", kRefused + "polkit did not answer within 300 s"},
    };
    int checks = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int client[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, client), 0);
        auto refusal =
            std::async(std::launch::async, [&] { return gate.refusal(kMe, "bootout", client[0]); });
        ASSERT_TRUE(polkit.waitForCalls("CheckAuthorization", ++checks));
        if (c.refusal.ends_with("gone")) {
            ::close(client[1]);
            client[1] = -1;
        } else {
            ASSERT_TRUE(clock->awaitWaiters(clock->now() + 5min));
            clock->advance(5min);
        }
        EXPECT_EQ(refusal.get(), c.refusal);
        ASSERT_TRUE(polkit.waitForCalls("CancelCheckAuthorization", checks));
        // The cancellation names the check it ends.
        const auto calls = polkit.calls();
        const std::string& cancel = calls.back();
        const std::string& check = calls[calls.size() - 2];
        EXPECT_TRUE(check.ends_with(" " + cancel.substr(cancel.find(' ') + 1))) << check << cancel;
        for (int fd : client) {
            if (fd >= 0) ::close(fd);
        }
    }
}

TEST(PolkitGate, RefusesWhenPolkitCannotBeReached) {
    platform::testing::TempDir folder;
    // A bus without polkit on it, and no bus.
    platform::testing::MockSystemd emptyBus(folder.path(), false);
    for (const std::string& address : {emptyBus.address(), std::string("unix:path=/nonexistent")}) {
        SCOPED_TRACE(address);
        PolkitGate gate(nullptr, 5min, address);
        const auto refusal = gate.refusal(kMe, "bootout", -1);
        ASSERT_TRUE(refusal);
        EXPECT_TRUE(refusal->starts_with(kRefused + "polkit cannot be asked (")) << *refusal;
    }
}

}  // namespace
