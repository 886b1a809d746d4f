// The watcher against systemd's stand-in on a private bus: real D-Bus, real signals.
#include "platform/linux/systemd_state_watcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "platform/testing/dbus/dbus_mock.h"
#include "platform/testing/test_platform.h"

namespace {

using platform::linux_impl::SystemdStateWatcher;
using platform::testing::MockSystemd;

constexpr char kGateway[] = "com.velmora.OrvaneStorageGateway";
constexpr char kGatewayUnit[] = "com.velmora.OrvaneStorageGateway.service";

// The stand-in answers slowly on a loaded machine.
bool eventually(const std::function<bool()>& done) {
    return platform::testing::eventually(done, std::chrono::seconds(30));
}

TEST(SystemdStateWatcher, CallsBackForItsUnitsStateUntilTheWatchGoes) {
    platform::testing::TestPlatform platform;
    MockSystemd systemd(platform.root.path());
    systemd.setUnit(kGatewayUnit, "not-found", "inactive");
    systemd.setUnit("other.service", "loaded", "inactive");
    SystemdStateWatcher watcher(systemd.address()), probeWatcher(systemd.address());
    std::atomic<int> gateway{0}, other{0}, otherMayReturn{0}, probe{0};
    auto gatewayWatch = watcher.watch(kGateway, [&] { ++gateway; });
    // Each call waits until the test lets it return, holding up the watcher's thread.
    auto otherWatch = watcher.watch("other", [&] {
        ++other;
        eventually([&] { return otherMayReturn >= other; });
    });
    // On a connection and thread of its own: it hears what the watcher's thread is sent.
    auto probeWatch = probeWatcher.watch(kGateway, [&] { ++probe; });
    ASSERT_TRUE(systemd.waitForCalls("Subscribe", 3)) << "each watch subscribes once it listens";

    // The bus keeps the stand-in's signals in order: once the other unit's change has come, the
    // gateway's earlier one has been seen too.
    ++otherMayReturn;
    systemd.setUnit(kGatewayUnit, "loaded", "inactive");
    systemd.setUnit("other.service", "loaded", "active");
    ASSERT_TRUE(eventually([&] { return other >= 1; }));
    EXPECT_EQ(gateway.load(), 0) << "neither another unit's state nor another property";

    systemd.setUnit(kGatewayUnit, "loaded", "active");
    ASSERT_TRUE(eventually([&] { return gateway >= 1; }));

    // A watch let go while a change for it waits behind a busy thread stays quiet.
    systemd.setUnit("other.service", "loaded", "inactive");
    ASSERT_TRUE(eventually([&] { return other >= 2; }));
    systemd.setUnit(kGatewayUnit, "loaded", "inactive");
    ASSERT_TRUE(eventually([&] { return probe >= 2; }));
    gatewayWatch.reset();
    ++otherMayReturn;
    systemd.setUnit("other.service", "loaded", "active");
    ++otherMayReturn;
    ASSERT_TRUE(eventually([&] { return other >= 3; }));
    EXPECT_EQ(gateway.load(), 1) << "nothing once the watch is gone";
    EXPECT_TRUE(platform.log->lines().empty());
}

TEST(SystemdStateWatcher, WithoutSystemdOrABusLogsWhy) {
    platform::testing::TempDir folder;
    MockSystemd withoutSystemd(folder.path(), false);
    for (const std::string& address :
         {withoutSystemd.address(), std::string("unix:path=/nonexistent/bus")}) {
        SCOPED_TRACE(address);
        platform::testing::TestPlatform platform;
        SystemdStateWatcher watcher(address);
        auto watch = watcher.watch(kGateway, [] {});
        ASSERT_TRUE(eventually([&] { return !platform.log->lines().empty(); }));
        EXPECT_THAT(
            platform.log->lines()[0],
            ::testing::StartsWith(std::string("Not following ") + kGatewayUnit + " over D-Bus: "));
    }
}

}  // namespace
