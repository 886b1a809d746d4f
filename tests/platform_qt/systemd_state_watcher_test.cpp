// The watcher against systemd's stand-in on a private bus: real D-Bus, real signals.
#include "platform/qt/systemd_state_watcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "platform/registry.h"
#include "platform/testing/dbus/dbus_mock.h"
#include "platform/testing/recording_log.h"
#include "platform/testing/test_platform.h"
#include "tests/qt_test_application.h"

namespace {

using platform::qt::SystemdStateWatcher;
using platform::testing::MockSystemd;

constexpr char kGateway[] = "com.velmora.OrvaneStorageGateway";
constexpr char kGatewayUnit[] = "com.velmora.OrvaneStorageGateway.service";
constexpr auto kDeadline = std::chrono::seconds(30);

// Events from other threads, counted, to wait for.
class Events {
public:
    void add() {
        {
            std::lock_guard lock(mutex_);
            ++count_;
        }
        added_.notify_all();
    }
    bool waitFor(int count) {
        std::unique_lock lock(mutex_);
        return added_.wait_for(lock, kDeadline, [&] { return count_ >= count; });
    }
    int count() {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    std::mutex mutex_;
    std::condition_variable added_;
    int count_ = 0;
};

struct WaitableLog : platform::testing::RecordingLog {
    void write(std::string_view line) override {
        RecordingLog::write(line);
        written.add();
    }
    Events written;
};

platform::Services withLog(std::shared_ptr<platform::Log> log) {
    platform::Services services;
    services.log = std::move(log);
    return services;
}

TEST(SystemdStateWatcher, CallsBackForItsUnitsStateUntilTheWatchGoes) {
    ensureQtTestApplication();
    auto log = std::make_shared<WaitableLog>();
    platform::ScopedServices services(withLog(log));
    platform::testing::TempDir folder;
    MockSystemd systemd(folder.path());
    systemd.setUnit(kGatewayUnit, "not-found", "inactive");
    systemd.setUnit("other.service", "loaded", "inactive");
    SystemdStateWatcher watcher(systemd.address()), probeWatcher(systemd.address());
    Events gateway, other, otherMayReturn, probe;
    auto gatewayWatch = watcher.watch(kGateway, [&] { gateway.add(); });
    // Each call waits until the test lets it return, holding up the watcher's thread.
    auto otherWatch = watcher.watch("other", [&] {
        other.add();
        otherMayReturn.waitFor(other.count());
    });
    // On a connection and thread of its own: it hears what the watcher's thread is sent.
    auto probeWatch = probeWatcher.watch(kGateway, [&] { probe.add(); });
    ASSERT_TRUE(systemd.waitForCalls("Subscribe", 3)) << "each watch subscribes once it listens";

    // The bus keeps the stand-in's signals in order: once the other unit's change has come, the
    // gateway's earlier one has been seen too.
    otherMayReturn.add();
    systemd.setUnit(kGatewayUnit, "loaded", "inactive");
    systemd.setUnit("other.service", "loaded", "active");
    ASSERT_TRUE(other.waitFor(1));
    EXPECT_EQ(gateway.count(), 0) << "neither another unit's state nor another property";

    systemd.setUnit(kGatewayUnit, "loaded", "active");
    ASSERT_TRUE(gateway.waitFor(1));

    // A watch let go while a change for it waits behind a busy thread stays quiet.
    systemd.setUnit("other.service", "loaded", "inactive");
    ASSERT_TRUE(other.waitFor(2));
    systemd.setUnit(kGatewayUnit, "loaded", "inactive");
    ASSERT_TRUE(probe.waitFor(2));
    gatewayWatch.reset();
    otherMayReturn.add();
    systemd.setUnit("other.service", "loaded", "active");
    otherMayReturn.add();
    ASSERT_TRUE(other.waitFor(3));
    EXPECT_EQ(gateway.count(), 1) << "nothing once the watch is gone";
    EXPECT_TRUE(log->lines().empty());
}

TEST(SystemdStateWatcher, WithoutSystemdOrABusLogsWhy) {
    ensureQtTestApplication();
    platform::testing::TempDir folder;
    MockSystemd withoutSystemd(folder.path(), false);
    for (const std::string& address :
         {withoutSystemd.address(), std::string("unix:path=/nonexistent/bus")}) {
        SCOPED_TRACE(address);
        auto log = std::make_shared<WaitableLog>();
        platform::ScopedServices services(withLog(log));
        SystemdStateWatcher watcher(address);
        auto watch = watcher.watch(kGateway, [] {});
        ASSERT_TRUE(log->written.waitFor(1));
        EXPECT_THAT(log->lines()[0], ::testing::StartsWith(std::string("Not following ") +
                                                           kGatewayUnit + " over D-Bus: "));
    }
}

}  // namespace
