// QORLauncher: its procedure with doubles, and the real program in a bundle whose path has blanks.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "launcher/launcher_delegate.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/running_applications.h"
#include "platform/testing/recording_application.h"
#include "platform/testing/test_platform.h"

namespace {

using namespace platform::testing;
namespace fs = std::filesystem;
constexpr char kApp[] = "com.velmora.OrvaneStorageGatewayApp";

TEST(LauncherProcedure, QuitsOnItsOwnAndOnKillLauncherWithTheApplicationsIdentifierOnly) {
    const struct {
        const char* name;
        const char* object;
        int terminations;  // the procedure's own, plus one if the notification reached it
    } cases[] = {
        {"killLauncher", kApp, 2},
        {"killLauncher", "com.velmora.Other", 1},
        {"terminate", kApp, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.object);
        TestPlatform platform;
        const fs::path bundle = "/Applications/My Apps/A b.app/Contents/Library/LoginItems/L.app";
        platform.services.mainBundle = std::make_shared<FakeBundle>(bundle);
        platform.reinstall();
        platform.workspace->onLaunch = [&](const std::string&) {
            platform.notifications->post(c.name, c.object);
        };
        RecordingApplication application;
        launcher::AppDelegate(application).applicationDidFinishLaunching();
        ASSERT_EQ(platform.workspace->launchedApplications().size(), 1u);
        EXPECT_EQ(application.terminations, c.terminations);
    }
}

// A copy of the built launcher inside "<tmp>/Test Apps/orvane Storage Gateway.app", whose
// executable is a stand-in that notes each start next to itself.
class LauncherProgramTest : public ::testing::TestWithParam<int> {
  protected:
    LauncherProgramTest() {
        const fs::path built =
            fs::path(ORVANE_BUNDLE_DIR) / "Contents/Library/LoginItems/QORLauncher.app";
        fs::create_directories(launcher / "Contents/MacOS");
        fs::copy_file(built / "Contents/Info.plist", launcher / "Contents/Info.plist");
        fs::copy_file(built / "Contents/MacOS/QORLauncher",
                      launcher / "Contents/MacOS/QORLauncher");
        fs::create_directories(app / "Contents/MacOS");
        std::ofstream(standIn) << "#!/bin/sh\necho started >> \"$(dirname \"$0\")/starts\"\n";
        ::chmod(standIn.c_str(), 0755);
        fs::create_directory(runtime);
    }

    TempDir temp;
    const fs::path app = temp.path() / "Test Apps/orvane Storage Gateway.app";
    const fs::path launcher = app / "Contents/Library/LoginItems/QORLauncher.app";
    const fs::path standIn = app / "Contents/MacOS/orvane Storage Gateway";
    const fs::path runtime = temp.path() / "runtime";
};

TEST_P(LauncherProgramTest, StartsTheApplicationOnlyWhenNoneRunsAndAlwaysExits) {
    std::vector<std::unique_ptr<platform::linux_impl::InstanceLock>> instances;
    for (int i = 0; i < GetParam(); ++i) {
        instances.push_back(platform::linux_impl::InstanceLock::acquire(runtime, kApp));
        ASSERT_TRUE(instances.back());
    }
    EXPECT_EQ(platform::linux_impl::runningApplicationsIn(runtime).size(), GetParam() ? 1u : 0u);

    platform::linux_impl::PosixProcessRunner runner;
    const auto result = runner.run(
        "/usr/bin/env",
        {"XDG_RUNTIME_DIR=" + runtime.string(), (launcher / "Contents/MacOS/QORLauncher").string()},
        std::chrono::seconds(20));
    ASSERT_FALSE(result.startError);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.status, 0);
    const bool starts = GetParam() == 0;
    EXPECT_EQ(result.output.find("Starting QOR at " + standIn.string()) != std::string::npos,
              starts)
        << result.output;
    if (starts) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!fs::exists(standIn.parent_path() / "starts") &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(fs::exists(standIn.parent_path() / "starts"));
    } else {
        EXPECT_FALSE(fs::exists(standIn.parent_path() / "starts"));
    }
    // The launcher no longer holds its own lock: it has quit.
    EXPECT_TRUE(platform::linux_impl::runningApplicationsIn(runtime).size() ==
                (GetParam() ? 1u : 0u));
}

INSTANTIATE_TEST_SUITE_P(RunningInstances, LauncherProgramTest, ::testing::Values(0, 1, 2));

}  // namespace
