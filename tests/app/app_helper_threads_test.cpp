// A first installation, a start and a stop with every real thread: the helper on its socket, the
// connection's queue and reader, launchctl processes. The main queue is the test's thread.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "app/app_delegate.h"
#include "helper_tool/helper_server.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/unix_xpc_connector.h"
#include "platform/testing/recording_status_bar.h"
#include "platform/testing/test_platform.h"
#include "platform/testing/threaded_connections.h"
#include "tests/app/app_services.h"

namespace {

using namespace platform::testing;

// The gateway job's state in a file, as a service manager would keep it.
constexpr char kLaunchctl[] = R"sh(#!/bin/sh
state="$(dirname "$0")/gateway.state"
case "$1" in
  print) [ "$(cat "$state" 2>/dev/null)" = running ] || { echo "Could not find service"; exit 113; }
         printf 'state = running\n\tactive count = 1\n' ;;
  bootstrap) echo running > "$state"; echo "bootstrapped" ;;
  bootout) echo stopped > "$state"; echo "booted out" >&2 ;;
esac
)sh";

class AppHelperThreadsTest : public ::testing::Test {
protected:
    AppHelperThreadsTest() {
        platform.services.processes = std::make_shared<platform::linux_impl::PosixProcessRunner>();
        platform.reinstall();
        platform.writeFile("/bin/launchctl", kLaunchctl);
        ::chmod(platform.resolve("/bin/launchctl").c_str(), 0755);
        platform.writeCompleteConfig();
        const auto copy = platform.bundle->bundlePath() /
                          "Contents/Library/LaunchServices/com.velmora.QorPrivilegedHelper";
        platform.bundle->embeddedInfo[copy] = {
            {"CFBundleShortVersionString", HelperServer::version()}};
        // Blessing starts the helper, as the service manager would.
        platform.serviceManagement->setOnBless([this] {
            ASSERT_TRUE(server.listen());
            serving = std::thread([this] { server.serve(); });
        });
    }
    ~AppHelperThreadsTest() override {
        delegate.reset();
        server.stop();
        if (serving.joinable()) serving.join();
    }

    // Lets virtual time pass in small steps while the threads work, until `done`.
    bool settle(const std::function<bool()>& done) {
        return eventually([&] {
            platform.dispatch->advance(platform::seconds(0.05));
            return done();
        });
    }

    TestPlatform platform;
    HelperServer server{{platform.root.path(), [](const std::string&) {}}};
    std::thread serving;
    ThreadedConnections dispatch{*platform.dispatch};
    platform::linux_impl::UnixXpcConnector connector{
        platform.paths, std::shared_ptr<platform::Dispatch>(&dispatch, [](auto*) {})};
    RecordingStatusBar statusBar;
    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(AppHelperThreadsTest, InstallsTheHelperThenStartsAndStopsTheService) {
    delegate = std::make_unique<AppDelegate>(
        app_test::appServices(platform, statusBar, connector, *platform.serviceManagement));
    delegate->applicationDidFinishLaunching();
    // Nothing listens yet: the version request fails, and the installation follows on the
    // connection's queue.
    ASSERT_TRUE(settle([&] {
        return std::filesystem::exists(
            platform.resolve("/Library/Logs/Velmora/OrvaneStorageGateway"));
    }));
    EXPECT_TRUE(platform.log->contains("Helper connection was closed with error: "));
    EXPECT_TRUE(platform.log->contains("Helper installed successfully."));

    delegate->perform("startStopAction");
    ASSERT_TRUE(settle([&] { return delegate->menuItemStartStop()->isEnabled(); }));
    EXPECT_TRUE(platform.log->contains("QOR start: launchctl command exit code: 0"));
    EXPECT_TRUE(platform.log->contains("QorPrivilegedHelper - bootstrapped"));
    EXPECT_EQ(delegate->menuItemStartStop()->title(), "Stop orvane Storage Gateway");

    delegate->perform("startStopAction");
    ASSERT_TRUE(settle([&] { return delegate->menuItemStartStop()->isEnabled(); }));
    EXPECT_TRUE(platform.log->contains("QOR stop: launchctl command exit code: 0"));
    EXPECT_TRUE(platform.log->contains("QorPrivilegedHelper - ERROR - booted out"));
    EXPECT_EQ(delegate->qorStatus(), QorStatus::Stopped);
    EXPECT_TRUE(platform.alerts->shown().empty());
}

}  // namespace
